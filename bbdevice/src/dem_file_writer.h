// CDemFileWriter: records one data channel into a .dem file. The report
// thread hands it every processed block (under the channel lock); start and
// stop come from the caller's thread. lock_ keeps a block from being written
// into a file that is being closed.
#pragma once

#include <bbdevice/dem_file.h>
#include <bbdevice/dev_records.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "dem_channel.h"

namespace bbdev {

class CDemFileWriter : public IDemBlockWriter {
public:
    // keptParam: the demodulator record in force (false when none was set);
    // flush: lets the channel deliver what it holds before a start.
    using ParamSource = std::function<bool(DemParam*)>;
    using Flush = std::function<void()>;

    CDemFileWriter(std::uint32_t cardIndex, std::uint32_t channel, ParamSource keptParam,
                   Flush flush);
    ~CDemFileWriter() override;  // finishes an open file
    CDemFileWriter(const CDemFileWriter&) = delete;
    CDemFileWriter& operator=(const CDemFileWriter&) = delete;

    bool Start(const DemSaveRequest* request);
    bool Stop();
    std::uint64_t BytesRecorded() const { return bytes_.load(); }
    bool Recording() const;
    std::string Path() const;

    void WriteBlock(std::uint32_t channel, std::span<const std::uint8_t> bytes) override;

private:
    bool DefaultPathLocked();
    // Takes the file out of the writer (its header rewritten first when
    // asked) and returns its descriptor for the caller to close.
    int DetachLocked(bool rewriteHeader);
    void OnWriteFailedLocked(int error);

    const std::uint32_t cardIndex_;
    const std::uint32_t channel_;
    const ParamSource keptParam_;
    const Flush flush_;

    mutable std::mutex lock_;
    // guarded by lock_:
    std::uint8_t header_[kDemFileHeaderBytes] = {};
    char path_[kDemFilePathBytes] = {};
    int fd_ = -1;
    std::uint32_t recording_ = 0;
    std::uint32_t rewriteHeader_ = 0;
    std::atomic<std::uint64_t> bytes_{0};  // written by the report thread under lock_
};

class CCardDevice;

// A card's writer for one channel, attached to that channel: the record in
// force comes from the demodulator unit, a start flushes the channel 15 ms.
std::unique_ptr<CDemFileWriter> MakeChannelWriter(CCardDevice& card, std::uint32_t channel);

}  // namespace bbdev
