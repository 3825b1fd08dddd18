// Raw curve windows of the telemetry streams: one MDI child per stream drawing
// the raw values of up to eight word positions over time. The program holds
// one CurverWndClass.
#pragma once

#include <rawviews/frame_records.h>

#include <memory>

class QMdiArea;
class QMenu;

class CurverWndClass {
public:
    CurverWndClass();
    // Closes the windows still open (without the closing message) and joins
    // their workers.
    ~CurverWndClass();
    CurverWndClass(const CurverWndClass&) = delete;
    CurverWndClass& operator=(const CurverWndClass&) = delete;

    // GUI thread. Creates the window of `stream` (-1..2, -1 standing for
    // stream 0 with its own title and settings section) in `parent`,
    // replacing any window of that stream, starts its worker and redraws it
    // every `refreshMs`. With `menu`, its settings menu is inserted there at
    // `menuPos`. Returns the window (a QWidget*) or null.
    void* Init_Curver(QMdiArea* parent, _FRAME_STRUCT_PARAM_EX* frame, unsigned refreshMs,
                      int stream, QMenu* menu = nullptr, int menuPos = 0);

    // Any thread. Queues the record's frames for the window of `stream`
    // (-1 stands for 0). 1 when queued; 0 for a bad stream or record, or no window.
    int SetRawcurveData(_FRAME_STRUCT_PARAM_EX* frame, unsigned char* data, int stream);

    // GUI thread. Bit-error figures for the caption; with `show` the
    // statistic must be given. 1 when taken.
    int SetErrorCode(_ERROR_CODE_STATISTIC* statistic, int show, int stream);

    // GUI thread. The window of `stream` or null.
    void* GetCurverWnd(int stream) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};
