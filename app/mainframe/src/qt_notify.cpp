#include "qt_notify.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <map>

namespace {

QMessageBox::Icon IconOf(unsigned type) {
    switch (type & plat::MB_ICONMASK) {
        case plat::MB_ICONERROR:
            return QMessageBox::Critical;
        case plat::MB_ICONQUESTION:
            return QMessageBox::Question;
        case plat::MB_ICONWARNING:
            return QMessageBox::Warning;
        case plat::MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

QString ButtonText(int answer) {
    switch (answer) {
        case plat::IDOK:
            return QStringLiteral("确定");
        case plat::IDCANCEL:
            return QStringLiteral("取消");
        case plat::IDABORT:
            return QStringLiteral("中止");
        case plat::IDRETRY:
            return QStringLiteral("重试");
        case plat::IDIGNORE:
            return QStringLiteral("忽略");
        case plat::IDYES:
            return QStringLiteral("是");
        case plat::IDNO:
            return QStringLiteral("否");
        default:
            return QString::number(answer);
    }
}

bool OnGuiThread() {
    return QCoreApplication::instance() &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace

int QtNotifySink::Show(const plat::MessageRequest& request) {
    if (deadlineNs_ != 0)
        std::fprintf(stderr, "Talvora: %s: %s\n", request.caption.c_str(), request.text.c_str());
    if (!QCoreApplication::instance()) return plat::DefaultAnswer(request.type);
    if (OnGuiThread()) return ShowOnGuiThread(request);
    if (shuttingDown_) return plat::DefaultAnswer(request.type);
    int answer = plat::DefaultAnswer(request.type);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { answer = ShowOnGuiThread(request); },
        Qt::BlockingQueuedConnection);
    return answer;
}

int QtNotifySink::ShowOnGuiThread(const plat::MessageRequest& request) {
    QMessageBox box(IconOf(request.type), QString::fromStdString(request.caption),
                    QString::fromStdString(request.text), QMessageBox::NoButton,
                    QApplication::activeWindow());
    const int defaultAnswer = plat::DefaultAnswer(request.type);
    std::map<QAbstractButton*, int> answers;
    for (int answer : plat::ButtonsOf(request.type)) {
        const auto role = (answer == plat::IDCANCEL || answer == plat::IDNO)
                              ? QMessageBox::RejectRole
                              : QMessageBox::AcceptRole;
        QPushButton* b = box.addButton(ButtonText(answer), role);
        answers[b] = answer;
        if (answer == defaultAnswer) box.setDefaultButton(b);
        if (answer == plat::IDCANCEL) box.setEscapeButton(b);
    }
    if (const auto deadline = deadlineNs_.load(); deadline != 0) {
        using namespace std::chrono;
        const auto left =
            steady_clock::time_point(steady_clock::duration(deadline)) - steady_clock::now();
        const auto ms = std::max<long long>(0, duration_cast<milliseconds>(left).count());
        QTimer::singleShot(int(std::min<long long>(ms, 0x7FFFFFFF)), &box, [&box] {
            if (QAbstractButton* b = box.defaultButton()) b->click();
        });
    }
    box.exec();
    auto it = answers.find(box.clickedButton());
    if (it != answers.end()) return it->second;
    // Closed with the window's close button: the cancel answer when there is one.
    for (const auto& [button, answer] : answers)
        if (answer == plat::IDCANCEL) return answer;
    return defaultAnswer;
}
