// A small host for the scan and PCM raw-code plot windows: an MDI main
// window that opens card 0, applies the default demodulator record, shows the
// scan window and the three PCM windows, and feeds the PCM windows from the
// card's data callback.
#pragma once

#include <QMainWindow>
#include <QString>
#include <cstdint>

class QMdiArea;

namespace plotdemo {

// Windows of the demo: the three PCM kinds, then the scan window.
enum DemoWindow : int { kPcmTable = 0, kPcmCurve = 1, kPcmHistogram = 2, kRadioScan = 3 };

class CPlotDemoWnd : public QMainWindow {
    Q_OBJECT
public:
    CPlotDemoWnd();
    ~CPlotDemoWnd() override;

    // Opens card 0, applies the default demodulator record and opens the
    // four windows; false with the reason otherwise.
    bool Start(QString* error);
    // Opens a window that is not open, raises one that is; false when the
    // library refused it.
    bool OpenWindow(int which);
    QMdiArea* Area() const { return area_; }

    // Blocks of the data callback, and per PCM kind the ones its window took.
    static std::uint64_t BlocksReceived();
    static std::uint64_t BlocksTaken(int kind);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void Stop();

    QMdiArea* area_;
    bool open_ = false;
};

}  // namespace plotdemo
