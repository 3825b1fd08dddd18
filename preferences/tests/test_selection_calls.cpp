// The selection calls against the sample database in a temporary home:
// flags edited, files rewritten whole, the working lists following.
#include <gtest/gtest.h>
#include <platform/codepage.h>
#include <platform/notify.h>

#include <fstream>
#include <sstream>

#include "library.h"
#include "preferences/preferences.h"
#include "selection_dialog.h"
#include "selection_file.h"
#include "testsupport/temp_home.h"

using namespace prefs;
using talvora::test::TempHome;

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const char* const kFiles[3] = {"子帧.sel", "副帧.sel", "特殊副帧.sel"};

struct Lists {
    std::vector<ParStructEx> level[3];
    std::vector<ParStructEx>** ptr() {
        for (int i = 0; i < 3; ++i) p[i] = &level[i];
        return p;
    }
    std::vector<ParStructEx>* p[3] = {};
};

Lists Working(ParameterLibrary& lib) {
    Lists l;
    lib.CopyParameters(l.ptr());
    return l;
}

int IndexOf(const std::vector<ParStructEx>& list, const std::string& name) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (name == list[i].strName) return int(i);
    return -1;
}

// The flag byte of record i (0-based) of a selection file image.
int FlagByte(const std::string& file, int i) {
    return std::uint8_t(file.at(16 * (i + 1) + 15));
}

class SelectionCalls : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetNotifySink(sink_);
        ASSERT_EQ(lib_.Load(), 1);
        base_ = Working(lib_);
    }
    void TearDown() override {
        SetSelectionDialogRunner(nullptr);
        plat::SetNotifySink(nullptr);
    }
    std::string File(int level) {
        lib_.WaitSelectionSaved();
        return Slurp(home_ / kFiles[level]);
    }

    TempHome home_;
    std::shared_ptr<plat::CapturingSink> sink_ = std::make_shared<plat::CapturingSink>();
    ParameterLibrary lib_;
    Lists base_;
};

TEST_F(SelectionCalls, CleanAllWithNullPointersAndKindZeroRewritesEveryFlagByteAsZero) {
    lib_.CleanSelectionFlags(std::array<std::vector<ParStructEx>*, 3>{}.data(),
                             std::array<int*, 3>{}.data(), kKindAll);
    for (int level = 0; level < 3; ++level) {
        const std::string f = File(level);
        ASSERT_EQ(f.size(), (base_.level[level].size() + 1) * 16) << level;
        for (std::size_t i = 0; i < base_.level[level].size(); ++i)
            EXPECT_EQ(FlagByte(f, int(i)), 0) << level << " " << i;
        EXPECT_FALSE(std::ifstream(home_ / (std::string(kFiles[level]) + ".tmp")));
    }
    for (auto& level : Working(lib_).level)
        for (auto& p : level) EXPECT_EQ(p.nSelected, 0) << p.strName;
    // A reload reads the same empty selection.
    ParameterLibrary again;
    ASSERT_EQ(again.Load(), 1);
    for (auto& level : Working(again).level)
        for (auto& p : level) EXPECT_EQ(p.nSelected, 0) << p.strName;
}

TEST_F(SelectionCalls, CleaningCurvesKeepsATableParameterSelected) {
    Lists out;
    int n[3] = {-1, -1, -1};
    int* counts[3] = {&n[0], &n[1], &n[2]};
    lib_.CleanSelectionFlags(out.ptr(), counts, kKindCurve);
    const int stair = IndexOf(base_.level[0], "阶梯码");
    ASSERT_GE(stair, 0);
    ASSERT_EQ(base_.level[0][stair].nSelCurve, 1);
    for (int level = 0; level < 3; ++level) EXPECT_EQ(n[level], int(base_.level[level].size()));
    EXPECT_EQ(out.level[0][stair].nSelCurve, 0);
    EXPECT_EQ(out.level[0][stair].nSelTable, 1);
    EXPECT_EQ(out.level[0][stair].nSelStripe, 1);
    EXPECT_EQ(out.level[0][stair].nSelected, 1);
    EXPECT_EQ(FlagByte(File(0), stair), 0x80 | 0x04 | 0x02);
    EXPECT_EQ(Working(lib_).level[0][stair].nSelCurve, 0);
}

TEST_F(SelectionCalls, SetFlagsCopiesOneKindOverTheCommonLengthOnly) {
    // Only the first subframe parameter is passed, selected for the table only.
    Lists in = base_;
    for (auto& level : in.level)
        for (auto& p : level) p.nSelTable = 0;
    in.level[0].resize(1);
    in.level[0][0].nSelTable = 1;
    in.level[0][0].nSelCurve = 1;  // not the kind being set: ignored
    int n[3] = {};
    int* counts[3] = {&n[0], &n[1], &n[2]};
    lib_.SetSelectionFlags(in.ptr(), counts, kKindTable);
    ASSERT_EQ(in.level[0].size(), base_.level[0].size());  // copied back whole
    EXPECT_EQ(n[0], int(base_.level[0].size()));
    // Indices past the caller's list keep their table flag.
    for (std::size_t i = 1; i < in.level[0].size(); ++i)
        EXPECT_EQ(in.level[0][i].nSelTable, base_.level[0][i].nSelTable) << i;
    for (auto& p : in.level[1]) EXPECT_EQ(p.nSelTable, 0);
    EXPECT_EQ(in.level[0][0].nSelCurve, base_.level[0][0].nSelCurve);

    // A parameter selected for the table only is written as 0x82.
    Lists only = Working(lib_);
    for (auto& p : only.level[0]) p.nSelStripe = p.nSelCurve = p.nSelReply = 0;
    lib_.SetSelectionFlags(only.ptr(), counts, kKindAll);
    EXPECT_EQ(FlagByte(File(0), 0), 0x82);
    // A parameter with every kind cleared is no longer selected at all.
    const int count = IndexOf(base_.level[1], "副帧字");
    ASSERT_GE(count, 0);
    EXPECT_EQ(Working(lib_).level[1][count].nSelected, 0);
    EXPECT_EQ(FlagByte(File(1), count), 0);
}

bool CancelAfterEditing(SelectionDialogRequest& r) {
    for (auto& level : r.lists)
        for (auto& p : level) p.nSelTable = 0;
    return false;
}

bool AcceptCurveOnFirst(SelectionDialogRequest& r) {
    EXPECT_EQ(r.kind, kKindCurve);
    EXPECT_EQ(r.level, 1);
    for (auto& level : r.lists)
        for (auto& p : level) p.nSelCurve = 0;
    r.lists[1][0].nSelCurve = 1;
    return true;
}

int runnerCalls = 0;
bool CountCall(SelectionDialogRequest&) {
    ++runnerCalls;
    return true;
}

TEST_F(SelectionCalls, DialogCancelChangesNothingAndAcceptCommitsTheCopy) {
    const std::string before[3] = {File(0), File(1), File(2)};
    Lists out;
    int n[3] = {-1, -1, -1};
    int* counts[3] = {&n[0], &n[1], &n[2]};

    SetSelectionDialogRunner(CountCall);
    EXPECT_EQ(lib_.OpenSelectionDialog(out.ptr(), counts, 5, 0), 0);
    EXPECT_EQ(lib_.OpenSelectionDialog(out.ptr(), counts, -1, 0), 0);
    EXPECT_EQ(lib_.OpenSelectionDialog(out.ptr(), counts, 1, 3), 0);
    EXPECT_EQ(runnerCalls, 0);

    SetSelectionDialogRunner(CancelAfterEditing);
    EXPECT_EQ(lib_.OpenSelectionDialog(out.ptr(), counts, kKindTable, 0), 0);
    EXPECT_TRUE(out.level[0].empty());
    EXPECT_EQ(n[0], -1);
    for (int level = 0; level < 3; ++level) EXPECT_EQ(File(level), before[level]);
    // The shadows are untouched too: the next save writes the old flags.
    lib_.SaveSelectionFiles();
    for (int level = 0; level < 3; ++level) EXPECT_EQ(File(level), before[level]);
    EXPECT_EQ(Working(lib_).level[0][0].nSelTable, 1);

    SetSelectionDialogRunner(AcceptCurveOnFirst);
    ASSERT_EQ(lib_.OpenSelectionDialog(out.ptr(), counts, kKindCurve, 1), 1);
    EXPECT_EQ(n[1], int(base_.level[1].size()));
    EXPECT_EQ(out.level[1][0].nSelCurve, 1);
    EXPECT_EQ(out.level[0][IndexOf(out.level[0], "阶梯码")].nSelCurve, 0);
    EXPECT_EQ(FlagByte(File(1), 0) & 0x81, 0x81);
    EXPECT_EQ(Working(lib_).level[1][0].nSelCurve, 1);
}

TEST_F(SelectionCalls, WithoutADialogTheCallIsCancelled) {
    Lists out;
    int n[3] = {};
    int* counts[3] = {&n[0], &n[1], &n[2]};
    EXPECT_EQ(lib_.OpenSelectionDialog(out.ptr(), counts, kKindTable, 0), 0);
}

TEST_F(SelectionCalls, HandWrittenFileWithMoreRecordsThanParametersLoadsTheMatches) {
    // Two records for a level of one parameter: the second is ignored.
    std::string sel(48, '\0');
    sel[0] = 2;
    const std::string name = plat::Utf8ToGbk(base_.level[1][0].strName);
    sel.replace(16, name.size(), name);
    sel[31] = char(0x81);
    sel.replace(32, name.size(), name);
    sel[47] = char(0x82);
    std::ofstream(home_ / "副帧.sel", std::ios::binary) << sel;
    ParameterLibrary again;
    ASSERT_EQ(again.Load(), 1);
    const Lists loaded = Working(again);
    const ParStructEx& p = loaded.level[1][0];
    EXPECT_EQ(p.nSelCurve, 1);
    EXPECT_EQ(p.nSelTable, 0);
}

}  // namespace
