// What the two network dialogs refuse, and in which order.
#include <gtest/gtest.h>
#include <netout/dialog_checks.h>

namespace {

using namespace netout;

NetworkDialogValues Good() {
    NetworkDialogValues v;
    v.broadcastPort = "8082";
    v.multicastPort = "8080";
    v.gnssPort = "8081";
    v.monitorPort = "8041";
    v.multicastDestPort = "8080";
    v.unicastLocalPort = "9001";
    v.unicastDestPort = "9002";
    v.multicastAddr = "224.0.0.9";
    v.unicastDestIp = "127.0.0.1";
    v.outputIp = "127.0.0.1";
    return v;
}
const std::vector<std::string> kOwn = {"127.0.0.1", "127.0.0.2"};

TEST(SendParameterDialog, FactorStreamAndDatagramSize) {
    const SendGeometry g{1, 32, 4, true};
    EXPECT_EQ(CheckSendParameters(5, 1, g), "");
    EXPECT_EQ(CheckSendParameters(0, 1, g), "遥测数据发送的包数必须大于0，请重新输入！");
    EXPECT_EQ(CheckSendParameters(0, 9, g), "遥测数据发送的包数必须大于0，请重新输入！");
    EXPECT_EQ(CheckSendParameters(5, 4, g), "遥测数据流号必须在1~3范围内，请重新输入！");
    EXPECT_EQ(CheckSendParameters(5, 0, g), "遥测数据流号必须在1~3范围内，请重新输入！");
    // 511 superframes of 128 bytes fit (65,444); 512 do not (65,572).
    EXPECT_EQ(CheckSendParameters(511, 1, g), "");
    EXPECT_EQ(CheckSendParameters(512, 1, g),
              "遥测数据发送包过大（65572字节），超过UDP数据报上限65507字节，请减小发送包数！");
}

TEST(NetworkDialog, PortChecksInTheirOrder) {
    EXPECT_EQ(CheckNetworkDialog(Good(), kOwn), "");
    auto v = Good();
    v.broadcastPort = "0";
    v.multicastPort = "70000";
    EXPECT_EQ(CheckNetworkDialog(v, kOwn), "您所输入的网络广端口号必须在1到65535之间，请确认！");
    v.broadcastPort = "65535";
    EXPECT_EQ(CheckNetworkDialog(v, kOwn), "您所输入的挑路组播端口号必须在1到65535之间，请确认！");
    v.multicastPort = "1";
    v.gnssPort = "abc";
    EXPECT_EQ(CheckNetworkDialog(v, kOwn),
              "您所输入的GPS信息组播端口号必须在1到65535之间，请确认！");
    v.gnssPort = "8081";
    v.monitorPort = "";
    EXPECT_EQ(CheckNetworkDialog(v, kOwn),
              "您所输入的监控台单播端口号必须在1到65535之间，请确认！");
    v.monitorPort = "8041";
    v.unicastDestPort = "-1";
    EXPECT_EQ(CheckNetworkDialog(v, kOwn), "您所输入的单播目标端口号必须在1到65535之间，请确认！");
}

TEST(NetworkDialog, AddressesMustBeDottedIpv4AndTheGroupMulticast) {
    for (const char* bad : {"223.255.255.255", "240.0.0.1", "224.0.0", "224.0.0.9.1", "224.00.0.9",
                            "224.0.0.256", "group"}) {
        auto v = Good();
        v.multicastAddr = bad;
        EXPECT_NE(CheckNetworkDialog(v, kOwn), "") << bad;
    }
    auto v = Good();
    v.multicastAddr = "239.255.255.255";
    EXPECT_EQ(CheckNetworkDialog(v, kOwn), "");
    v.unicastDestIp = "127.1";
    EXPECT_EQ(CheckNetworkDialog(v, kOwn), "单播目标地址必须是点分十进制的IPv4地址，请确认！");
}

TEST(NetworkDialog, OutputAddressMustBeOwnAndTheMessageListsThem) {
    auto v = Good();
    v.outputIp = "127.0.0.3";
    EXPECT_EQ(CheckNetworkDialog(v, kOwn), "计算机组播输出IP只能为：\n127.0.0.1\n127.0.0.2");
    const auto own = OwnIpv4Addresses();
    EXPECT_NE(std::find(own.begin(), own.end(), "127.0.0.1"), own.end());
}

}  // namespace
