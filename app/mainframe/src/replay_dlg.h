// "数据回放控制对话框": opens a recording, shows and edits its frame
// description, shows its start and end time, and starts a software replay
// (kind 1) or a replay by the card (kind 2) from its start or a chosen time,
// once or in a loop, at a chosen speed.
#pragma once

#include <bbdevice/dem_file.h>
#include <bbdevice/dev_records.h>

#include <QDialog>
#include <cstdint>
#include <map>
#include <string>

class Ch10ExportJob;
class QBoxLayout;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

// What a replay start chose.
struct ReplayChoice {
    std::string path;
    ReplayInfo description{};
    std::uint32_t headerLength = 0;  // where the records begin
    int kind = 0;                    // 1 software, 2 card
    std::uint64_t startRecord = 0;
    std::uint64_t recordCount = 0;
    double fileStartMs = 0, fileEndMs = 0;
    bool loop = false;
    int speed = 1;  // 1, 2, 4, or 0 as fast as possible
};

class CReplayDlg : public QDialog {
    Q_OBJECT
public:
    // `dem` is the demodulator record in force: it describes a file without
    // header and is what a software replay is cut with.
    CReplayDlg(QWidget* parent, const DemParam& dem, bool loop, int speed);
    // A running export goes on: it belongs to the parent's window.
    ~CReplayDlg() override;

    // Reads the file's header, size and times into the fields; false after
    // "读取回放数据文件信息失败！".
    bool OpenFile(const std::string& path);
    // "软件回放" (1) or "硬件回放" (2): checks, and closes the dialog when
    // the replay can start.
    bool Start(int kind);
    const ReplayChoice& Choice() const { return m_choice; }
    // A field by its name, for the tests.
    QLineEdit* Field(const char* name) const;

    // "导出为IRIG 106第10章文件…": converts the open file, described by the
    // fields shown, into a Chapter 10 file at `out` on a worker thread of
    // the export job; exportFinished reports the end on the GUI thread while
    // the dialog is open. False when nothing was started (no file, bad
    // fields, an export still running).
    bool ExportCh10(const std::string& out);
    bool ExportRunning() const;
    // The frame's export job (the dialog's own without a parent).
    Ch10ExportJob* ExportJob() const { return m_exportJob; }
    // The folder the file dialogs start in: the recording folder of the
    // storage settings, or the module directory when it does not exist.
    static QString RecordingFolder();

signals:
    void exportFinished(bool ok, const QString& message);

private:
    void AddExportButton(QBoxLayout* layout);
    void ShowExportState();

    bool UpdateDescription(ReplayInfo& out) const;
    void ShowDescription(const ReplayInfo& info);
    void ShowTimes(bool known, double startMs, double endMs);

    DemParam m_dem;
    ReplayChoice m_choice;
    std::string m_path;
    std::uint64_t m_fileSize = 0;
    std::uint32_t m_headerLength = 0;
    std::map<std::string, QLineEdit*> m_fields;
    QLabel* m_startTime;
    QLabel* m_endTime;
    QRadioButton* m_fromStart;
    QRadioButton* m_fromTime;
    QLineEdit* m_hour;
    QLineEdit* m_minute;
    QLineEdit* m_second;
    QLineEdit* m_ms;
    QCheckBox* m_loop;
    QComboBox* m_speed;
    QPushButton* m_exportButton = nullptr;
    QProgressBar* m_exportProgress = nullptr;
    Ch10ExportJob* m_exportJob = nullptr;
};

// "%02d:%02d:%02d:%03d.%1d" of a time of day in ms.
std::string ReplayTimeText(double dayMs);
