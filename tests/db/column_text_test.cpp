#include "db/column.h"

#include <gtest/gtest.h>

#include <cmath>
#include <typeinfo>

#include "db/command.h"
#include "db/cursor.h"
#include "db/errors.h"
#include "support/test_database.h"

namespace qv {
namespace {

// One embedded database and read-only transaction for every value test.
class ColumnTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    db_ = new TestDatabase();
    connection_ = new DbConnection();
    db_->Configure(*connection_);
    connection_->Connect();
    transaction_ = new Transaction(*connection_);
    transaction_->SetReadOnly(true);
    cursor_ = new Cursor(*connection_, *transaction_);
  }
  static void TearDownTestSuite() {
    delete cursor_;
    delete transaction_;
    delete connection_;
    delete db_;
  }
  // The first column of "SELECT <expression> FROM RDB$DATABASE".
  static Column& Value(const std::string& expression) {
    cursor_->SQL().Clear();
    cursor_->SQL().Add("SELECT " + expression + " FROM RDB$DATABASE");
    cursor_->Open();
    return cursor_->Fields()[0];
  }

  static TestDatabase* db_;
  static DbConnection* connection_;
  static Transaction* transaction_;
  static Cursor* cursor_;
};
TestDatabase* ColumnTest::db_ = nullptr;
DbConnection* ColumnTest::connection_ = nullptr;
Transaction* ColumnTest::transaction_ = nullptr;
Cursor* ColumnTest::cursor_ = nullptr;

struct TextCase {
  std::string expression;
  std::string text;
  const std::type_info& type;
};
void PrintTo(const TextCase& c, std::ostream* out) { *out << c.expression; }

class ColumnTextTest : public ColumnTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(ColumnTextTest, TextAndClass) {
  const TextCase& c = GetParam();
  Column& column = Value(c.expression);
  EXPECT_EQ(column.AsString(), c.text) << c.expression;
  EXPECT_EQ(typeid(column), c.type) << c.expression << " is " << typeid(column).name();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ColumnTextTest,
    ::testing::Values(
        TextCase{"CAST('abcde' AS CHAR(10))", "abcde", typeid(TextColumn)},
        TextCase{"CAST('abcde  ' AS VARCHAR(10))", "abcde", typeid(VarTextColumn)},
        TextCase{"CAST('  abc' AS VARCHAR(10))", "  abc", typeid(VarTextColumn)},
        TextCase{"CAST('  abc' AS CHAR(8))", "  abc", typeid(TextColumn)},
        TextCase{"CAST('a b' || ASCII_CHAR(9) || ASCII_CHAR(13) AS VARCHAR(10))", "a b",
                 typeid(VarTextColumn)},
        TextCase{"CAST('ab' || ASCII_CHAR(0) || 'cd' AS VARCHAR(10))", "ab",
                 typeid(VarTextColumn)},
        TextCase{"CAST('' AS VARCHAR(10))", "", typeid(VarTextColumn)},
        TextCase{"CAST(NULL AS VARCHAR(10))", "", typeid(VarTextColumn)},
        TextCase{"CAST(NULL AS INTEGER)", "", typeid(IntegerColumn)},
        TextCase{"CAST(-42 AS INTEGER)", "-42", typeid(IntegerColumn)},
        TextCase{"CAST(0 AS INTEGER)", "0", typeid(IntegerColumn)},
        TextCase{"CAST(-2147483648 AS INTEGER)", "-2147483648", typeid(IntegerColumn)},
        TextCase{"CAST(7 AS SMALLINT)", "7", typeid(SmallIntColumn)},
        TextCase{"CAST(123.45 AS NUMERIC(18,2))", "123.45", typeid(NumericColumn)},
        TextCase{"CAST(0.05 AS NUMERIC(18,2))", "0.05", typeid(NumericColumn)},
        TextCase{"CAST(-0.05 AS NUMERIC(18,2))", "-0.05", typeid(NumericColumn)},
        TextCase{"CAST(-123.4 AS NUMERIC(9,3))", "-123.400", typeid(NumericColumn)},
        TextCase{"CAST(-1.5 AS NUMERIC(4,1))", "-1.5", typeid(NumericColumn)},
        TextCase{"CAST(9223372036854775807 AS BIGINT)", "9223372036854775807",
                 typeid(NumericColumn)},
        TextCase{"CAST(-9223372036854775808 AS BIGINT)", "-9223372036854775808",
                 typeid(NumericColumn)},
        TextCase{"CAST(1.5 AS DOUBLE PRECISION)", "1.5", typeid(DoubleColumn)},
        TextCase{"CAST(0.25 AS FLOAT)", "0.25", typeid(FloatColumn)},
        TextCase{"DATE '2007-03-05'", "3/5/2007", typeid(DateColumn)},
        TextCase{"DATE '2026-12-31'", "12/31/2026", typeid(DateColumn)},
        TextCase{"DATE '0099-01-01'", "1/1/0099", typeid(DateColumn)},
        TextCase{"TIMESTAMP '2007-03-05 00:00:00'", "3/5/2007", typeid(TimestampColumn)},
        TextCase{"TIMESTAMP '2007-03-05 14:05:00'", "3/5/2007 2:05:00 PM",
                 typeid(TimestampColumn)},
        TextCase{"TIMESTAMP '2007-03-05 00:07:09'", "3/5/2007 12:07:09 AM",
                 typeid(TimestampColumn)},
        TextCase{"TIMESTAMP '2007-03-05 12:30:00'", "3/5/2007 12:30:00 PM",
                 typeid(TimestampColumn)},
        TextCase{"TIME '14:05:00'", "2:05:00 PM", typeid(TimeColumn)},
        TextCase{"TIME '00:00:00'", "12:00:00 AM", typeid(TimeColumn)},
        TextCase{"CAST('note <b>&</b>  ' AS BLOB SUB_TYPE TEXT)", "note <b>&</b>  ",
                 typeid(MemoColumn)},
        TextCase{"CAST(NULL AS BLOB SUB_TYPE TEXT)", "", typeid(MemoColumn)},
        TextCase{"CAST('bin' AS BLOB SUB_TYPE BINARY)", "bin", typeid(BlobColumn)}));

TEST_F(ColumnTest, LongTextBlobReadsWhole) {
  {
    DbConnection connection;
    db_->Configure(connection);
    connection.Connect();
    Transaction transaction(connection);
    SqlCommand insert(connection, transaction,
                      "INSERT INTO GEN_NOTES (NOTES_ID, SOURCE_TABLE, SOURCE_KEY, NOTE) "
                      "VALUES (1, 1, 1, ?)");
    std::string text;
    while (text.size() < 100000) text += "xyz";
    insert.Params()[0].SetAsString(text + "END");
    insert.Execute();
    transaction.Commit();
  }
  std::string note = Value("(SELECT NOTE FROM GEN_NOTES WHERE NOTES_ID = 1)").AsString();
  transaction_->Commit();
  ASSERT_EQ(note.size(), 100005u);
  EXPECT_EQ(note.substr(0, 6), "xyzxyz");
  EXPECT_EQ(note.substr(note.size() - 3), "END");
}

TEST_F(ColumnTest, CharColumnOfATableIsRightTrimmed) {
  db_->Exec("INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROP_STATE, PROP_ADDRESS1) "
            "VALUES (1, 'W', ' 12 Elm St  ')");
  transaction_->Commit();
  EXPECT_EQ(Value("(SELECT PROP_STATE FROM PROP_ADDRESS)").AsString(), "W");
  EXPECT_EQ(Value("(SELECT PROP_ADDRESS1 FROM PROP_ADDRESS)").AsString(), " 12 Elm St");
  transaction_->Commit();
}

struct IntegerCase {
  std::string expression;
  int32_t value;
};
void PrintTo(const IntegerCase& c, std::ostream* out) { *out << c.expression; }

class AsIntegerTest : public ColumnTest, public ::testing::WithParamInterface<IntegerCase> {};

TEST_P(AsIntegerTest, ReadsTheNumber) {
  EXPECT_EQ(Value(GetParam().expression).AsInteger(), GetParam().value) << GetParam().expression;
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
    Value(GetParam().expression).AsInteger();
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
  EXPECT_DOUBLE_EQ(Value("DATE '1899-12-30'").AsDateTime(), 0.0);
  EXPECT_DOUBLE_EQ(Value("DATE '2007-03-05'").AsDateTime(), 39146.0);
  EXPECT_NEAR(Value("TIMESTAMP '2007-03-05 14:05:00'").AsDateTime(), 39146.0 + 845.0 / 1440.0,
              1e-9);
  EXPECT_NEAR(Value("TIME '06:00:00'").AsDateTime(), 0.25, 1e-12);
  EXPECT_DOUBLE_EQ(Value("CAST(NULL AS DATE)").AsDateTime(), 0.0);
  EXPECT_DOUBLE_EQ(Value("CAST(NULL AS TIMESTAMP)").AsDateTime(), 0.0);
}

TEST(TrimmingTest, Modes) {
  const std::string text = "  a  b \t";
  EXPECT_EQ(TrimColumnText(text, ColumnTrimming::kNone), text);
  EXPECT_EQ(TrimColumnText(text, ColumnTrimming::kRight), "  a  b");
  EXPECT_EQ(TrimColumnText(text, ColumnTrimming::kLeft), "a  b \t");
  EXPECT_EQ(TrimColumnText(text, ColumnTrimming::kBoth), "a  b");
  EXPECT_EQ(TrimColumnText(text, ColumnTrimming::kSentence), "a b");
  EXPECT_EQ(TrimColumnText(text, ColumnTrimming::kAll), "ab\t");
}

}  // namespace
}  // namespace qv
