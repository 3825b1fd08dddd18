// BB_SendPcmFrameData of report-sized blocks (a whole 2,113,536-byte report
// block and the 1024-byte block of fast short frames) against memcpy of the
// same blocks into a buffer of the same size, in the same run; then the code
// table's paint of a full 1920 x 1080 page, and the curve's and histogram's
// over a full store. Card 0 is opened on the loopback
// card engine, since the data call accepts only open cards.
// Arguments: seconds per measured copy (3), a file to save the page to.
#include <bbdevice/bbdevice.h>
#include <cardengine/testkit/engine_process.h>
#include <pcmplot/pcm_plot_wnd.h>
#include <pcmplot/pcmplot.h>
#include <platform/paths.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QMdiArea>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

DemChannelDescriptor Descriptor(std::uint32_t words, std::uint32_t minors) {
    DemChannelDescriptor d{};
    d.字长 = 8;
    d.子帧长 = words;
    d.副帧长 = minors;
    d.tagBytesPerMinorFrame = 8;
    d.配时密度 = 1;
    return d;
}

std::vector<std::uint8_t> Frames(std::size_t bytes, std::uint32_t words) {
    std::vector<std::uint8_t> v(bytes);
    const std::size_t minor = 8 + words;
    for (std::size_t i = 0; i < bytes; ++i) {
        const std::size_t k = i % minor;
        v[i] = k < 8 ? std::uint8_t(0x11 * (k + 1)) : std::uint8_t(i * 31 + (i >> 9));
    }
    return v;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// MB/s of `copy` over `block` bytes, repeated for about `seconds`.
template <class F>
double Rate(std::size_t block, double seconds, F&& copy) {
    std::size_t bytes = 0;
    const auto t0 = Clock::now();
    double elapsed = 0;
    do {
        for (int i = 0; i < 16; ++i) copy();
        bytes += 16 * block;
        elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    } while (elapsed < seconds);
    return double(bytes) / elapsed / 1e6;
}

void CompareSend(std::size_t block, double seconds) {
    // 24 words by 4 minor frames, tagged: 128-byte major frames.
    const auto d = Descriptor(24, 4);
    BB_SetDemFrameInfo(0, pcmplot::kTable, &d);
    const std::vector<std::uint8_t> src = Frames(block, 24);
    std::vector<std::uint8_t> dst(kDemReportDataBytes);
    std::size_t at = 0;
    auto reference = [&] {
        if (at + block > dst.size()) at = 0;
        std::memcpy(dst.data() + at, src.data(), block);
        at += block;
        // Keeps the copy from being dropped as dead.
        asm volatile("" : : "r"(dst.data()) : "memory");
    };
    auto send = [&] { BB_SendPcmFrameData(0, pcmplot::kTable, src.data(), std::uint32_t(block)); };
    // Rounds alternate, so both see the same state of the machine.
    std::vector<double> refs, sends, ratios;
    for (int round = 0; round < 20; ++round) {
        refs.push_back(Rate(block, seconds / 20, reference));
        sends.push_back(Rate(block, seconds / 20, send));
        ratios.push_back(sends.back() / refs.back());
    }
    std::printf(
        "block %8zu bytes: BB_SendPcmFrameData %8.0f MB/s  memcpy %8.0f MB/s  "
        "ratio %.2f (medians of 20 rounds)\n",
        block, Median(sends), Median(refs), Median(ratios));
}

void TablePaint(int runs, const char* savePath) {
    // 256 words by 64 minor frames: more columns and rows than a page holds.
    auto store = std::make_shared<pcmplot::PcmFrameStore>();
    const auto d = Descriptor(256, 64);
    store->SetGeometry(d);
    const std::uint32_t major = 64 * (8 + 256);
    pcmplot::CBcdTableWnd table(0, 0, store, nullptr);
    table.resize(1920, 1080);
    QImage target(1920, 1080, QImage::Format_RGB32);
    std::vector<double> ms;
    for (int i = 0; i < runs + 5; ++i) {
        // New frames each time, so every paint formats fresh cells.
        const std::vector<std::uint8_t> f = Frames(major, 256 + i);
        store->Append(f.data(), major);
        table.Pull();
        const auto t0 = Clock::now();
        table.render(&target);
        if (i >= 5)
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    if (savePath) target.save(QString::fromLocal8Bit(savePath));
    std::printf(
        "table full-page paint 1920x1080 (%u rows x %d words): median %.2f ms  p90 %.2f ms\n",
        table.Rows(), 256, Median(ms), [&] {
            std::sort(ms.begin(), ms.end());
            return ms[ms.size() * 9 / 10];
        }());
}

// The curve (four word positions) and the histogram over a full store, for
// the default task's frames and for the most minor frames a store can hold
// (one 8-bit word, no tag: 2,113,536 minor frames).
template <class Wnd>
double FullStorePaint(std::uint32_t words, std::uint32_t tagBytes, int runs, Wnd*) {
    auto store = std::make_shared<pcmplot::PcmFrameStore>();
    DemChannelDescriptor d = Descriptor(words, words == 1 ? 1 : 4);
    d.tagBytesPerMinorFrame = tagBytes;
    store->SetGeometry(d);
    Wnd wnd(0, 0, store, nullptr);
    if constexpr (std::is_same_v<Wnd, pcmplot::CBcdCurveWnd>)
        wnd.SetPositions({0, words > 1 ? 1u : 0u, words > 2 ? 2u : 0u, words > 3 ? 3u : 0u});
    wnd.resize(1920, 1080);
    QImage target(1920, 1080, QImage::Format_RGB32);
    std::vector<std::uint8_t> f(kDemReportDataBytes);
    std::vector<double> ms;
    for (int i = 0; i < runs + 3; ++i) {
        for (std::size_t k = 0; k < f.size(); ++k) f[k] = std::uint8_t(k * 7 + std::size_t(i));
        store->Append(f.data(),
                      f.size() / store->Geometry().majorBytes * store->Geometry().majorBytes);
        const auto t0 = Clock::now();
        wnd.Pull();
        wnd.render(&target);
        if (i >= 3)
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return Median(ms);
}

void CurveAndHistogramPaint(int runs) {
    for (const auto& [words, tags, what] :
         {std::tuple{24u, 8u, "24 words x 4 minor frames, tags"},
          std::tuple{1u, 0u, "1 word, no tags (most minor frames)"}}) {
        const double curve =
            FullStorePaint(words, tags, runs, static_cast<pcmplot::CBcdCurveWnd*>(nullptr));
        const double stripe =
            FullStorePaint(words, tags, runs, static_cast<pcmplot::CBcdStripeWnd*>(nullptr));
        std::printf(
            "full store, %s: copy and paint 1920x1080 median: curve of 4 words %.2f ms, "
            "histogram %.2f ms\n",
            what, curve, stripe);
    }
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    ::setenv("TALVORA_OBJECT_NAMESPACE", ("bench-pcm-" + std::to_string(::getpid())).c_str(), 1);
    cardengine::testkit::EngineProcess engine;
    if (!engine.started()) {
        std::fprintf(stderr, "cardengine did not start\n");
        return 1;
    }
    ::setenv("TALVORA_ENGINE", engine.Address().c_str(), 1);
    CardFunctionInfo info{};
    if (!BB_OpenDevice(
            0, [](DemReportBlock*) { return 0; }, 0, &info)) {
        std::fprintf(stderr, "card 0 did not open\n");
        return 1;
    }
    QMainWindow main;
    auto* area = new QMdiArea;
    main.setCentralWidget(area);
    if (!BB_CreatePcmPlotWnd(0, pcmplot::kTable, 0, nullptr, area)) return 1;
    CompareSend(kDemReportDataBytes, seconds);
    CompareSend(1024, seconds);
    BB_DestroyPcmPlotWnd(0, pcmplot::kTable, 1);
    TablePaint(200, argc > 2 ? argv[2] : nullptr);
    CurveAndHistogramPaint(30);
    BB_CloseDevice(0);
    return 0;
}
