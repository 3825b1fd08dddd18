// The program's network output: the broadcast, unicast and multicast sockets
// and the GNSS multicast service, the 1 ms telemetry sender that drains the
// send buffer, the 1000 ms link monitor, the replay's direct datagrams, the
// receive worker's read of other stations' packets, and the read-out the
// status view shows. Plain C++; the frame owns one and calls it from its
// timers, threads and dialogs.
#pragma once

#include <datapath/frame_geometry.h>
#include <datapath/send_buffer.h>
#include <netinet/in.h>
#include <netout/packet_format.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace netout {

// Addresses and ports ("遥测计算机网络配置").
struct NetworkSettings {
    std::string multicastAddr = "224.0.0.9";
    int multicastPort = 8080;      // local port of the multicast socket
    int multicastDestPort = 8080;  // port at the group
    std::string gnssAddr = "224.0.0.8";
    int gnssPort = 8081;
    int broadcastPort = 8082;
    std::string multicastLocalIp = "192.168.1.1";
    std::string broadcastLocalIp = "192.168.1.1";
    bool showErrors = true;
    int unicastLocalPort = 9001;
    int unicastDestPort = 9002;
    std::string unicastDestIp = "192.168.0.122";
};

// What the sender reads on every tick; all owned by the frame.
struct SenderInputs {
    const std::atomic<int>* sendingOn = nullptr;      // 32784
    const std::atomic<int>* syncLossCount = nullptr;  // no sending while >= 30
    const std::atomic<int>* bitSync = nullptr;
    const std::atomic<int>* subframeSync = nullptr;
    const std::atomic<int>* superframeSync = nullptr;
    const std::atomic<unsigned>* dayOfYear = nullptr;  // of the time-code unit
    std::function<datapath::DataGeometry()> geometry;  // the data path's current one
    datapath::SendBuffer* sendBuffer = nullptr;
};

struct OutputHooks {
    std::function<void(const std::string&)> report;  // message box (when errors are shown)
    std::function<void(const std::string&)> log;     // system log line
    // Every telemetry datagram sent, for the sent-data recording.
    std::function<void(const std::uint8_t*, std::size_t)> sentData;
};

inline constexpr int kSyncLossLimit = 30;
inline constexpr std::size_t kReceiveBytes = 65536;

struct ReceivedPacket {
    bool present = false;
    PacketHeader header;
    char sender[16] = {};
    std::uint32_t dataTime = 0;
};

struct OutputReadout {
    bool broadcastOk = false, unicastOk = false, multicastOk = false, gnssOk = false;
    bool telemetrySent = false;
    PacketHeader lastTelemetry;
    bool linkMonitorSent = false;
    std::uint32_t lastLinkMonitorSequence = 0;
    ReceivedPacket linkMonitor, liftOff;
    std::uint64_t packetsSent = 0;
};

class NetworkOutput {
public:
    NetworkOutput(SenderInputs inputs, OutputHooks hooks);
    ~NetworkOutput();
    NetworkOutput(const NetworkOutput&) = delete;
    NetworkOutput& operator=(const NetworkOutput&) = delete;

    // Broadcast, unicast, multicast, then the GNSS service; an error stops
    // that endpoint only. Closes what was open first.
    void Open(const NetworkSettings& s);
    // Closes the sockets and the GNSS service and clears the ok flags. Safe
    // while the timers and the receive worker run.
    void Close();

    // Header values, taken whole by each packet.
    void SetHeaderSettings(const HeaderSettings& h);
    HeaderSettings Header() const;

    // 1 ms tick: every whole threshold in the send buffer leaves as one
    // packet. Returns the packets sent.
    int OnTelemetryTick();
    // 1000 ms tick: one link-monitor packet to the group.
    void OnLinkMonitorTick();
    // Replay: `data` leaves at once as telemetry packets (cut at whole
    // records when larger than one datagram carries).
    void SendReplayTelemetry(const std::uint8_t* data, std::size_t length);
    // Replay: raw bytes to 255.255.255.255 at the broadcast port.
    void SendBroadcast(const std::uint8_t* data, std::size_t length);
    // The 27-byte position packet through the GNSS service.
    void SendGnssPosition(const std::uint8_t* packet);

    // Receive worker: waits up to `timeoutMs` for one datagram on the
    // broadcast port and keeps it when it is a link-monitor or lift-off
    // packet. False when there is no socket to wait on.
    bool ReceiveOnce(int timeoutMs);

    bool TelemetryReady() const { return multicastOk_.load(); }
    bool BroadcastReady() const { return broadcastOk_.load(); }
    bool GnssReady() const { return gnssOk_.load(); }
    OutputReadout Readout() const;

private:
    struct Sockets;
    void ReceiveFrom(int fd);
    bool SendLocked(int fd, const sockaddr_in& to, const std::uint8_t* data, std::size_t n);
    void SendTelemetryDatagram(const std::uint8_t* packet, std::size_t n);
    void SendSegmentsLocked(int fd, const sockaddr_in& to, std::size_t& gsoLimit,
                            const std::uint8_t* data, std::size_t count, std::size_t size);
    void SendTelemetryBatch(std::size_t count, std::size_t size);
    PacketHeader TelemetryHeader(const HeaderSettings& h, const ClockReading& c);
    RecordStamp Stamp(const datapath::DataGeometry& g, const ClockReading& c) const;
    bool Locked(const datapath::DataGeometry& g) const;
    void NoteThreshold(const Threshold& t, int factor);
    void Report(bool showErrors, const std::string& text);
    void OpenBroadcast(const NetworkSettings& s);
    void OpenUnicast(const NetworkSettings& s);
    void OpenMulticast(const NetworkSettings& s);
    void OpenGnss(const NetworkSettings& s);

    SenderInputs in_;
    OutputHooks hooks_;

    mutable std::mutex settingsLock_;
    HeaderSettings header_;  // guarded by settingsLock_

    std::mutex socketLock_;
    std::unique_ptr<Sockets> sockets_;  // guarded by socketLock_
    std::atomic<bool> broadcastOk_{false}, unicastOk_{false}, multicastOk_{false}, gnssOk_{false};

    std::atomic<std::uint32_t> telemetrySequence_{0};
    std::atomic<std::uint32_t> linkSequence_{0};
    std::atomic<std::uint64_t> packetsSent_{0};

    // Packet storage, allocated once: one for the 1 ms sender, one for the
    // replay feed.
    std::unique_ptr<std::uint8_t[]> tickPacket_, replayPacket_;
    std::unique_ptr<std::uint8_t[]> stage_;  // 1 ms sender: packets taken per tick
    // 1 ms sender: the packets of one batch side by side, at most what one
    // offloaded send carries.
    static constexpr std::size_t kBatchPackets = 64;
    static constexpr std::size_t kBatchBytes = 65000;
    std::unique_ptr<std::uint8_t[]> batch_;
    std::unique_ptr<std::uint8_t[]> receiveBuffer_;  // receive worker
    std::size_t lastNotedThreshold_ = 0;             // 1 ms sender

    mutable std::mutex readoutLock_;
    OutputReadout readout_;  // the packet fields, guarded by readoutLock_
};

}  // namespace netout
