// The apply notification of the task-macro dialog (window message 1204): the
// activity check, the records fetched from the store and the sends by code.
#include <platform/notify.h>
#include <session/card_session.h>
#include <taskbook/taskbook.h>

#include <cstdio>
#include <cstring>

namespace session {
namespace {

constexpr std::uint32_t kDevice = 0;
constexpr const char* kCaption = "Talvora";
constexpr unsigned kInfoBox = plat::MB_OK | plat::MB_ICONINFORMATION;
constexpr unsigned kWarnBox = plat::MB_OK | plat::MB_ICONWARNING;

// The stream an apply code concerns; 0 for the whole card, the task
// information and the station's own devices.
int CodeStream(int code) {
    if (code >= taskbook::ApplyStreamPage(1) && code <= taskbook::ApplyStreamPage(3))
        return code - taskbook::ApplyStreamPage(0);
    if (code >= taskbook::ApplyStreamBranch(1) && code <= taskbook::ApplyStreamBranch(3))
        return code - taskbook::ApplyStreamBranch(0);
    if (code >= taskbook::ApplyDownConverter(1) && code <= taskbook::ApplyTimeCode(3))
        return code / 10;
    return 0;
}

bool WholeStreamCode(int code) {
    return (code >= taskbook::ApplyStreamPage(1) && code <= taskbook::ApplyStreamPage(3)) ||
           (code >= taskbook::ApplyStreamBranch(1) && code <= taskbook::ApplyStreamBranch(3));
}

// What the data path frames by: a standard frame taken under another
// shape no longer lines up with the blocks.
bool SameFrameShape(const DemParam& a, const DemParam& b) {
    return a.字长 == b.字长 && a.子帧长 == b.子帧长 && a.副帧长 == b.副帧长 &&
           a.副帧类型 == b.副帧类型;
}

}  // namespace

void CardSession::DiscardStaleStandardFrame(const DemParam& before) {
    if (SameFrameShape(before, rec_.dem->dem) || !flags_.stdFrameCaptured) return;
    flags_.stdFrameCaptured = 0;
    if (hooks_.discardStandardFrame) hooks_.discardStandardFrame();
    Log("帧结构已改变，误码统计的标准帧已作废，请重新采集标准帧\n");
}

bool CardSession::CheckActivity() {
    const char* refusal = nullptr;
    if (flags_.recording)
        refusal = "正在进行数据存盘，如需修改设备工作参数请先停止数据存盘。";
    else if (flags_.replayRunning)
        refusal = "正在进行模飞，如需修改设备工作参数请先停止模飞。";
    else if (flags_.frameCountStatOn)
        refusal = "正在进行数据帧计数统计，如需修改设备工作参数请先停止帧计数统计。";
    else if (flags_.idStatOn)
        refusal = "正在进行数据ID计数统计，如需修改设备工作参数请先停止ID计数统计。";
    else if (flags_.timeStatOn)
        refusal = "正在进行数据时间连续统计，如需修改设备工作参数请先停止时间连续统计。";
    if (!refusal) return true;
    plat::MessageBox(refusal, kCaption, kWarnBox);
    return false;
}

void CardSession::OnApplyNotification(int code) {
    if (!CheckActivity()) return;
    // The program holds and sends the records of its own stream only.
    if (const int other = CodeStream(code); other != 0 && other != Stream()) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "所应用的参数属于遥测流%d，本程序运行遥测流%d，未向基带卡发送任何参数。",
                      other, Stream());
        Log(std::string("(YC)") + text + "\n");
        plat::MessageBox(text, kCaption, kWarnBox);
        return;
    }
    if (flags_.bitErrorOn) {
        flags_.bitErrorOn = 0;
        flags_.stdFrameCaptured = 0;
        if (hooks_.discardStandardFrame) hooks_.discardStandardFrame();
    }
    const DemParam before = rec_.dem->dem;
    const int fetched = GetApplyPara(rec_.info, rec_.dem, rec_.sim, rec_.time, rec_.recv, Stream());
    DiscardStaleStandardFrame(before);
    MarkSending(*rec_.dem, *rec_.sim, *rec_.recv, 0);
    DemodulatorRecordChanged();
    StampIfSystemTime();
    MirrorRecordFlags();
    if (!fetched) {
        plat::MessageBox("获取遥测参数失败！", kCaption, kWarnBox);
        return;
    }
    if (!flags_.cardOpen) {
        plat::MessageBox("未识别基带卡，不能设置设备参数！", kCaption, kWarnBox);
        return;
    }

    // The data callback stays idle while records change. An open still
    // under way owns the flag and clears it itself.
    const bool openUnderWay = flags_.cardInitialising.exchange(1) != 0;
    // Boxes wait until the data flows again, so that an operator reading one
    // does not hold up the data path.
    std::vector<PendingBox> boxes;
    switch (code) {
        case taskbook::kApplyWholeCard:
        case taskbook::kApplyEverything:
        case taskbook::ApplyStreamPage(1):
        case taskbook::ApplyStreamPage(2):
        case taskbook::ApplyStreamPage(3):
        case taskbook::ApplyStreamBranch(1):
        case taskbook::ApplyStreamBranch(2):
        case taskbook::ApplyStreamBranch(3):
            ApplyWholeCard(code, boxes);
            break;
        case taskbook::kApplyTaskInfo:
            boxes.push_back({"任务信息应用成功！", kInfoBox});
            break;
        case 15:
        case 25:
        case 35:
            SendDem("(YC)解调器参数设置成功\n", "(YC)解调器参数设置失败\n", false, boxes);
            break;
        case 17:
        case 27:
        case 37:
            SendSim("(YC)模拟源参数设置成功\n", "(YC)模拟源参数设置失败\n", false, boxes);
            break;
        case 19:
        case 29:
        case 39:
            SendTime("(YC)时码器设置成功\n", "(YC)时码器设置失败\n", false, boxes);
            break;
        case 13:
        case 23:
        case 33:
            SendReceiver(boxes);
            break;
        default:
            break;  // devices the card does not carry
    }
    if (!openUnderWay) flags_.cardInitialising = 0;
    for (const PendingBox& b : boxes) plat::MessageBox(b.text, kCaption, b.type);
}

void CardSession::ApplyWholeCard(int code, std::vector<PendingBox>& boxes) {
    // The selection flags of the stream the records were fetched for.
    const TaskInfoRecord::StreamSelection& sel = rec_.info->streams[Stream() - 1];
    // The stream's page and branch send its units as code 6 does.
    const bool stream = WholeStreamCode(code);
    const bool all = code == taskbook::kApplyEverything || stream;
    bool demOk = false, simOk = false, timeOk = false;
    if (all || sel.选择解调器 || sel.选择接收机)
        demOk = SendDem("YC-整体设置（解调器参数-成功）", "YC-整体设置（解调器参数-失败）", true,
                        boxes);
    if (all || sel.选择模拟器 || sel.选择接收机)
        simOk = SendSim("YC-整体设置（模拟器参数-成功）", "YC-整体设置（模拟器参数-失败）", true,
                        boxes);
    if (all || sel.选择时码器)
        timeOk = SendTime("YC-整体设置（时码器参数-成功）", "YC-整体设置（时码器参数-失败）", true,
                          boxes);
    // A unit that was not attempted counts as failed.
    if (stream) {
        char text[160];
        const bool ok = demOk && simOk && timeOk;
        std::snprintf(text, sizeof text, "遥测流%d设备参数设置%s！（解调器、模拟器、时码器）",
                      Stream(), ok ? "成功" : "失败");
        Log(std::string("(YC)") + text + "\n");
        boxes.push_back({text, ok ? kInfoBox : kWarnBox});
    } else if (demOk && simOk && timeOk) {
        Log("(YC)板卡整体设置成功！\n");
        boxes.push_back({"板卡整体设置成功！", kInfoBox});
    } else {
        Log("(YC)板卡整体设置失败！\n");
        boxes.push_back({"板卡整体设置失败！", kWarnBox});
    }
}

bool CardSession::SendDem(const char* okLog, const char* failLog, bool wholeCard,
                          std::vector<PendingBox>& boxes) {
    const bool ok = BB_SetDemParam(kDevice, &rec_.dem->dem) != 0;
    if (ok && rec_.dem->decipher.加解密开关 == 0) flags_.afterDecryption = 0;
    Log(std::string(ok ? okLog : failLog) + DemParamReport(*rec_.dem));
    if (!ok)
        boxes.push_back({"设置解调器失败！请重试！", kWarnBox});
    else if (!wholeCard)
        boxes.push_back({"设置解调器成功！", kInfoBox});
    if (hooks_.resetSuperframeAssembly) hooks_.resetSuperframeAssembly();
    UpdateGeometry();
    return ok;
}

bool CardSession::SendSim(const char* okLog, const char* failLog, bool wholeCard,
                          std::vector<PendingBox>& boxes) {
    const bool ok = BB_SetSimParam(kDevice, &rec_.sim->sim) != 0;
    Log(std::string(ok ? okLog : failLog) + SimParamReport(*rec_.sim));
    if (!ok)
        boxes.push_back({"设置模拟源失败！请重试！", kWarnBox});
    else if (!wholeCard)
        boxes.push_back({"设置模拟源成功！", kInfoBox});
    return ok;
}

bool CardSession::SendTime(const char* okLog, const char* failLog, bool wholeCard,
                           std::vector<PendingBox>& boxes) {
    const bool ok = BB_SetTimeSystemBasicParam(kDevice, &rec_.time->basic) != 0;
    if (ok) {
        fly_.起飞使能 = 0;
        fly_.定时起飞使能 = 0;
        fly_.选路起飞使能 = 0;
        fly_.外部起飞使能 = 0;
        SendLiftOff();
    }
    Log(ok ? okLog : failLog);  // the time-code unit has no report text
    if (!ok)
        boxes.push_back({"设置时码器失败！请重试！", kWarnBox});
    else if (!wholeCard)
        boxes.push_back({"设置时码器成功！", kInfoBox});
    return ok;
}

void CardSession::SendReceiver(std::vector<PendingBox>& boxes) {
    RecvTaskRecord& r = *rec_.recv;
    const bool ok = BB_SetDemParam(kDevice, &r.dem) != 0 && BB_SetSimParam(kDevice, &r.sim) != 0;
    if (ok) {
        // The receiver's input frequency becomes the demodulator's.
        std::memcpy(&rec_.dem->dem, &r.dem, 8);
        DemodulatorRecordChanged();
        Log("(YC)接收机设置成功\n" + RecvParamReport(r));
        boxes.push_back({"中频接收机设置成功！", kInfoBox});
    } else {
        Log("(YC)接收机设置失败\n");
        boxes.push_back({"设置接收机失败！请重试！", kWarnBox});
    }
    if (hooks_.resetSuperframeAssembly) hooks_.resetSuperframeAssembly();
}

}  // namespace session
