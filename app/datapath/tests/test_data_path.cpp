// The data path between a producer (card block or replay block) and the
// consumers: what is taken, in which order it is handed on, and what the
// refresh and the after-decryption choice see.
#include <datapath/data_path.h>
#include <datapath/loss_watch.h>
#include <datapath/recording_copy.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "testsupport/data_path_rig.h"

using namespace datapath;
using ::testing::ElementsAre;

namespace {

// Records every consumer call by name.
struct Recorder : DataConsumers {
    std::vector<std::string> calls;
    std::vector<std::vector<std::uint8_t>> recorded, datagrams;
    std::vector<std::size_t> lengths;
    bool fileOpen = true, curve = true, telemetry = true, broadcast = true, paramWnd = true;
    std::uint32_t timeRate = 0;
    int protocol = -1;
    _FRAME_STRUCT_PARAM_EX curveRecord{};
    std::vector<DataGeometry> geometries;                   // of every frame count
    std::vector<std::uint8_t> counted;                      // every frame-counted byte
    std::function<void()> beforeCurve;                      // runs in the middle of a dispatch
    std::function<void(const DataGeometry&)> onFrameCount;  // instead of keeping it

    bool BeforeDecryptionFileOpen() override { return fileOpen; }
    std::size_t WriteBeforeDecryptionFile(const std::uint8_t* d, std::size_t n) override {
        calls.push_back("record");
        recorded.emplace_back(d, d + n);
        return std::min(n, fileRoom);
    }
    std::size_t fileRoom = ~std::size_t{0};  // bytes the file still takes
    bool RawCurveExists() override {
        if (beforeCurve) beforeCurve();
        return curve;
    }
    void SetRawcurveData(_FRAME_STRUCT_PARAM_EX& r, const std::uint8_t*) override {
        calls.push_back("curve");
        curveRecord = r;
    }
    void MeasureBitErrors(const std::uint8_t*, std::size_t n) override {
        calls.push_back("biterror");
        lengths.push_back(n);
    }
    void StopBitErrorMeasurement() override { calls.push_back("stop-biterror"); }
    bool TelemetrySendingOn() override { return telemetry; }
    void SendTelemetryDatagram(const std::uint8_t* d, std::size_t n) override {
        calls.push_back("telemetry");
        datagrams.emplace_back(d, d + n);
    }
    void CountFrames(const std::uint8_t* d, std::size_t n, const DataGeometry& g) override {
        calls.push_back("framecount");
        counted.insert(counted.end(), d, d + n);
        if (onFrameCount)
            onFrameCount(g);
        else
            geometries.push_back(g);
    }
    void CountIds(const std::uint8_t*, std::size_t, const DataGeometry&) override {
        calls.push_back("idcount");
    }
    void CheckTimeContinuity(const std::uint8_t*, std::size_t, const DataGeometry&,
                             std::uint32_t rate) override {
        calls.push_back("time");
        timeRate = rate;
    }
    void SearchGnssFrames(int p, const std::uint8_t*, std::size_t) override {
        calls.push_back("gnss");
        protocol = p;
    }
    void SendGnssPosition() override { calls.push_back("gnss-multicast"); }
    bool BroadcastEndpointReady() override { return broadcast; }
    void SendBroadcastDatagram(const std::uint8_t*, std::size_t n) override {
        calls.push_back("broadcast:" + std::to_string(n));
    }
    bool ParamWindowOpen() override { return paramWnd; }
    void SetDealDSDemData(const std::uint8_t*, std::size_t) override { calls.push_back("params"); }
};

// A replay file of blocks; progress reaches 1.0 after the last one.
struct ScriptedReader : SoftwareReplayReader {
    std::vector<std::size_t> blocks;
    std::size_t next = 0;
    int seeks = 0, stops = 0;
    void ApplyPendingSeek() override { ++seeks; }
    double Progress() override {
        return next >= blocks.size() ? 1.0 : double(next) / blocks.size();
    }
    std::size_t ReadNextBlock(std::uint8_t* into, std::size_t capacity) override {
        if (next >= blocks.size()) return 0;
        const std::size_t n = blocks[next++];
        for (std::size_t i = 0; i < n && i < capacity; ++i) into[i] = std::uint8_t(i);
        return n;
    }
    void StopReplay() override { ++stops; }
};

// The frame's part, attached, with every consumer call recorded.
struct Harness : talvora::test::DataPathRig<Recorder> {
    Harness() { path.Attach(); }
    _FRAME_STRUCT_PARAM Shown() const {
        _FRAME_STRUCT_PARAM r{};
        FillFrameRecord(r, dem);
        return r;
    }
    void AllOn() {
        recording = bitError = frameStat = idStat = timeStat = gnss = gnssMulticast = broadcast = 1;
        path.syncLossCount = 0;
    }
};

// `frames` superframes of the default geometry, index byte k, word 0 = serial.
std::vector<std::uint8_t> Superframes(int frames, int firstSerial = 0) {
    std::vector<std::uint8_t> out;
    for (int f = 0; f < frames; ++f)
        for (int k = 0; k < 4; ++k) {
            const std::uint8_t tag[8] = {0x25, 0x01, 0x30, 0x59, 0x23, 0x00, std::uint8_t(k), 0};
            out.insert(out.end(), tag, tag + 8);
            std::vector<std::uint8_t> words(24, std::uint8_t(k));
            words[0] = std::uint8_t(firstSerial + f);
            out.insert(out.end(), words.begin(), words.end());
        }
    return out;
}

}  // namespace

TEST(DataPathCard, LongBlockIsProcessedWholeInPiecesOf64KiBOutsideSuperframeMode) {
    Harness h;
    h.dem.副帧类型 = 0;
    h.Publish();
    h.AllOn();
    std::vector<std::uint8_t> block(70000);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = std::uint8_t(i * 7);
    h.path.OnCardBlock(block.data(), block.size());
    // 65,536 + 4,464, each through the whole chain.
    EXPECT_THAT(h.consumers.lengths, ElementsAre(65536u, 4464u));
    ASSERT_EQ(h.consumers.recorded.size(), 2u);
    EXPECT_EQ(h.consumers.recorded[0].size(), 65536u);
    EXPECT_EQ(h.consumers.counted, block);
    EXPECT_EQ(h.fill, 70000u);
    EXPECT_EQ(0, std::memcmp(h.send.data(), block.data(), block.size()));
    // The latest block holds the last piece.
    EXPECT_EQ(0, std::memcmp(h.latest.data(), block.data() + 65536, 4464));
    EXPECT_EQ(h.path.RawViewData(h.Shown()), h.latest.data());
}

TEST(DataPathCard, BlockOfManyPiecesReachesRecordingAndChecksWholeAndInOrder) {
    // 3 x 65,536 + 1,024 bytes of superframes, as the device library hands
    // on what waited while the callback was held.
    Harness h;
    h.AllOn();
    const auto data = Superframes(3 * 512 + 8);
    ASSERT_EQ(data.size(), 3u * 65536 + 1024);
    h.path.OnCardBlock(data.data(), data.size());
    std::vector<std::uint8_t> recorded;
    for (const auto& r : h.consumers.recorded) recorded.insert(recorded.end(), r.begin(), r.end());
    EXPECT_EQ(recorded, data);  // day of year 0 leaves the tags as they came
    EXPECT_EQ(h.consumers.counted, data);
    EXPECT_EQ(h.path.recordedBytes.load(), double(data.size()));
    EXPECT_EQ(h.fill, data.size());
    EXPECT_EQ(h.path.sendDroppedBlocks.load(), 0u);
}

TEST(DataPathCard, PiecesEndOnWholeFrames) {
    // 56-byte records (48 words and the tag): 1,170 of them in a piece.
    Harness h;
    h.dem.副帧类型 = 0;
    h.dem.子帧长 = 48;
    h.dem.副帧长 = 1;
    h.Publish();
    h.AllOn();
    EXPECT_EQ(DataPath::CardPieceBytes(h.path.Geometry()), 65520u);
    std::vector<std::uint8_t> block(4000 * 56);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = std::uint8_t(i / 56);
    h.path.OnCardBlock(block.data(), block.size());
    EXPECT_THAT(h.consumers.lengths, ElementsAre(65520u, 65520u, 65520u, 27440u));
    EXPECT_EQ(h.consumers.counted, block);
    // A block of at most 64 KiB is taken whole, as it always was.
    h.consumers.lengths.clear();
    h.path.OnCardBlock(block.data(), 65536);
    EXPECT_THAT(h.consumers.lengths, ElementsAre(65536u));
    // A record larger than a piece is cut at 64 KiB, as a single block would be.
    h.dem.子帧长 = 70000;
    h.Publish();
    EXPECT_EQ(DataPath::CardPieceBytes(h.path.Geometry()), 65536u);
}

TEST(DataPathCard, DispatchOrderAndWhatEachStepGets) {
    Harness h;
    h.AllOn();
    h.path.gnssProtocol = 2;
    const auto data = Superframes(3);
    h.path.OnCardBlock(data.data(), data.size());
    EXPECT_THAT(h.consumers.calls, ElementsAre("record", "curve", "biterror", "framecount",
                                               "idcount", "time", "gnss", "gnss-multicast"));
    EXPECT_EQ(h.consumers.timeRate, 4000000u);  // the demodulator's rate without a replay
    EXPECT_EQ(h.consumers.protocol, 2);
    EXPECT_EQ(h.consumers.curveRecord.nFramesPerBuffer, 3);
    EXPECT_EQ(h.fill, data.size());
    EXPECT_EQ(0, std::memcmp(h.send.data(), data.data(), data.size()));
    EXPECT_EQ(h.path.recordedBytes.load(), double(data.size()));
}

TEST(DataPathCard, RecordedBytesCountOnlyWhatReachedTheFile) {
    Harness h;
    h.AllOn();
    const auto data = Superframes(3);
    h.consumers.fileRoom = 100;  // the disk fills inside the first block
    h.path.OnCardBlock(data.data(), data.size());
    EXPECT_EQ(h.path.recordedBytes.load(), 100.0);
    h.consumers.fileRoom = 0;
    h.path.OnCardBlock(data.data(), data.size());
    EXPECT_EQ(h.path.recordedBytes.load(), 100.0);
    // The replay path counts the same way.
    h.replayRunning = 1;
    h.replayKind = kSoftwareReplay;
    h.consumers.fileRoom = 7;
    std::memcpy(h.latest.data(), data.data(), data.size());
    h.path.DispatchReplayBlock(data.size());
    EXPECT_EQ(h.path.recordedBytes.load(), 107.0);
}

TEST(DataPathCard, RecordingCopyCarriesTheDayOfYearAndLeavesTheBlockAlone) {
    Harness h;
    h.recording = 1;
    h.path.syncLossCount = 0;
    h.path.dayOfYear = 237;
    const auto data = Superframes(1);
    h.path.OnCardBlock(data.data(), data.size());
    ASSERT_EQ(h.consumers.recorded.size(), 1u);
    const auto& rec = h.consumers.recorded[0];
    for (int k = 0; k < 4; ++k) {
        // units 7 = 0b0111: bits 0-1 (11) into byte 4 bits 6-7, bits 2-3 (01)
        // into byte 5 bits 0-1; tens 3 into bits 2-5; hundreds 2 into 6-7.
        EXPECT_EQ(rec[k * 32 + 4], 0x23 | 0xC0);
        EXPECT_EQ(rec[k * 32 + 5], 0x01 | 3 << 2 | 2 << 6);
        EXPECT_EQ(rec[k * 32 + 6], k);
    }
    EXPECT_EQ(h.path.Assembler().Data()[4], 0x23);  // the displayed data are unstamped
}

TEST(DataPathCard, StampKeepsSetBitsOfByte4AndRewritesByte5) {
    std::uint8_t tag[8] = {0, 0, 0, 0, 0x80, 0xFF, 0, 0};
    StampDayOfYear(tag, 4);  // units 4: bits 0-1 are 0, bits 2-3 are 01
    EXPECT_EQ(tag[4], 0x80);
    EXPECT_EQ(tag[5], 0x01);
}

TEST(DataPathCard, NothingRecordedOrQueuedUntilLock) {
    Harness h;
    h.recording = 1;
    const auto data = Superframes(2);
    h.path.OnCardBlock(data.data(), data.size());  // sync-loss counter still 100
    EXPECT_TRUE(h.consumers.recorded.empty());
    h.path.syncLossCount = 29;
    h.path.OnCardBlock(data.data(), data.size());
    EXPECT_EQ(h.consumers.recorded.size(), 1u);
}

TEST(DataPathCard, AfterDecryptionChoiceRecordsButFeedsNothingElse) {
    Harness h;
    ASSERT_EQ(h.path.ToggleAfterDecryption(), nullptr);
    ASSERT_EQ(h.after, 1);
    h.AllOn();
    const auto data = Superframes(2);
    h.path.OnCardBlock(data.data(), data.size());
    EXPECT_THAT(h.consumers.calls, ElementsAre("record"));
    EXPECT_EQ(h.fill, 0u);
}

TEST(DataPathCard, AfterDecryptionChoiceRefusalsAndWhatItStops) {
    Harness h;
    h.frameStat = h.idStat = h.timeStat = 1;
    EXPECT_STREQ(h.path.ToggleAfterDecryption(), kFrameCountRunningText);
    h.frameStat = 0;
    EXPECT_STREQ(h.path.ToggleAfterDecryption(), kIdCountRunningText);
    h.idStat = 0;
    EXPECT_STREQ(h.path.ToggleAfterDecryption(), kTimeContinuityRunningText);
    EXPECT_EQ(h.after, 0);
    h.timeStat = 0;
    h.bitError = 1;
    h.stdReady = 1;
    EXPECT_EQ(h.path.ToggleAfterDecryption(), nullptr);
    EXPECT_EQ(h.after, 1);
    EXPECT_EQ(h.bitError, 0);
    EXPECT_EQ(h.stdReady, 0);
    EXPECT_THAT(h.consumers.calls, ElementsAre("stop-biterror"));
}

TEST(DataPathCard, EntryGuard) {
    Harness h;
    const auto data = Superframes(1);
    h.initialising = 1;
    h.path.OnCardBlock(data.data(), data.size());
    h.initialising = 0;
    h.replayRunning = 1;
    h.replayKind = kSoftwareReplay;
    h.path.OnCardBlock(data.data(), data.size());
    h.cardOpen = 0;
    h.replayKind = kCardReplay;
    h.path.OnCardBlock(data.data(), data.size());
    EXPECT_EQ(h.count, 0u);
    h.cardOpen = 1;  // a card replay comes through the card
    h.path.OnCardBlock(data.data(), data.size());
    EXPECT_EQ(h.count, 1u);
    h.path.Detach();
    h.path.ResetAssembly();
    h.path.OnCardBlock(data.data(), data.size());
    EXPECT_EQ(h.count, 0u);
}

TEST(DataPathCard, SendBufferDropsWhatDoesNotFit) {
    Harness h;
    h.dem.副帧类型 = 0;
    h.Publish();
    h.path.syncLossCount = 0;
    std::vector<std::uint8_t> block(65536, 0x11);
    for (int i = 0; i < 4; ++i) h.path.OnCardBlock(block.data(), block.size());
    EXPECT_EQ(h.fill, 3u * 65536);  // the fourth would fill it exactly: dropped
    EXPECT_EQ(h.path.sendDroppedBlocks.load(), 1u);
    EXPECT_EQ(h.path.sendDroppedBytes.load(), 65536u);
    h.fill = 0;
    h.path.OnCardBlock(block.data(), 100);
    EXPECT_EQ(h.fill, 100u);
    EXPECT_EQ(h.path.sendDroppedBlocks.load(), 1u);
}

TEST(DataPathCard, TelemetryIsQueuedOnlyOnceTheCardIsInLock) {
    Harness h;
    const auto data = Superframes(2);
    h.path.OnCardBlock(data.data(), data.size());  // the counter starts at 100
    EXPECT_EQ(h.fill, 0u);
    h.path.syncLossCount = 30;
    h.path.OnCardBlock(data.data(), data.size());
    EXPECT_EQ(h.fill, 0u);
    h.path.syncLossCount = 29;
    h.path.OnCardBlock(data.data(), data.size());
    EXPECT_EQ(h.fill, data.size());
}

TEST(DataPathCard, ResettingTheAssemblyEmptiesTheSendBuffer) {
    Harness h;
    h.path.syncLossCount = 0;
    const auto data = Superframes(3);
    h.path.OnCardBlock(data.data(), data.size());
    ASSERT_EQ(h.fill, data.size());
    h.path.ResetAssembly();
    EXPECT_EQ(h.fill, 0u);
    EXPECT_EQ(h.count, 0u);
}

TEST(DataPathCard, StandardFrameIsCapturedFromTheFirstCompleteSuperframe) {
    Harness h;
    h.path.standardFrameRequest = 1;
    const auto part = Superframes(1);
    h.path.OnCardBlock(part.data(), 64);  // two subframes: nothing complete yet
    EXPECT_EQ(h.stdReady, 0);
    EXPECT_EQ(h.path.standardFrameRequest, 1);
    const auto data = Superframes(2, 9);
    h.path.OnCardBlock(data.data() + 64, data.size() - 64);
    EXPECT_EQ(h.stdReady, 1);
    EXPECT_EQ(h.path.standardFrameRequest, 0);
    const auto frame = h.path.StandardFrame();
    ASSERT_EQ(frame.size(), 128u);
    EXPECT_EQ(frame[8], 0);       // the first two subframes from the first block
    EXPECT_EQ(frame[64 + 8], 9);  // and the rest from the second
}

// Subframe records of `words` words of `wordBytes` bytes, index bytes
// 0 .. `length` - 1, for `frames` superframes.
std::vector<std::uint8_t> Records(int words, int wordBytes, int length, int frames) {
    std::vector<std::uint8_t> out;
    for (int f = 0; f < frames; ++f)
        for (int k = 0; k < length; ++k) {
            const std::uint8_t tag[8] = {0, 0, 0, 0, 0, 0, std::uint8_t(k), 0};
            out.insert(out.end(), tag, tag + 8);
            out.insert(out.end(), std::size_t(words * wordBytes), std::uint8_t(f));
        }
    return out;
}

// 12 words of 16 bits in 2 subframes: the same 32-byte subframe record as
// the default record, so blocks of either geometry fit either.
void SetTwelveWordsOf16Bits(DemParam& dem) {
    dem.字长 = 16;
    dem.子帧长 = 12;
    dem.副帧长 = 2;
    dem.码率 = 2000000;
}

TEST(DataPathSettings, RecordRewrittenDuringABlockTakesEffectWholeAtTheNextBlock) {
    Harness h;
    h.frameStat = 1;
    bool rewritten = false;
    // The apply rewrites the record between two consumers of one block.
    h.consumers.beforeCurve = [&] {
        if (rewritten) return;
        rewritten = true;
        SetTwelveWordsOf16Bits(h.dem);
        h.Publish();
    };
    const auto first = Records(24, 1, 4, 2);
    h.path.OnCardBlock(first.data(), first.size());
    ASSERT_TRUE(rewritten);
    ASSERT_EQ(h.consumers.geometries.size(), 1u);
    EXPECT_EQ(h.consumers.geometries[0].subframeWords, 24u);
    EXPECT_EQ(h.consumers.geometries[0].superframeLength, 4u);
    // The curve record of that block describes the frames it was given.
    EXPECT_EQ(h.consumers.curveRecord.nWordsPerSubframe, 24);
    EXPECT_EQ(h.consumers.curveRecord.nSubframes, 4);
    EXPECT_EQ(h.consumers.curveRecord.nWordBits, 8);
    EXPECT_EQ(h.consumers.curveRecord.nFramesPerBuffer, 2);

    h.path.ResetAssembly();
    const auto second = Records(12, 2, 2, 3);
    h.path.OnCardBlock(second.data(), second.size());
    ASSERT_EQ(h.consumers.geometries.size(), 2u);
    EXPECT_EQ(h.consumers.geometries[1].subframeWords, 12u);
    EXPECT_EQ(h.consumers.geometries[1].wordBytes, 2u);
    EXPECT_EQ(h.consumers.geometries[1].superframeLength, 2u);
    EXPECT_EQ(h.consumers.geometries[1].codeRate, 2000000u);
    EXPECT_EQ(h.consumers.curveRecord.nWordsPerSubframe, 12);
    EXPECT_EQ(h.consumers.curveRecord.nSubframes, 2);
    EXPECT_EQ(h.consumers.curveRecord.nFramesPerBuffer, 3);
    EXPECT_EQ(h.count, 3u);
}

TEST(DataPathSettings, BlocksNeverSeeAHalfRewrittenRecord) {
    Harness h;
    h.frameStat = 1;
    DemParam a{}, b{};
    FillDefault(a);
    FillDefault(b);
    SetTwelveWordsOf16Bits(b);
    const DataGeometry ga = GeometryOf(a), gb = GeometryOf(b);
    std::atomic<int> torn{0}, blocks{0};
    h.consumers.onFrameCount = [&](const DataGeometry& g) {
        const bool isA = g.subframeWords == ga.subframeWords && g.wordBytes == ga.wordBytes &&
                         g.superframeLength == ga.superframeLength && g.codeRate == ga.codeRate;
        const bool isB = g.subframeWords == gb.subframeWords && g.wordBytes == gb.wordBytes &&
                         g.superframeLength == gb.superframeLength && g.codeRate == gb.codeRate;
        const _FRAME_STRUCT_PARAM_EX& c = h.consumers.curveRecord;
        const bool curveMatches = c.nWordsPerSubframe == g.subframeWords &&
                                  c.nSubframes == g.superframeLength && c.nWordBits == g.wordBits;
        if (!(isA || isB) || !curveMatches) ++torn;
        ++blocks;
    };
    // The GUI thread rewrites the record field by field, as the store's
    // copy does, and hands it over after each rewrite.
    std::atomic<bool> stop{false};
    std::atomic<int> rewrites{0};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) {
            const DemParam& next = i % 2 ? a : b;
            h.dem.字长 = next.字长;
            h.dem.子帧长 = next.子帧长;
            h.dem.副帧长 = next.副帧长;
            h.dem.码率 = next.码率;
            h.Publish();
            ++rewrites;
        }
    });
    // Every block fits both geometries: 32-byte subframe records.
    const auto data = Records(24, 1, 4, 2);
    for (int i = 0; i < 2000000 && (i < 200000 || rewrites < 20000); ++i) {
        h.path.OnCardBlock(data.data(), data.size());
        h.path.ResetAssembly();
    }
    stop = true;
    writer.join();
    EXPECT_GT(blocks.load(), 0);
    EXPECT_EQ(torn.load(), 0) << "of " << blocks << " blocks, " << rewrites << " rewrites";
}

TEST(DataPathRefresh, WhatTheTableIsShown) {
    Harness h;
    h.initialising = 1;
    EXPECT_FALSE(h.path.RefreshAllowed());
    h.initialising = 0;
    h.cardOpen = 0;
    EXPECT_FALSE(h.path.RefreshAllowed());
    h.replayRunning = 1;
    EXPECT_TRUE(h.path.RefreshAllowed());
    h.cardOpen = 1;
    h.replayRunning = 0;

    EXPECT_EQ(h.path.RawViewData(h.Shown()), nullptr);  // superframe mode, nothing assembled
    const auto data = Superframes(2);
    h.path.OnCardBlock(data.data(), data.size());
    EXPECT_EQ(h.path.RawViewData(h.Shown()), h.assembly.data());
    h.after = 1;
    EXPECT_EQ(h.path.RawViewData(h.Shown()), nullptr);  // the second assembly stays empty
    h.dem.副帧类型 = 0;
    h.Publish();
    EXPECT_EQ(h.path.RawViewData(h.Shown()), h.afterDecryption.data());
    h.after = 0;
    EXPECT_EQ(h.path.RawViewData(h.Shown()), h.latest.data());
    // A frame larger than the latest block is not handed to a view.
    h.dem.子帧长 = 65535;
    h.dem.副帧长 = 400;
    h.Publish();
    EXPECT_EQ(h.path.RawViewData(h.Shown()), nullptr);
}

TEST(DataPathRecords, ViewRecordsFromTheDemodulatorRecord) {
    DemParam dem{};
    FillDefault(dem);
    dem.字长 = 8;
    dem.子帧长 = 128;
    dem.副帧长 = 32;
    dem.码率 = 1000000;
    dem.帧同步码位长 = 0x118;  // only the low byte is passed
    dem.帧同步码位置2 = 0;
    _FRAME_STRUCT_PARAM r{};
    r.nShowWholeFrame = 1;
    FillFrameRecord(r, dem);
    EXPECT_EQ(r.nWordsPerSubframe, 128);
    EXPECT_EQ(r.nSubframes, 32);
    EXPECT_EQ(r.nFrameWords, 4096);
    EXPECT_EQ(r.nWordBits, 8);
    EXPECT_EQ(r.nWordBytes, 1);
    EXPECT_EQ(r.nTimeBytes, 8);
    EXPECT_EQ(r.nSyncByte, 0x18);
    EXPECT_EQ(r.nSyncFlag, 1);
    EXPECT_EQ(r.nByteOrder, 0);
    EXPECT_EQ(r.nBitRate, 1000000);
    EXPECT_FLOAT_EQ(r.fFramePeriod, 32.768f);
    EXPECT_EQ(r.nShowWholeFrame, 1);  // the view's choice is kept
    dem.帧同步码位置2 = 5;
    dem.字长 = 10;
    FillFrameRecord(r, dem);
    EXPECT_EQ(r.nSyncFlag, 0);
    EXPECT_EQ(r.nWordBytes, 2);

    _FRAME_STRUCT_PARAM_EX c{};
    FillCurveRecord(c, dem, 100);  // less than one superframe record
    EXPECT_EQ(c.nFramesPerBuffer, 1);
    FillCurveRecord(c, dem, (128 * 2 + 8) * 32 * 5 + 17);
    EXPECT_EQ(c.nFramesPerBuffer, 5);
    dem.码率 = 0;
    FillFrameRecord(r, dem);
    EXPECT_EQ(r.fFramePeriod, 0.0f);
}

TEST(DataPathReplay, FeedDispatchesWithBroadcastParamsAndImmediateTelemetry) {
    Harness h;
    h.dem.副帧类型 = 0;
    h.Publish();
    h.AllOn();
    h.path.syncLossCount = 100;  // replays are recorded regardless
    h.replayRunning = 1;
    h.replayKind = kSoftwareReplay;
    h.path.replayBitRate = 2000000;
    ScriptedReader reader;
    reader.blocks = {70000, 0, kMaxReplayBlock + 1, 96};
    h.path.SetReplayReader(&reader);

    EXPECT_EQ(h.path.FeedReplay(), ReplayStep::Dispatched);
    EXPECT_THAT(h.consumers.calls,
                ElementsAre("record", "broadcast:32768", "broadcast:32768", "broadcast:4464",
                            "params", "curve", "biterror", "telemetry", "telemetry", "framecount",
                            "idcount", "time", "gnss", "gnss-multicast"));
    // 64,512 = 504 superframe records of 128 bytes.
    ASSERT_EQ(h.consumers.datagrams.size(), 2u);
    EXPECT_EQ(h.consumers.datagrams[0].size(), 64512u);
    EXPECT_EQ(h.consumers.datagrams[1].size(), 70000u - 64512);
    EXPECT_EQ(h.consumers.datagrams[1][0], std::uint8_t(64512));
    EXPECT_EQ(h.consumers.timeRate, 2000000u);
    EXPECT_EQ(h.fill, 0u);  // nothing through the send buffer

    h.consumers.calls.clear();
    EXPECT_EQ(h.path.FeedReplay(), ReplayStep::Ignored);  // empty block
    EXPECT_EQ(h.path.FeedReplay(), ReplayStep::Ignored);  // beyond 2 MiB
    EXPECT_EQ(h.path.FeedReplay(), ReplayStep::Dispatched);
    EXPECT_EQ(h.path.FeedReplay(), ReplayStep::Finished);
    EXPECT_EQ(h.replayRunning, 0);
    EXPECT_EQ(reader.stops, 1);
    EXPECT_EQ(reader.seeks, 5);
    EXPECT_EQ(h.path.FeedReplay(), ReplayStep::Idle);
}

TEST(DataPathReplay, DatagramsAreCutAtWholeSuperframeRecords) {
    std::vector<std::pair<std::size_t, std::size_t>> parts;
    auto collect = [&](std::size_t at, std::size_t n) { parts.emplace_back(at, n); };
    ForEachDatagram(100000, 3000, 32768, collect);  // 10 records a part
    EXPECT_THAT(parts, ElementsAre(std::pair{0ul, 30000ul}, std::pair{30000ul, 30000ul},
                                   std::pair{60000ul, 30000ul}, std::pair{90000ul, 10000ul}));
    parts.clear();
    ForEachDatagram(100000, 40000, 32768, collect);  // a record larger than a datagram
    EXPECT_THAT(parts, ElementsAre(std::pair{0ul, 40000ul}, std::pair{40000ul, 40000ul},
                                   std::pair{80000ul, 20000ul}));
    parts.clear();
    ForEachDatagram(32768, 3000, 32768, collect);
    EXPECT_THAT(parts, ElementsAre(std::pair{0ul, 32768ul}));
}

TEST(DataPathReplay, PacingWakesTheFeedEveryOtherTickDuringASoftwareReplay) {
    Harness h;
    int wakes = 0;
    for (int i = 0; i < 10; ++i) wakes += h.path.OnPacingTick();
    EXPECT_EQ(wakes, 0);
    h.replayRunning = 1;
    h.replayKind = kCardReplay;
    for (int i = 0; i < 10; ++i) wakes += h.path.OnPacingTick();
    EXPECT_EQ(wakes, 0);
    h.replayKind = kSoftwareReplay;
    for (int i = 0; i < 10; ++i) wakes += h.path.OnPacingTick();
    EXPECT_EQ(wakes, 5);
}

TEST(DataPathReplay, SoftwareReplayCarriesTheFileTagFormatCardBlocksTheStations) {
    for (const std::uint32_t station : {0u, 1u}) {
        const std::uint32_t file = station == 0 ? 1 : 0;
        Harness h;
        h.dem.副帧类型 = 0;  // the scripted blocks are no superframes
        h.dem.配时精度 = station;
        h.Publish();
        h.frameStat = 1;
        ScriptedReader reader;
        reader.blocks = {128, 128};
        h.path.SetReplayReader(&reader);
        h.path.BeginReplay(kSoftwareReplay, file);
        EXPECT_EQ(h.replayRunning, 1);
        EXPECT_EQ(h.replayKind, kSoftwareReplay);
        EXPECT_EQ(h.path.Geometry().tagFormat, file);  // what the network output stamps by
        EXPECT_EQ(h.path.DemodulatorRecord().配时精度, station);
        ASSERT_EQ(h.path.FeedReplay(), ReplayStep::Dispatched);
        ASSERT_EQ(h.consumers.geometries.size(), 1u);
        EXPECT_EQ(h.consumers.geometries[0].tagFormat, file);

        h.path.EndReplay();
        EXPECT_EQ(h.replayRunning, 0);
        EXPECT_EQ(h.path.Geometry().tagFormat, station);
        const auto data = Superframes(1);
        h.path.OnCardBlock(data.data(), data.size());
        ASSERT_EQ(h.consumers.geometries.size(), 2u);
        EXPECT_EQ(h.consumers.geometries[1].tagFormat, station);

        // A card replay plays through the demodulator: the station's format.
        h.path.BeginReplay(kCardReplay, file);
        EXPECT_EQ(h.path.Geometry().tagFormat, station);
        h.path.EndReplay();
        // The end of the file ends the file's format too.
        h.path.BeginReplay(kSoftwareReplay, file);
        reader.next = reader.blocks.size();
        EXPECT_EQ(h.path.FeedReplay(), ReplayStep::Finished);
        EXPECT_EQ(h.path.Geometry().tagFormat, station);
    }
}

TEST(DataPathReplay, EndingAReplayWaitsForTheBlockInFlight) {
    Harness h;
    h.dem.副帧类型 = 0;
    h.Publish();
    ScriptedReader reader;
    reader.blocks = {128, 128};
    h.path.SetReplayReader(&reader);
    h.path.BeginReplay(kSoftwareReplay, 0);
    std::atomic<bool> inside{false}, release{false};
    std::vector<std::string> order;  // written under the order lock
    std::mutex orderLock;
    auto note = [&](const char* what) {
        std::lock_guard lock(orderLock);
        order.push_back(what);
    };
    h.consumers.beforeCurve = [&] {
        inside = true;
        while (!release) std::this_thread::yield();
        note("block done");
    };
    std::thread feed([&] { h.path.FeedReplay(); });
    while (!inside) std::this_thread::yield();
    std::thread stop([&] {
        h.path.EndReplay();
        note("replay ended");
    });
    // The stop has begun (the flag is cleared first), the block is still held.
    while (h.replayRunning != 0) std::this_thread::yield();
    release = true;
    feed.join();
    stop.join();
    EXPECT_THAT(order, ElementsAre("block done", "replay ended"));
}

namespace {

// Counts the producers inside a dispatch; more than one at a time is a fault.
// Replay blocks are told from card blocks by their serials (word 0).
constexpr int kReplaySerial = 200;
struct OverlapProbe : DataConsumers {
    std::atomic<int> inside{0}, overlaps{0};
    std::atomic<std::uint64_t> cardBytes{0}, replayBytes{0};
    void CountFrames(const std::uint8_t* d, std::size_t n, const DataGeometry&) override {
        if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
        // Read every byte as a check would, so that a sanitizer sees the reads.
        unsigned sum = 0;
        for (std::size_t i = 0; i < n; ++i) sum += d[i];
        const bool replay = d[8] >= kReplaySerial;
        (replay ? replayBytes : cardBytes).fetch_add(n + (sum & 0u));
        std::this_thread::yield();
        inside.fetch_sub(1);
    }
};

struct SerialReader : SoftwareReplayReader {
    std::atomic<int> blocks{0};
    const std::vector<std::uint8_t> data = Superframes(8, kReplaySerial);
    void ApplyPendingSeek() override {}
    double Progress() override { return 0.5; }
    std::size_t ReadNextBlock(std::uint8_t* into, std::size_t) override {
        std::memcpy(into, data.data(), data.size());
        blocks.fetch_add(1);
        return data.size();
    }
    void StopReplay() override {}
};

}  // namespace

TEST(DataPathReplay, CardBlocksAndReplayBlocksAreNeverDispatchedAtOnce) {
    // The card streams while a software replay starts and stops in a loop;
    // each start or stop takes effect between two blocks.
    talvora::test::DataPathRig<OverlapProbe> rig;
    rig.frameStat = 1;
    rig.path.Attach();
    SerialReader reader;
    rig.path.SetReplayReader(&reader);
    std::atomic<bool> run{true};
    const auto card = Superframes(64);
    std::thread cardThread([&] {
        while (run) rig.path.OnCardBlock(card.data(), card.size());
    });
    std::thread feedThread([&] {
        while (run)
            if (rig.path.FeedReplay() == ReplayStep::Idle) std::this_thread::yield();
    });
    for (int i = 0; i < 300; ++i) {
        rig.path.BeginReplay(kSoftwareReplay, 1);
        const int before = reader.blocks.load();
        while (reader.blocks.load() == before) std::this_thread::yield();
        rig.path.EndReplay();
        const std::uint64_t cardBefore = rig.consumers.cardBytes.load();
        while (rig.consumers.cardBytes.load() == cardBefore) std::this_thread::yield();
    }
    run = false;
    cardThread.join();
    feedThread.join();
    EXPECT_EQ(rig.consumers.overlaps.load(), 0);
    EXPECT_GE(reader.blocks.load(), 300);
}

TEST(DataPathLosses, EachEpisodeIsNotedOnceAndEveryLostFrameCounted) {
    LossWatch w;
    std::vector<std::string> notes;
    auto take = [&](std::uint64_t ring, std::uint64_t send, bool cardOpen = true) {
        w.Update({.ringBytes = ring, .ringKnown = cardOpen, .sendBytes = send}, 32,
                 [&](const std::string& line) { notes.push_back(line); });
    };
    take(0, 0);
    EXPECT_TRUE(notes.empty());
    take(3200, 0);  // an episode at the ring begins: 100 frames
    take(6400, 0);  // it goes on: counted, not noted again
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("已丢失100帧"), std::string::npos) << notes[0];
    take(6400, 64);  // the ring recovers, the send buffer begins to drop
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_NE(notes[1].find("发送缓冲区已满，已丢弃2帧"), std::string::npos) << notes[1];
    take(6400, 64, false);  // card closed: the ring's count is not known
    take(9600, 64);         // reopened, the library kept counting: a new episode
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(w.RingLostFrames(), 300u);
    EXPECT_EQ(w.SendDroppedFrames(), 2u);
}
