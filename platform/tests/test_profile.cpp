#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "../src/profile_text.h"
#include "platform/profile.h"
#include "test_util.h"

namespace plat {
namespace {

using test::ReadBytes;
using test::WriteBytes;

class Profile : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string file = dir / "cfg.ini";

    std::string Get(std::string_view s, std::string_view k, std::size_t size = 256) {
        return GetPrivateProfileString(s, k, "DEF", size, file);
    }
};

TEST_F(Profile, MissingFileSectionOrKeyGivesDefaultAndCreatesNothing) {
    EXPECT_EQ(Get("Sec", "Key"), "DEF");
    EXPECT_EQ(GetPrivateProfileInt("Sec", "Key", 42, file), 42);
    EXPECT_FALSE(std::filesystem::exists(file));

    WriteBytes(file, "[Sec]\nKey=1\n");
    EXPECT_EQ(Get("Other", "Key"), "DEF");
    EXPECT_EQ(Get("Sec", "Missing"), "DEF");
    EXPECT_EQ(GetPrivateProfileInt("Sec", "Missing", -5, file), -5);
    // The default is cut like a value.
    EXPECT_EQ(GetPrivateProfileString("Sec", "Missing", "abcdef", 4, file), "abc");
    EXPECT_EQ(GetPrivateProfileString("Sec", "Missing", " a b  ", 16, file), " a b");
}

TEST_F(Profile, NamesMatchIgnoringBlanksAndAsciiCase) {
    WriteBytes(file,
               "; comment\r\n"
               "  [  Card Setup ]  trailing\r\n"
               "\tBit RATE  =  2000000  \r\n"
               "quoted = \"  padded  \"\r\n"
               "single='x'\r\n"
               "half=\"open\r\n"
               "empty=\r\n"
               "no equals sign\r\n"
               "[Next]\r\n"
               "Bit Rate=9\r\n");
    EXPECT_EQ(Get("card setup", "bit rate"), "2000000");
    EXPECT_EQ(Get(" CARD SETUP ", " Bit Rate "), "2000000");
    EXPECT_EQ(Get("Card Setup", "quoted"), "  padded  ");
    EXPECT_EQ(Get("Card Setup", "single"), "x");
    EXPECT_EQ(Get("Card Setup", "half"), "\"open");
    EXPECT_EQ(Get("Card Setup", "empty"), "");
    EXPECT_EQ(Get("Card Setup", "no equals sign"), "DEF");
    EXPECT_EQ(Get("next", "bit rate"), "9");
}

TEST_F(Profile, FirstOfDuplicateSectionsAndKeysWins) {
    WriteBytes(file, "[A]\nk=1\nk=2\n[a]\nk=3\nj=4\n");
    EXPECT_EQ(Get("A", "k"), "1");
    EXPECT_EQ(Get("A", "j"), "DEF");
}

TEST_F(Profile, ValueIsCutToBufferSizeWithoutSplittingACharacter) {
    WriteBytes(file, "[S]\nascii=abcdef\ncn=\xD6\xD0\xCE\xC4\xD7\xD6\n");  // 中文字
    EXPECT_EQ(Get("S", "ascii", 4), "abc");
    EXPECT_EQ(Get("S", "ascii", 7), "abcdef");
    EXPECT_EQ(Get("S", "ascii", 1), "");
    EXPECT_EQ(Get("S", "ascii", 0), "");
    EXPECT_EQ(Get("S", "cn", 7), "中文字");
    EXPECT_EQ(Get("S", "cn", 6), "中文");
    EXPECT_EQ(Get("S", "cn", 4), "中");  // 3 bytes allowed, the second character needs 4
}

TEST_F(Profile, DoubleByteTrailBytesAreNotSyntaxOrLetters) {
    // 乚 is 81 5D (trail ']'); 丄 is 81 41 and 乤 is 81 61 (trails 'A' and 'a').
    WriteBytes(file, "[\x81\x5D]\n\x81\x41=upper\n\x81\x61=lower\n");
    EXPECT_EQ(Get("乚", "丄"), "upper");
    EXPECT_EQ(Get("乚", "乤"), "lower");
}

TEST_F(Profile, IntegersReadLeadingDecimalDigits) {
    WriteBytes(file,
               "[N]\na=12abc\nb=abc\nc=-7\nd=+15\ne=2147484423\nf=\ng= 33 \nh=0x10\n"
               "i=4294967295\nj=-\n");
    EXPECT_EQ(GetPrivateProfileInt("N", "a", 99, file), 12);
    EXPECT_EQ(GetPrivateProfileInt("N", "b", 99, file), 0);
    EXPECT_EQ(GetPrivateProfileInt("N", "c", 99, file), -7);
    EXPECT_EQ(GetPrivateProfileInt("N", "d", 99, file), 15);
    EXPECT_EQ(GetPrivateProfileInt("N", "e", 99, file), static_cast<int>(2147484423u));
    EXPECT_EQ(GetPrivateProfileInt("N", "f", 99, file), 99);  // empty value
    EXPECT_EQ(GetPrivateProfileInt("N", "g", 99, file), 33);
    EXPECT_EQ(GetPrivateProfileInt("N", "h", 99, file), 0);
    EXPECT_EQ(GetPrivateProfileInt("N", "i", 99, file), -1);
    EXPECT_EQ(GetPrivateProfileInt("N", "j", 99, file), 0);
}

TEST_F(Profile, IntegerWrittenAsSignedFormReadsBackTheSameBits) {
    const int bits = static_cast<int>(2147484423u);
    ASSERT_TRUE(WritePrivateProfileInt("N", "v", bits, file));
    EXPECT_EQ(ReadBytes(file), "[N]\r\nv=-2147482873\r\n");
    EXPECT_EQ(GetPrivateProfileInt("N", "v", 0, file), bits);
    ASSERT_TRUE(WritePrivateProfileInt("N", "min", INT_MIN, file));
    EXPECT_EQ(GetPrivateProfileInt("N", "min", 0, file), INT_MIN);
}

TEST_F(Profile, WriteCreatesFileAndSectionInGbk) {
    ASSERT_TRUE(WritePrivateProfileString("站", "名称", "北京", file));
    EXPECT_EQ(ReadBytes(file), "[\xD5\xBE]\r\n\xC3\xFB\xB3\xC6=\xB1\xB1\xBE\xA9\r\n");
    EXPECT_EQ(Get("站", "名称"), "北京");
}

TEST_F(Profile, WriteKeepsEveryOtherLine) {
    const std::string before =
        "; head comment\n"
        "[A]\n"
        "  Key = old  \n"
        "other=1\n"
        "\n"
        "; comment of B\n"
        "[B]\n"
        "x=\xD6\xD0\n"
        "tail=no newline";
    WriteBytes(file, before);

    ASSERT_TRUE(WritePrivateProfileString("a", "KEY", "new", file));
    std::string expected = before;
    expected.replace(expected.find("  Key = old  "), 13, "  Key =new");
    EXPECT_EQ(ReadBytes(file), expected);

    // A new key goes after the last key of its section, before blank lines.
    ASSERT_TRUE(WritePrivateProfileString("A", "added", "2", file));
    expected.insert(expected.find("other=1\n") + 8, "added=2\n");
    EXPECT_EQ(ReadBytes(file), expected);

    // Adding after a last line without a line break supplies one.
    ASSERT_TRUE(WritePrivateProfileString("B", "y", "3", file));
    expected += "\ny=3\n";
    EXPECT_EQ(ReadBytes(file), expected);

    ASSERT_TRUE(WritePrivateProfileString("C", "z", "4", file));
    expected += "[C]\nz=4\n";
    EXPECT_EQ(ReadBytes(file), expected);
}

TEST_F(Profile, WriteToEmptySectionAndCrlfFile) {
    WriteBytes(file, "[A]\r\n[B]\r\nk=1\r\n");
    ASSERT_TRUE(WritePrivateProfileString("A", "n", "v", file));
    EXPECT_EQ(ReadBytes(file), "[A]\r\nn=v\r\n[B]\r\nk=1\r\n");

    // A file cut after a carriage return still gets a complete line break.
    WriteBytes(file, "[A]\r\nk=1\r");
    ASSERT_TRUE(WritePrivateProfileString("A", "n", "v", file));
    EXPECT_EQ(ReadBytes(file), "[A]\r\nk=1\r\nn=v\r\n");
    ASSERT_TRUE(WritePrivateProfileString("B", "m", "w", file));
    EXPECT_EQ(Get("A", "n"), "v");
    EXPECT_EQ(Get("B", "m"), "w");
}

TEST_F(Profile, LineBreaksCannotInjectLines) {
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "first\r\n[Evil]\r\nx=1", file));
    EXPECT_EQ(ReadBytes(file), "[S]\r\nk=first\r\n");
    EXPECT_FALSE(WritePrivateProfileString("S", "a\nb", "v", file));
    EXPECT_FALSE(WritePrivateProfileString("S\n[T]", "a", "v", file));
    EXPECT_FALSE(WritePrivateProfileString("S", "a=b", "v", file));
    EXPECT_FALSE(WritePrivateProfileString("S", " [x]", "v", file));
    EXPECT_EQ(ReadBytes(file), "[S]\r\nk=first\r\n");
}

TEST_F(Profile, WriteReplacesAtomicallyAndKeepsModeAndLinks) {
    WriteBytes(file, "[S]\nk=1\n");
    chmod(file.c_str(), 0640);
    const std::string link = dir / "link.ini";
    ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);

    ASSERT_TRUE(WritePrivateProfileString("S", "k", "2", link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(file), "[S]\nk=2\n");
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // No temporary file is left behind.
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 2);
}

TEST_F(Profile, UnusableFileFailsWithoutDamage) {
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", dir / "no/such/dir.ini"));
    std::filesystem::create_directory(file);  // a directory where the file should be
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", file));
    EXPECT_EQ(Get("S", "k"), "DEF");
}

TEST_F(Profile, ReadOnlyFileIsNotReplaced) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write anything";
    WriteBytes(file, "[S]\nk=1\n");
    chmod(file.c_str(), 0444);
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "2", file));
    EXPECT_EQ(Get("S", "k"), "1");
}

TEST_F(Profile, WritersInSeveralProcessesLoseNoUpdate) {
    constexpr int kProcesses = 4, kKeys = 40;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = fork();
        if (pid == 0) {
            bool ok = true;
            for (int k = 0; k < kKeys; ++k)
                ok = WritePrivateProfileInt("P" + std::to_string(p), "k" + std::to_string(k), k,
                                            file) &&
                     ok;
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int p = 0; p < kProcesses; ++p)
        for (int k = 0; k < kKeys; ++k)
            EXPECT_EQ(
                GetPrivateProfileInt("P" + std::to_string(p), "k" + std::to_string(k), -1, file),
                k);
}

TEST(ProfileText, CutGbkAndParseInt) {
    using profile_detail::CutGbk;
    EXPECT_EQ(CutGbk("a\xD6\xD0", 2), "a");
    EXPECT_EQ(CutGbk("a\xFF"
                     "b",
                     2),
              "a\xFF");  // invalid byte counts as one
    EXPECT_EQ(profile_detail::ParseProfileInt("-2147483648"), INT_MIN);
    EXPECT_EQ(profile_detail::ParseProfileInt("4294967297"), 1);  // wraps to 32 bits
}

TEST_F(Profile, NewKeyKeepsItsBlanksOnDiskAndReadsBackWithout) {
    ASSERT_TRUE(WritePrivateProfileString("Wnd", " x  ", "12", file));
    ASSERT_TRUE(WritePrivateProfileString("Wnd", " cx ", "300", file));
    EXPECT_EQ(ReadBytes(file), "[Wnd]\r\n x  =12\r\n cx =300\r\n");
    EXPECT_EQ(Get("Wnd", "x"), "12");
    EXPECT_EQ(GetPrivateProfileInt("Wnd", "cx", 0, file), 300);
    // Rewriting by the plain name replaces the line rather than adding one.
    ASSERT_TRUE(WritePrivateProfileString("Wnd", "x", "13", file));
    EXPECT_EQ(ReadBytes(file), "[Wnd]\r\n x  =13\r\n cx =300\r\n");
}

}  // namespace
}  // namespace plat
