#include <gtest/gtest.h>

#include "db/cursor.h"

namespace qv {
namespace {

struct CountCase {
  std::string query;
  std::string count;
};
void PrintTo(const CountCase& c, std::ostream* out) { *out << c.query.substr(0, c.query.find('\r')); }

class CountStatementTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(CountStatementTest, DerivesTheCountStatement) {
  EXPECT_EQ(CountStatementText(GetParam().query), GetParam().count);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CountStatementTest,
    ::testing::Values(
        CountCase{"SELECT AREA_NAME FROM AREA WHERE AREA_ID > 2 ORDER BY AREA_NAME",
                  "SELECT COUNT( * )\r\nFROM AREA WHERE AREA_ID > 2"},
        CountCase{"SELECT \r\n   N.NOTES_ID, \r\n   N.NOTE_TITLE \r\nFROM GEN_NOTES N \r\n"
                  "WHERE N.SOURCE_TABLE = 1\r\n  ORDER BY ENTERED_DATE DESC",
                  "SELECT COUNT( * )\r\nFROM GEN_NOTES N \r\nWHERE N.SOURCE_TABLE = 1"},
        // A sub-select in the select list and the word FROM in quotes are skipped.
        CountCase{"SELECT (SELECT X FROM Y) AS Z, 'FROM' FROM T PLAN (T NATURAL) ORDER BY 1",
                  "SELECT COUNT( * )\r\nFROM T"},
        CountCase{"select a from t where b = ? for update with lock",
                  "SELECT COUNT( * )\r\nfrom t where b = ?"},
        // Forms a replaced select list would miscount are counted as a derived table.
        CountCase{"SELECT DISTINCT A, B FROM T ORDER BY A",
                  "SELECT COUNT( * ) FROM (\r\nSELECT DISTINCT A, B FROM T ORDER BY A\r\n)"},
        CountCase{"SELECT FIRST 10 SKIP 20 A FROM T ORDER BY A",
                  "SELECT COUNT( * ) FROM (\r\nSELECT FIRST 10 SKIP 20 A FROM T ORDER BY A\r\n)"},
        CountCase{"SELECT A, COUNT(*) FROM T GROUP BY A",
                  "SELECT COUNT( * ) FROM (\r\nSELECT A, COUNT(*) FROM T GROUP BY A\r\n)"},
        CountCase{"SELECT MAX(A) FROM T", "SELECT COUNT( * ) FROM (\r\nSELECT MAX(A) FROM T\r\n)"},
        CountCase{"SELECT A FROM T UNION SELECT B FROM U",
                  "SELECT COUNT( * ) FROM (\r\nSELECT A FROM T UNION SELECT B FROM U\r\n)"},
        CountCase{"SELECT ?, A FROM T WHERE B = ?",
                  "SELECT COUNT( * ) FROM (\r\nSELECT ?, A FROM T WHERE B = ?\r\n)"}));

}  // namespace
}  // namespace qv
