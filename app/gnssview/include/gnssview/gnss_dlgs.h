// The two satellite-navigation dialogs of the program: the protocol version
// ("外测协议版本选择") and the pick positions ("外测数据路序选择对话框").
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

class QLineEdit;
class QRadioButton;

namespace gnssview {

class CGnssProtocolDlg : public QDialog {
    Q_OBJECT

public:
    // `version` checks its button: 0, 1, anything else the third.
    CGnssProtocolDlg(int version, QWidget* parent);
    int Version() const;
    QRadioButton* Button(int i) const { return buttons_[std::size_t(i)]; }

private:
    std::array<QRadioButton*, 3> buttons_{};
};

class CGpsChannelDlg : public QDialog {
    Q_OBJECT

public:
    // Filled from the stored positions; `subframeBytes` bounds them.
    CGpsChannelDlg(const std::array<int, 4>& stored, unsigned subframeBytes, QWidget* parent);
    // The checked values once accepted.
    const std::array<std::uint16_t, 4>& Positions() const { return positions_; }
    // Field i (0-3), object name "路序<i+1>".
    QLineEdit* Field(int i) const { return fields_[std::size_t(i)]; }

    // Checks the fields; a refused value is shown and the dialog stays open.
    void accept() override;

private:
    std::array<QLineEdit*, 4> fields_{};
    std::array<std::uint16_t, 4> positions_{};
    unsigned subframeBytes_;
};

}  // namespace gnssview
