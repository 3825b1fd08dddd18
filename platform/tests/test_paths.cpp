#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"
#include "test_util.h"

namespace plat {
namespace {

std::string ExeDirectory() {
    char buf[4096] = {};
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string exe(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
    return exe.substr(0, exe.rfind('/'));
}

TEST(Paths, ModuleDirectoryDefaultAndOverrides) {
    unsetenv("TALVORA_HOME");
    SetModuleDirectory("");
    EXPECT_EQ(ModuleDirectory(), ExeDirectory());

    setenv("TALVORA_HOME", "/opt/talvora/", 1);
    EXPECT_EQ(ModuleDirectory(), "/opt/talvora");

    SetModuleDirectory("/srv/station//");
    EXPECT_EQ(ModuleDirectory(), "/srv/station");

    SetModuleDirectory("");
    EXPECT_EQ(ModuleDirectory(), "/opt/talvora");
    unsetenv("TALVORA_HOME");
    EXPECT_EQ(ModuleDirectory(), ExeDirectory());
}

TEST(Paths, CreateDirectoryPathMakesEveryParent) {
    test::TempDir dir;
    const std::string deep = dir / "a/b/数据/c";
    EXPECT_TRUE(CreateDirectoryPath(deep));
    struct stat st {};
    ASSERT_EQ(stat(deep.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_TRUE(CreateDirectoryPath(deep + "/"));  // exists already
    EXPECT_TRUE(CreateDirectoryPath(dir / "x//y"));

    test::WriteBytes(dir / "file", "x");
    EXPECT_FALSE(CreateDirectoryPath(dir / "file"));
    EXPECT_FALSE(CreateDirectoryPath(dir / "file/sub"));
    EXPECT_FALSE(CreateDirectoryPath(""));
}

}  // namespace
}  // namespace plat
