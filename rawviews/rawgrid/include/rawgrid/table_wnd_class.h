// Raw table windows of the telemetry streams: one MDI child per stream showing
// the words of the latest frame. The program holds one CTableWndClass.
#pragma once

#include <rawviews/frame_records.h>

#include <memory>

class QMdiArea;
class QMenu;

class CTableWndClass {
public:
    CTableWndClass();
    // Closes the windows still open (without the closing message).
    ~CTableWndClass();
    CTableWndClass(const CTableWndClass&) = delete;
    CTableWndClass& operator=(const CTableWndClass&) = delete;

    // GUI thread. Creates the window of `stream` (-1..2, -1 standing for stream
    // 0 with its own title and settings section) in `parent`, replacing any
    // window of that stream, and repaints it every `refreshMs`. When `menu` is
    // given, the window's settings menu is inserted into it at `menuPos`.
    // Returns the window (a QWidget*) or null.
    void* InitTableWnd(QMdiArea* parent, _FRAME_STRUCT_PARAM* frame, unsigned refreshMs, int stream,
                       QMenu* menu = nullptr, int menuPos = 0);

    // Any thread. Copies one whole frame (the layout `frame` describes) for
    // the window of `stream` (-1 stands for 0) and exchanges nShowWholeFrame
    // with `frame`. 1 when copied; 0 for a bad stream or frame, or no window.
    int SetRawgridData(_FRAME_STRUCT_PARAM* frame, unsigned char* data, int stream);

    // GUI thread. The window of `stream` or null.
    void* GetTableWnd(int stream) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};
