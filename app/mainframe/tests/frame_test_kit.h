// What the frame tests against a loopback card engine share: a box sink that
// keeps every text, a hand on the next modal dialog, the status view's field
// texts, and a fixture whose home holds a 1 Mbit/s default task.
#pragma once

#include <platform/notify.h>
#include <taskbook/task_store.h>
#include <taskbook/taskbook.h>
#include <testsupport/wait.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "frame_fixture.h"
#include "view_dlg.h"

namespace frametest {

// Keeps every box text; confirms the exit and answers the rest with their
// default button.
class TextSink : public plat::NotifySink {
public:
    int Show(const plat::MessageRequest& r) override {
        std::lock_guard lock(mutex_);
        texts_.push_back(r.text);
        return r.text == "你确定要退出软件！" ? plat::IDOK : plat::DefaultAnswer(r.type);
    }
    std::vector<std::string> Texts() const {
        std::lock_guard lock(mutex_);
        return texts_;
    }
    bool Saw(const std::string& t) const {
        std::lock_guard lock(mutex_);
        return std::find(texts_.begin(), texts_.end(), t) != texts_.end();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
};

// What happens to the dialog once `fill` has run.
enum class DialogEnd {
    Leave,           // fill itself ends it
    Accept,          // OK
    AcceptOrCancel,  // OK, and Cancel when OK left it open (a refused value)
};

// Fills the next modal dialog once it is shown.
inline void AnswerNextDialog(std::function<void(QDialog&)> fill,
                             DialogEnd end = DialogEnd::Accept) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, fill, end] {
        auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dlg) return;
        timer->stop();
        timer->deleteLater();
        fill(*dlg);
        if (end == DialogEnd::Leave) return;
        dlg->accept();
        if (end == DialogEnd::AcceptOrCancel && dlg->isVisible()) dlg->reject();
    });
    timer->start();
}

// The text of a status-view field.
inline std::string StatusCell(CMainFrame* f, int id) {
    QWidget* w = f->StatusView()->Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
    return "<no field " + std::to_string(id) + ">";
}

// A frame whose home's default task runs at 1 Mbit/s (EditTask may change
// more), with every box kept in boxes_.
class EngineFrameTest : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        plat::SetNotifySink(boxes_);
        taskbook::TaskStore::Instance().ResetForTest();
        auto info = std::make_unique<TaskInfoRecord>();
        auto dem = std::make_unique<DemTaskRecord>();
        auto sim = std::make_unique<SimTaskRecord>();
        auto time = std::make_unique<TimeTaskRecord>();
        auto rcv = std::make_unique<RecvTaskRecord>();
        ASSERT_NE(GetDefaultTaskPara(info.get(), dem.get(), sim.get(), time.get(), rcv.get(), 1),
                  0);
        dem->dem.码率 = 1000000;
        EditTask(*dem);
        ASSERT_NE(ModifyTaskMacro(0, info.get(), dem.get(), sim.get(), time.get(), rcv.get(), 1),
                  0);
    }
    void TearDown() override {
        FrameTest::TearDown();
        taskbook::TaskStore::Instance().ResetForTest();  // the next home has its own store
    }
    virtual void EditTask(DemTaskRecord&) {}

    // A frame on `engine` with its card open.
    CMainFrame* FrameOn(cardengine::testkit::EngineProcess& engine) {
        using namespace std::chrono_literals;
        UseEngine(engine.Address());
        CMainFrame* f = MakeFrame();
        OnFrameMade(f);
        EXPECT_WAIT_UNTIL(f->m_bCardOpen && !f->m_bCardInitialising, 20s);
        return f;
    }
    virtual void OnFrameMade(CMainFrame*) {}

    std::shared_ptr<TextSink> boxes_ = std::make_shared<TextSink>();
};

}  // namespace frametest
