// A settings section as a table of its keys, walked by both the load and the
// save, so that a key's name, buffer, range and default are written once.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "config/channel_list.h"
#include "ini_values.h"

namespace cfg::detail {

// One key of a section kept in struct C. Numbers outside lo..hi read as the
// default; a 32-bit unsigned member is written as "%d" and read back to the
// same bits. A list member is stored as "%d," per entry.
template <class C>
struct Key {
    using Member = std::variant<int C::*, std::uint8_t C::*, std::uint16_t C::*, std::uint32_t C::*,
                                std::string C::*, std::vector<int> C::*>;
    const char* name;  // as read
    Member member;
    std::size_t buf;                // read buffer, value cut to buf - 1 bytes
    int lo = 0, hi = 0;             // numbers only
    const char* written = nullptr;  // name as written, when it carries blanks
};

template <class C>
struct Section {
    const char* name;
    std::span<const Key<C>> keys;
};

// A member type larger than the struct cannot be one of its keys; leaving
// such variant alternatives out keeps the compiler from warning about them.
template <class T, class C>
inline constexpr bool FitsIn = sizeof(T) <= sizeof(C);

// Every key of the section; a missing file, section or key, or a number out
// of range, gives the key's value in `defaults`.
template <class C>
C LoadSection(const Section<C>& s, const C& defaults, const std::string& file) {
    C c = defaults;
    for (const Key<C>& k : s.keys) {
        std::visit(
            [&](auto m) {
                using T = std::remove_cvref_t<decltype(c.*m)>;
                if constexpr (!FitsIn<T, C>)
                    return;
                else if constexpr (std::is_same_v<T, std::string>)
                    c.*m = ReadText(s.name, k.name, defaults.*m, k.buf, file);
                else if constexpr (std::is_same_v<T, std::vector<int>>)
                    c.*m = ParseChannelList(
                        ReadText(s.name, k.name, FormatChannelList(defaults.*m), k.buf, file));
                else if constexpr (std::is_same_v<T, std::uint32_t>)
                    c.*m = ReadU32(s.name, k.name, defaults.*m, k.buf, file);
                else
                    c.*m = static_cast<T>(
                        ReadInt(s.name, k.name, defaults.*m, k.lo, k.hi, k.buf, file));
            },
            k.member);
    }
    return c;
}

// Writes every key of the section, creating the file or section when
// missing; false (after a journal line) when any key could not be written.
template <class C>
bool SaveSection(const Section<C>& s, const C& c, const std::string& file) {
    bool ok = true;
    for (const Key<C>& k : s.keys) {
        const char* name = k.written ? k.written : k.name;
        const bool written = std::visit(
            [&](auto m) {
                using T = std::remove_cvref_t<decltype(c.*m)>;
                if constexpr (!FitsIn<T, C>)
                    return false;
                else if constexpr (std::is_same_v<T, std::string>)
                    return WriteText(s.name, name, c.*m, file);
                else if constexpr (std::is_same_v<T, std::vector<int>>)
                    return WriteText(s.name, name, FormatChannelList(c.*m), file);
                else if constexpr (std::is_same_v<T, std::uint32_t>)
                    return WriteInt(s.name, name, static_cast<std::int32_t>(c.*m), file);
                else
                    return WriteInt(s.name, name, static_cast<int>(c.*m), file);
            },
            k.member);
        ok = written && ok;  // the other keys are still written
    }
    if (!ok) ReportNotWritten(file, s.name);
    return ok;
}

}  // namespace cfg::detail
