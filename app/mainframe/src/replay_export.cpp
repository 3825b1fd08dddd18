// The replay dialog's Chapter 10 export: the file open in the dialog,
// described by the fields as shown, converted by the frame's export job so
// that a long recording neither stalls the window nor holds its closing.
#include <ch10export/ch10_writer.h>
#include <platform/notify.h>

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ch10_export_job.h"
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

CReplayDlg::~CReplayDlg() = default;

void CReplayDlg::AddExportButton(QBoxLayout* layout) {
    m_exportJob = Ch10ExportJob::For(parentWidget(), this);
    auto* row = new QHBoxLayout;
    m_exportButton = new QPushButton(this);
    m_exportButton->setObjectName(QStringLiteral("exportCh10"));
    m_exportProgress = new QProgressBar(this);
    m_exportProgress->setObjectName(QStringLiteral("exportProgress"));
    m_exportProgress->setRange(0, 1000);
    row->addWidget(m_exportButton, 1);
    row->addWidget(m_exportProgress, 1);
    layout->addLayout(row);
    // While an export runs the button cancels it.
    connect(m_exportButton, &QPushButton::clicked, this, [this] {
        if (m_exportJob->Running()) {
            m_exportJob->Cancel();
            return;
        }
        if (m_path.empty()) {
            plat::MessageBox("请先选择模飞文件！", "Talvora", plat::MB_OK | plat::MB_ICONWARNING);
            return;
        }
        // Suggested: beside the recording, with its name.
        const QString suggested = QString::fromStdString(ch10export::SuggestedCh10Path(m_path));
        QFileDialog dlg(this);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setNameFilter(QStringLiteral("IRIG 106第10章文件(*.ch10)"));
        dlg.setDefaultSuffix(QStringLiteral("ch10"));
        dlg.setDirectory(QFileInfo(suggested).absolutePath());
        dlg.selectFile(QFileInfo(suggested).fileName());
        if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
            ExportCh10(dlg.selectedFiles().front().toStdString());
    });
    connect(m_exportJob, &Ch10ExportJob::progressChanged, m_exportProgress,
            &QProgressBar::setValue);
    connect(m_exportJob, &Ch10ExportJob::finished, this, [this](bool ok, const QString& message) {
        ShowExportState();
        emit exportFinished(ok, message);
    });
    ShowExportState();
}

void CReplayDlg::ShowExportState() {
    const bool running = m_exportJob->Running();
    m_exportButton->setText(running ? QStringLiteral("取消导出")
                                    : QStringLiteral("导出为IRIG 106第10章文件…"));
    m_exportProgress->setVisible(running);
    m_exportProgress->setValue(m_exportJob->Permille());
}

bool CReplayDlg::ExportRunning() const {
    return m_exportJob->Running();
}

bool CReplayDlg::ExportCh10(const std::string& out) {
    if (m_exportJob->Running()) return false;
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

    if (!m_exportJob->Start(m_path, out, given)) return false;
    ShowExportState();
    return true;
}
