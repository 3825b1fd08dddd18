// The frame copy of one table window, shared between the thread that hands in
// data and the GUI thread that paints. Both sides take the stream's named
// mutex "Load_Table_Data%d"; the GUI copies out only the cells it draws.
#pragma once

#include <rawviews/frame_records.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace plat {
class NamedMutex;
}

namespace rawgrid {

// What the GUI needs to do after the last look at the store.
struct StoreUpdate {
    bool data = false;                  // new frame contents
    bool layout = false;                // rows, columns or word size changed
    bool title = false;                 // a field of the title line changed
    bool wholeFrameFromCaller = false;  // the caller switched the whole-frame mode
    int wholeFrame = 0;                 // the window's whole-frame setting now
    _FRAME_STRUCT_PARAM shape{};
};

// The visible part of the frame, copied under the lock and formatted later.
struct PageCopy {
    _FRAME_STRUCT_PARAM shape{};
    bool hasData = false;
    bool hasTime = false;  // time tags are 8 bytes and copied
    int firstRow = 0, rows = 0, firstWord = 0, words = 0;
    std::vector<std::uint32_t> values;  // rows * words, row by row
    std::vector<std::uint8_t> tags;     // rows * 8
};

class TableStore {
public:
    static constexpr std::size_t kInitialBytes = 26'419'200;
    // Larger frames are refused rather than allocated.
    static constexpr std::size_t kMaxFrameBytes = std::size_t{256} << 20;
    static constexpr std::size_t kTimeTagBytes = 8;

    // `index` 0..2 names the mutex; `initial` may be null. `ownWholeFrame` is the
    // window's stored setting, handed to the caller at the first data call when
    // it differs from the caller's.
    TableStore(int index, const _FRAME_STRUCT_PARAM* initial, int ownWholeFrame);
    ~TableStore();
    TableStore(const TableStore&) = delete;
    TableStore& operator=(const TableStore&) = delete;

    // False when the initial buffer could not be allocated.
    bool Valid() const { return capacity_ != 0; }

    // Bytes of one frame of this shape; 0 when the shape is unusable or larger
    // than kMaxFrameBytes.
    static std::size_t FrameBytes(const _FRAME_STRUCT_PARAM& f);

    // Data thread. Copies the frame and exchanges nShowWholeFrame with the
    // caller's record; 1 when the frame was taken, 0 when refused.
    int SetData(_FRAME_STRUCT_PARAM* frame, const std::uint8_t* data);

    // GUI thread: the window's own menu changed the whole-frame mode.
    void SetOwnWholeFrame(int value);

    // GUI thread: the changes since the last call, which are then cleared.
    StoreUpdate Take();

    // GUI thread: copies words [firstWord, firstWord + words) of rows
    // [firstRow, firstRow + rows), clipped to the frame, into `out`.
    void ReadPage(int firstRow, int rows, int firstWord, int words, PageCopy& out) const;

    std::size_t Capacity() const;

private:
    class Guard;

    std::unique_ptr<plat::NamedMutex> named_;
    mutable std::mutex local_;  // used only when the named mutex is unavailable

    // Guarded by the mutex.
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t frameBytes_ = 0;
    bool hasData_ = false;
    _FRAME_STRUCT_PARAM shape_{};
    int ownWholeFrame_ = 0;
    bool ownChanged_ = false;
    int lastCallerWholeFrame_ = 0;
    StoreUpdate pending_;
};

}  // namespace rawgrid
