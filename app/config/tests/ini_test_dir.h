// A fresh module directory per test, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/codepage.h"
#include "testsupport/temp_home.h"

class IniTestDir : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir.empty()); }

    // Writes UTF-8 text to a file as GBK, the way an edited file lies on disk.
    void WriteGbk(const std::string& name, const std::string& utf8) {
        std::ofstream(dir + "/" + name, std::ios::binary) << plat::Utf8ToGbk(utf8);
    }
    // The file's bytes converted to UTF-8.
    std::string ReadAsUtf8(const std::string& name) {
        std::ifstream in(dir + "/" + name, std::ios::binary);
        std::string gbk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return plat::GbkToUtf8(gbk);
    }
    // Number of lines "key=value" in the text, blanks around the key allowed:
    // the profile layer decides whether the blanks of a key name reach disk.
    static int CountEntry(const std::string& text, const std::string& key,
                          const std::string& value) {
        int n = 0;
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t end = text.find('\n', pos);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(pos, end - pos);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const std::size_t eq = line.find('=');
            if (eq != std::string::npos) {
                std::string name = line.substr(0, eq);
                name.erase(0, name.find_first_not_of(' '));
                name.erase(name.find_last_not_of(' ') + 1);
                if (name == key && line.substr(eq + 1) == value) ++n;
            }
            pos = end + 1;
        }
        return n;
    }
    bool Exists(const std::string& name) { return std::filesystem::exists(dir + "/" + name); }

    talvora::test::TempDir tmp_;
    const std::string dir = tmp_.path();
};
