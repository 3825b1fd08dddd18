// Data-source registry and SQLite record sets.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <string>

#include "platform/datasource.h"
#include "platform/profile.h"
#include "test_util.h"
#include "testsupport/temp_home.h"

namespace plat {
namespace {

constexpr const char* kTemplate =
    "DSN=%s? DESCRIPTION=测试数据库? DBQ=%s? FIL=MicrosoftAccess? DEFAULTDIR=%s?? ";

// Points the registry at a temporary home for the test's lifetime.
class DataSourceTest : public ::testing::Test {
protected:
    bool Register(const std::string& name, const std::string& db) {
        char buf[kAttributeBufferSize];
        if (!FormatAttributeList(buf, kTemplate, name.c_str(), db.c_str(), dir_.path().c_str()))
            return false;
        return ConfigDataSource("Microsoft Access Driver (*.mdb)", buf);
    }

    talvora::test::TempHome dir_;
};

TEST_F(DataSourceTest, AttributeTextBecomesNulSeparatedList) {
    char buf[kAttributeBufferSize];
    ASSERT_TRUE(FormatAttributeList(buf, "DSN=%s? DBQ=%s?? ", "A", "/x/y.mdb"));
    // The blank after each '?' stays as the first character of the next attribute.
    const char expected[] = "DSN=A\0 DBQ=/x/y.mdb\0\0 ";
    EXPECT_EQ(0, std::memcmp(buf, expected, sizeof expected));
}

TEST_F(DataSourceTest, RegisteredNameOpensItsDatabase) {
    std::string db = dir_ / "任务.mdb";
    ASSERT_TRUE(Register("Store-1", db));
    EXPECT_EQ(DataSourceRegistryPath(), dir_.configHome() + "/talvora/odbc.ini");
    auto info = LookupDataSource("Store-1");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->database, db);
    EXPECT_EQ(info->driver, "Microsoft Access Driver (*.mdb)");
    EXPECT_EQ(info->description, "测试数据库");
    EXPECT_EQ(info->defaultDir, dir_.path());

    std::string error;
    auto conn =
        Database::OpenDataSource("ODBC;DSN=Store-1", Database::OpenMode::ReadWriteCreate, &error);
    ASSERT_TRUE(conn) << error;
    EXPECT_TRUE(conn->Execute("CREATE TABLE t(a TEXT)"));
    EXPECT_TRUE(conn->TableExists("t"));
    EXPECT_FALSE(conn->TableExists("u"));

    // Registering again replaces the entry rather than adding a second one.
    ASSERT_TRUE(Register("Store-1", dir_ / "other.mdb"));
    EXPECT_EQ(LookupDataSource("Store-1")->database, dir_ / "other.mdb");
}

TEST_F(DataSourceTest, PathWithQuestionMarkOrOverlongCannotBeRegistered) {
    EXPECT_FALSE(Register("Q", dir_ / "a?b.mdb"));
    EXPECT_FALSE(LookupDataSource("Q"));

    std::string longPath = dir_.path() + "/" + std::string(1000, 'x') + ".mdb";
    EXPECT_FALSE(Register("Long", longPath));  // would not fit the 1024-byte buffer
    EXPECT_FALSE(LookupDataSource("Long"));

    const char noTerminator[4] = {'D', 'S', 'N', '='};
    EXPECT_FALSE(ConfigDataSource("d", noTerminator, sizeof noTerminator));
    const char noDbq[] = "DSN=x\0\0";
    EXPECT_FALSE(ConfigDataSource("d", noDbq, sizeof noDbq));
    const char badName[] = "DSN=a]b\0DBQ=/x\0\0";
    EXPECT_FALSE(ConfigDataSource("d", badName, sizeof badName));
}

TEST_F(DataSourceTest, UnknownNameOrMissingFileFailsWithReason) {
    std::string error;
    EXPECT_FALSE(
        Database::OpenDataSource("ODBC;DSN=Nobody", Database::OpenMode::ReadWrite, &error));
    EXPECT_NE(error.find("Nobody"), std::string::npos);

    ASSERT_TRUE(Register("Gone", dir_ / "missing.mdb"));
    error.clear();
    EXPECT_FALSE(Database::OpenDataSource("DSN=Gone", Database::OpenMode::ReadWrite, &error));
    EXPECT_FALSE(error.empty());
}

TEST_F(DataSourceTest, RecordSetTellsNullFromEmptyAndKeepsTypes) {
    std::string error;
    auto db = Database::OpenFile(dir_ / "r.db", Database::OpenMode::ReadWriteCreate, &error);
    ASSERT_TRUE(db) << error;
    ASSERT_TRUE(
        db->Execute("CREATE TABLE t(名 TEXT, n INTEGER, f REAL);"
                    "INSERT INTO t VALUES(NULL, NULL, NULL);"
                    "INSERT INTO t VALUES('', 0, 2300123456.789);"));
    auto st = db->Prepare("SELECT * FROM t ORDER BY rowid");
    ASSERT_TRUE(st);
    ASSERT_EQ(st->Step(), Statement::StepResult::Row);
    EXPECT_FALSE(st->Text("名"));
    EXPECT_TRUE(IsNull(st->Column("n")));
    ASSERT_EQ(st->Step(), Statement::StepResult::Row);
    EXPECT_EQ(st->Text("名"), std::string());
    EXPECT_EQ(std::get<std::int64_t>(st->Column("n")), 0);
    EXPECT_EQ(std::get<double>(st->Column("f")), 2300123456.789);  // no loss through text
    EXPECT_FALSE(st->HasColumn("nope"));
    EXPECT_TRUE(IsNull(st->Column("nope")));
    EXPECT_EQ(st->Step(), Statement::StepResult::Done);
}

TEST_F(DataSourceTest, BoundTextIsNeverReadAsSql) {
    std::string error;
    auto db = Database::OpenFile(dir_ / "b.db", Database::OpenMode::ReadWriteCreate, &error);
    ASSERT_TRUE(db);
    ASSERT_TRUE(db->Execute("CREATE TABLE t(名 TEXT)"));
    const std::string evil = "x'); DROP TABLE t; --";
    auto ins = db->Prepare("INSERT INTO t VALUES(?1)");
    ASSERT_TRUE(ins && ins->BindText(1, evil));
    EXPECT_EQ(ins->Step(), Statement::StepResult::Done);
    auto sel = db->Prepare("SELECT 名 FROM t WHERE 名=?1");
    ASSERT_TRUE(sel && sel->Bind(1, DbValue{evil}));
    ASSERT_EQ(sel->Step(), Statement::StepResult::Row);
    EXPECT_EQ(sel->Text("名"), evil);
    EXPECT_TRUE(db->TableExists("t"));
}

TEST_F(DataSourceTest, CorruptFileReportsErrorOnFirstQuery) {
    test::WriteBytes(dir_ / "bad.db", std::string(4096, 'Z'));
    std::string error;
    auto db = Database::OpenFile(dir_ / "bad.db", Database::OpenMode::ReadWrite, &error);
    ASSERT_TRUE(db);  // SQLite reads the header lazily
    EXPECT_FALSE(db->Prepare("SELECT * FROM sqlite_master"));
    EXPECT_FALSE(db->LastError().empty());
    EXPECT_EQ(test::ReadBytes(dir_ / "bad.db"), std::string(4096, 'Z'));
}

TEST_F(DataSourceTest, ReadOnlyOpenRefusesWrites) {
    std::string error;
    {
        auto db = Database::OpenFile(dir_ / "ro.db", Database::OpenMode::ReadWriteCreate, &error);
        ASSERT_TRUE(db && db->Execute("CREATE TABLE t(a)"));
    }
    auto db = Database::OpenFile(dir_ / "ro.db", Database::OpenMode::ReadOnly, &error);
    ASSERT_TRUE(db);
    EXPECT_TRUE(db->IsReadOnly());
    EXPECT_FALSE(db->Execute("INSERT INTO t VALUES(1)"));
    EXPECT_FALSE(db->LastError().empty());
}

}  // namespace
}  // namespace plat
