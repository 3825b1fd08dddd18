// Random bytes as a recording file: the layout reader and the writer over
// every whole record.
#include <ch10export/ch10_writer.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ch10export::DescriptionOverrides given;
    given.wordBits = 8;
    given.subframeWords = 16;
    given.bitRate = 1'000'000;
    // With a header the file's own description counts, so no override then.
    const bool header = size >= 1024;
    const ch10export::LayoutResult r =
        ch10export::ReadLayout({data, size}, header ? ch10export::DescriptionOverrides{} : given);
    if (!r.layout) return 0;
    std::size_t total = 0;
    ch10export::Ch10Writer w(r.layout->pcm, [&total](std::span<const std::uint8_t> p) {
        total += p.size();
        return true;
    });
    const std::size_t record = ch10export::RecordBytes(r.layout->pcm);
    for (std::size_t at = r.layout->headerLength; at + record <= size; at += record)
        w.AddRecord(data + at);
    w.Finish();
    return 0;
}
