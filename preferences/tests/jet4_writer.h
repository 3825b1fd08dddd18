// A minimal writer of Jet 4 (Access 2000) database files for the import
// tests: one catalog, tables of byte, short, long, double and text columns,
// no indexes. Nothing in Debian writes Access files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace jet4 {

enum class Type : std::uint8_t {
    Byte = 0x02,
    Short = 0x03,
    Long = 0x04,
    Double = 0x07,
    Text = 0x0A,
    Ole = 0x0B
};

using Value = std::variant<std::int64_t, double, std::string>;

struct Column {
    std::string name;  // UTF-8
    Type type;
};

struct Table {
    std::string name;
    std::vector<Column> columns;
    std::vector<std::vector<std::optional<Value>>> rows;
};

// The file image; empty when a table does not fit the writer's limits.
std::vector<std::uint8_t> Write(const std::vector<Table>& tables);

}  // namespace jet4
