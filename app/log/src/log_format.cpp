#include <cstdio>

#include "log/system_log.h"

namespace applog {

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return t;
}

std::string LogFileName(const std::tm& t) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d年%d月%d日%02d时%02d分%02d秒.txt", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return buf;
}

namespace {

std::string Clock(const std::tm& t) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    return buf;
}

}  // namespace

std::string FormatFirstRecord(const std::tm& t) {
    const std::string indent(12, ' ');
    return Clock(t) + "    启动系统日志记录\r\n" + indent + "日志记录线程LogThread启动完成\r\n" +
           indent + "\r\n";
}

std::string FormatRecord(const std::tm& t, std::string_view message) {
    std::string out = Clock(t);
    out += "    ";
    out += message;
    out += "\r\n";
    return out;
}

}  // namespace applog
