#include <datapath/send_buffer.h>

#include <cstring>

namespace datapath {

bool SendBuffer::Append(std::span<const std::uint8_t> bytes) {
    {
        std::lock_guard lock(lock_);
        if (!data_ || fill_ + bytes.size() >= capacity_) return false;
        std::memcpy(data_ + fill_, bytes.data(), bytes.size());
        fill_ += static_cast<std::uint32_t>(bytes.size());
    }
    if (wake_) wake_();
    return true;
}

}  // namespace datapath
