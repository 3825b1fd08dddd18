// The raw histogram window of the program: one MDI child showing the newest
// raw values of up to 24 word positions as bars. The program holds one
// CHistogramWndClass.
#pragma once

#include <rawviews/frame_records.h>

#include <memory>

class QMdiArea;

class CHistogramWndClass {
public:
    CHistogramWndClass();
    // Closes the window still open (without the closing message).
    ~CHistogramWndClass();
    CHistogramWndClass(const CHistogramWndClass&) = delete;
    CHistogramWndClass& operator=(const CHistogramWndClass&) = delete;

    // GUI thread. Creates the window in `parent`, maximised, replacing any
    // earlier one, repainted every `refreshMs`. Returns it (a QWidget*) or null.
    void* InitHistogramWnd(QMdiArea* parent, _FRAME_STRUCT_PARAM* frame, unsigned refreshMs);

    // Any thread. Copies one whole frame; 1 when copied, 0 without a window
    // or for a refused record.
    int SetHistviewData(_FRAME_STRUCT_PARAM* frame, unsigned char* data);

    // GUI thread. Bit-error figures for the caption; 0 when `show` is set
    // without a statistic.
    int SetErrorCode(_ERROR_CODE_STATISTIC* statistic, int show);

    // GUI thread. The window or null.
    void* GetHistogramWnd() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};
