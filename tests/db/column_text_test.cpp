#include "db/column_text.h"

#include <gtest/gtest.h>

#include <cmath>

#include "db/command.h"
#include "db/database_session.h"
#include "db/errors.h"
#include "support/test_database.h"

namespace qv {
namespace {

// One embedded database and session for every value test.
class ColumnTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    db_ = new TestDatabase();
    session_ = new DatabaseSession();
    db_->Configure(session_->Connection());
    session_->Attach();
  }
  static void TearDownTestSuite() {
    delete session_;
    delete db_;
  }
  // The row of "SELECT <expression> FROM RDB$DATABASE"; its column 0 is the value.
  static RowCursor Value(const std::string& expression) {
    return session_->QueryRows("SELECT " + expression + " FROM RDB$DATABASE");
  }

  static TestDatabase* db_;
  static DatabaseSession* session_;
};
TestDatabase* ColumnTest::db_ = nullptr;
DatabaseSession* ColumnTest::session_ = nullptr;

struct TextCase {
  std::string expression;
  std::string text;
};
void PrintTo(const TextCase& c, std::ostream* out) { *out << c.expression; }

class ColumnTextTest : public ColumnTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(ColumnTextTest, TextOfEachType) {
  const TextCase& c = GetParam();
  EXPECT_EQ(Value(c.expression).Text(0), c.text) << c.expression;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ColumnTextTest,
    ::testing::Values(
        TextCase{"CAST('abcde' AS CHAR(10))", "abcde"},
        TextCase{"CAST('abcde  ' AS VARCHAR(10))", "abcde"},
        TextCase{"CAST('  abc' AS VARCHAR(10))", "  abc"},
        TextCase{"CAST('  abc' AS CHAR(8))", "  abc"},
        TextCase{"CAST('a b' || ASCII_CHAR(9) || ASCII_CHAR(13) AS VARCHAR(10))", "a b"},
        TextCase{"CAST('ab' || ASCII_CHAR(0) || 'cd' AS VARCHAR(10))", "ab"},
        TextCase{"CAST('' AS VARCHAR(10))", ""},
        TextCase{"CAST(NULL AS VARCHAR(10))", ""},
        TextCase{"CAST(NULL AS INTEGER)", ""},
        TextCase{"CAST(-42 AS INTEGER)", "-42"},
        TextCase{"CAST(0 AS INTEGER)", "0"},
        TextCase{"CAST(-2147483648 AS INTEGER)", "-2147483648"},
        TextCase{"CAST(7 AS SMALLINT)", "7"},
        TextCase{"CAST(123.45 AS NUMERIC(18,2))", "123.45"},
        TextCase{"CAST(0.05 AS NUMERIC(18,2))", "0.05"},
        TextCase{"CAST(-0.05 AS NUMERIC(18,2))", "-0.05"},
        TextCase{"CAST(-123.4 AS NUMERIC(9,3))", "-123.400"},
        TextCase{"CAST(-1.5 AS NUMERIC(4,1))", "-1.5"},
        TextCase{"CAST(9223372036854775807 AS BIGINT)", "9223372036854775807"},
        TextCase{"CAST(-9223372036854775808 AS BIGINT)", "-9223372036854775808"},
        TextCase{"CAST(1.5 AS DOUBLE PRECISION)", "1.5"},
        TextCase{"CAST(0.25 AS FLOAT)", "0.25"},
        TextCase{"DATE '2007-03-05'", "3/5/2007"},
        TextCase{"DATE '2026-12-31'", "12/31/2026"},
        TextCase{"DATE '0099-01-01'", "1/1/0099"},
        TextCase{"TIMESTAMP '2007-03-05 00:00:00'", "3/5/2007"},
        TextCase{"TIMESTAMP '2007-03-05 14:05:00'", "3/5/2007 2:05:00 PM"},
        TextCase{"TIMESTAMP '2007-03-05 00:07:09'", "3/5/2007 12:07:09 AM"},
        TextCase{"TIMESTAMP '2007-03-05 12:30:00'", "3/5/2007 12:30:00 PM"},
        TextCase{"TIME '14:05:00'", "2:05:00 PM"},
        TextCase{"TIME '00:00:00'", "12:00:00 AM"},
        TextCase{"CAST('note <b>&</b>  ' AS BLOB SUB_TYPE TEXT)", "note <b>&</b>  "},
        TextCase{"CAST(NULL AS BLOB SUB_TYPE TEXT)", ""},
        TextCase{"CAST('bin' AS BLOB SUB_TYPE BINARY)", "bin"}));

TEST_F(ColumnTest, LongTextBlobReadsWhole) {
  {
    DbConnection connection;
    db_->Configure(connection);
    connection.Connect();
    Transaction transaction(connection);
    std::string text;
    while (text.size() < 100000) text += "xyz";
    Command(transaction,
            "INSERT INTO GEN_NOTES (NOTES_ID, SOURCE_TABLE, SOURCE_KEY, NOTE) VALUES (1, 1, 1, ?)")
        .Run(text + "END");
    transaction.Commit();
  }
  const std::string note(Value("(SELECT NOTE FROM GEN_NOTES WHERE NOTES_ID = 1)").Text(0));
  ASSERT_EQ(note.size(), 100005u);
  EXPECT_EQ(note.substr(0, 6), "xyzxyz");
  EXPECT_EQ(note.substr(note.size() - 3), "END");
}

TEST_F(ColumnTest, CharColumnOfATableIsRightTrimmed) {
  db_->Exec("INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROP_STATE, PROP_ADDRESS1) "
            "VALUES (1, 'W', ' 12 Elm St  ')");
  EXPECT_EQ(Value("(SELECT PROP_STATE FROM PROP_ADDRESS)").Text(0), "W");
  EXPECT_EQ(Value("(SELECT PROP_ADDRESS1 FROM PROP_ADDRESS)").Text(0), " 12 Elm St");
}

struct IntegerCase {
  std::string expression;
  int32_t value;
};
void PrintTo(const IntegerCase& c, std::ostream* out) { *out << c.expression; }

class AsIntegerTest : public ColumnTest, public ::testing::WithParamInterface<IntegerCase> {};

TEST_P(AsIntegerTest, ReadsTheNumber) {
  EXPECT_EQ(Value(GetParam().expression).Integer(0), GetParam().value) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    Table, AsIntegerTest,
    ::testing::Values(IntegerCase{"CAST(NULL AS INTEGER)", 0},
                      IntegerCase{"CAST(-17 AS INTEGER)", -17},
                      IntegerCase{"CAST(300 AS SMALLINT)", 300},
                      IntegerCase{"CAST(' 12 ' AS VARCHAR(10))", 12},
                      IntegerCase{"CAST('12.9' AS VARCHAR(10))", 12},
                      IntegerCase{"CAST('-12.9' AS VARCHAR(10))", -12},
                      IntegerCase{"CAST('+8' AS CHAR(5))", 8},
                      IntegerCase{"CAST('1.5e3' AS VARCHAR(10))", 1500},
                      IntegerCase{"CAST('   ' AS VARCHAR(10))", 0},
                      IntegerCase{"CAST(NULL AS VARCHAR(10))", 0},
                      IntegerCase{"CAST(12.99 AS NUMERIC(9,2))", 12},
                      IntegerCase{"CAST(-0.5 AS NUMERIC(9,2))", 0},
                      IntegerCase{"CAST(2147483647 AS BIGINT)", 2147483647},
                      IntegerCase{"CAST(7.9 AS DOUBLE PRECISION)", 7}));

struct ConversionErrorCase {
  std::string expression;
  std::string message;
};
void PrintTo(const ConversionErrorCase& c, std::ostream* out) { *out << c.expression; }

class AsIntegerErrorTest : public ColumnTest,
                           public ::testing::WithParamInterface<ConversionErrorCase> {};

TEST_P(AsIntegerErrorTest, RaisesConversionError) {
  try {
    Value(GetParam().expression).Integer(0);
    FAIL() << "no exception";
  } catch (const DbConversionError& e) {
    EXPECT_EQ(std::string(e.what()), GetParam().message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, AsIntegerErrorTest,
    ::testing::Values(
        ConversionErrorCase{"CAST('abc' AS VARCHAR(10))", "'abc' is not a valid floating point value"},
        ConversionErrorCase{"CAST(' 12abc ' AS VARCHAR(10))",
                            "'12abc' is not a valid floating point value"},
        ConversionErrorCase{"DATE '2007-03-05'", "'3/5/2007' is not a valid floating point value"},
        ConversionErrorCase{"CAST('nan' AS VARCHAR(10))", "'nan' is not a valid floating point value"},
        ConversionErrorCase{"CAST('3000000000' AS VARCHAR(12))",
                            "'3000000000' is not a valid integer value"}));

TEST_F(ColumnTest, AsDateTimeCountsDaysFromTheEpoch) {
  EXPECT_DOUBLE_EQ(Value("DATE '1899-12-30'").DateTimeValue(0), 0.0);
  EXPECT_DOUBLE_EQ(Value("DATE '2007-03-05'").DateTimeValue(0), 39146.0);
  EXPECT_NEAR(Value("TIMESTAMP '2007-03-05 14:05:00'").DateTimeValue(0), 39146.0 + 845.0 / 1440.0,
              1e-9);
  EXPECT_NEAR(Value("TIME '06:00:00'").DateTimeValue(0), 0.25, 1e-12);
  EXPECT_DOUBLE_EQ(Value("CAST(NULL AS DATE)").DateTimeValue(0), 0.0);
  EXPECT_DOUBLE_EQ(Value("CAST(NULL AS TIMESTAMP)").DateTimeValue(0), 0.0);
}

TEST(TrimmingTest, RightAndBoth) {
  const std::string text = "  a  b \t";
  EXPECT_EQ(TrimRight(text), "  a  b");
  EXPECT_EQ(TrimBoth(text), "a  b");
  EXPECT_EQ(TrimBoth(" \r\n"), "");
}

// The one table from SQL type to column type, which picks the text rule.
TEST(ColumnTypeTest, FromTheSqlType) {
  const struct {
    int16_t sql_type, sub_type, scale;
    ColumnType type;
  } cases[] = {
      {452, 0, 0, ColumnType::kText},     {448, 0, 0, ColumnType::kVarText},
      {500, 0, 0, ColumnType::kSmallInt}, {500, 0, -2, ColumnType::kNumeric},
      {496, 0, 0, ColumnType::kInteger},  {496, 0, -1, ColumnType::kNumeric},
      {580, 0, 0, ColumnType::kNumeric},  {482, 0, 0, ColumnType::kFloat},
      {480, 0, 0, ColumnType::kDouble},   {570, 0, 0, ColumnType::kDate},
      {560, 0, 0, ColumnType::kTime},     {510, 0, 0, ColumnType::kTimestamp},
      {520, 0, 0, ColumnType::kBlob},     {520, 1, 0, ColumnType::kMemo},
      {32764, 0, 0, ColumnType::kBoolean}, {32766, 0, 0, ColumnType::kOther},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ColumnTypeOf(c.sql_type, c.sub_type, c.scale), c.type) << c.sql_type;
  }
}

}  // namespace
}  // namespace qv
