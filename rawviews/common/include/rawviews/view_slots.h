// The windows of a raw-code view class, one per slot (a stream), each with
// the store that its data calls fill. Data calls (any thread) reach only the
// store, under the lock; the windows belong to the GUI thread. A window that
// closes or goes forgets its store, so no data call reaches a window that is
// gone. Each window class has a windowClosed() signal.
#pragma once

#include <QObject>
#include <QPointer>
#include <memory>
#include <mutex>

namespace rawviews {

template <class Wnd, class Store, int N>
class CViewSlots {
public:
    CViewSlots() = default;
    CViewSlots(const CViewSlots&) = delete;
    CViewSlots& operator=(const CViewSlots&) = delete;
    ~CViewSlots() {
        for (int i = 0; i < N; ++i) Drop(i);
    }

    // GUI thread.
    Wnd* Window(int i) const { return windows_[i].data(); }
    // Deletes the slot's window, if any, after forgetting its store.
    void Drop(int i) {
        Forget(i, stores_[i].get());
        delete windows_[i].data();
        windows_[i] = nullptr;
    }
    // Takes a new window and its store into an empty slot.
    void Adopt(int i, Wnd* wnd, std::shared_ptr<Store> store) {
        const Store* s = store.get();
        QObject::connect(wnd, &Wnd::windowClosed, &context_, [this, i, s, wnd] {
            Forget(i, s);
            if (windows_[i] == wnd) windows_[i] = nullptr;  // deleted later
        });
        QObject::connect(wnd, &QObject::destroyed, &context_, [this, i, s] { Forget(i, s); });
        {
            std::lock_guard lock(mutex_);
            stores_[i] = std::move(store);
        }
        windows_[i] = wnd;
    }

    // Any thread: the store of the slot's window, or null.
    std::shared_ptr<Store> StoreOf(int i) const {
        std::lock_guard lock(mutex_);
        return stores_[i];
    }

private:
    void Forget(int i, const Store* s) {
        std::lock_guard lock(mutex_);
        if (stores_[i].get() == s) stores_[i].reset();
    }

    mutable std::mutex mutex_;
    std::shared_ptr<Store> stores_[N];  // guarded by mutex_
    QPointer<Wnd> windows_[N];
    QObject context_;  // receiver of the windows' signals; disconnects when we go
};

}  // namespace rawviews
