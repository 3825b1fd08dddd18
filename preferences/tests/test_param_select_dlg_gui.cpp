// The selection dialog offscreen against the sample database: filling the
// lists, adding, removing, clearing, and what cancel and accept leave behind.
#include <gtest/gtest.h>
#include <platform/notify.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>

#include "library.h"
#include "param_select_dlg.h"
#include "preferences/preferences.h"
#include "selection_file.h"
#include "testsupport/temp_home.h"
#include "testsupport/wait.h"

using namespace prefs;
using namespace std::chrono_literals;
using talvora::test::TempHome;

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs `act` on the next modal dialog once it is shown.
void OnNextModal(std::function<void(CParamSelectDlg&)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dlg = qobject_cast<CParamSelectDlg*>(QApplication::activeModalWidget());
        if (!dlg) return;
        timer->stop();
        timer->deleteLater();
        act(*dlg);
    });
    timer->start();
}

QPushButton* Button(QDialog& d, const char* text) {
    for (auto* b : d.findChildren<QPushButton*>())
        if (b->text() == QString::fromUtf8(text)) return b;
    return nullptr;
}

QStringList Names(QTableWidget* t) {
    QStringList out;
    for (int r = 0; r < t->rowCount(); ++r) out << t->item(r, 0)->text();
    return out;
}

SelectionDialogRequest Request(ParameterLibrary& lib, int kind, int level) {
    SelectionDialogRequest r;
    r.kind = kind;
    r.level = level;
    std::vector<ParStructEx> lists[3];
    std::vector<ParStructEx>* out[3] = {&lists[0], &lists[1], &lists[2]};
    lib.CopyParameters(out);
    for (int l = 0; l < 3; ++l)
        for (const ParStructEx& p : lists[l]) {
            ParamRecord rec;
            rec.name = p.strName;
            rec.meaning = p.strMeaning;
            rec.unit = p.strUnit;
            rec.dMax = p.dMax;
            rec.bFormula = p.bFormula;
            rec.nBit = p.nBit;
            rec.nSelCurve = p.nSelCurve;
            rec.nSelTable = p.nSelTable;
            rec.nSelStripe = p.nSelStripe;
            rec.nSelReply = p.nSelReply;
            rec.nSelected = p.nSelected;
            r.lists[l].push_back(rec);
        }
    return r;
}

class SelectDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetNotifySink(sink_);
        ASSERT_EQ(lib_.Load(), 1);
    }
    void TearDown() override { plat::SetNotifySink(nullptr); }
    TempHome home_;
    std::shared_ptr<plat::CapturingSink> sink_ = std::make_shared<plat::CapturingSink>();
    ParameterLibrary lib_;
};

TEST_F(SelectDialogTest, ListsFollowTheLevelAndTheButtonsEditOnlyTheCopy) {
    SelectionDialogRequest request = Request(lib_, kKindCurve, 0);
    const SelectionDialogRequest original = request;
    CParamSelectDlg d(request);
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("曲线显示参数选择"));
    EXPECT_EQ(d.LevelBox()->itemText(0), QString::fromUtf8("子帧 "));
    ASSERT_WAIT_UNTIL(!d.Busy(), 5s);
    EXPECT_TRUE(d.LevelBox()->isEnabled());
    ASSERT_EQ(d.LeftList()->rowCount(), int(request.lists[0].size()));
    EXPECT_EQ(d.LeftList()->columnWidth(1), 180);
    EXPECT_EQ(d.LeftList()->columnWidth(7), 85);
    EXPECT_EQ(d.LeftList()->horizontalHeaderItem(7)->text(), QString::fromUtf8("计算方法"));
    EXPECT_EQ(Names(d.RightList()), (QStringList{"正弦波", "阶梯码"}));

    // Add the first row (帧同步码), then remove 正弦波, then clear all.
    d.LeftList()->selectRow(0);
    d.AddHighlighted();
    EXPECT_TRUE(d.Busy());
    EXPECT_FALSE(Button(d, "添加=>\n(&A)")->isEnabled());
    ASSERT_WAIT_UNTIL(!d.Busy(), 5s);
    EXPECT_EQ(Names(d.RightList()), (QStringList{"帧同步码", "正弦波", "阶梯码"}));
    EXPECT_EQ(request.lists[0][0].nSelCurve, 1);
    d.RightList()->selectRow(1);
    d.RemoveHighlighted();
    ASSERT_WAIT_UNTIL(!d.Busy(), 5s);
    EXPECT_EQ(Names(d.RightList()), (QStringList{"帧同步码", "阶梯码"}));
    // Other levels fill on choice.
    d.ChooseLevel(2);
    ASSERT_WAIT_UNTIL(!d.Busy(), 5s);
    EXPECT_EQ(d.LeftList()->rowCount(), int(request.lists[2].size()));
    d.ChooseLevel(0);
    ASSERT_WAIT_UNTIL(!d.Busy(), 5s);
    d.RemoveAll();
    ASSERT_WAIT_UNTIL(!d.Busy(), 5s);
    EXPECT_EQ(d.RightList()->rowCount(), 0);
    for (const ParamRecord& r : request.lists[0]) {
        EXPECT_EQ(r.nSelCurve, 0);
        EXPECT_EQ(r.nSelTable, 1) << r.name;  // other kinds stay
    }
    // The library's lists did not move.
    SelectionDialogRequest now = Request(lib_, kKindCurve, 0);
    for (int l = 0; l < 3; ++l)
        for (std::size_t i = 0; i < now.lists[l].size(); ++i)
            EXPECT_EQ(now.lists[l][i].nSelCurve, original.lists[l][i].nSelCurve);
}

TEST_F(SelectDialogTest, RowTextsShowNumbersAndTheMethod) {
    ParamRecord r;
    r.name = "X";
    r.dMax = 2.5;
    r.nBit = 7;
    QStringList row = CParamSelectDlg::RowTexts(r);
    EXPECT_EQ(row[3], "2.50000");
    EXPECT_EQ(row[7], "bit:7");
    r.bFormula = 1;
    EXPECT_EQ(CParamSelectDlg::RowTexts(r)[7], QString::fromUtf8("公式法"));
}

// Through the exported call with the library's own instance.
TEST(SelectDialogCall, CancelLeavesShadowsFilesAndListsAndAcceptSavesTheEdit) {
    TempHome home;
    auto sink = std::make_shared<plat::CapturingSink>();
    plat::SetNotifySink(sink);
    ASSERT_EQ(LoadParameterDatabase(), 1);
    const std::string before = Slurp(home / "子帧.sel");
    std::vector<ParStructEx> l[3], working[3];
    int n[3] = {-1, -1, -1};

    EXPECT_EQ(OpenParameterDlg(l[0], l[1], l[2], n[0], n[1], n[2], 5, 0), 0);
    EXPECT_EQ(OpenParameterDlg(l[0], l[1], l[2], n[0], n[1], n[2], 3, 3), 0);

    OnNextModal([](CParamSelectDlg& d) {
        if (!talvora::test::WaitUntil([&] { return !d.Busy(); }, 5s)) return d.reject();
        d.RemoveAll();
        talvora::test::WaitUntil([&] { return !d.Busy(); }, 5s);
        Button(d, "取消(&N)")->click();
    });
    EXPECT_EQ(OpenParameterDlg(l[0], l[1], l[2], n[0], n[1], n[2], 3, 0), 0);
    EXPECT_TRUE(l[0].empty());
    EXPECT_EQ(n[0], -1);
    EXPECT_EQ(Slurp(home / "子帧.sel"), before);
    GetParametersInfo(working[0], working[1], working[2]);
    for (auto& p : working[0]) EXPECT_EQ(p.nSelTable, 1) << p.strName;
    // The shadows kept the table flags: clearing the curves saves them.
    CleanAllParaSelFlg(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 2);
    Library().WaitSelectionSaved();
    const std::string cleared = Slurp(home / "子帧.sel");
    for (std::size_t i = 0; i < working[0].size(); ++i)
        EXPECT_EQ(std::uint8_t(cleared.at(16 * (i + 1) + 15)) & 0x83, 0x82) << i;

    OnNextModal([](CParamSelectDlg& d) {
        if (!talvora::test::WaitUntil([&] { return !d.Busy(); }, 5s)) return d.reject();
        d.LeftList()->selectRow(0);
        d.AddHighlighted();
        talvora::test::WaitUntil([&] { return !d.Busy(); }, 5s);
        Button(d, "确定(&Y)")->click();
    });
    EXPECT_EQ(OpenParameterDlg(l[0], l[1], l[2], n[0], n[1], n[2], 2, 1), 1);
    EXPECT_EQ(n[1], int(l[1].size()));
    ASSERT_FALSE(l[1].empty());
    EXPECT_EQ(l[1][0].nSelCurve, 1);
    GetParametersInfo(working[0], working[1], working[2]);
    EXPECT_EQ(working[1][0].nSelCurve, 1);
    Library().WaitSelectionSaved();
    EXPECT_EQ(std::uint8_t(Slurp(home / "副帧.sel").at(31)), 0x83);
    plat::SetNotifySink(nullptr);
}

}  // namespace
