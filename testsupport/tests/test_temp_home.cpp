#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/paths.h"
#include "testsupport/temp_home.h"

namespace talvora::test {
namespace {

namespace fs = std::filesystem;

// Sets or unsets XDG_CONFIG_HOME for one test and puts it back afterwards.
class XdgSaved {
public:
    XdgSaved() {
        if (const char* v = getenv("XDG_CONFIG_HOME")) value_ = v, set_ = true;
    }
    ~XdgSaved() {
        if (set_)
            setenv("XDG_CONFIG_HOME", value_.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }

private:
    std::string value_;
    bool set_ = false;
};

TEST(TempDir, IsFreshAndRemovedWithItsContents) {
    std::string kept;
    {
        TempDir a, b;
        ASSERT_FALSE(a.path().empty());
        EXPECT_NE(a.path(), b.path());
        EXPECT_TRUE(fs::is_directory(a.path()));
        EXPECT_TRUE(fs::is_empty(a.path()));
        fs::create_directories(a / "sub/deeper");
        std::ofstream(a / "sub/deeper/file.ini") << "[s]\nk=v\n";
        kept = a.path();
    }
    EXPECT_FALSE(fs::exists(kept));
}

TEST(TempHome, PointsModuleDirectoryAndConfigHomeIntoItself) {
    XdgSaved saved;
    setenv("XDG_CONFIG_HOME", "/nonexistent/person/config", 1);
    const std::string before = plat::ModuleDirectory();
    std::string home;
    {
        TempHome h;
        home = h.path();
        ASSERT_FALSE(home.empty());
        EXPECT_EQ(plat::ModuleDirectory(), home);
        EXPECT_EQ(h.configHome(), home + "/config");
        EXPECT_TRUE(fs::is_directory(h.configHome()));
        ASSERT_NE(getenv("XDG_CONFIG_HOME"), nullptr);
        EXPECT_EQ(std::string(getenv("XDG_CONFIG_HOME")), h.configHome());
    }
    EXPECT_FALSE(fs::exists(home));
    EXPECT_EQ(plat::ModuleDirectory(), before);
    ASSERT_NE(getenv("XDG_CONFIG_HOME"), nullptr);
    EXPECT_EQ(std::string(getenv("XDG_CONFIG_HOME")), "/nonexistent/person/config");
}

TEST(TempHome, LeavesAnUnsetConfigHomeUnset) {
    XdgSaved saved;
    unsetenv("XDG_CONFIG_HOME");
    {
        TempHome h;
        EXPECT_NE(getenv("XDG_CONFIG_HOME"), nullptr);
    }
    EXPECT_EQ(getenv("XDG_CONFIG_HOME"), nullptr);
}

}  // namespace
}  // namespace talvora::test
