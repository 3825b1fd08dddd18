#include <platform/kernel_objects.h>
#include <rawgrid/table_store.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

namespace rawgrid {

class TableStore::Guard {
public:
    explicit Guard(const TableStore& s) : s_(s) {
        if (s_.named_) {
            const plat::WaitResult r = s_.named_->Lock();
            // Abandoned: the previous owner died; the frame copy is still whole
            // enough to show, and we own the mutex now.
            owns_ = r == plat::WaitResult::Signaled || r == plat::WaitResult::Abandoned;
        } else {
            s_.local_.lock();
            owns_ = true;
        }
    }
    ~Guard() {
        if (!owns_) return;
        if (s_.named_)
            s_.named_->Unlock();
        else
            s_.local_.unlock();
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    bool owns() const { return owns_; }

private:
    const TableStore& s_;
    bool owns_ = false;
};

namespace {

bool SameLayout(const _FRAME_STRUCT_PARAM& a, const _FRAME_STRUCT_PARAM& b) {
    return a.nWordsPerSubframe == b.nWordsPerSubframe && a.nSubframes == b.nSubframes &&
           a.nWordBytes == b.nWordBytes && a.nTimeBytes == b.nTimeBytes &&
           a.nWordBits == b.nWordBits && a.nFrameWords == b.nFrameWords;
}

bool SameTitle(const _FRAME_STRUCT_PARAM& a, const _FRAME_STRUCT_PARAM& b) {
    return SameLayout(a, b) && a.nBitRate == b.nBitRate &&
           std::memcmp(&a.fFramePeriod, &b.fFramePeriod, sizeof a.fFramePeriod) == 0;
}

}  // namespace

TableStore::TableStore(int index, const _FRAME_STRUCT_PARAM* initial, int ownWholeFrame) {
    named_ = plat::NamedMutex::Create("Load_Table_Data" + std::to_string(index + 1));
    buffer_.reset(new (std::nothrow) std::uint8_t[kInitialBytes]);
    if (buffer_) capacity_ = kInitialBytes;
    if (initial) {
        shape_ = *initial;
        lastCallerWholeFrame_ = initial->nShowWholeFrame;
    }
    ownWholeFrame_ = ownWholeFrame != 0;
    ownChanged_ = ownWholeFrame_ != (lastCallerWholeFrame_ != 0);
    pending_.layout = pending_.title = true;
}

TableStore::~TableStore() = default;

std::size_t TableStore::FrameBytes(const _FRAME_STRUCT_PARAM& f) {
    if (f.nWordBytes < 1 || f.nWordBytes > 4 || f.nWordsPerSubframe == 0 || f.nSubframes == 0)
        return 0;
    const std::size_t row = std::size_t{f.nWordsPerSubframe} * f.nWordBytes + f.nTimeBytes;
    const std::size_t total = row * f.nSubframes;  // at most ~2^34, no overflow
    return total <= kMaxFrameBytes ? total : 0;
}

int TableStore::SetData(_FRAME_STRUCT_PARAM* frame, const std::uint8_t* data) {
    if (!frame || !data) return 0;
    const _FRAME_STRUCT_PARAM in = *frame;
    const std::size_t bytes = FrameBytes(in);
    if (bytes == 0) return 0;

    Guard lock(*this);
    if (!lock.owns()) return 0;
    if (bytes > capacity_) {
        // Grow to exactly the frame; keep the old buffer when memory runs out.
        std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow) std::uint8_t[bytes]);
        if (!bigger) return 0;
        buffer_ = std::move(bigger);
        capacity_ = bytes;
        hasData_ = false;
    }

    if (!SameLayout(in, shape_)) pending_.layout = true;
    if (!SameTitle(in, shape_)) pending_.title = true;

    if (ownChanged_) {
        frame->nShowWholeFrame = ownWholeFrame_;
        lastCallerWholeFrame_ = ownWholeFrame_;
        ownChanged_ = false;
    } else if (in.nShowWholeFrame != lastCallerWholeFrame_) {
        lastCallerWholeFrame_ = in.nShowWholeFrame;
        const int wanted = in.nShowWholeFrame != 0;
        if (wanted != ownWholeFrame_) {
            ownWholeFrame_ = wanted;
            pending_.wholeFrameFromCaller = true;
            pending_.layout = true;
        }
    }

    // The caller hands in the latest frame on every refresh whether or not it
    // changed; an identical frame leaves nothing to repaint.
    const bool same = hasData_ && frameBytes_ == bytes && !pending_.layout &&
                      std::memcmp(buffer_.get(), data, bytes) == 0;
    if (!same) {
        std::memcpy(buffer_.get(), data, bytes);
        pending_.data = true;
    }
    shape_ = in;
    shape_.nShowWholeFrame = ownWholeFrame_;
    frameBytes_ = bytes;
    hasData_ = true;
    return 1;
}

void TableStore::SetOwnWholeFrame(int value) {
    Guard lock(*this);
    if (!lock.owns()) return;
    const int v = value != 0;
    if (v == ownWholeFrame_) return;
    ownWholeFrame_ = v;
    ownChanged_ = true;
    shape_.nShowWholeFrame = v;
    pending_.layout = true;
}

StoreUpdate TableStore::Take() {
    Guard lock(*this);
    if (!lock.owns()) return {};
    StoreUpdate u = pending_;
    u.shape = shape_;
    u.wholeFrame = ownWholeFrame_;
    pending_ = StoreUpdate{};
    return u;
}

void TableStore::ReadPage(int firstRow, int rows, int firstWord, int words, PageCopy& out) const {
    Guard lock(*this);
    out.values.clear();
    out.tags.clear();
    out.rows = out.words = 0;
    out.hasData = false;
    out.hasTime = false;
    if (!lock.owns()) return;
    out.shape = shape_;
    if (!hasData_ || FrameBytes(shape_) == 0) return;

    const int totalRows = shape_.nSubframes;
    const int totalWords = shape_.nWordsPerSubframe;
    firstRow = std::clamp(firstRow, 0, totalRows);
    firstWord = std::clamp(firstWord, 0, totalWords);
    rows = std::clamp(rows, 0, totalRows - firstRow);
    words = std::clamp(words, 0, totalWords - firstWord);

    out.hasData = true;
    out.hasTime = shape_.nTimeBytes == kTimeTagBytes;
    out.firstRow = firstRow;
    out.firstWord = firstWord;
    out.rows = rows;
    out.words = words;
    out.values.resize(static_cast<std::size_t>(rows) * words);
    if (out.hasTime) out.tags.resize(static_cast<std::size_t>(rows) * kTimeTagBytes);

    const int wb = shape_.nWordBytes;
    const std::size_t rowBytes = std::size_t{shape_.nWordsPerSubframe} * wb + shape_.nTimeBytes;
    std::uint32_t* dst = out.values.data();
    for (int r = 0; r < rows; ++r) {
        const std::uint8_t* row = buffer_.get() + (firstRow + r) * rowBytes;
        if (out.hasTime) std::memcpy(&out.tags[r * kTimeTagBytes], row, kTimeTagBytes);
        const std::uint8_t* p = row + shape_.nTimeBytes + std::size_t(firstWord) * wb;
        for (int w = 0; w < words; ++w, p += wb) {
            std::uint32_t v = 0;
            for (int i = 0; i < wb; ++i) v = (v << 8) | p[i];
            *dst++ = v;
        }
    }
}

std::size_t TableStore::Capacity() const {
    Guard lock(*this);
    return capacity_;
}

}  // namespace rawgrid
