// One raw table window: an MDI child that owns the frame store of its stream,
// repaints from it on its own timer, keeps its settings in the profile file and
// tells the main frame (message 1145) when the operator closes it.
#pragma once

#include <rawgrid/table_settings.h>
#include <rawgrid/table_store.h>

#include <QMdiSubWindow>
#include <QTimer>
#include <memory>
#include <string>

namespace rawgrid {

class TableGridView;
class TableSettingsMenu;

inline constexpr unsigned kTableClosedMessage = 1145;

class CTableWnd : public QMdiSubWindow {
    Q_OBJECT
public:
    // `stream` is -1..2; `frameHandle` and `areaHandle` receive the closing message.
    CTableWnd(int stream, const _FRAME_STRUCT_PARAM* frame, void* frameHandle, void* areaHandle,
              QWidget* parent = nullptr);
    ~CTableWnd() override;

    // Starts the repaint timer; false (after telling the operator) when it did not start.
    bool StartRefresh(unsigned periodMs);

    // The timer's work: picks up what the data calls changed and repaints that.
    void Refresh();

    // Applies settings chosen by the operator and writes them to the profile.
    void ApplySettings(const TableSettings& s);

    int Stream() const { return stream_; }
    const std::shared_ptr<TableStore>& Store() const { return store_; }
    TableGridView* Grid() const { return grid_; }
    TableSettingsMenu* SettingsMenu() const { return menu_; }
    const TableSettings& Settings() const { return settings_; }
    const std::string& SettingsFile() const { return iniFile_; }

signals:
    void windowClosed();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void AskVoltage();

    const int stream_;  // as given: -1 keeps its own profile section and title
    void* const frameHandle_;
    void* const areaHandle_;
    const std::string iniFile_;
    TableSettings settings_;             // GUI thread
    std::shared_ptr<TableStore> store_;  // shared with the data thread
    TableGridView* grid_ = nullptr;
    TableSettingsMenu* menu_ = nullptr;
    QTimer timer_;
};

}  // namespace rawgrid
