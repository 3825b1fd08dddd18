// "曲线截屏设置": what a screenshot does, saved, printed or both.
#pragma once

#include <QDialog>

class QRadioButton;

namespace printing {

class CScreenshotSetupDlg : public QDialog {
    Q_OBJECT

public:
    // `mode`: 0 save only, 1 print only, 2 save and print (others read as 0).
    CScreenshotSetupDlg(QWidget* parent, int mode);
    int Mode() const;

private:
    QRadioButton* m_choice[3] = {};
};

}  // namespace printing
