// A Chapter 10 export of a recording that belongs to the frame rather than
// to the replay dialog: it runs on when the dialog closes, shows its
// progress with a cancel button in the frame's status bar, and tells its
// end in a box.
#pragma once

#include <ch10export/ch10_writer.h>

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

class QLabel;
class QProgressBar;
class QWidget;

class Ch10ExportJob : public QObject {
    Q_OBJECT
public:
    explicit Ch10ExportJob(QObject* owner);
    // Cancels a running export and waits for its worker, which stops after
    // the read in progress.
    ~Ch10ExportJob() override;

    // The job of the window `w` belongs to (made on first use), or, without
    // a window, one owned by `fallback`.
    static Ch10ExportJob* For(QWidget* w, QObject* fallback);

    // False when an export is still running.
    bool Start(const std::string& in, const std::string& out,
               const ch10export::DescriptionOverrides& given);
    void Cancel();
    bool Running() const { return running_; }
    // 0..1000 of the recording's bytes done.
    int Permille() const;
    const std::string& Output() const { return out_; }

signals:
    void progressChanged(int permille);
    // After the end box was answered.
    void finished(bool ok, const QString& message);

private:
    void Done(const ch10export::ExportResult& r);
    void ShowProgressInStatusBar(bool on);

    std::thread worker_;
    std::atomic<bool> cancel_{false};
    std::atomic<std::uint64_t> done_{0}, total_{0};
    bool running_ = false;  // GUI thread
    std::string out_;
    QTimer poll_;
    QPointer<QWidget> barPanel_;
    QProgressBar* barProgress_ = nullptr;
    bool hideBarAfter_ = false;
};
