#include "ch10_export_job.h"

#include <platform/notify.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <exception>

namespace {

constexpr const char* kJobName = "ch10Export";
// How often the shown progress follows the worker's.
constexpr int kProgressPollMs = 200;

}  // namespace

Ch10ExportJob::Ch10ExportJob(QObject* owner) : QObject(owner) {
    setObjectName(QString::fromLatin1(kJobName));
    poll_.setInterval(kProgressPollMs);
    connect(&poll_, &QTimer::timeout, this, [this] {
        const int p = Permille();
        if (barProgress_) barProgress_->setValue(p);
        emit progressChanged(p);
    });
}

Ch10ExportJob::~Ch10ExportJob() {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
    delete barPanel_.data();
}

Ch10ExportJob* Ch10ExportJob::For(QWidget* w, QObject* fallback) {
    QObject* owner = w ? static_cast<QObject*>(w->window()) : fallback;
    if (auto* job = owner->findChild<Ch10ExportJob*>(QString::fromLatin1(kJobName),
                                                     Qt::FindDirectChildrenOnly))
        return job;
    return new Ch10ExportJob(owner);
}

int Ch10ExportJob::Permille() const {
    const std::uint64_t total = total_, done = done_;
    if (total == 0) return 0;
    return int(std::min<std::uint64_t>(done, total) * 1000 / total);
}

bool Ch10ExportJob::Start(const std::string& in, const std::string& out,
                          const ch10export::DescriptionOverrides& given) {
    if (running_) return false;
    if (worker_.joinable()) worker_.join();  // ended; its end is already told
    running_ = true;
    cancel_ = false;
    done_ = 0;
    total_ = 0;
    out_ = out;
    ShowProgressInStatusBar(true);
    poll_.start();
    worker_ = std::thread([this, in, out, given] {
        ch10export::ExportResult r;
        try {
            r = ch10export::ExportFile(in, out, given,
                                       [this](std::uint64_t done, std::uint64_t total) {
                                           total_ = total;
                                           done_ = done;
                                           return !cancel_.load();
                                       });
        } catch (const std::exception& e) {  // out of memory: reported, not fatal
            r.message = e.what();
        }
        // The destructor joins this thread first, so `this` is alive while
        // the call is posted; a call still queued then is dropped with it.
        QMetaObject::invokeMethod(
            this, [this, r] { Done(r); }, Qt::QueuedConnection);
    });
    return true;
}

void Ch10ExportJob::Cancel() {
    if (running_) cancel_ = true;
}

void Ch10ExportJob::Done(const ch10export::ExportResult& r) {
    if (worker_.joinable()) worker_.join();
    running_ = false;
    poll_.stop();
    ShowProgressInStatusBar(false);
    const QString out = QString::fromStdString(out_);
    QString text;
    if (r.ok) {
        text = QStringLiteral("已导出%1个子帧记录到：\n%2").arg(r.records).arg(out);
        if (r.dropped) text += QStringLiteral("\n文件不完整，丢弃%1个子帧记录。").arg(r.dropped);
    } else if (r.cancelled) {
        text = QStringLiteral("已取消导出，未完成的文件已删除：\n%1").arg(out);
    } else {
        text = QStringLiteral("导出失败：") + QString::fromStdString(r.message);
    }
    emit progressChanged(r.ok ? 1000 : Permille());
    plat::MessageBox(text.toStdString(), "Talvora",
                     plat::MB_OK | (r.ok ? plat::MB_ICONINFORMATION : plat::MB_ICONWARNING));
    emit finished(r.ok, text);
}

void Ch10ExportJob::ShowProgressInStatusBar(bool on) {
    auto* frame = qobject_cast<QMainWindow*>(parent());
    if (!frame) return;
    if (!on) {
        delete barPanel_.data();
        barProgress_ = nullptr;
        if (hideBarAfter_) frame->statusBar()->hide();
        return;
    }
    if (barPanel_) return;
    auto* existing = frame->findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly);
    hideBarAfter_ = !existing || existing->isHidden();
    QStatusBar* bar = frame->statusBar();
    auto* panel = new QWidget(bar);
    panel->setObjectName(QStringLiteral("ch10ExportProgress"));
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(QStringLiteral("导出第10章文件：%1")
                                 .arg(QString::fromStdString(out_).section(QLatin1Char('/'), -1)),
                             panel);
    barProgress_ = new QProgressBar(panel);
    barProgress_->setRange(0, 1000);
    barProgress_->setValue(0);
    barProgress_->setTextVisible(true);
    auto* cancel = new QPushButton(QStringLiteral("取消导出"), panel);
    cancel->setObjectName(QStringLiteral("cancelCh10Export"));
    connect(cancel, &QPushButton::clicked, this, &Ch10ExportJob::Cancel);
    row->addWidget(label);
    row->addWidget(barProgress_);
    row->addWidget(cancel);
    bar->addPermanentWidget(panel);
    bar->show();
    barPanel_ = panel;
}
