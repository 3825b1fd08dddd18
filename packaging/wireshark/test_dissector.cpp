// The Lua dissector over packets the program's network output sent on
// loopback: the test catches them with their addresses, writes a capture
// file and reads tshark's decoding of it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netout/network_output.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <testsupport/temp_home.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "loopback_udp.h"

namespace {

constexpr const char* kGroup = "239.255.43.19";
constexpr const char* kGnssGroup = "239.255.43.18";

struct Caught {
    std::vector<std::uint8_t> bytes;
    sockaddr_in from{}, to{};
};

// A socket bound to `address`:port (joined when it is a group) that
// returns datagrams with their source.
class Catcher {
public:
    Catcher(const std::string& address, int port, bool group) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        to_.sin_family = AF_INET;
        to_.sin_port = htons(std::uint16_t(port));
        inet_pton(AF_INET, address.c_str(), &to_.sin_addr);
        ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&to_), sizeof to_) == 0;
        if (group) {
            ip_mreq m{};
            m.imr_multiaddr = to_.sin_addr;
            inet_pton(AF_INET, "127.0.0.1", &m.imr_interface);
            ok_ = ok_ && ::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) == 0;
        }
    }
    ~Catcher() { ::close(fd_); }
    bool Ok() const { return ok_; }
    bool Catch(Caught& c, int ms = 5000) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) != 1) return false;
        c.bytes.resize(70000);
        socklen_t len = sizeof c.from;
        const ssize_t n = ::recvfrom(fd_, c.bytes.data(), c.bytes.size(), 0,
                                     reinterpret_cast<sockaddr*>(&c.from), &len);
        if (n < 0) return false;
        c.bytes.resize(std::size_t(n));
        c.to = to_;
        return true;
    }

private:
    int fd_ = -1;
    bool ok_ = false;
    sockaddr_in to_{};
};

void Be16(std::vector<std::uint8_t>& v, unsigned x) {
    v.push_back(std::uint8_t(x >> 8));
    v.push_back(std::uint8_t(x));
}
void Le32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(std::uint8_t(x >> (8 * i)));
}

// A classic pcap file of raw IPv4 packets (link type 101).
void WritePcap(const std::string& path, const std::vector<Caught>& packets) {
    std::vector<std::uint8_t> f;
    Le32(f, 0xA1B2C3D4);
    f.insert(f.end(), {2, 0, 4, 0});
    Le32(f, 0);
    Le32(f, 0);
    Le32(f, 65535);
    Le32(f, 101);
    std::uint32_t second = 0;
    for (const Caught& c : packets) {
        std::vector<std::uint8_t> ip;
        const std::size_t total = 28 + c.bytes.size();
        ip.insert(ip.end(), {0x45, 0});
        Be16(ip, unsigned(total));
        ip.insert(ip.end(), {0, 0, 0, 0, 64, 17, 0, 0});
        const auto* s = reinterpret_cast<const std::uint8_t*>(&c.from.sin_addr);
        const auto* d = reinterpret_cast<const std::uint8_t*>(&c.to.sin_addr);
        ip.insert(ip.end(), s, s + 4);
        ip.insert(ip.end(), d, d + 4);
        Be16(ip, ntohs(c.from.sin_port));
        Be16(ip, ntohs(c.to.sin_port));
        Be16(ip, unsigned(8 + c.bytes.size()));
        Be16(ip, 0);
        ip.insert(ip.end(), c.bytes.begin(), c.bytes.end());
        Le32(f, ++second);
        Le32(f, 0);
        Le32(f, std::uint32_t(ip.size()));
        Le32(f, std::uint32_t(ip.size()));
        f.insert(f.end(), ip.begin(), ip.end());
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(f.data()), long(f.size()));
}

// tshark's verbose decoding of `pcap`, or empty when it did not run.
std::string Tshark(const std::string& pcap, const std::string& prefs) {
    const std::string cmd =
        "tshark -n -X lua_script:" TALVORA_LUA_SCRIPT " " + prefs + " -r " + pcap + " -V 2>&1";
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// The decoding of frame `n` (1-based).
std::string FrameText(const std::string& all, int n) {
    const std::string mark = "Frame " + std::to_string(n) + ":";
    const std::size_t at = all.find(mark);
    if (at == std::string::npos) return {};
    const std::size_t end = all.find("\nFrame " + std::to_string(n + 1) + ":", at);
    return all.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

bool Has(const std::string& text, const std::string& line) {
    return text.find(line) != std::string::npos;
}

}  // namespace

TEST(WiresharkDissector, NamesTheFieldsOfTheProgramsPackets) {
    if (std::system("tshark --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no tshark";
    ::setenv("MCASTLIB_IF", "127.0.0.1", 1);
    netout::NetworkSettings s;
    s.multicastAddr = kGroup;
    s.multicastPort = netout::test::FreeUdpPort();
    s.multicastDestPort = netout::test::FreeUdpPort();
    s.gnssAddr = kGnssGroup;
    s.gnssPort = netout::test::FreeUdpPort();
    s.broadcastPort = netout::test::FreeUdpPort();
    s.multicastLocalIp = "127.0.0.1";
    s.broadcastLocalIp = "127.0.0.1";
    s.unicastLocalPort = netout::test::FreeUdpPort();
    s.unicastDestPort = netout::test::FreeUdpPort();
    s.unicastDestIp = "127.0.0.1";

    Catcher group(kGroup, s.multicastDestPort, true);
    Catcher gnss(kGnssGroup, s.gnssPort, true);
    const int stationPort = netout::test::FreeUdpPort();
    Catcher station("127.0.0.1", stationPort, false);
    ASSERT_TRUE(group.Ok() && gnss.Ok() && station.Ok());

    // 24 words of 8 bits, 4 subframes a superframe, stream 2, locked.
    datapath::DataGeometry g;
    g.wordBits = 8;
    g.wordBytes = 1;
    g.subframeWords = 24;
    g.superframeLength = 4;
    g.subframeRecord = 32;
    g.superframeRecord = 128;
    g.superframeMode = true;
    auto storage = std::make_unique<std::uint8_t[]>(datapath::kSendBufferBytes);
    std::uint32_t fill = 0;
    std::mutex lock;
    datapath::SendBuffer buffer(storage.get(), datapath::kSendBufferBytes, fill, lock);
    std::atomic<int> on{1}, loss{0}, sync{1};
    std::atomic<unsigned> day{61};
    netout::SenderInputs in;
    in.sendingOn = &on;
    in.syncLossCount = &loss;
    in.bitSync = in.subframeSync = in.superframeSync = &sync;
    in.dayOfYear = &day;
    in.geometry = [g] { return g; };
    in.sendBuffer = &buffer;
    netout::NetworkOutput out(std::move(in), {});
    netout::HeaderSettings hs;
    hs.streamNo = 2;
    hs.packetFactor = 1;
    out.SetHeaderSettings(hs);
    out.Open(s);
    ASSERT_TRUE(out.TelemetryReady());

    std::vector<Caught> caught(4);
    // One superframe; record tags 13:45:27.8125 (BCD), subframes 0..3.
    std::vector<std::uint8_t> block;
    for (int i = 0; i < 4; ++i) {
        std::uint8_t rec[32] = {0x25, 0x81, 0x27, 0x45, 0x13, 0, std::uint8_t(i), 0, 0xEB, 0x90};
        block.insert(block.end(), rec, rec + 32);
    }
    ASSERT_TRUE(buffer.Append(block));
    out.OnTelemetryTick();
    ASSERT_TRUE(group.Catch(caught[0]));
    out.OnLinkMonitorTick();
    ASSERT_TRUE(group.Catch(caught[1]));
    std::uint8_t position[27];
    netout::BuildGnssPacket(position, 1234.5, -6789.25, 42.0);
    out.SendGnssPosition(position);
    ASSERT_TRUE(gnss.Catch(caught[2]));
    // Another station's lift-off packet, to a port the dissector is not
    // registered on: found by the header's version byte.
    std::vector<std::uint8_t> liftOff(36, 0);
    netout::PacketHeader h;
    h.version = 128;
    h.bid = netout::kReceivedLiftOffBid;
    h.sequence = 99;
    h.timeOfDay = 123456789;
    h.length = 4;
    netout::WriteHeader(liftOff.data(), h);
    netout::PutU32(liftOff.data() + 32, 5000);
    ASSERT_TRUE(netout::test::SendFromLoopback("127.0.0.1", stationPort, liftOff));
    ASSERT_TRUE(station.Catch(caught[3]));
    ASSERT_EQ(caught[0].bytes.size(), 32u + 4 + 128);

    talvora::test::TempDir dir;
    WritePcap(dir / "station.pcap", caught);
    const std::string prefs = "-o talvora.ports:" + std::to_string(s.multicastDestPort) +
                              " -o talvora.gnss_port:" + std::to_string(s.gnssPort);
    const std::string all = Tshark(dir / "station.pcap", prefs);
    ASSERT_FALSE(FrameText(all, 4).empty()) << all;

    const std::string tm = FrameText(all, 1);
    EXPECT_TRUE(Has(tm, "Packet kind: Telemetry")) << tm;
    EXPECT_TRUE(Has(tm, "Version: 128")) << tm;
    EXPECT_TRUE(Has(tm, "Task flag: 8080")) << tm;
    EXPECT_TRUE(Has(tm, "BID: 0x00110101")) << tm;
    EXPECT_TRUE(Has(tm, "Length after header: 132")) << tm;
    EXPECT_TRUE(Has(tm, "Status word: 0x0910")) << tm;
    EXPECT_TRUE(Has(tm, "Frame sync locked: True")) << tm;
    EXPECT_TRUE(Has(tm, "Stream: 2")) << tm;
    EXPECT_TRUE(Has(tm, "Record count: 4")) << tm;
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(Has(tm, "Record " + std::to_string(i + 1) + ": day ")) << tm;
    EXPECT_TRUE(Has(tm, "Time of day: 13:45:27.8125")) << tm;
    EXPECT_TRUE(Has(tm, "Subframe index: 3")) << tm;
    EXPECT_TRUE(Has(tm, "Words: eb90")) << tm;

    const std::string lm = FrameText(all, 2);
    EXPECT_TRUE(Has(lm, "Packet kind: Link monitor")) << lm;
    EXPECT_TRUE(Has(lm, "BID: 0x00020101")) << lm;
    EXPECT_TRUE(Has(lm, "Length after header: 4")) << lm;

    const std::string gp = FrameText(all, 3);
    EXPECT_TRUE(Has(gp, "Packet kind: GNSS position")) << gp;
    EXPECT_TRUE(Has(gp, "X: 1234.5")) << gp;
    EXPECT_TRUE(Has(gp, "Y: -6789.25")) << gp;
    EXPECT_TRUE(Has(gp, "Z: 42")) << gp;

    const std::string lo = FrameText(all, 4);
    EXPECT_TRUE(Has(lo, "Packet kind: Lift-off")) << lo;
    EXPECT_TRUE(Has(lo, "Sequence: 99")) << lo;
    EXPECT_TRUE(Has(lo, "Time (0.1 ms): 5000")) << lo;
}
