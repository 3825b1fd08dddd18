#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <netout/dialog_checks.h>

#include <algorithm>
#include <cstdio>

namespace netout {

int ParsePort(const std::string& text) {
    if (text.empty() || text.size() > 5) return 0;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + (c - '0');
    }
    return v >= 1 && v <= 65535 ? v : 0;
}

bool IsDottedIpv4(const std::string& text) {
    int parts = 0;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t dot = std::min(text.find('.', at), text.size());
        const std::string part = text.substr(at, dot - at);
        if (part.empty() || part.size() > 3 || (part.size() > 1 && part[0] == '0')) return false;
        int v = 0;
        for (char c : part) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + (c - '0');
        }
        if (v > 255) return false;
        ++parts;
        at = dot + 1;
    }
    return parts == 4;
}

bool IsMulticastIpv4(const std::string& text) {
    if (!IsDottedIpv4(text)) return false;
    const int first = std::stoi(text.substr(0, text.find('.')));
    return first >= 224 && first <= 239;
}

std::string CheckSendParameters(int packetFactor, int streamNo, const SendGeometry& g) {
    if (packetFactor < 1) return "遥测数据发送的包数必须大于0，请重新输入！";
    if (streamNo < 1 || streamNo > 3) return "遥测数据流号必须在1~3范围内，请重新输入！";
    const std::size_t bytes = DatagramBytes(g, packetFactor);
    if (bytes > kMaxUdpPayload) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "遥测数据发送包过大（%d字节），超过UDP数据报上限65507字节，请减小发送包数！",
                      bytes > 0x7FFFFFFF ? 0x7FFFFFFF : int(bytes));
        return text;
    }
    return {};
}

std::string CheckNetworkDialog(const NetworkDialogValues& v,
                               const std::vector<std::string>& ownAddresses) {
    if (!ParsePort(v.broadcastPort)) return "您所输入的网络广端口号必须在1到65535之间，请确认！";
    if (!ParsePort(v.multicastPort)) return "您所输入的挑路组播端口号必须在1到65535之间，请确认！";
    if (!ParsePort(v.gnssPort)) return "您所输入的GPS信息组播端口号必须在1到65535之间，请确认！";
    if (!ParsePort(v.monitorPort)) return "您所输入的监控台单播端口号必须在1到65535之间，请确认！";
    if (!ParsePort(v.multicastDestPort))
        return "您所输入的组播目标端口号必须在1到65535之间，请确认！";
    if (!ParsePort(v.unicastLocalPort)) return "您所输入的单播源端口号必须在1到65535之间，请确认！";
    if (!ParsePort(v.unicastDestPort))
        return "您所输入的单播目标端口号必须在1到65535之间，请确认！";
    if (!IsMulticastIpv4(v.multicastAddr))
        return "组播发送地址必须是224.0.0.0到239.255.255.255之间的IPv4地址，请确认！";
    if (!IsDottedIpv4(v.unicastDestIp)) return "单播目标地址必须是点分十进制的IPv4地址，请确认！";
    if (std::find(ownAddresses.begin(), ownAddresses.end(), v.outputIp) == ownAddresses.end()) {
        std::string text = "计算机组播输出IP只能为：";
        for (const std::string& a : ownAddresses) text += "\n" + a;
        return text;
    }
    return {};
}

std::vector<std::string> OwnIpv4Addresses() {
    std::vector<std::string> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return out;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* a = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
        if (inet_ntop(AF_INET, &a->sin_addr, text, sizeof text) &&
            std::find(out.begin(), out.end(), text) == out.end())
            out.emplace_back(text);
    }
    ::freeifaddrs(list);
    return out;
}

}  // namespace netout
