// Page checks: a good value next to the first bad one for each rule, the
// messages written out in full.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "schema.h"
#include "task_checks.h"
#include "task_rows.h"

namespace taskbook {
namespace {

// A demodulator or simulator page as a new task holds it: 8-bit words, 24
// words, ID super-frame of 4 at word 7, sync "EB90" in words 1-2.
FrameValues GoodFrame() {
    FrameValues v;
    v.codeRate = 4000000;
    v.wordBits = 8;
    v.subframe = 24;
    v.superframe = 4;
    v.superType = 2;
    v.syncCode = "EB90";
    v.syncBits = 16;
    v.syncPos = 1;
    v.superPos = 7;
    v.superSync = "BC";
    v.signalInit = 85;
    v.stepIncrement = 3;
    v.sineStep = 4;
    v.counterHighOn = v.counterLowOn = v.sineOn = true;
    v.counterHighPos = 3;
    v.counterLowPos = 5;
    v.sinePos = 6;
    v.keyLength = 0;
    v.period = 4;
    v.startFrame = 1;
    v.counterPos = 8;
    v.keyChannels = "1,2";
    v.encryptedChannels = "3,4";
    return v;
}

std::string Keys(int first, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += std::to_string(first + i) + ",";
    return s;
}

constexpr FrameUnit kDem = FrameUnit::Demodulator, kSim = FrameUnit::Simulator;

TEST(FrameCheck, RangesOfRateSubframeAndSuperframe) {
    FrameValues v = GoodFrame();
    EXPECT_FALSE(CheckFrame(kDem, v));
    EXPECT_FALSE(CheckFrame(kSim, v));
    for (std::int64_t ok : {1000, 20000000}) {
        v.codeRate = ok;
        EXPECT_FALSE(CheckFrame(kDem, v)) << ok;
    }
    for (Number bad : {Number{999}, Number{20000001}, Number{}}) {
        v.codeRate = bad;
        EXPECT_EQ(CheckFrame(kDem, v),
                  "码率的范围在1000bps到20000000bps之间。\r\n\t您输入有误，请重新输入！");
        EXPECT_EQ(CheckFrame(kSim, v),
                  "码率的范围为1000到20000000。\r\n\t您输入有误，请重新输入！");
    }
    v = GoodFrame();
    v.subframe = 4;
    v.superPos = 3;
    v.counterHighOn = v.counterLowOn = v.sineOn = false;
    EXPECT_FALSE(CheckFrame(kDem, v));
    v.subframe = 3;
    EXPECT_EQ(CheckFrame(kDem, v), "子帧长的范围在4到2048之间。\r\n\t您输入有误，请重新输入！");
    v.subframe = 2049;
    EXPECT_EQ(CheckFrame(kSim, v), "子帧长的范围为4到2048。\r\n\t您输入有误，请重新输入！");
    v.subframe = 2048;
    v.superframe = 64;
    EXPECT_FALSE(CheckFrame(kDem, v));
    v.superframe = 65;
    EXPECT_EQ(CheckFrame(kDem, v), "全帧长的范围不能超过131072。\r\n\t您输入有误，请重新输入！");
    EXPECT_EQ(CheckFrame(kSim, v), "全帧长的范围不能超过131072。\r\n\t您输入有误，请重新输入！");
    v.superframe = 1;
    EXPECT_EQ(CheckFrame(kDem, v), "副帧长的范围在2到256之间。\r\n\t您输入有误，请重新输入！");
    EXPECT_EQ(CheckFrame(kSim, v), "副帧长的范围应为2～256。\r\n\t您输入有误，请重新输入！");
    v.superType = 0;  // no super-frame: its length does not matter
    EXPECT_FALSE(CheckFrame(kDem, v));
    v.superframe = Number{};
    EXPECT_FALSE(CheckFrame(kDem, v));
}

TEST(FrameCheck, SyncCodeAndSuperframePositions) {
    FrameValues v = GoodFrame();
    v.syncCode = "";
    EXPECT_EQ(CheckFrame(kDem, v), "帧同步码不能为空，请输入帧同步码！\t\t");
    v.syncCode = "EBXX";
    EXPECT_EQ(CheckFrame(kSim, v), "帧同步码不能为空，请输入帧同步码！\t\t");

    v = GoodFrame();
    v.superPos = 25;
    EXPECT_EQ(CheckFrame(kDem, v),
              "ID副帧时，副帧路序应在子帧范围内(1～24)。\r\n\t您的输入有误，请重新输入！");
    v.superPos = 2;
    EXPECT_EQ(CheckFrame(kDem, v),
              "ID副帧时，副帧路序不能占用帧同步码位置(1～2)。\r\n\t您的输入有误，请重新输入！");
    // A sync code placed at the last word is moved back to end there.
    v.syncPos = 24;
    v.superPos = 23;
    EXPECT_EQ(CheckFrame(kDem, v),
              "ID副帧时，副帧路序不能占用帧同步码位置(23～24)。\r\n\t您的输入有误，请重新输入！");

    v = GoodFrame();
    v.superType = 3;
    v.superSync = "BC";
    v.superPos = 96;
    EXPECT_FALSE(CheckFrame(kDem, v));
    v.superPos = 97;
    EXPECT_EQ(CheckFrame(kDem, v),
              "循环副帧路序应在全帧范围内(1～96)。\r\n\t您的输入有误，请重新输入！");
    EXPECT_EQ(CheckFrame(kSim, v),
              "循环副帧时，副帧路序应在全帧范围内(1～96)。\r\n\t您的输入有误，请重新输入！");
    v.superPos = 26;  // word 2 of the second sub-frame
    EXPECT_EQ(CheckFrame(kDem, v),
              "循环副帧时，副帧路序不能占用帧同步码位置(1～2)。\r\n\t您的输入有误，请重新输入！");
    v.superPos = 10;
    v.superSync = "BCD";
    EXPECT_EQ(CheckFrame(kDem, v), "循环副帧特征字长必须与字长相等，请修改副帧特征字！");
    v.wordBits = 12;
    EXPECT_FALSE(CheckFrame(kDem, v));
}

TEST(SyncWords, FollowTheEngineRule) {
    EXPECT_EQ(SyncWords(8, 24, 16, 0).first, 1u);
    EXPECT_EQ(SyncWords(8, 24, 16, 0).last, 2u);
    EXPECT_EQ(SyncWords(8, 24, 20, 5).last, 7u);    // 20 bits take three 8-bit words
    EXPECT_EQ(SyncWords(10, 24, 200, 3).last, 9u);  // at most 64 bits
    EXPECT_EQ(SyncWords(8, 24, 32, 23).first, 21u);
}

TEST(SimulatorCheck, SignalStepAndPositions) {
    FrameValues v = GoodFrame();
    v.signalInit = 255;
    EXPECT_FALSE(CheckFrame(kSim, v));
    EXPECT_FALSE(CheckFrame(kDem, FrameValues(v)));
    v.signalInit = 256;
    EXPECT_EQ(CheckFrame(kSim, v),
              "信号初值超过2的字长次幂－1(255)。\r\n\t您的输入有误，请重新输入！");
    v.signalInit = Number{};
    EXPECT_EQ(CheckFrame(kSim, v),
              "信号初值超过2的字长次幂－1(255)。\r\n\t您的输入有误，请重新输入！");
    // 32-bit words: 2^32 - 1 needs 64-bit arithmetic.
    v.wordBits = 32;
    v.signalInit = 4294967295ll;
    v.stepIncrement = 4294967295ll;
    EXPECT_FALSE(CheckFrame(kSim, v));
    v.stepIncrement = 4294967296ll;
    EXPECT_EQ(
        CheckFrame(kSim, v),
        "台阶码步进应在1～2的字长次幂－1之间(1～4294967295)。\r\n\t您的输入有误，请重新输入！");
    v = GoodFrame();
    v.stepIncrement = 0;
    EXPECT_EQ(CheckFrame(kSim, v),
              "台阶码步进应在1～2的字长次幂－1之间(1～255)。\r\n\t您的输入有误，请重新输入！");
    v = GoodFrame();
    v.sineStep = 256;
    EXPECT_EQ(CheckFrame(kSim, v), "正弦波步进的范围为0～255。\r\n\t您输入有误，请重新输入！");

    v = GoodFrame();
    v.counterHighPos = 25;
    EXPECT_EQ(CheckFrame(kSim, v),
              "帧计数高位路序应在子帧范围内(1～24)。\r\n\t您的输入有误，请重新输入！");
    v.counterHighOn = false;  // a counter that is off is not placed
    EXPECT_FALSE(CheckFrame(kSim, v));
    v = GoodFrame();
    v.counterLowPos = 2;
    EXPECT_EQ(CheckFrame(kSim, v),
              "帧计数低位路序不能占用帧同步码位置(1～2)。\r\n\t您的输入有误，请重新输入！");
    v = GoodFrame();
    v.sinePos = 0;
    EXPECT_EQ(CheckFrame(kSim, v),
              "正弦波路序应在子帧范围内(1～24)。\r\n\t您的输入有误，请重新输入！");

    struct Clash {
        int high, low, sine;
        const char* text;
    };
    for (const Clash& c : {Clash{7, 5, 6, "帧计数高位路序和副帧路序不能重合！请重新配置。"},
                           Clash{3, 7, 6, "帧计数低位路序和副帧路序不能重合！请重新配置。"},
                           Clash{3, 3, 6, "帧计数低位路序和帧计数高位路序不能重合！请重新配置。"},
                           Clash{3, 5, 7, "正弦波路序和副帧路序不能重合！请重新配置。"},
                           Clash{3, 5, 3, "正弦波路序和帧计数高位路序不能重合！请重新配置。"},
                           Clash{3, 5, 5, "正弦波路序和帧计数低位路序不能重合！请重新配置。"}}) {
        v = GoodFrame();
        v.counterHighPos = c.high;
        v.counterLowPos = c.low;
        v.sinePos = c.sine;
        EXPECT_EQ(CheckFrame(kSim, v), c.text);
    }
}

TEST(CipherCheck, KeyCountsAndChannels) {
    FrameValues v = GoodFrame();
    v.cipherOn = true;
    v.keyChannels = Keys(9, 16);
    v.encryptedChannels = "3,4,";
    EXPECT_FALSE(CheckFrame(kDem, v));
    v.keyChannels = "9,10,11,";
    EXPECT_EQ(CheckFrame(kDem, v), "字长为8，密钥长度为128Bit时，密钥波道个数必须为16个！");
    v.keyLength = 1;
    EXPECT_EQ(CheckFrame(kSim, v), "字长为8，密钥长度为184Bit时，密钥波道个数必须为23个！");
    v.keyChannels = Keys(9, 23);
    v.period = 8;
    EXPECT_FALSE(CheckFrame(kSim, v));
    v.wordBits = 16;
    EXPECT_EQ(CheckFrame(kSim, v), "字长为16时密钥长度不能为184！\t\t\t");
    v.keyLength = 0;
    EXPECT_EQ(CheckFrame(kSim, v), "字长为16，密钥长度为128Bit时，密钥波道个数必须为8个！");
    v.wordBits = 10;
    EXPECT_EQ(CheckFrame(kDem, v), "字长必须为8或者16才能够进行加解密设置！\t");

    v = GoodFrame();
    v.cipherOn = true;
    v.keyChannels = "";
    EXPECT_EQ(CheckFrame(kDem, v), "密钥波道不能为空，请输入密钥波道参数！\t");
    v.keyChannels = Keys(9, 16);
    v.encryptedChannels = "";
    EXPECT_EQ(CheckFrame(kDem, v), "加密不能为空，请输入加密波道参数！\t\t");
    v.encryptedChannels = "3,";
    v.startFrame = 257;
    EXPECT_EQ(CheckFrame(kDem, v), "解密起始帧范围是1～256！\t\t\t");
    EXPECT_EQ(CheckFrame(kSim, v), "加密起始帧范围1～256！\t\t\t");
    v.startFrame = 256;
    v.counterPos = 25;
    EXPECT_EQ(CheckFrame(kDem, v), "帧计数路序的范围是1～子帧长！\t\t");
    EXPECT_EQ(CheckFrame(kSim, v), "帧计数路序的范围：1～子帧长！\t\t");
    v.counterPos = 24;
    EXPECT_FALSE(CheckFrame(kDem, v));

    // Typed lists with blanks, empty items, signs or channels past the frame.
    const std::string beyond = "密钥通道不能超过全帧长96！\t\t\r\n\t请重新输入密钥通道值！";
    for (std::string bad : {"9, 10,", "9,,10,", "+9,10,", "-9,", "97,", "abc"}) {
        v.keyChannels = bad + Keys(11, 14);
        EXPECT_EQ(CheckFrame(kDem, v), beyond) << bad;
    }
    v.keyChannels = Keys(3, 16);
    EXPECT_EQ(CheckFrame(kDem, v), "密钥波道和加密波道号有冲突，请重新设置！\t");
    v.period = 1;
    v.keyChannels = Keys(20, 16);
    EXPECT_EQ(CheckFrame(kDem, v), "密钥通道不能超过加密周期（帧长：24）！\t");
}

TEST(KeyDerivation, RulesAndArithmetic) {
    FrameValues v = GoodFrame();
    v.keyChannels = "5,";
    EXPECT_FALSE(CheckKeyDerivation(v, "1,2,"));
    EXPECT_EQ(CheckKeyDerivation(v, ""), "未加密波道，请输入未加密波道！\t\t");
    v.period = 0;
    EXPECT_EQ(CheckKeyDerivation(v, "1,2,"), "加解密周期范围1～256！\t\t\t");
    v.period = 4;
    v.startFrame = 0;
    EXPECT_EQ(CheckKeyDerivation(v, "1,2,"), "解密起始帧范围1～256！\t\t\t");
    v.startFrame = 1;
    v.wordBits = 12;
    EXPECT_EQ(CheckKeyDerivation(v, "1,2,"), "字长必须为8或者16才能够进行推算！");
    v.wordBits = 16;
    v.keyLength = 1;
    EXPECT_EQ(CheckKeyDerivation(v, "1,2,"), "当密钥长度为184时，字长只能为8，否则不可推算！");
    v.keyLength = 0;
    v.keyChannels = "";
    EXPECT_EQ(CheckKeyDerivation(v, "1,2,"), "密钥波道不能为空，请输入密钥波道！\t");

    v = GoodFrame();
    v.keyChannels = "5,";
    const std::vector<int> plain = {1, 2, 7, 8};
    const std::vector<int> keys = DeriveKeyChannels(v, plain);
    const std::vector<int> want = {5, 6, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22};
    EXPECT_EQ(keys, want);
}

TEST(NonEncryptedChannels, MustHoldSyncAndFitTheFrame) {
    FrameValues v = GoodFrame();
    const std::vector<int> ok = {1, 2, 7}, noSync = {1, 7}, past = {1, 2, 25};
    EXPECT_FALSE(CheckNonEncrypted(v, ok, false));
    EXPECT_EQ(CheckNonEncrypted(v, noSync, false), "未加密波道不能为空，至少应包含帧同步码位置！");
    EXPECT_EQ(CheckNonEncrypted(v, past, false), "未加密波道应在子帧范围内(1～24)，请重新输入！");
    EXPECT_FALSE(CheckNonEncrypted(v, past, true));
    const std::vector<int> farPast = {1, 2, 97};
    EXPECT_EQ(CheckNonEncrypted(v, farPast, true),
              "未加密波道应在加密周期范围内(1～96)，请重新输入！");
    const std::vector<int> keys = {3, 4};
    const std::vector<int> enc = DeriveEncrypted(8, ok, keys);
    EXPECT_EQ(enc, (std::vector<int>{5, 6, 8}));
}

TEST(ChannelList, ShownWithCommasAndCutWhenLong) {
    std::vector<int> few = {1, 2, 30};
    EXPECT_EQ(ShowChannelList(few), "1,2,30,");
    std::vector<int> many;
    for (int i = 1; i <= 40; ++i) many.push_back(i);
    EXPECT_EQ(ShowChannelList(many, 3), "1,2,3,...40,");
    EXPECT_EQ(ParseChannelEntry("1,2,3", 10), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ParseChannelEntry("", 10), std::vector<int>{});
    EXPECT_FALSE(ParseChannelEntry("1,2,,", 10));
    EXPECT_FALSE(ParseChannelEntry("0,", 10));
    EXPECT_FALSE(ParseChannelEntry("99999999999999999999,", 1 << 20));
}

TEST(TaskInfoCheck, RulesInOrder) {
    std::vector<std::string> names = {"当前任务", "任务A"};
    TaskInfoValues v;
    v.name = "任务B";
    v.existingNames = &names;
    v.date = "2026-12-9";
    v.time = " 11:00:00";
    EXPECT_FALSE(CheckTaskInfo(v));
    v.name = "";
    EXPECT_EQ(CheckTaskInfo(v), "任务名称不能为空！\t\t\t");
    v.name = "任务A";
    EXPECT_EQ(CheckTaskInfo(v), "任务名重复，请重新输入！\t\t\t");
    v.originalName = "任务A";  // saving a task under its own name
    EXPECT_FALSE(CheckTaskInfo(v));
    v.existingNames = nullptr;
    EXPECT_EQ(CheckTaskInfo(v), "获取已有全部任务宏名和个数失败！\t\t");
    v.existingNames = &names;
    for (const char* bad : {"2026-02-30", "2026-13-1", "2026/1/1", "", "2026-1-1x"}) {
        v.date = bad;
        EXPECT_EQ(CheckTaskInfo(v), "任务执行日期错误，请重新选择！\t\t") << bad;
    }
    v.date = "2024-02-29";
    EXPECT_FALSE(CheckTaskInfo(v));
    for (const char* bad : {" 24:00:00", " 23:60:00", "12:00", " 12:00:00:00"}) {
        v.time = bad;
        EXPECT_EQ(CheckTaskInfo(v), "任务执行时间输入错误，请重新输入！\t") << bad;
    }
    v.time = "23:59:59";
    EXPECT_FALSE(CheckTaskInfo(v));
    v.description.clear();
    for (int i = 0; i < 512; ++i) v.description += "描";
    EXPECT_FALSE(CheckTaskInfo(v));
    v.description += "x";
    EXPECT_EQ(CheckTaskInfo(v), "任务描述不能超过512个字符！\t\t");
}

TEST(TaskInfoCheck, NameLongerThanTheRecordIsRefused) {
    std::vector<std::string> names;
    TaskInfoValues v;
    v.existingNames = &names;
    v.date = "2026-1-1";
    v.time = " 00:00:00";
    v.name = std::string(255, 'a');
    EXPECT_FALSE(CheckTaskInfo(v));
    v.name = std::string(253, 'a') + "任";  // 256 bytes: the record would cut it
    EXPECT_EQ(CheckTaskInfo(v), "任务名称过长，不能超过255个字节！\t\t");
}

TEST(EmulatorCheck, RatesDeviationPositionsAndCarrier) {
    EmulatorValues v;
    v.modulation = 1;
    v.codeRate = 2000000;
    v.deviationKHz = 700;
    v.wordBits = 8;
    v.subframe = 24;
    v.superType = 2;
    v.idPos = 8;
    v.superPos = 7;
    v.counterHighOn = v.counterLowOn = v.sineOn = true;
    v.counterHighPos = 3;
    v.counterLowPos = 5;
    v.sinePos = 6;
    v.signalInit = 85;
    v.stepIncrement = 3;
    v.carrierMHz = 2300.5;
    EXPECT_FALSE(CheckEmulator(v));
    EmulatorValues b = v;
    b.codeRate = 10000001;
    EXPECT_EQ(CheckEmulator(b),
              "非CDMA模式下，码率应在(1000～10000000)bps之间。\n您输入有误，请重新输入！");
    b.modulation = 4;
    EXPECT_EQ(CheckEmulator(b),
              "在CDMA模式下，码率应在(100～100000)bps之间。\n您输入有误，请重新输入！");
    b = v;
    b.deviationKHz = 119;
    EXPECT_EQ(CheckEmulator(b), "调制频偏不在(120～3500)KHz范围内！请重新配置。");
    b = v;
    b.idPos = 25;
    EXPECT_EQ(CheckEmulator(b), "ID码路序不在1～子帧长(24)范围内！请重新配置。");
    b = v;
    b.sinePos = 0;
    EXPECT_EQ(CheckEmulator(b), "正弦波路序不在1～子帧长(24)范围内！请重新配置。");
    b = v;
    b.counterHighPos = 8;
    EXPECT_EQ(CheckEmulator(b), "帧计数高位路序和ID码路序不能重合！请重新配置。");
    b = v;
    b.sinePos = 8;
    EXPECT_EQ(CheckEmulator(b), "正弦波路序和ID码路序不能重合！请重新配置。");
    b = v;
    b.signalInit = 256;
    EXPECT_EQ(CheckEmulator(b), "信号初值超过2的字长次幂－1(255)！请重新配置。");
    b = v;
    b.carrierMHz = 2400.75;
    EXPECT_EQ(CheckEmulator(b),
              "载波频率：2400.750000MHz，数据错误！\n请填入一个介于2200.00和2400.50之间的浮点数，0."
              "25步进！");
}

TEST(FrequencyCheck, WholeStepsWithinBounds) {
    for (double ok : {2200.0, 2300.0, 2400.0, 2345.6})
        EXPECT_FALSE(CheckReceiverFrequency(ok)) << ok;
    EXPECT_EQ(
        CheckReceiverFrequency(2300.05),
        "频率：2300.050000MHz，数据错误！\n请填入一个介于2200.0和2400.0之间的浮点数，0.1步进！");
    EXPECT_EQ(CheckReceiverFrequency(Real{}),
              "频率：0.000000MHz，数据错误！\n请填入一个介于2200.0和2400.0之间的浮点数，0.1步进！");
    EXPECT_TRUE(CheckAntennaFrequency(2400.1));
    for (double ok : {2200.0, 2300.25, 2400.50})
        EXPECT_FALSE(CheckDownConverterFrequency(ok)) << ok;
    EXPECT_EQ(CheckDownConverterFrequency(2400.75),
              "接收频率：2400.750000MHz，数据错误！\n请填入一个介于2200.00和2400.50之间的浮点数，0."
              "25步进！");
    EXPECT_TRUE(CheckDownConverterFrequency(2300.1));
    EXPECT_FALSE(CheckAntennaBandwidth(0.5));
    EXPECT_FALSE(CheckAntennaBandwidth(4));
    EXPECT_TRUE(CheckAntennaBandwidth(3));
}

TEST(SafetyAndTimeCode, Bounds) {
    EXPECT_FALSE(CheckSafetySubcarrier(4.8, 2.4));
    EXPECT_EQ(CheckSafetySubcarrier(2.4, 2.4), "副载波频率应不小于调制码率的2倍");
    EXPECT_EQ(CheckSafetySubcarrier(86.4, 9.6), "副载波频率超出范围：2.4Kbps～76.8Kbps！");
    EXPECT_EQ(CheckSafetySubcarrier(1.2, 1.2), "副载波频率超出范围：2.4Kbps～76.8Kbps！");
    EXPECT_FALSE(CheckTimeCode(13702, 65535));
    EXPECT_EQ(CheckTimeCode(13702, 65536), "参考门限的范围在0到65535之间！\t\t");
    EXPECT_EQ(CheckTimeCode(13703, 0), "参考门限的范围在0到13702之间！\t\t");
    EXPECT_EQ(CheckTimeCode(Number{}, 0), "参考门限的范围在0到13702之间！\t\t");
}

TEST(TreeApply, BitSetsToCodes) {
    EXPECT_EQ(TreeApplyCode(0x7F), 6);
    EXPECT_EQ(TreeApplyCode(0x01), 7);
    EXPECT_EQ(TreeApplyCode(0x02), 8);
    EXPECT_EQ(TreeApplyCode(0x04), 9);
    EXPECT_EQ(TreeApplyCode(0x08), 41);
    EXPECT_EQ(TreeApplyCode(0x30), 51);
    EXPECT_EQ(TreeApplyCode(0x10), 53);
    EXPECT_EQ(TreeApplyCode(0x20), 55);
    for (unsigned none : {0x00u, 0x03u, 0x09u, 0x11u, 0x40u, 0x3Fu})
        EXPECT_EQ(TreeApplyCode(none), 0) << none;
}

TEST(CodeFile, GroupsOfBits) {
    auto f = ParseCodeFile("0101 1100 111\r\n\n  000111000111000\n");
    ASSERT_TRUE(f);
    ASSERT_EQ(f->groups.size(), 2u);
    EXPECT_EQ(f->groups[0].size(), 11u);
    EXPECT_EQ(f->totalBits, 26u);
    EXPECT_FALSE(
        ParseCodeFile(std::string("01\0"
                                  "1",
                                  4)));
    EXPECT_FALSE(ParseCodeFile("0102"));
    EXPECT_FALSE(ParseCodeFile(std::string(kMaxCodeLine + 1, '1')));
    EXPECT_EQ(CodeLengthBits(0), 15u);
    EXPECT_EQ(CodeLengthBits(7), 2047u);

    const std::string ok15 = "000111000111000\n111000111000111\n";
    EXPECT_FALSE(CheckCodeFile(ParseCodeFile(ok15), 15, "/p.txt"));
    EXPECT_EQ(CheckCodeFile(ParseCodeFile("0101\n"), 15, "/p.txt"),
              "伪码文件包含的码位总数少于您所需的位数，请查证！\n/p.txt");
    EXPECT_EQ(CheckCodeFile(ParseCodeFile(ok15 + "0101\n"), 15, "/p.txt"),
              "伪码文件包含的一组伪码码位数(4)与您所需的位数(15)不一致，请查证！\n/p.txt");
    EXPECT_EQ(CheckCodeFile(ParseCodeFile("\xff\xfe"), 15, "/p.txt"),
              "伪码文件打开失败，请查证！\n/p.txt");
}

TEST(CodeFile, LoadedFromDiskAndCheckedOnSaving) {
    char dir[] = "/tmp/taskbook-code-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    const std::string good = std::string(dir) + "/good.txt", bad = std::string(dir) + "/bad.txt";
    std::FILE* f = std::fopen(good.c_str(), "wb");
    std::fputs("000111000111000\n111 000 111 000 111\n", f);
    std::fclose(f);
    f = std::fopen(bad.c_str(), "wb");
    std::fwrite("\x00\x01\x02", 1, 3, f);
    std::fclose(f);
    std::string stored = "kept";
    EXPECT_EQ(LoadCodeFile(bad, 15, stored), "伪码文件打开失败，请查证！\n" + bad);
    EXPECT_EQ(LoadCodeFile(std::string(dir) + "/none.txt", 15, stored),
              "伪码文件打开失败，请查证！\n" + std::string(dir) + "/none.txt");
    EXPECT_EQ(stored, "kept");
    EXPECT_FALSE(LoadCodeFile(good, 15, stored));
    EXPECT_EQ(stored, "000111000111000,111000111000111");
    EXPECT_FALSE(CheckLoadedCode(stored, 0, "长度不符"));
    EXPECT_EQ(CheckLoadedCode(stored, 1, "长度不符"), "长度不符");
    EXPECT_EQ(CheckLoadedCode("0101x", 0, "长度不符"), "长度不符");
    EXPECT_FALSE(CheckLoadedCode("", 3, "长度不符"));
    std::remove(good.c_str());
    std::remove(bad.c_str());
    rmdir(dir);
}

TEST(TableCheck, NewTaskPassesEveryTableAndBadRowsAreRefused) {
    TaskRows rows = DefaultRows("t", DateTime{2026, 1, 2, 3, 4, 5});
    for (std::size_t t = 0; t < Tables().size(); ++t)
        EXPECT_FALSE(CheckTable(rows, t)) << Tables()[t].name << ": " << *CheckTable(rows, t);

    // The receiver row holds Hz.
    const std::size_t recv = TableIndex("接收机2参数表");
    SetRowValue(rows, recv, "输入频率", 2300050000.0);
    EXPECT_EQ(
        CheckTable(rows, recv),
        "频率：2300.050000MHz，数据错误！\n请填入一个介于2200.0和2400.0之间的浮点数，0.1步进！");
    SetRowValue(rows, recv, "输入频率", 2400000000.0);
    EXPECT_FALSE(CheckTable(rows, recv));

    // A number field no rule covers still has to hold a number.
    const std::size_t dem = TableIndex("解调器3参数表");
    SetRowValue(rows, dem, "搜索容错位数", std::string("x"));
    EXPECT_EQ(CheckTable(rows, dem), "搜索容错位数输入有误，请重新输入！");
    SetRowValue(rows, dem, "搜索容错位数", std::int64_t{2});
    SetRowValue(rows, dem, "子帧长", std::string("24 words"));
    EXPECT_EQ(CheckTable(rows, dem), "子帧长的范围在4到2048之间。\r\n\t您输入有误，请重新输入！");
    EXPECT_EQ(TableIndex("没有的表"), Tables().size());
}

}  // namespace
}  // namespace taskbook
