#include <ch10export/ch10_writer.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace ch10export {

namespace {
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// True when `out` names the file `in` (opening it for writing would empty
// the recording before it is read).
bool SameFile(const std::string& in, const std::string& out) {
    struct stat a {
    }, b{};
    return ::stat(in.c_str(), &a) == 0 && ::stat(out.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}
}  // namespace

std::string SuggestedCh10Path(const std::string& recording) {
    const std::size_t slash = recording.rfind('/');
    const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = recording.rfind('.');
    // A dot that begins the name (a hidden file) is not an extension.
    const bool hasExtension = dot != std::string::npos && dot > nameAt;
    return recording.substr(0, hasExtension ? dot : recording.size()) + ".ch10";
}

ExportResult ExportFile(const std::string& in, const std::string& out,
                        const DescriptionOverrides& given, const ExportProgress& progress) {
    ExportResult r;
    File src(std::fopen(in.c_str(), "rb"));
    if (!src) {
        r.message = "cannot open " + in;
        return r;
    }
    std::uint8_t head[1024];
    const std::size_t got = std::fread(head, 1, sizeof head, src.get());
    const LayoutResult lr = ReadLayout({head, got}, given);
    if (!lr.layout) {
        r.message = in + ": " + lr.error;
        return r;
    }
    const DatLayout& l = *lr.layout;
    if (std::fseek(src.get(), long(l.headerLength), SEEK_SET) != 0) {
        r.message = "cannot read " + in;
        return r;
    }
    if (SameFile(in, out)) {
        r.message = out + " is the recording itself";
        return r;
    }
    File dst(std::fopen(out.c_str(), "wb"));
    if (!dst) {
        r.message = "cannot create " + out;
        return r;
    }
    Ch10Writer writer(l.pcm, [&dst](std::span<const std::uint8_t> p) {
        return std::fwrite(p.data(), 1, p.size(), dst.get()) == p.size();
    });

    std::uint64_t total = 0;
    if (struct stat st{}; ::fstat(::fileno(src.get()), &st) == 0 && st.st_size > 0)
        total = std::uint64_t(st.st_size) > l.headerLength
                    ? std::uint64_t(st.st_size) - l.headerLength
                    : 0;
    std::uint64_t done = 0;
    const std::size_t record = RecordBytes(l.pcm);
    const std::size_t perRead = std::max<std::size_t>(1, (1 << 20) / record);
    std::vector<std::uint8_t> buf(perRead * record);
    std::size_t carried = 0;  // bytes of a record begun in the last read
    bool readError = false;
    for (;;) {
        const std::size_t n = std::fread(buf.data() + carried, 1, buf.size() - carried, src.get());
        const std::size_t have = carried + n;
        std::size_t at = 0;
        for (; at + record <= have && !writer.Failed(); at += record) {
            writer.AddRecord(buf.data() + at);
            ++r.records;
        }
        carried = have - at;
        if (carried && at) std::copy(buf.begin() + at, buf.begin() + have, buf.begin());
        if (n == 0) {
            readError = std::ferror(src.get()) != 0;
            break;
        }
        if (writer.Failed()) break;
        done += n;
        if (progress && !progress(done, std::max(done, total))) {
            r.cancelled = true;
            break;
        }
    }
    if (r.cancelled) {
        std::fclose(dst.release());
        std::remove(out.c_str());
        r.message = "export cancelled after " + std::to_string(r.records) + " records";
        return r;
    }
    writer.Finish();
    const bool closed = std::fclose(dst.release()) == 0;
    if (readError) {
        r.message = "reading " + in + " failed after " + std::to_string(r.records) + " records";
        return r;
    }
    if (writer.Failed() || !closed) {
        r.message = "writing " + out + " failed";
        return r;
    }
    if (r.records == 0) {
        r.message = in + ": no whole record to export";
        return r;
    }
    const std::uint64_t cut = carried ? 1 : 0;
    r.dropped = l.headerRecords > r.records ? l.headerRecords - r.records : cut;
    r.packets = writer.Packets();
    r.ok = true;
    r.message = "exported " + std::to_string(r.records) + " records in " +
                std::to_string(r.packets) + " packets";
    if (r.dropped)
        r.message += "; " + std::to_string(r.dropped) + " records dropped (file cut short)";
    return r;
}

}  // namespace ch10export
