// Opens the task-macro dialog over a store of 500 tasks (written with
// ModifyTaskMacro) 20 times and prints the median time from building the
// dialog to its first paint, next to the store's own cost for the same
// opening: the task-list query plus loading one task.
#include <platform/notify.h>
#include <platform/paths.h>
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "task_macro_dlg.h"
#include "taskbook/task_store.h"
#include "taskbook/taskbook.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTasks = 500;
constexpr int kRuns = 20;

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Notes the first paint of the watched widget.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint && !painted) {
            painted = true;
            at = Clock::now();
        }
        return QObject::eventFilter(o, e);
    }
    bool painted = false;
    Clock::time_point at;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    char tmpl[] = "/tmp/bench_taskdialog_XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    setenv("XDG_CONFIG_HOME", (std::string(tmpl) + "/config").c_str(), 1);
    plat::SetModuleDirectory(tmpl);
    plat::SetNotifySink(std::make_shared<plat::CapturingSink>());

    auto info = std::make_unique<TaskInfoRecord>();
    auto rec = std::make_unique<taskbook::StreamRecords>();
    if (!GetDefaultTaskPara(info.get(), &rec->dem, &rec->sim, &rec->time, &rec->recv, 1)) return 1;
    for (int i = 0; i < kTasks; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "试验任务%03d", i);
        std::memset(info->任务名, 0, sizeof info->任务名);
        std::memcpy(info->任务名, name, std::strlen(name));
        info->默认任务 = 0;
        rec->dem.dem.子帧长 = 24 + static_cast<std::uint32_t>(i % 8);
        if (!ModifyTaskMacro(1, info.get(), &rec->dem, &rec->sim, &rec->time, &rec->recv, 1))
            return 1;
    }

    std::vector<double> open, store;
    for (int run = 0; run < kRuns + 1; ++run) {
        const auto s0 = Clock::now();
        auto list = taskbook::TaskStore::Instance().TaskList();
        auto records = std::make_unique<taskbook::TaskRecords>();
        if (!list || !taskbook::TaskStore::Instance().Load(taskbook::kCurrentTask, *records))
            return 1;
        const auto s1 = Clock::now();

        FirstPaint watch;
        const auto t0 = Clock::now();
        std::unique_ptr<taskbook::CTaskMacroDlg> dlg(
            taskbook::CreateTaskMacroDialog(nullptr, 1, taskbook::kModeEditApply, 127));
        dlg->installEventFilter(&watch);
        dlg->show();
        QElapsedTimer limit;
        limit.start();
        while (!watch.painted && limit.elapsed() < 10000) app.processEvents();
        if (!watch.painted) return 2;
        if (run > 0) {  // the first run warms the caches
            open.push_back(Ms(t0, watch.at));
            store.push_back(Ms(s0, s1));
        }
    }
    const double o = Median(open), s = Median(store);
    std::printf("store of %d tasks, median of %d runs\n", kTasks + 2, kRuns);
    std::printf("dialog built to first paint     %8.2f ms (goal <= 300 ms)\n", o);
    std::printf("task list + load one task       %8.2f ms\n", s);
    std::printf("ratio dialog / store            %8.1f\n", o / s);
    taskbook::TaskStore::Instance().ResetForTest();
    std::error_code ec;
    std::filesystem::remove_all(tmpl, ec);
    return 0;
}
