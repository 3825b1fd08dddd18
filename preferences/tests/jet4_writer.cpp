#include "jet4_writer.h"

#include <cstring>

namespace jet4 {
namespace {

constexpr std::size_t kPage = 4096;

using Page = std::vector<std::uint8_t>;

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

// UTF-8 to UCS-2 little-endian (characters of the basic plane).
std::vector<std::uint8_t> Ucs2(const std::string& s) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::uint32_t cp;
        if (c < 0x80) {
            cp = c;
            i += 1;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
            cp = (c & 0x1Fu) << 6 | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
            i += 2;
        } else if (i + 2 < s.size()) {
            cp = (c & 0x0Fu) << 12 | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6 |
                 (static_cast<unsigned char>(s[i + 2]) & 0x3Fu);
            i += 3;
        } else {
            break;
        }
        out.push_back(std::uint8_t(cp));
        out.push_back(std::uint8_t(cp >> 8));
    }
    return out;
}

int FixedSize(Type t) {
    switch (t) {
        case Type::Byte:
            return 1;
        case Type::Short:
            return 2;
        case Type::Long:
            return 4;
        case Type::Double:
            return 8;
        default:
            return 0;
    }
}

// Rows are stored from the end of a data page down; their offsets follow
// the page header.
struct DataPage {
    Page page = Page(kPage, 0);
    std::size_t rows = 0, low = 14, high = kPage;
    explicit DataPage(std::uint32_t tdef) {
        page[0] = 0x01;
        page[1] = 0x01;
        Put32(&page[4], tdef);
    }
    bool Add(const std::vector<std::uint8_t>& row) {
        if (high - row.size() < low + 2) return false;
        high -= row.size();
        std::memcpy(&page[high], row.data(), row.size());
        Put16(&page[14 + 2 * rows], std::uint32_t(high));
        ++rows;
        low += 2;
        Put16(&page[12], std::uint32_t(rows));
        Put16(&page[2], std::uint32_t(high - low));
        return true;
    }
};

std::vector<std::uint8_t> Row(const Table& t, const std::vector<std::optional<Value>>& values) {
    const std::size_t n = t.columns.size();
    std::vector<std::uint8_t> fixed, var;
    std::vector<std::uint32_t> varOffsets;
    std::vector<std::uint8_t> mask((n + 7) / 8, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const Column& c = t.columns[i];
        const std::optional<Value>& v = i < values.size() ? values[i] : std::nullopt;
        if (v) mask[i / 8] |= std::uint8_t(1 << (i % 8));
        if (c.type == Type::Text || c.type == Type::Ole) {
            varOffsets.push_back(std::uint32_t(var.size()));
            if (v && c.type == Type::Text) {
                auto text = Ucs2(std::get<std::string>(*v));
                var.insert(var.end(), text.begin(), text.end());
            }
            continue;
        }
        std::uint8_t buf[8] = {};
        if (v) {
            if (c.type == Type::Double) {
                double d = std::holds_alternative<double>(*v) ? std::get<double>(*v)
                                                              : double(std::get<std::int64_t>(*v));
                std::memcpy(buf, &d, 8);
            } else {
                const std::uint64_t x = std::uint64_t(std::get<std::int64_t>(*v));
                for (int k = 0; k < 8; ++k) buf[k] = std::uint8_t(x >> (8 * k));
            }
        }
        fixed.insert(fixed.end(), buf, buf + FixedSize(c.type));
    }
    std::vector<std::uint8_t> row(2);
    Put16(row.data(), std::uint32_t(n));
    row.insert(row.end(), fixed.begin(), fixed.end());
    const std::uint32_t varStart = std::uint32_t(row.size());
    row.insert(row.end(), var.begin(), var.end());
    const std::uint32_t end = std::uint32_t(row.size());
    // Offsets from the last (the end of the variable data) down to the first.
    std::vector<std::uint8_t> tail;
    auto push16 = [&](std::uint32_t v) {
        tail.push_back(std::uint8_t(v));
        tail.push_back(std::uint8_t(v >> 8));
    };
    push16(end);
    for (std::size_t i = varOffsets.size(); i-- > 0;) push16(varStart + varOffsets[i]);
    push16(std::uint32_t(varOffsets.size()));
    row.insert(row.end(), tail.begin(), tail.end());
    row.insert(row.end(), mask.begin(), mask.end());
    return row;
}

// The table definition page.
Page Definition(const Table& t, std::uint32_t usageRow, std::uint32_t freeRow, std::size_t rows) {
    Page p(kPage, 0);
    p[0] = 0x02;
    p[1] = 0x01;
    std::uint32_t fixedOffset = 0, varCount = 0;
    const std::size_t n = t.columns.size();
    Put32(&p[16], std::uint32_t(rows));
    p[40] = 0x4E;
    for (const Column& c : t.columns) varCount += FixedSize(c.type) == 0;
    Put16(&p[41], std::uint32_t(n));
    Put16(&p[43], varCount);
    Put16(&p[45], std::uint32_t(n));
    Put32(&p[55], usageRow);
    Put32(&p[59], freeRow);
    std::size_t at = 63;
    std::uint32_t varNum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Column& c = t.columns[i];
        std::uint8_t* e = &p[at];
        e[0] = std::uint8_t(c.type);
        Put16(e + 5, std::uint32_t(i));
        Put16(e + 9, std::uint32_t(i));
        if (FixedSize(c.type) == 0) {
            Put16(e + 7, varNum++);
            e[15] = 0x02;
            Put16(e + 23, 510);
        } else {
            e[15] = 0x03;
            Put16(e + 21, fixedOffset);
            Put16(e + 23, std::uint32_t(FixedSize(c.type)));
            fixedOffset += std::uint32_t(FixedSize(c.type));
        }
        at += 25;
    }
    for (const Column& c : t.columns) {
        auto name = Ucs2(c.name);
        if (at + 2 + name.size() > kPage) return {};
        Put16(&p[at], std::uint32_t(name.size()));
        std::memcpy(&p[at + 2], name.data(), name.size());
        at += 2 + name.size();
    }
    Put32(&p[8], std::uint32_t(at));
    return p;
}

void Rc4(const std::uint8_t* key, std::size_t keyLen, std::uint8_t* data, std::size_t n) {
    std::uint8_t s[256];
    for (int i = 0; i < 256; ++i) s[i] = std::uint8_t(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[std::size_t(i) % keyLen]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (std::size_t k = 0, i = 0, j = 0; k < n; ++k) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        data[k] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

}  // namespace

std::vector<std::uint8_t> Write(const std::vector<Table>& user) {
    // Page 0 header, page 1 the usage maps, page 2 the catalog definition.
    Table catalog{"MSysObjects",
                  {{"Id", Type::Long},
                   {"Name", Type::Text},
                   {"Type", Type::Short},
                   {"Flags", Type::Long},
                   {"LvProp", Type::Ole}},
                  {}};
    std::vector<Table> tables{catalog};
    tables.insert(tables.end(), user.begin(), user.end());

    std::vector<Page> pages(3, Page(kPage, 0));
    DataPage maps(0);
    // Data pages of every table first, so that the catalog knows the pages.
    std::vector<std::uint32_t> tdefPage(tables.size());
    std::vector<std::vector<Page>> dataPages(tables.size());
    std::uint32_t next = 3;
    tdefPage[0] = 2;
    for (std::size_t t = 1; t < tables.size(); ++t) tdefPage[t] = next++;
    for (std::size_t t = 1; t < tables.size(); ++t)
        tables[0].rows.push_back({Value(std::int64_t(tdefPage[t])), Value(tables[t].name),
                                  Value(std::int64_t(1)), Value(std::int64_t(0)), std::nullopt});
    std::vector<std::uint32_t> firstData(tables.size());
    for (std::size_t t = 0; t < tables.size(); ++t) {
        firstData[t] = next;
        DataPage page(tdefPage[t]);
        for (const auto& r : tables[t].rows) {
            auto row = Row(tables[t], r);
            if (!page.Add(row)) {
                dataPages[t].push_back(page.page);
                page = DataPage(tdefPage[t]);
                if (!page.Add(row)) return {};
            }
        }
        dataPages[t].push_back(page.page);
        next += std::uint32_t(dataPages[t].size());
    }
    // Usage map rows: type 0, first page, one bit per page from there.
    std::vector<std::uint32_t> usageRow(tables.size()), freeRow(tables.size());
    for (std::size_t t = 0; t < tables.size(); ++t) {
        std::vector<std::uint8_t> map(5 + (dataPages[t].size() + 7) / 8, 0);
        Put32(&map[1], firstData[t]);
        for (std::size_t k = 0; k < dataPages[t].size(); ++k)
            map[5 + k / 8] |= std::uint8_t(1 << (k % 8));
        usageRow[t] = std::uint32_t(1) << 8 | std::uint32_t(maps.rows);
        if (!maps.Add(map)) return {};
        std::vector<std::uint8_t> none(5, 0);
        freeRow[t] = std::uint32_t(1) << 8 | std::uint32_t(maps.rows);
        if (!maps.Add(none)) return {};
    }
    pages[1] = maps.page;
    pages.resize(next, Page(kPage, 0));
    for (std::size_t t = 0; t < tables.size(); ++t) {
        Page def = Definition(tables[t], usageRow[t], freeRow[t], tables[t].rows.size());
        if (def.empty()) return {};
        pages[tdefPage[t]] = def;
        for (std::size_t k = 0; k < dataPages[t].size(); ++k)
            pages[firstData[t] + k] = dataPages[t][k];
    }
    Page& h = pages[0];
    h[1] = 0x01;
    std::memcpy(&h[4], "Standard Jet DB", 15);
    Put32(&h[0x14], 1);  // Jet 4
    // The header block is stored RC4-masked; masking zeros gives zeros back.
    static const std::uint8_t kKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
    Rc4(kKey, 4, &h[0x18], 128);
    std::vector<std::uint8_t> out;
    for (const Page& p : pages) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace jet4
