#include <gdikit/str_scan.h>

#include <cfloat>
#include <climits>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Moves to the first digit; false when the text ends first.
bool SkipToDigit(const char* text, int& at) {
    while (text[at] != '\0' && !IsDigit(text[at])) {
        if (at == INT_MAX) return false;
        ++at;
    }
    return text[at] != '\0';
}

// One past the character that ended the number, unless that was the NUL.
void StepPastEnd(const char* text, int& at) {
    if (text[at] != '\0' && at < INT_MAX) ++at;
}

}  // namespace

extern "C" int StrToInt(const char* text, int* position) {
    if (!text || !position || *position < 0) return 0;
    int at = *position;
    long long value = 0;
    if (SkipToDigit(text, at)) {
        for (; IsDigit(text[at]) && at < INT_MAX; ++at) {
            value = value * 10 + (text[at] - '0');
            if (value > INT_MAX) value = INT_MAX;
        }
        StepPastEnd(text, at);
    }
    *position = at;
    return static_cast<int>(value);
}

extern "C" float StrToFloat(const char* text, int* position) {
    if (!text || !position || *position < 0) return 0.0f;
    int at = *position;
    double value = 0.0;
    if (SkipToDigit(text, at)) {
        for (; IsDigit(text[at]) && at < INT_MAX; ++at) {
            value = value * 10.0 + (text[at] - '0');
            if (value > FLT_MAX) value = FLT_MAX;
        }
        if (text[at] == '.' && at < INT_MAX) {
            ++at;
            double weight = 0.1;
            for (; IsDigit(text[at]) && at < INT_MAX; ++at) {
                value += (text[at] - '0') * weight;
                weight *= 0.1;
            }
            if (value > FLT_MAX) value = FLT_MAX;
        }
        StepPastEnd(text, at);
    }
    *position = at;
    return static_cast<float>(value);
}
