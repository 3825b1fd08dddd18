#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/udp.h>
#include <mcastlib/mcastlib.h>
#include <netout/network_output.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace netout {

namespace {

std::string Format(const char* fmt, int value) {
    char text[160];
    std::snprintf(text, sizeof text, fmt, value);
    return text;
}

bool ToAddress(const std::string& ip, int port, sockaddr_in& out) {
    out = {};
    out.sin_family = AF_INET;
    if (port < 1 || port > 65535) return false;
    out.sin_port = htons(std::uint16_t(port));
    return inet_pton(AF_INET, ip.c_str(), &out.sin_addr) == 1;
}

int SetInt(int fd, int level, int name, int value) {
    return ::setsockopt(fd, level, name, &value, sizeof value);
}

int SetTimeoutMs(int fd, int name, int ms) {
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    return ::setsockopt(fd, SOL_SOCKET, name, &tv, sizeof tv);
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

constexpr std::size_t kPacketBytes = kHeaderBytes + kDataHeadBytes + kMaxTelemetryRecordBytes;

}  // namespace

// Descriptors and destinations; a descriptor is -1 while closed.
struct NetworkOutput::Sockets {
    int broadcastTx = -1, broadcastRx = -1, unicast = -1, multicast = -1;
    sockaddr_in broadcastTo{}, unicastTo{}, groupTo{};
    bool showErrors = true;
    // Datagrams of this size and above go one by one: the kernel refused to
    // cut them from a batch (too large for the path, or no offload at all).
    std::size_t unicastGsoLimit = SIZE_MAX, multicastGsoLimit = SIZE_MAX;
    ~Sockets() {
        CloseFd(broadcastTx);
        CloseFd(broadcastRx);
        CloseFd(unicast);
        CloseFd(multicast);
    }
};

NetworkOutput::NetworkOutput(SenderInputs inputs, OutputHooks hooks)
    : in_(std::move(inputs)),
      hooks_(std::move(hooks)),
      sockets_(std::make_unique<Sockets>()),
      tickPacket_(std::make_unique<std::uint8_t[]>(kPacketBytes)),
      replayPacket_(std::make_unique<std::uint8_t[]>(kPacketBytes)),
      stage_(std::make_unique<std::uint8_t[]>(datapath::kSendBufferBytes)),
      batch_(std::make_unique<std::uint8_t[]>(std::max(kPacketBytes, kBatchBytes))),
      receiveBuffer_(std::make_unique<std::uint8_t[]>(kReceiveBytes)) {}

NetworkOutput::~NetworkOutput() {
    Close();
}

void NetworkOutput::Report(bool showErrors, const std::string& text) {
    if (showErrors && hooks_.report) hooks_.report(text);
}

void NetworkOutput::Open(const NetworkSettings& s) {
    Close();
    OpenBroadcast(s);
    OpenUnicast(s);
    OpenMulticast(s);
    OpenGnss(s);
}

void NetworkOutput::OpenBroadcast(const NetworkSettings& s) {
    // Sent from the configured own address, received on INADDR_ANY: a socket
    // bound to a unicast address never sees datagrams to 255.255.255.255.
    int tx = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int rx = -1;
    bool ok = tx >= 0 && SetInt(tx, SOL_SOCKET, SO_BROADCAST, 1) == 0;
    if (ok) {
        SetTimeoutMs(tx, SO_SNDTIMEO, 1);
        SetTimeoutMs(tx, SO_RCVTIMEO, 1);
        SetInt(tx, SOL_SOCKET, SO_RCVBUF, 8192);
        SetInt(tx, SOL_SOCKET, SO_SNDBUF, 8192);
        SetInt(tx, SOL_SOCKET, SO_REUSEADDR, 1);
        sockaddr_in local{};
        int err = EINVAL;
        ok = ToAddress(s.broadcastLocalIp, s.broadcastPort, local);
        if (ok) {
            ok = ::bind(tx, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
            if (!ok) err = errno;
        }
        if (ok) {
            rx = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in any = local;
            any.sin_addr.s_addr = htonl(INADDR_ANY);
            ok = rx >= 0 && SetInt(rx, SOL_SOCKET, SO_REUSEADDR, 1) == 0 &&
                 SetInt(rx, SOL_SOCKET, SO_BROADCAST, 1) == 0 &&
                 ::bind(rx, reinterpret_cast<sockaddr*>(&any), sizeof any) == 0;
            if (!ok) err = errno;
        }
        if (!ok) Report(s.showErrors, Format("广播接收bind() failed with: %d", err));
    }
    if (!ok) {
        CloseFd(tx);
        CloseFd(rx);
    }
    {
        std::lock_guard lock(socketLock_);
        sockets_->broadcastTx = tx;
        sockets_->broadcastRx = rx;
        ToAddress("255.255.255.255", s.broadcastPort, sockets_->broadcastTo);
        broadcastOk_ = ok;
    }
    const std::string line =
        Format(ok ? "数据广播端口:%d初始化成功！" : "数据广播端口:%d初始化失败！", s.broadcastPort);
    if (hooks_.log) hooks_.log(line);
    if (!ok) Report(s.showErrors, line);
}

void NetworkOutput::OpenUnicast(const NetworkSettings& s) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    bool ok = fd >= 0;
    sockaddr_in to{};
    if (ok) {
        SetTimeoutMs(fd, SO_SNDTIMEO, 6);
        SetTimeoutMs(fd, SO_RCVTIMEO, 1);
        SetInt(fd, SOL_SOCKET, SO_RCVBUF, 1024);
        SetInt(fd, SOL_SOCKET, SO_SNDBUF, 32768);
        sockaddr_in local{};
        int err = EINVAL;
        ok = ToAddress(s.multicastLocalIp, s.unicastLocalPort, local) &&
             ToAddress(s.unicastDestIp, s.unicastDestPort, to);
        if (ok) {
            ok = ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
            if (!ok) err = errno;
        }
        if (!ok) {
            Report(s.showErrors, Format("单播发送bind() failed with: %d", err));
            CloseFd(fd);
        }
    }
    {
        std::lock_guard lock(socketLock_);
        sockets_->unicast = fd;
        sockets_->unicastTo = to;
        unicastOk_ = ok;
    }
    const std::string line = Format(
        ok ? "数据单播端口:%d初始化成功！" : "数据单播端口:%d初始化失败！", s.unicastLocalPort);
    if (hooks_.log) hooks_.log(line);
    if (!ok) Report(s.showErrors, line);
}

void NetworkOutput::OpenMulticast(const NetworkSettings& s) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    bool ok = fd >= 0;
    sockaddr_in group{};
    if (!ok) Report(s.showErrors, Format("WSASocket() failed with: %d", errno));
    if (ok && SetInt(fd, IPPROTO_IP, IP_MULTICAST_TTL, 128) != 0) {
        Report(s.showErrors, Format("setsockopt(IP_MULTICAST_TTL) failed:  %d", errno));
        ok = false;
    }
    if (ok) {
        auto note = [&](int rc, const char* fmt) {
            if (rc != 0) Report(s.showErrors, Format(fmt, errno));
        };
        note(SetTimeoutMs(fd, SO_SNDTIMEO, 6), "setsockopt(SO_SNDTIMEO) failed:  %d");
        note(SetTimeoutMs(fd, SO_RCVTIMEO, 0), "setsockopt(SO_RCVTIMEO) failed:  %d");
        note(SetInt(fd, SOL_SOCKET, SO_RCVBUF, 0), "setsockopt(SO_RCVBUF) failed:  %d");
        note(SetInt(fd, SOL_SOCKET, SO_SNDBUF, 16384), "setsockopt(SO_SNDBUF) failed:  %d");
        note(SetInt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, 0),
             "setsockopt(IP_MULTICAST_LOOP) failed:  %d");
        sockaddr_in local{};
        int err = EINVAL;
        ok = ToAddress(s.multicastLocalIp, s.multicastPort, local);
        if (ok) {
            ok = ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
            if (!ok) err = errno;
        }
        if (!ok) {
            Report(s.showErrors, Format("数据组播bind() failed with: %d", err));
        } else {
            // The leaf join: membership on the local interface, which also
            // carries what we send to the group.
            ip_mreq m{};
            err = EINVAL;
            ok = ToAddress(s.multicastAddr, s.multicastDestPort, group) &&
                 (ntohl(group.sin_addr.s_addr) >> 28) == 0xE;
            if (ok) {
                m.imr_multiaddr = group.sin_addr;
                m.imr_interface = local.sin_addr;
                ok = ::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) == 0 &&
                     ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &local.sin_addr,
                                  sizeof local.sin_addr) == 0;
                if (!ok) err = errno;
            }
            if (!ok) Report(s.showErrors, Format("WSAJoinLeaf() failed: %d", err));
        }
    }
    if (!ok) CloseFd(fd);
    {
        std::lock_guard lock(socketLock_);
        sockets_->multicast = fd;
        sockets_->groupTo = group;
        sockets_->showErrors = s.showErrors;
        multicastOk_ = ok;
    }
    const std::string line =
        Format(ok ? "数据组播端口:%d初始化成功！" : "数据组播端口:%d初始化失败！", s.multicastPort);
    if (hooks_.log) hooks_.log(line);
    if (!ok) Report(s.showErrors, line);
}

void NetworkOutput::OpenGnss(const NetworkSettings& s) {
    const bool ok = McastOpen(s.gnssAddr.c_str(), s.gnssPort) != 0;
    gnssOk_ = ok;
    const std::string line = Format(
        ok ? "GPS数据组播端口:%d初始化成功！" : "GPS数据组播端口:%d初始化失败！", s.gnssPort);
    if (hooks_.log) hooks_.log(line);
    if (!ok) Report(s.showErrors, line);
}

void NetworkOutput::Close() {
    {
        std::lock_guard lock(socketLock_);
        broadcastOk_ = unicastOk_ = multicastOk_ = false;
        Sockets& k = *sockets_;
        CloseFd(k.broadcastTx);
        CloseFd(k.broadcastRx);
        CloseFd(k.unicast);
        CloseFd(k.multicast);
    }
    gnssOk_ = false;
    McastClose();
}

void NetworkOutput::SetHeaderSettings(const HeaderSettings& h) {
    std::lock_guard lock(settingsLock_);
    header_ = h;
}

HeaderSettings NetworkOutput::Header() const {
    std::lock_guard lock(settingsLock_);
    return header_;
}

bool NetworkOutput::SendLocked(int fd, const sockaddr_in& to, const std::uint8_t* data,
                               std::size_t n) {
    if (fd < 0) return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const ssize_t sent =
            ::sendto(fd, data, n, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (sent == ssize_t(n)) return true;
    }
    return false;
}

void NetworkOutput::SendTelemetryDatagram(const std::uint8_t* packet, std::size_t n) {
    {
        std::lock_guard lock(socketLock_);
        const Sockets& k = *sockets_;
        SendLocked(k.multicast, k.groupTo, packet, n);
        SendLocked(k.unicast, k.unicastTo, packet, n);
    }
    packetsSent_.fetch_add(1);
    if (hooks_.sentData) hooks_.sentData(packet, n);
}

void NetworkOutput::SendSegmentsLocked(int fd, const sockaddr_in& to, std::size_t& gsoLimit,
                                       const std::uint8_t* data, std::size_t count,
                                       std::size_t size) {
    if (fd < 0) return;
    if (count > 1 && size < gsoLimit) {
        iovec iov{const_cast<std::uint8_t*>(data), count * size};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(std::uint16_t))] = {};
        msghdr msg{};
        msg.msg_name = const_cast<sockaddr_in*>(&to);
        msg.msg_namelen = sizeof to;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = IPPROTO_UDP;
        c->cmsg_type = UDP_SEGMENT;
        c->cmsg_len = CMSG_LEN(sizeof(std::uint16_t));
        const std::uint16_t segment = std::uint16_t(size);
        std::memcpy(CMSG_DATA(c), &segment, sizeof segment);
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (::sendmsg(fd, &msg, MSG_NOSIGNAL) == ssize_t(count * size)) return;
            if (errno == EINVAL) {
                gsoLimit = size;  // larger than the path takes in one piece
                break;
            }
            if (errno == EIO || errno == ENOPROTOOPT || errno == EOPNOTSUPP) {
                gsoLimit = 0;  // no offload on this socket
                break;
            }
        }
    }
    for (std::size_t i = 0; i < count; ++i) SendLocked(fd, to, data + i * size, size);
}

void NetworkOutput::SendTelemetryBatch(std::size_t count, std::size_t size) {
    {
        std::lock_guard lock(socketLock_);
        Sockets& k = *sockets_;
        SendSegmentsLocked(k.multicast, k.groupTo, k.multicastGsoLimit, batch_.get(), count, size);
        SendSegmentsLocked(k.unicast, k.unicastTo, k.unicastGsoLimit, batch_.get(), count, size);
    }
    packetsSent_.fetch_add(count);
    if (hooks_.sentData)
        for (std::size_t i = 0; i < count; ++i) hooks_.sentData(batch_.get() + i * size, size);
}

PacketHeader NetworkOutput::TelemetryHeader(const HeaderSettings& h, const ClockReading& c) {
    PacketHeader p;
    p.version = h.version;
    p.taskFlag = h.taskFlag;
    p.source = h.source;
    p.destination = h.destination;
    p.bid = h.telemetryBid;
    p.dayNumber = c.dayNumber;
    p.timeOfDay = c.timeOfDay;
    return p;
}

RecordStamp NetworkOutput::Stamp(const datapath::DataGeometry& g, const ClockReading& c) const {
    RecordStamp r;
    const unsigned doy = in_.dayOfYear ? in_.dayOfYear->load() : 0;
    r.dayNumber = std::uint16_t(DayNumber(c.year, int(doy)));
    r.tagFormat = g.tagFormat;
    return r;
}

bool NetworkOutput::Locked(const datapath::DataGeometry& g) const {
    auto on = [](const std::atomic<int>* f) { return f && f->load() != 0; };
    return on(in_.bitSync) && on(in_.subframeSync) && (!g.superframeMode || on(in_.superframeSync));
}

void NetworkOutput::NoteThreshold(const Threshold& t, int factor) {
    if (t.bytes == lastNotedThreshold_) return;
    lastNotedThreshold_ = t.bytes;
    if (!t.reduced || !hooks_.log) return;
    char text[200];
    if (t.factor > 0)
        std::snprintf(text, sizeof text, "遥测数据发送包数%d超过UDP数据报上限，改为%d", factor,
                      t.factor);
    else
        std::snprintf(text, sizeof text,
                      "遥测数据一个全帧超过UDP数据报上限，每包改为发送%d字节子帧", int(t.bytes));
    hooks_.log(text);
}

int NetworkOutput::OnTelemetryTick() {
    if (!in_.sendingOn || !in_.sendingOn->load() || !multicastOk_ || !in_.sendBuffer) return 0;
    if (in_.syncLossCount && in_.syncLossCount->load() >= kSyncLossLimit) return 0;
    const datapath::DataGeometry g = in_.geometry ? in_.geometry() : datapath::DataGeometry{};
    const HeaderSettings h = Header();
    const SendGeometry sg{g.wordBytes, g.subframeRecord, g.superframeMode ? g.superframeLength : 1,
                          g.superframeMode};
    const Threshold t = SendThreshold(sg, h.packetFactor);
    NoteThreshold(t, h.packetFactor);
    if (t.bytes == 0) return 0;
    const std::uint16_t status = StatusWord(Locked(g), h.streamNo);
    // Every whole threshold leaves the buffer under one lock and one move of
    // the rest; each packet still states the fill it was built from.
    std::size_t packets = 0;
    std::uint32_t fill0 = 0;
    in_.sendBuffer->WithLock([&](std::uint8_t* data, std::uint32_t& fill) {
        if (fill <= 1 || fill < t.bytes) return;
        fill0 = fill;
        packets = fill / t.bytes;
        const std::size_t taken = packets * t.bytes;
        std::memcpy(stage_.get(), data, taken);
        fill -= std::uint32_t(taken);
        if (fill != 0) std::memmove(data, data + taken, fill);
    });
    // The packets of a tick, all of one size, are built side by side and
    // leave in batches: the kernel cuts each batch back into the datagrams.
    PacketHeader header;
    const std::size_t n = kHeaderBytes + kDataHeadBytes + t.bytes;
    std::size_t batched = 0;
    for (std::size_t i = 0; i < packets; ++i) {
        if (batched != 0 && (batched == kBatchPackets || (batched + 1) * n > kBatchBytes)) {
            SendTelemetryBatch(batched, n);
            batched = 0;
        }
        const ClockReading c = ReadLocalClock();
        header = TelemetryHeader(h, c);
        header.sequence = telemetrySequence_.fetch_add(1);
        const std::uint16_t count = std::uint16_t((fill0 - i * t.bytes) / g.subframeRecord);
        BuildTelemetryPacket(batch_.get() + batched * n, header, status, count,
                             {stage_.get() + i * t.bytes, t.bytes}, g.subframeRecord, Stamp(g, c));
        ++batched;
    }
    if (batched != 0) SendTelemetryBatch(batched, n);
    if (packets != 0) {
        header.length = std::uint16_t(t.bytes + kDataHeadBytes);
        std::lock_guard lock(readoutLock_);
        readout_.telemetrySent = true;
        readout_.lastTelemetry = header;
    }
    return int(packets);
}

void NetworkOutput::OnLinkMonitorTick() {
    const HeaderSettings h = Header();
    const ClockReading c = ReadLocalClock();
    PacketHeader p = TelemetryHeader(h, c);
    p.bid = h.linkMonitorBid;
    std::uint8_t packet[kLinkMonitorBytes];
    {
        std::lock_guard lock(socketLock_);
        const Sockets& k = *sockets_;
        if (k.multicast < 0) return;
        p.sequence = linkSequence_.fetch_add(1);
        BuildLinkMonitorPacket(packet, p);
        ::sendto(k.multicast, packet, sizeof packet, MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&k.groupTo), sizeof k.groupTo);
    }
    std::lock_guard lock(readoutLock_);
    readout_.linkMonitorSent = true;
    readout_.lastLinkMonitorSequence = p.sequence;
}

void NetworkOutput::SendReplayTelemetry(const std::uint8_t* data, std::size_t length) {
    if (!multicastOk_ || !data || length == 0) return;
    const datapath::DataGeometry g = in_.geometry ? in_.geometry() : datapath::DataGeometry{};
    const std::size_t r = g.subframeRecord;
    const HeaderSettings h = Header();
    const std::uint16_t status = StatusWord(Locked(g), h.streamNo);
    // One packet carries at most what fits a datagram, cut at whole records.
    std::size_t part = length;
    if (part > kMaxTelemetryRecordBytes)
        part = r != 0 && r <= kMaxTelemetryRecordBytes ? kMaxTelemetryRecordBytes / r * r
                                                       : kMaxTelemetryRecordBytes;
    for (std::size_t at = 0; at < length; at += part) {
        const std::size_t n = length - at < part ? length - at : part;
        const ClockReading c = ReadLocalClock();
        PacketHeader header = TelemetryHeader(h, c);
        header.sequence = telemetrySequence_.fetch_add(1);
        const std::uint16_t count = std::uint16_t(r ? n / r : 0);
        const std::size_t size = BuildTelemetryPacket(replayPacket_.get(), header, status, count,
                                                      {data + at, n}, r, Stamp(g, c));
        SendTelemetryDatagram(replayPacket_.get(), size);
        std::lock_guard lock(readoutLock_);
        readout_.telemetrySent = true;
        readout_.lastTelemetry = header;
    }
}

void NetworkOutput::SendBroadcast(const std::uint8_t* data, std::size_t length) {
    if (!data || length == 0 || length > kMaxUdpPayload) return;
    std::lock_guard lock(socketLock_);
    const Sockets& k = *sockets_;
    if (k.broadcastTx < 0) return;
    ::sendto(k.broadcastTx, data, length, MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&k.broadcastTo), sizeof k.broadcastTo);
}

void NetworkOutput::SendGnssPosition(const std::uint8_t* packet) {
    if (gnssOk_) McastSend(packet, int32_t(kGnssPacketBytes));
}

bool NetworkOutput::ReceiveOnce(int timeoutMs) {
    // The worker waits on its own duplicates, so a close meanwhile can never
    // leave it reading a descriptor that was handed to something else. The
    // sending socket is read too: datagrams addressed to the local address
    // itself go to it rather than to the any-address socket.
    pollfd p[2] = {{-1, POLLIN, 0}, {-1, POLLIN, 0}};
    {
        std::lock_guard lock(socketLock_);
        if (sockets_->broadcastRx < 0) return false;
        p[0].fd = ::fcntl(sockets_->broadcastRx, F_DUPFD_CLOEXEC, 0);
        p[1].fd = ::fcntl(sockets_->broadcastTx, F_DUPFD_CLOEXEC, 0);
    }
    if (p[0].fd < 0) {
        if (p[1].fd >= 0) ::close(p[1].fd);
        return false;
    }
    if (::poll(p, p[1].fd >= 0 ? 2 : 1, timeoutMs) > 0) {
        for (const pollfd& q : p)
            if (q.fd >= 0 && (q.revents & POLLIN)) ReceiveFrom(q.fd);
    }
    for (const pollfd& q : p)
        if (q.fd >= 0) ::close(q.fd);
    return true;
}

void NetworkOutput::ReceiveFrom(int fd) {
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    const ssize_t n = ::recvfrom(fd, receiveBuffer_.get(), kReceiveBytes, MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n <= 0) return;
    const StationPacket sp = ParseStationPacket({receiveBuffer_.get(), std::size_t(n)});
    if (sp.kind == StationPacketKind::Ignored) return;
    ReceivedPacket r;
    r.present = true;
    r.header = sp.header;
    r.dataTime = sp.dataTime;
    const std::uint32_t a = ntohl(from.sin_addr.s_addr);
    std::snprintf(r.sender, sizeof r.sender, "%d.%d.%d.%d", int(a >> 24), int(a >> 16 & 0xFF),
                  int(a >> 8 & 0xFF), int(a & 0xFF));
    std::lock_guard lock(readoutLock_);
    (sp.kind == StationPacketKind::LinkMonitor ? readout_.linkMonitor : readout_.liftOff) = r;
}

OutputReadout NetworkOutput::Readout() const {
    OutputReadout r;
    {
        std::lock_guard lock(readoutLock_);
        r = readout_;
    }
    r.broadcastOk = broadcastOk_;
    r.unicastOk = unicastOk_;
    r.multicastOk = multicastOk_;
    r.gnssOk = gnssOk_;
    r.packetsSent = packetsSent_;
    return r;
}

}  // namespace netout
