#include "headless/status_line.h"

#include <sstream>

namespace headless {
namespace {

std::string Jumps(const std::optional<int>& j) {
    return j ? std::to_string(*j) : std::string("off");
}

void AppendJumps(std::ostringstream& o, const std::array<std::optional<int>, 3>& jumps) {
    o << " frame_jumps=" << Jumps(jumps[0]) << " id_jumps=" << Jumps(jumps[1])
      << " time_jumps=" << Jumps(jumps[2]);
}

}  // namespace

std::string FormatStatusLine(const StatusSample& s) {
    std::ostringstream o;
    o << "status t=" << s.seconds << " bit=" << int(s.bitSync) << " sub=" << int(s.subframeSync)
      << " super=" << int(s.superframeSync) << " sync_loss=" << s.syncLoss << " day=" << s.dayOfYear
      << " frames_per_s=" << s.framesPerSecond << " recorded_bytes=" << s.recordedBytes
      << " packets_sent=" << s.packetsSent;
    AppendJumps(o, s.jumps);
    o << " ring_lost=" << s.ringLostFrames << " send_dropped=" << s.sendDroppedFrames;
    o << " link=" << s.link;
    return o.str();
}

std::string FormatSummary(const RunSummary& s) {
    std::ostringstream o;
    o << "summary seconds=" << s.seconds << " frames=" << s.frames
      << " recorded_bytes=" << s.recordedBytes << " packets_sent=" << s.packetsSent;
    AppendJumps(o, s.jumps);
    o << " ring_lost=" << s.ringLostFrames << " send_dropped=" << s.sendDroppedFrames;
    o << " link=" << s.link << " link_losses=" << s.linkLosses;
    // A path with blanks would split the field; the recording folder is the
    // operator's, so blanks are shown escaped.
    std::string path = s.recordingFile.empty() ? std::string("-") : s.recordingFile;
    std::string escaped;
    for (char c : path) escaped += c == ' ' ? std::string("\\x20") : std::string(1, c);
    o << " recording=" << escaped;
    return o.str();
}

std::optional<std::map<std::string, std::string>> ParseFields(const std::string& line,
                                                              const std::string& kind) {
    std::istringstream in(line);
    std::string word;
    if (!(in >> word) || word != kind) return std::nullopt;
    std::map<std::string, std::string> fields;
    while (in >> word) {
        const auto eq = word.find('=');
        if (eq == std::string::npos || eq == 0) return std::nullopt;
        fields[word.substr(0, eq)] = word.substr(eq + 1);
    }
    return fields;
}

}  // namespace headless
