// The demo data: the same for the same seed, consistent, and readable by the
// statements the pages run.
#include "demo_loader.h"

#include <gtest/gtest.h>

#include "db/ib.h"
#include "support/test_database.h"

namespace qv {
namespace {

// Every row of a query, columns joined by "|", rows by newlines.
std::string RowsOf(DatabaseSession& session, const std::string& sql) {
  std::string text;
  for (auto cursor = session.QueryRows(sql); !cursor.AtEnd(); cursor.Next()) {
    for (size_t i = 0; i < cursor.ColumnCount(); ++i) {
      text += cursor.Text(i);
      text += "|";
    }
    text += "\n";
  }
  return text;
}

class DemoDataTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    db_ = new TestDatabase();
    DbConnection connection;
    db_->Configure(connection);
    connection.Connect();
    counts_ = demo::LoadDemoData(connection, 60, 7, {});
  }
  static void TearDownTestSuite() {
    delete db_;
    db_ = nullptr;
  }
  void SetUp() override {
    db_->Configure(session.Connection());
    session.Attach();
  }
  std::string Rows(const std::string& sql) { return RowsOf(session, sql); }
  int32_t Number(const std::string& sql) { return session.QueryRows(sql).Integer(0); }

  static TestDatabase* db_;
  static demo::DemoCounts counts_;
  DatabaseSession session;
};
TestDatabase* DemoDataTest::db_ = nullptr;
demo::DemoCounts DemoDataTest::counts_;

TEST_F(DemoDataTest, SameSeedGivesTheSameRows) {
  TestDatabase other;
  {
    DbConnection loader;
    other.Configure(loader);
    loader.Connect();
    demo::LoadDemoData(loader, 60, 7, {});
  }
  DatabaseSession second;
  other.Configure(second.Connection());
  second.Attach();
  for (const char* sql :
       {"SELECT * FROM PROPERTY ORDER BY PROPERTY_ID", "SELECT * FROM ENTITY ORDER BY ENTITY_ID",
        "SELECT * FROM GEN_NOTES ORDER BY NOTES_ID", "SELECT * FROM VIOLATORS ORDER BY VIOLATOR_ID"}) {
    EXPECT_EQ(RowsOf(second, sql), Rows(sql)) << sql;
  }
}

TEST_F(DemoDataTest, CountsMatchTheTables) {
  EXPECT_EQ(Number("SELECT COUNT(*) FROM PROPERTY"), counts_.properties);
  EXPECT_EQ(Number("SELECT COUNT(*) FROM ENTITY"), counts_.entities);
  EXPECT_EQ(Number("SELECT COUNT(*) FROM GEN_PHONES WHERE SOURCE_TABLE = 3"), counts_.access_entries);
  EXPECT_EQ(Number("SELECT COUNT(*) FROM VIOLATORS"), counts_.violators);
  EXPECT_EQ(counts_.properties, 60);
  EXPECT_GT(counts_.notes, 0);
  EXPECT_GT(counts_.violations, 0);
  EXPECT_GT(counts_.inspections, 0);
  EXPECT_GT(counts_.authorizations, 0);
}

TEST_F(DemoDataTest, DemoLogOnAndAgencyExist) {
  EXPECT_EQ(Number("SELECT DB_USER_ID FROM DB_USERS WHERE UPPER(DB_USER_NAME) = 'DEMO' "
                   "AND DB_USER_PASSWORD = 'demo'"),
            1);
  EXPECT_EQ(Rows("SELECT AGENCY_NAME FROM AGENCY"), "Quorvale Housing Partnership|\n");
}

TEST_F(DemoDataTest, ReferencesPointAtRowsOfTheSameProperty) {
  EXPECT_EQ(Number("SELECT COUNT(*) FROM PROPERTY P WHERE P.PRIMARY_PROP_ADDRESS_ID IS NOT NULL "
                   "AND NOT EXISTS (SELECT 1 FROM PROP_ADDRESS A WHERE A.PROP_ADDRESS_ID = "
                   "P.PRIMARY_PROP_ADDRESS_ID AND A.PROPERTY_ID = P.PROPERTY_ID)"),
            0);
  EXPECT_EQ(Number("SELECT COUNT(*) FROM PROPERTY P WHERE P.PRIMARY_MANAGER_ID IS NOT NULL "
                   "AND NOT EXISTS (SELECT 1 FROM ENTITY E WHERE E.ENTITY_ID = "
                   "P.PRIMARY_MANAGER_ID AND E.PROPERTY_ID = P.PROPERTY_ID)"),
            0);
  EXPECT_EQ(Number("SELECT COUNT(*) FROM ENTITY E WHERE E.PRIMARY_PHONE_ID IS NOT NULL AND NOT "
                   "EXISTS (SELECT 1 FROM GEN_PHONES G WHERE G.PHONE_ID = E.PRIMARY_PHONE_ID "
                   "AND G.SOURCE_TABLE = 2 AND G.SOURCE_KEY = E.ENTITY_ID)"),
            0);
  EXPECT_EQ(Number("SELECT COUNT(*) FROM VIOLATORS R WHERE NOT EXISTS "
                   "(SELECT 1 FROM VIOLATIONS V WHERE V.VIOLATION_ID = R.VIOLATION_ID)"),
            0);
}

// The statements the pages run, each on a property (or violation) that has rows for it.
struct PageStatement {
  const char* id_query;  // the id the statement is run for; nullptr: no id
  std::string before;   // the text before the id
  std::string after;    // the text after it
};

TEST_F(DemoDataTest, PageStatementsRunOnTheDemoData) {
  const std::vector<PageStatement> statements = {
      {nullptr,
       "SELECT FIRST 10 SKIP 0 P.PROPERTY_ID, P.PROPERTY_NAME, A.PROP_ADDRESS1, A.PROP_ADDRESS2, "
       "A.PROP_CITY, A.PROP_STATE,\r\nA.PROP_ZIPCODE, P.NUM_UNITS\r\nFROM PROPERTY P\r\nJOIN "
       "PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID)\r\nJOIN AREA AR ON "
       "(AR.AREA_ID = P.AREA_ID)\r\nWHERE A.PROP_ADDRESS1 CONTAINING 'st'\r\nORDER BY PROPERTY_NAME",
       ""},
      {"SELECT MIN(PROPERTY_ID) FROM PROPERTY",
       "SELECT P.PROPERTY_NAME, A.PROP_ADDRESS1, A.PROP_ADDRESS2, A.PROP_CITY, A.PROP_STATE, "
       "A.PROP_ZIPCODE, P.NUM_UNITS, P.PRIMARY_MANAGER_ID, P.PRIMARY_OWNER_ID, "
       "P.PRIMARY_MGMT_CO_ID, P.AREA_ID, (SELECT AREA.AREA_NAME FROM AREA WHERE AREA.AREA_ID = "
       "P.AREA_ID) AS THE_AREA_NAME, P.BEAT_ID, (SELECT BEAT.BEAT_NAME FROM BEAT WHERE "
       "BEAT.BEAT_ID = P.BEAT_ID) AS THE_BEAT_NAME, P.TYPE_ID, (SELECT T.TYPE_NAME FROM PROP_TYPE "
       "T WHERE T.TYPE_ID = P.TYPE_ID) AS THE_TYPE_NAME, P.ACTIVITY_STATUS_ID, (SELECT "
       "ACTIVITY_STATUS.ACTIVITY_STATUS_NAME FROM ACTIVITY_STATUS WHERE "
       "ACTIVITY_STATUS.ACTIVITY_STATUS_ID = P.ACTIVITY_STATUS_ID) AS THE_ACTIVITY_STATUS_NAME, "
       "P.PROPERTY_ID FROM PROPERTY P LEFT JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = "
       "P.PRIMARY_PROP_ADDRESS_ID) WHERE P.PROPERTY_ID = ",
       ""},
      {"SELECT MIN(P.PROPERTY_ID) FROM PROPERTY P JOIN GEN_PHONES G ON G.SOURCE_KEY = "
       "P.PRIMARY_PROP_ADDRESS_ID AND G.SOURCE_TABLE = 1",
       "SELECT PH.PHONE_ID, PH.SOURCE_TABLE, PH.SOURCE_KEY, PH.ENTERED_DATE, PH.PHONE_TYPE, "
       "PH.PHONE_NUMBER FROM GEN_PHONES PH LEFT JOIN PROPERTY P ON (PH.SOURCE_KEY = "
       "P.PRIMARY_PROP_ADDRESS_ID) WHERE PH.SOURCE_TABLE = 1 AND P.PROPERTY_ID = ",
       ""},
      {"SELECT MIN(PRIMARY_MANAGER_ID) FROM PROPERTY",
       "SELECT E.*, G.* FROM ENTITY E LEFT JOIN GEN_PHONES G ON (G.PHONE_ID = E.PRIMARY_PHONE_ID) "
       "WHERE E.ENTITY_ID = ",
       ""},
      {"SELECT MIN(PROPERTY_ID) FROM ENTITY",
       "select e.last_or_company_name || ', ' || e.first_name, t.description, p.phone_type || ': ' "
       "|| p.phone_number, e.entity_id from entity_enh e left join gen_phones p on "
       "(e.primary_phone_id = p.phone_id) left join e_type t on (t.e_type_id = e.e_type_id) where "
       "e.property_id = ",
       " order by e.last_or_company_name, e.first_name"},
      {"SELECT MIN(A.PROPERTY_ID) FROM PROP_ADDRESS A JOIN GEN_PHONES G ON G.SOURCE_KEY = "
       "A.PROP_ADDRESS_ID AND G.SOURCE_TABLE = 3",
       "select g.phone_type, g.phone_number, g.entered_date from gen_phones g join prop_address a "
       "on g.source_key = a.prop_address_id where g.source_table = 3 and a.property_id = ",
       ""},
      {"SELECT MIN(SOURCE_KEY) FROM GEN_NOTES WHERE SOURCE_TABLE = 1",
       "SELECT N.NOTES_ID, N.SOURCE_TABLE, N.SOURCE_KEY, N.ENTERED_DATE, N.NOTE, N.ENTERED_BY, "
       "N.NOTES_FOLLOW_UP_DATE, N.NOTES_ITEM_DONE, N.NOTE_TITLE FROM GEN_NOTES N LEFT JOIN "
       "PROPERTY P ON (N.SOURCE_KEY = P.PROPERTY_ID) WHERE N.SOURCE_TABLE = 1 AND P.PROPERTY_ID = ",
       " ORDER BY ENTERED_DATE DESC"},
      {"SELECT MIN(AUTH_PROPERTY_ID) FROM AUTHORIZATIONS",
       "SELECT A.AUTHORIZATIONS_ID, A.AUTH_PROPERTY_ID, A.AUTH_TITLE, A.AUTH_NOTICE_SENT_ON, "
       "A.AUTH_RECEIVED_ON, A.AUTH_EXPIRES_ON, A.AUTH_SIGNED_BY_NAME, A.AUTH_SIGNED_BY_TITLE FROM "
       "AUTHORIZATIONS A WHERE A.AUTH_PROPERTY_ID = ",
       " ORDER BY A.AUTH_RECEIVED_ON DESC"},
      {"SELECT MIN(PROPERTY_ID) FROM CPTED_INSPECS",
       "SELECT CI.CPTED_INSPECS_ID, CI.PROPERTY_ID, CI.TITLE, CI.INSPEC_BY_ID, (SELECT "
       "U.DB_USER_NAME FROM DB_USERS U WHERE U.DB_USER_ID = CI.INSPEC_BY_ID) AS "
       "INSPECTION_BY_NAME, CI.START_DATE, CI.CK_BACK_DATE, CI.MEETING_DATE, CI.FINISH_DATE, "
       "CI.RENEWAL_DATE, CI.NOTE FROM CPTED_INSPECS CI LEFT JOIN PROPERTY P ON (CI.PROPERTY_ID = "
       "P.PROPERTY_ID) WHERE CI.PROPERTY_ID = ",
       " ORDER BY CI.START_DATE DESC "},
      {"SELECT MIN(PROPERTY_ID) FROM VIOLATIONS",
       "SELECT V.VIOLATION_ID, V.VIOLATION_DATE, V.APT_NUM, V.CASE_NUM, V.REQUEST_PARTNER_NUM, "
       "V.EVICTABLE, (SELECT VT.DESCRIPTION FROM VIOLATION_TYPES VT WHERE VT.VIOLATION_TYPE_ID = "
       "V.VIOLATION_TYPE) AS V_TYPE_DESC, (SELECT VA.VIOLATION_ACTION_DESC FROM VIOLATION_ACTIONS "
       "VA WHERE VA.VIOLATION_ACTION_ID = V.PLANNED_ACTION) AS ACTION_DESC, V.PROPERTY_ID, (SELECT "
       "PA.VIOLATION_ACTION_DESC FROM VIOLATION_POLICE_ACTIONS PA WHERE PA.VIOLATION_ACTION_ID = "
       "V.POLICE_ACTION) AS POLICE_ACTION, V.EVICTION_DATE, V.EVICTION_EXPLANATION, "
       "V.MGR_CONTACT_DATE, V.MGR_CONTACT_BY, V.NOTICE_LETTER_DATE, V.ACTION_PLAN_RECEIVED, "
       "V.LEASE_BEGIN_DATE, V.LEASE_END_DATE, V.ACTION_PLAN_SENT FROM VIOLATIONS V WHERE "
       "V.PROPERTY_ID = ",
       ""},
      {"SELECT MIN(VIOLATION_ID) FROM VIOLATORS",
       "SELECT V.VIOLATOR_FIRST_NAME, V.VIOLATOR_MIDDLE_NAME, V.VIOLATOR_LAST_NAME, (SELECT "
       "RS.DESCRIPTION FROM RESIDENT_STATUS RS WHERE RS.RESIDENT_STATUS_ID = V.VIOLATOR_STATUS) AS "
       "V_VIO_STATUS_DESC, V.VIOLATOR_LIVINGTHERENOW, V.VIOLATOR_ID1, V.VIOLATOR_ID2, "
       "V.VIOLATOR_DOB FROM VIOLATORS V WHERE V.VIOLATION_ID = ",
       ""},
  };
  for (const PageStatement& statement : statements) {
    std::string sql = statement.before;
    if (statement.id_query != nullptr) sql += std::to_string(Number(statement.id_query));
    sql += statement.after;
    std::string rows;
    ASSERT_NO_THROW(rows = Rows(sql)) << sql;
    EXPECT_FALSE(rows.empty()) << sql;
  }
}

}  // namespace
}  // namespace qv
