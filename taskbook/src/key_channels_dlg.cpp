// Key-channel entry and encrypted-channel derivation dialogs.
#include "key_channels_dlg.h"

#include <platform/notify.h>

#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <vector>

#include "columns.h"
#include "taskbook/task_store.h"

namespace taskbook {
namespace {

void Tell(const std::string& text) {
    plat::MessageBox(text, kMessageCaption, plat::MB_OK | plat::MB_ICONWARNING);
}

QPushButton* Button(QWidget* parent, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(text);
    return b;
}

std::int64_t FullFrame(const FrameValues& v) {
    const std::int64_t sub = v.subframe.value_or(0);
    return v.superType != 0 ? sub * v.superframe.value_or(1) : sub;
}

}  // namespace

bool RunKeyChannelsDialog(QWidget* parent, const FrameValues& v, std::string& keys) {
    const std::uint32_t bits = static_cast<std::uint32_t>(v.wordBits.value_or(0));
    if (bits != 8 && bits != 16) {
        Tell("字长必须为8或者16才能够进行加解密设置！\t");
        return false;
    }
    if (bits == 16 && v.keyLength == 1) {
        Tell("字长为16时密钥长度不能为184！\t\t\t");
        return false;
    }
    const std::size_t count = KeyChannelCount(bits, v.keyLength);
    const auto stored = ParseChannelEntry(v.keyChannels, FullFrame(v)).value_or(std::vector<int>{});

    QDialog dlg(parent);
    dlg.setObjectName("加解密参数设置对话框");
    dlg.setWindowTitle("加解密参数设置对话框");
    auto* layout = new QVBoxLayout(&dlg);
    auto* form = new QFormLayout;
    std::vector<QLineEdit*> fields;
    for (std::size_t i = 0; i < count; ++i) {
        auto* e = new QLineEdit(&dlg);
        const QString name = QString("密钥通道%1").arg(i + 1);
        e->setObjectName(name);
        if (i < stored.size()) e->setText(QString::number(stored[i]));
        form->addRow(name, e);
        fields.push_back(e);
    }
    auto* plain = new QLineEdit(&dlg);
    plain->setObjectName("未加密波道");
    form->addRow("未加密波道", plain);
    layout->addLayout(form);
    auto* row = new QHBoxLayout;
    auto* derive = Button(&dlg, "密钥位置-自动推算");
    auto* ok = Button(&dlg, "确定");
    auto* cancel = Button(&dlg, "取消");
    row->addWidget(derive);
    row->addWidget(ok);
    row->addWidget(cancel);
    layout->addLayout(row);

    QObject::connect(derive, &QPushButton::clicked, &dlg, [&] {
        FrameValues d = v;
        d.keyChannels = fields.empty() ? std::string() : fields[0]->text().toStdString();
        const std::string plainText = plain->text().toStdString();
        if (auto r = CheckKeyDerivation(d, plainText)) return Tell(*r);
        const auto list = ParseChannelEntry(plainText, FullFrame(v));
        if (!list)
            return Tell("未加密波道应在子帧范围内(1～" + std::to_string(v.subframe.value_or(0)) +
                        ")，请重新输入！");
        const std::vector<int> derived = DeriveKeyChannels(d, *list);
        for (std::size_t i = 0; i < fields.size(); ++i)
            fields[i]->setText(i < derived.size() ? QString::number(derived[i]) : QString());
    });
    QObject::connect(ok, &QPushButton::clicked, &dlg, [&] {
        std::vector<int> list;
        for (QLineEdit* e : fields) {
            const auto one = ParseChannelEntry(e->text().toStdString(), 1 << 30);
            if (!one || one->size() != 1)
                return Tell("密钥通道不能超过全帧长" + std::to_string(FullFrame(v)) +
                            "！\t\t\r\n\t请重新输入密钥通道值！");
            list.push_back(one->front());
        }
        const auto enc =
            ParseChannelEntry(v.encryptedChannels, 1 << 30).value_or(std::vector<int>{});
        if (auto r = CheckKeyChannels(v, list, enc)) return Tell(*r);
        keys = FormatChannelList(list);
        dlg.accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, &dlg, &QDialog::reject);
    return dlg.exec() == QDialog::Accepted;
}

bool RunNonEncryptedDialog(QWidget* parent, const FrameValues& v, std::string& encrypted) {
    QDialog dlg(parent);
    dlg.setObjectName("未加密波道推算");
    dlg.setWindowTitle("未加密波道推算");
    auto* layout = new QVBoxLayout(&dlg);
    auto* plain = new QLineEdit(&dlg);
    plain->setObjectName("未加密波道");
    auto* derive = Button(&dlg, "推算↓");
    auto* shown = new QLineEdit(&dlg);
    shown->setObjectName("加密波道");
    shown->setReadOnly(true);
    layout->addWidget(plain);
    layout->addWidget(derive);
    layout->addWidget(shown);
    auto* row = new QHBoxLayout;
    auto* ok = Button(&dlg, "确定");
    auto* cancel = Button(&dlg, "取消");
    row->addWidget(ok);
    row->addWidget(cancel);
    layout->addLayout(row);

    std::vector<int> derived;
    bool have = false;
    QObject::connect(derive, &QPushButton::clicked, &dlg, [&] {
        const std::int64_t sub = v.subframe.value_or(0);
        const std::string text = plain->text().toStdString();
        if (text.empty()) return Tell("未加密波道不能为空，至少应包含帧同步码位置！");
        const auto list = ParseChannelEntry(text, 1 << 30);
        if (!list)
            return Tell("未加密波道应在子帧范围内(1～" + std::to_string(sub) + ")，请重新输入！");
        if (auto r = CheckNonEncrypted(v, *list, false)) return Tell(*r);
        const auto keys = ParseChannelEntry(v.keyChannels, 1 << 30).value_or(std::vector<int>{});
        derived = DeriveEncrypted(static_cast<std::uint32_t>(sub), *list, keys);
        shown->setText(QString::fromStdString(ShowChannelList(derived)));
        have = true;
    });
    QObject::connect(ok, &QPushButton::clicked, &dlg, [&] {
        if (!have) return Tell("未加密波道，请输入未加密波道！\t\t");
        encrypted = FormatChannelList(derived);
        dlg.accept();
    });
    QObject::connect(cancel, &QPushButton::clicked, &dlg, &QDialog::reject);
    return dlg.exec() == QDialog::Accepted;
}

}  // namespace taskbook
