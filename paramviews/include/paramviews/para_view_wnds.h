// The solved-parameter windows of the program: one curve, one stripe (bar)
// and one table window at a time, as MDI children. The program holds one
// CParaViewWnds. GUI thread only.
#pragma once

#include <QRect>
#include <memory>

#include "paramviews/deal_param.h"

class QMdiArea;
class QMenu;
class QWidget;

// Window styles the program passes; only the visible bit is looked at.
inline constexpr unsigned kWsChild = 0x40000000u, kWsVisible = 0x10000000u,
                          kWsOverlappedWindow = 0x00CF0000u, kWsCaption = 0x00C00000u;

// Messages posted to the frame when a window closes.
inline constexpr unsigned kDealTableClosedMessage = 1044;
inline constexpr unsigned kDealStripeClosedMessage = 1045;
inline constexpr unsigned kDealCurveClosedMessage = 1046;

class PARAMVIEWS_API CParaViewWnds {
public:
    CParaViewWnds();
    // Closes the windows still open, without the closing messages.
    ~CParaViewWnds();
    CParaViewWnds(const CParaViewWnds&) = delete;
    CParaViewWnds& operator=(const CParaViewWnds&) = delete;

    // Creates the window in `parent` (null class name and title: the
    // defaults); with `menu`, the window's popup is inserted there at
    // `menuPosition` under "参数显示配置(&C)". `context` is unused. The
    // window, or null when one of its kind exists or creation fails.
    QWidget* CreateDealCurveWnd(const char* className, const char* title, unsigned style,
                                const QRect& rect, QMdiArea* parent, void* context, QMenu* menu,
                                int menuPosition);
    QWidget* CreateDealStripeWnd(const char* className, const char* title, unsigned style,
                                 const QRect& rect, QMdiArea* parent, void* context, QMenu* menu,
                                 int menuPosition);
    QWidget* CreateDealTableWnd(const char* className, const char* title, unsigned style,
                                const QRect& rect, QMdiArea* parent, void* context, QMenu* menu,
                                int menuPosition);

    // Stores five texts and a number with the window; 0 without a window.
    int SetDealCurveWndPar(const char* a, const char* b, const char* c, const char* d,
                           const char* e, unsigned n);
    int SetDealStripeWndPar(const char* a, const char* b, const char* c, const char* d,
                            const char* e, unsigned n);
    int SetDealTableWndPar(const char* a, const char* b, const char* c, const char* d,
                           const char* e, unsigned n);

    // Maximises the window; 0 without a window.
    int DealCurveWndMaximized();
    int DealStripeWndMaximized();
    int DealTableWndMaximized();

    // The open windows (null when closed).
    QWidget* CurveWnd() const;
    QWidget* StripeWnd() const;
    QWidget* TableWnd() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};
