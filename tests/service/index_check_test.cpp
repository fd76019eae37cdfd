// The index check of -t: silent on the demo schema, one warning naming the
// table and columns for each index the pages need that is missing or
// inactive, and content with an index that has more columns after them.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "db/connection.h"
#include "service/index_check.h"
#include "test_database.h"

namespace qv {
namespace {

std::string Warnings(TestDatabase& database) {
  DbConnection connection;
  database.Configure(connection);
  connection.Connect();
  std::ostringstream out;
  WarnMissingIndexes(connection, out);
  connection.Disconnect();
  return out.str();
}

TEST(IndexCheckTest, WarnsOfMissingAndInactiveIndexesOnly) {
  TestDatabase database;
  EXPECT_EQ(Warnings(database), "");

  database.Exec("DROP INDEX IX_GEN_NOTES_SOURCE");
  database.Exec("ALTER INDEX IX_PROPERTY_NAME_UPPER INACTIVE");
  database.Exec("DROP INDEX IX_ENTITY_PROPERTY");
  database.Exec("CREATE INDEX IX_ENTITY_PROPERTY_TYPE ON ENTITY (PROPERTY_ID, E_TYPE_ID)");
  database.Exec("DROP INDEX IX_GEN_PHONES_SOURCE");
  database.Exec("CREATE INDEX IX_GEN_PHONES_KEY ON GEN_PHONES (SOURCE_KEY, SOURCE_TABLE)");
  const std::string prefix = "warning: database " + database.Path() + ": no index on ";
  EXPECT_EQ(Warnings(database),
            prefix + "PROPERTY (UPPER(PROPERTY_NAME)): the name search reads the whole table\n" +
                prefix +
                "GEN_PHONES (SOURCE_TABLE, SOURCE_KEY): phones and access entries, by source "
                "table and key reads the whole table\n" +
                prefix +
                "GEN_NOTES (SOURCE_TABLE, SOURCE_KEY): the Notes tab, by source table and key "
                "reads the whole table\n");
}

}  // namespace
}  // namespace qv
