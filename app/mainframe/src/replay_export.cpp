// The replay dialog's Chapter 10 export: the file open in the dialog,
// described by the fields as shown, converted on a worker thread so that a
// long recording does not stall the window.
#include <ch10export/ch10_writer.h>
#include <platform/notify.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

#include "replay_dlg.h"

namespace {

bool FieldNumber(const QLineEdit* e, int base, std::uint64_t most, std::uint64_t& out) {
    bool ok = false;
    const qulonglong v = e->text().trimmed().toULongLong(&ok, base);
    if (!ok || v > most) return false;
    out = v;
    return true;
}

}  // namespace

CReplayDlg::~CReplayDlg() {
    if (m_export.joinable()) m_export.join();
}

void CReplayDlg::AddExportButton(QBoxLayout* layout) {
    m_exportButton = new QPushButton(QStringLiteral("导出为IRIG 106第10章文件…"), this);
    m_exportButton->setObjectName(QStringLiteral("exportCh10"));
    layout->addWidget(m_exportButton);
    connect(m_exportButton, &QPushButton::clicked, this, [this] {
        if (m_path.empty()) {
            plat::MessageBox("请先选择模飞文件！", "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
            return;
        }
        QFileDialog dlg(this);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setNameFilter(QStringLiteral("IRIG 106第10章文件(*.ch10)"));
        dlg.setDefaultSuffix(QStringLiteral("ch10"));
        if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
            ExportCh10(dlg.selectedFiles().front().toStdString());
    });
    connect(this, &CReplayDlg::exportFinished, this, [](bool ok, const QString& message) {
        plat::MessageBox(message.toStdString(), "Talvora",
                         plat::MB_OK | (ok ? plat::MB_ICONINFORMATION : plat::MB_ICONWARNING));
    });
}

bool CReplayDlg::ExportCh10(const std::string& out) {
    if (m_exportRunning) return false;
    if (m_path.empty()) {
        plat::MessageBox("请先选择模飞文件！", "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
        return false;
    }
    // The fields are what the operator sees and may have corrected; they
    // describe a file without header as well.
    ch10export::DescriptionOverrides given;
    std::uint64_t v[7], sync = 0;
    const char* names[] = {"wordBits", "words",    "subframes", "codeRate",
                           "codeType", "syncBits", "precision"};
    bool ok = FieldNumber(Field("sync"), 16, ~std::uint64_t{0}, sync);
    for (int k = 0; k < 7 && ok; ++k) ok = FieldNumber(Field(names[k]), 10, 0xFFFFFFFFu, v[k]);
    if (!ok) {
        plat::MessageBox("更新参数失败！", "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
        return false;
    }
    given.wordBits = std::uint32_t(v[0]);
    given.subframeWords = std::uint32_t(v[1]);
    given.superframeLength = std::uint32_t(v[2]);
    given.bitRate = std::uint32_t(v[3]);
    given.codeType = std::uint32_t(v[4]);
    given.syncBits = std::uint32_t(v[5]);
    given.tagFormat = std::uint32_t(v[6]);
    given.syncCode = sync;

    if (m_export.joinable()) m_export.join();
    m_exportRunning = true;
    m_exportButton->setEnabled(false);
    m_export = std::thread([this, in = m_path, out, given] {
        ch10export::ExportResult r;
        try {
            r = ch10export::ExportFile(in, out, given);
        } catch (const std::exception& e) {  // out of memory: reported, not fatal
            r.message = e.what();
        }
        QString text;
        if (r.ok) {
            text = QStringLiteral("已导出%1个子帧记录到：\n%2")
                       .arg(r.records)
                       .arg(QString::fromStdString(out));
            if (r.dropped)
                text += QStringLiteral("\n文件不完整，丢弃%1个子帧记录。").arg(r.dropped);
        } else {
            text = QStringLiteral("导出失败：") + QString::fromStdString(r.message);
        }
        // Queued to the GUI thread; the destructor joins this thread first,
        // so `this` is alive while the call is posted.
        QMetaObject::invokeMethod(
            this, [this, ok = r.ok, text] { ExportDone(ok, text); }, Qt::QueuedConnection);
    });
    return true;
}

void CReplayDlg::ExportDone(bool ok, const QString& message) {
    m_exportRunning = false;
    m_exportButton->setEnabled(true);
    emit exportFinished(ok, message);
}
