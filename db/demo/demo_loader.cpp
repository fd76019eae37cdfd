// The demo data: one prepared INSERT per table, values from a seeded source.
#include "demo_loader.h"

#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/command.h"
#include "db/cursor.h"
#include "db/prepared_statement.h"
#include "db/ib.h"
#include "platform/datetime.h"
#include "random.h"
#include "words.h"

namespace qv::demo {
namespace {

using Null = NullValue;

// A calendar day as the days since 30 December 1899.
using Day = int;

Day DayOf(int year, int month, int day) { return static_cast<Day>(DaysFromCivil(year, month, day)); }

std::string DateText(Day day) {
  DateTimeParts p = DecodeDateTime(day);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", p.year, p.month, p.day);
  return text;
}

std::string TimestampText(Day day, int seconds) {
  char text[40];
  std::snprintf(text, sizeof text, "%s %02d:%02d:%02d", DateText(day).c_str(), seconds / 3600,
                seconds / 60 % 60, seconds % 60);
  return text;
}

// A prepared INSERT whose parameters are given in column order.
class Insert {
 public:
  Insert(Transaction& transaction, const std::string& table,
         const std::vector<std::string>& columns)
      : command_(transaction, Text(table, columns)) {}
  template <typename... Values>
  void Run(const Values&... values) {
    command_.Run(values...);
  }

 private:
  static std::string Text(const std::string& table, const std::vector<std::string>& columns) {
    std::string names;
    std::string marks;
    for (const auto& column : columns) {
      names += (names.empty() ? "" : ", ") + column;
      marks += marks.empty() ? "?" : ", ?";
    }
    return "INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")";
  }

  Command command_;
};

class Loader {
 public:
  Loader(Transaction& transaction, uint64_t seed)
      : random_(seed),
        transaction_(transaction),
        agency_(transaction, "AGENCY",
                {"AGENCY_ID", "AGENCY_NAME", "AGENCY_ADDR1", "AGENCY_CITY", "AGENCY_STATE",
                 "AGENCY_ZIPCODE", "AGENCY_PHONE"}),
        property_(transaction, "PROPERTY",
                  {"PROPERTY_ID", "PROPERTY_NAME", "PRIMARY_PROP_ADDRESS_ID", "NUM_UNITS",
                   "PRIMARY_MANAGER_ID", "PRIMARY_OWNER_ID", "PRIMARY_MGMT_CO_ID", "AREA_ID",
                   "BEAT_ID", "TYPE_ID", "ACTIVITY_STATUS_ID", "YEAR_BUILT", "ENTERED_DATE"}),
        address_(transaction, "PROP_ADDRESS",
                 {"PROP_ADDRESS_ID", "PROPERTY_ID", "PROP_ADDRESS1", "PROP_ADDRESS2", "PROP_CITY",
                  "PROP_STATE", "PROP_ZIPCODE"}),
        entity_(transaction, "ENTITY",
                {"ENTITY_ID", "PROPERTY_ID", "E_TYPE_ID", "FIRST_NAME", "LAST_OR_COMPANY_NAME",
                 "ENTITY_ADDR1", "ENTITY_ADDR2", "ENTITY_CITY", "ENTITY_STATE", "ENTITY_ZIPCODE",
                 "ENTITY_EMAIL", "PRIMARY_PHONE_ID"}),
        phone_(transaction, "GEN_PHONES",
               {"PHONE_ID", "SOURCE_TABLE", "SOURCE_KEY", "PHONE_TYPE", "PHONE_NUMBER",
                "ENTERED_DATE"}),
        note_(transaction, "GEN_NOTES",
              {"NOTES_ID", "SOURCE_TABLE", "SOURCE_KEY", "ENTERED_DATE", "NOTE", "ENTERED_BY",
               "NOTES_FOLLOW_UP_DATE", "NOTES_ITEM_DONE", "NOTE_TITLE"}),
        user_(transaction, "DB_USERS",
              {"DB_USER_ID", "DB_USER_NAME", "DB_USER_PASSWORD", "FULL_NAME"}),
        authorization_(transaction, "AUTHORIZATIONS",
                       {"AUTHORIZATIONS_ID", "AUTH_PROPERTY_ID", "AUTH_TITLE",
                        "AUTH_NOTICE_SENT_ON", "AUTH_RECEIVED_ON", "AUTH_EXPIRES_ON",
                        "AUTH_SIGNED_BY_NAME", "AUTH_SIGNED_BY_TITLE"}),
        inspection_(transaction, "CPTED_INSPECS",
                    {"CPTED_INSPECS_ID", "PROPERTY_ID", "TITLE", "INSPEC_BY_ID", "START_DATE",
                     "CK_BACK_DATE", "MEETING_DATE", "FINISH_DATE", "RENEWAL_DATE", "NOTE"}),
        violation_(transaction, "VIOLATIONS",
                   {"VIOLATION_ID", "PROPERTY_ID", "VIOLATION_DATE", "APT_NUM", "CASE_NUM",
                    "REQUEST_PARTNER_NUM", "EVICTABLE", "VIOLATION_TYPE", "PLANNED_ACTION",
                    "POLICE_ACTION", "EVICTION_DATE", "EVICTION_EXPLANATION", "MGR_CONTACT_DATE",
                    "MGR_CONTACT_BY", "NOTICE_LETTER_DATE", "ACTION_PLAN_RECEIVED",
                    "LEASE_BEGIN_DATE", "LEASE_END_DATE", "ACTION_PLAN_SENT"}),
        violator_(transaction, "VIOLATORS",
                  {"VIOLATOR_ID", "VIOLATION_ID", "VIOLATOR_FIRST_NAME", "VIOLATOR_MIDDLE_NAME",
                   "VIOLATOR_LAST_NAME", "VIOLATOR_STATUS", "VIOLATOR_LIVINGTHERENOW",
                   "VIOLATOR_ID1", "VIOLATOR_ID2", "VIOLATOR_DOB"}) {}

  void Lookups() {
    agency_.Run(1, "Quorvale Housing Partnership", "400 Civic Center Plaza", "Quorvale", "WA",
                "97401", "(555) 201-4400");
    const auto& areas = Areas();
    for (size_t i = 0; i < areas.size(); ++i) {
      Lookup("AREA", "AREA_ID, AREA_NAME", static_cast<int>(i + 1), areas[i].name);
      for (int b = 1; b <= kBeatsPerArea; ++b) {
        char name[40];
        std::snprintf(name, sizeof name, "%c%c-%d", areas[i].name[0],
                      static_cast<char>(std::toupper(static_cast<unsigned char>(areas[i].name[1]))),
                      b);
        ExecuteImmediate(transaction_, "INSERT INTO BEAT (BEAT_ID, BEAT_NAME, AREA_ID) VALUES (" +
                                      std::to_string(static_cast<int>(i) * kBeatsPerArea + b) +
                                      ", '" + name + "', " + std::to_string(i + 1) + ")");
      }
    }
    LookupList("PROP_TYPE", "TYPE_ID, TYPE_NAME", PropertyTypes());
    LookupList("ACTIVITY_STATUS", "ACTIVITY_STATUS_ID, ACTIVITY_STATUS_NAME", ActivityStatuses());
    LookupList("E_TYPE", "E_TYPE_ID, DESCRIPTION", EntityTypes());
    LookupList("RESIDENT_STATUS", "RESIDENT_STATUS_ID, DESCRIPTION", ResidentStatuses());
    LookupList("VIOLATION_TYPES", "VIOLATION_TYPE_ID, DESCRIPTION", ViolationTypes());
    LookupList("VIOLATION_ACTIONS", "VIOLATION_ACTION_ID, VIOLATION_ACTION_DESC",
               ViolationActions());
    LookupList("VIOLATION_POLICE_ACTIONS", "VIOLATION_ACTION_ID, VIOLATION_ACTION_DESC",
               PoliceActions());
    user_.Run(1, kDemoUser, kDemoPassword, "Demo User");
    user_.Run(2, "jmarsh", "harbor7", "Jordan Marsh");
    user_.Run(3, "kdoyle", "cedar42", "Kim Doyle");
    user_.Run(4, "aperez", "summit9", "Ana Perez");
    user_.Run(5, "inspector", "cpted2007", "Lee Okafor");
    counts_.users = 5;
  }

  void Property(int id) {
    const auto& areas = Areas();
    int area = random_.Range(1, static_cast<int>(areas.size()));
    const AreaInfo& place = areas[area - 1];
    int beat = (area - 1) * kBeatsPerArea + random_.Range(1, kBeatsPerArea);
    int type = random_.Range(1, static_cast<int>(PropertyTypes().size()));
    int status = random_.Chance(80) ? random_.Range(1, 3) : random_.Range(4, 5);
    std::string name = Words({&NameFirstWords(), &NameSecondWords(), &NameSuffixes()});
    int units = Units(type);
    std::optional<int> address_id;
    std::string street;
    if (!random_.Chance(2)) {  // a few properties lack their address row
      address_id = ++address_ids_;
      street = Street();
      std::optional<std::string> line2;
      if (random_.Chance(15)) line2 = "Bldg " + std::string(1, static_cast<char>('A' + random_.Range(0, 3)));
      std::string zip = Zip(place);
      address_.Run(*address_id, id, street, line2, place.city, "WA", zip);
      ++counts_.addresses;
    }
    Day entered = RandomDay(2001, 2006);
    // People and companies of the property; the first three fill the property's roles.
    std::optional<int> manager;
    std::optional<int> owner;
    std::optional<int> company;
    if (random_.Chance(95)) manager = Person(id, 1, place, street);
    if (random_.Chance(95)) owner = random_.Chance(50) ? Person(id, 2, place, "") : Company(id, 2);
    if (random_.Chance(80)) company = Company(id, 3);
    for (int extra = random_.Range(0, 3); extra > 0; --extra)
      Person(id, random_.Range(4, static_cast<int>(EntityTypes().size())), place, street);
    int built = random_.Range(1952, 2005);
    int hour = random_.Range(8, 17);
    property_.Run(id, name, address_id, units, manager, owner, company, area, beat, type, status,
                  built, TimestampText(entered, hour * 3600));
    ++counts_.properties;
    if (address_id) {
      for (int n = PhoneCount(); n > 0; --n) {
        static const std::vector<std::string> kinds{"Office", "Fax", "Emergency", "Leasing"};
        Phone(1, *address_id, random_.Pick(kinds));
      }
      AccessEntries(*address_id, entered);
      if (random_.Chance(20)) {  // a second address with its own access codes
        int second = ++address_ids_;
        std::string second_street = Street();
        std::string second_zip = Zip(place);
        address_.Run(second, id, second_street, Null{}, place.city, "WA", second_zip);
        ++counts_.addresses;
        AccessEntries(second, entered);
      }
    }
    for (int n = Weighted({30, 25, 20, 15, 10}); n > 0; --n) Note(id, entered);
    for (int n = Weighted({50, 35, 15}); n > 0; --n) Authorization(id, entered);
    for (int n = Weighted({55, 30, 15}); n > 0; --n) Inspection(id, entered);
    for (int n = Weighted({50, 25, 15, 10}); n > 0; --n) Violation(id, entered);
  }

  const DemoCounts& Counts() const { return counts_; }

 private:
  static constexpr int kBeatsPerArea = 3;

  void Lookup(const std::string& table, const std::string& columns, int id,
              const std::string& text) {
    ExecuteImmediate(transaction_, "INSERT INTO " + table + " (" + columns + ") VALUES (" +
                                  std::to_string(id) + ", '" + text + "')");
  }
  void LookupList(const std::string& table, const std::string& columns,
                  const std::vector<std::string>& texts) {
    for (size_t i = 0; i < texts.size(); ++i)
      Lookup(table, columns, static_cast<int>(i + 1), texts[i]);
  }

  // An index drawn with the given weights (in percent).
  int Weighted(std::initializer_list<int> weights) {
    int roll = random_.Range(1, 100);
    int index = 0;
    for (int weight : weights) {
      if (roll <= weight) return index;
      roll -= weight;
      ++index;
    }
    return index - 1;
  }

  int Units(int type) {
    switch (type) {
      case 2: return 2;
      case 3: return 4;
      case 4: return 1;
      case 5: return random_.Range(4, 24);
      case 6: return random_.Range(20, 120);
      case 7: return random_.Range(30, 150);
      default: return random_.Range(12, 240);
    }
  }

  std::string Zip(const AreaInfo& place) {
    char zip[8];
    std::snprintf(zip, sizeof zip, "%s%02d", place.zip_prefix.c_str(), random_.Range(1, 40));
    return zip;
  }

  Day RandomDay(int from_year, int to_year) {
    return random_.Range(DayOf(from_year, 1, 1), DayOf(to_year, 12, 31));
  }

  std::string PhoneNumber() {
    int exchange = random_.Range(200, 989);
    int line = random_.Range(0, 9999);
    char number[20];
    std::snprintf(number, sizeof number, "(555) %03d-%04d", exchange, line);
    return number;
  }

  // Words drawn one list after another, joined by blanks.
  std::string Words(std::initializer_list<const std::vector<std::string>*> lists) {
    std::string text;
    for (const auto* list : lists) {
      if (!text.empty()) text += ' ';
      text += random_.Pick(*list);
    }
    return text;
  }

  std::string Street() {
    std::string number = std::to_string(random_.Range(100, 9899));
    return number + " " + Words({&Streets(), &StreetKinds()});
  }

  int PhoneCount() { return Weighted({10, 50, 30, 10}); }

  int Phone(int source_table, int source_key, const std::string& type) {
    int id = ++phone_ids_;
    Day day = RandomDay(2002, 2007);
    std::string number = PhoneNumber();
    int seconds = random_.Range(0, 86399);
    phone_.Run(id, source_table, source_key, type, number, TimestampText(day, seconds));
    ++counts_.phones;
    return id;
  }

  void AccessEntries(int address_id, Day since) {
    for (int n = Weighted({30, 35, 25, 10}); n > 0; --n) {
      std::string type = random_.Pick(AccessTypes());
      std::string info;
      if (type == "Key Location")
        info = random_.Chance(50) ? "Office key cabinet, hook " + std::to_string(random_.Range(1, 40))
                                  : "With resident manager, unit " + std::to_string(random_.Range(1, 30));
      else if (type == "Lockbox")
        info = "Lockbox at front door, code " + std::to_string(random_.Range(1000, 9999));
      else
        info = std::string(random_.Chance(50) ? "#" : "*") + std::to_string(random_.Range(1000, 99999));
      int id = ++phone_ids_;
      Day day = since + random_.Range(0, 1500);
      int seconds = random_.Chance(40) ? 0 : random_.Range(8 * 3600, 18 * 3600);
      phone_.Run(id, 3, address_id, type, info, TimestampText(day, seconds));
      ++counts_.access_entries;
    }
  }

  int Person(int property_id, int type, const AreaInfo& place, const std::string& on_site) {
    int id = ++entity_ids_;
    std::string first = random_.Pick(FirstNames());
    std::string last = random_.Pick(LastNames());
    std::optional<std::string> addr1;
    std::optional<std::string> city;
    std::optional<std::string> state;
    std::optional<std::string> zip;
    if (!on_site.empty() && random_.Chance(60)) {
      addr1 = on_site;
      city = place.city;
      state = "WA";
      zip = Zip(place);
    } else if (random_.Chance(85)) {
      addr1 = Street();
      if (random_.Chance(90)) city = random_.Pick(Areas()).city;
      if (random_.Chance(85)) state = random_.Chance(85) ? "WA" : "OR";
      if (random_.Chance(80)) zip = Zip(place);
    }
    std::optional<std::string> email;
    if (random_.Chance(40)) email = Lower(first.substr(0, 1) + last) + "@example.net";
    std::optional<int> primary = EntityPhones(id);
    entity_.Run(id, property_id, type, first, last, addr1, Null{}, city, state, zip, email, primary);
    ++counts_.entities;
    return id;
  }

  int Company(int property_id, int type) {
    int id = ++entity_ids_;
    std::string name = Words({&CompanyWords(), &CompanyKinds()});
    std::string addr1 = Street();
    std::optional<std::string> addr2;
    if (random_.Chance(40)) addr2 = "Suite " + std::to_string(random_.Range(100, 950));
    const AreaInfo& office = random_.Pick(Areas());
    std::string zip = Zip(office);
    std::optional<int> primary = EntityPhones(id);
    entity_.Run(id, property_id, type, "", name, addr1, addr2, office.city, "WA", zip, Null{},
                primary);
    ++counts_.entities;
    return id;
  }

  // The entity's phones; the first one is its primary phone.
  std::optional<int> EntityPhones(int entity_id) {
    std::optional<int> primary;
    for (int n = PhoneCount(); n > 0; --n) {
      int phone = Phone(2, entity_id, random_.Pick(PhoneTypes()));
      if (!primary) primary = phone;
    }
    return primary;
  }

  static std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string result;
    for (char c : text)
      if (std::isalnum(static_cast<unsigned char>(c))) result += c;
    return result;
  }

  void Note(int property_id, Day since) {
    int id = ++note_ids_;
    Day day = since + random_.Range(0, 2200);
    int seconds = random_.Chance(30) ? 0 : random_.Range(7 * 3600, 19 * 3600);
    std::optional<std::string> text;
    if (!random_.Chance(5)) {
      text = random_.Pick(NoteSentences());
      for (int n = random_.Range(0, 3); n > 0; --n) text = *text + " " + random_.Pick(NoteSentences());
    }
    std::optional<std::string> title;
    if (!random_.Chance(3)) title = random_.Pick(NoteTitles());
    static const std::vector<std::string> authors{"jmarsh", "kdoyle", "aperez", "inspector"};
    std::optional<std::string> follow_up;
    if (random_.Chance(30)) follow_up = DateText(day + random_.Range(7, 60));
    std::string author = random_.Pick(authors);
    int done = random_.Chance(60) ? 1 : 0;
    note_.Run(id, 1, property_id, TimestampText(day, seconds), text, author, follow_up, done, title);
    ++counts_.notes;
  }

  void Authorization(int property_id, Day since) {
    int id = ++authorization_ids_;
    Day sent = since + random_.Range(0, 1800);
    std::optional<std::string> received;
    std::optional<std::string> expires;
    if (random_.Chance(85)) received = DateText(sent + random_.Range(3, 40));
    if (random_.Chance(75)) expires = DateText(sent + 365 * random_.Range(1, 3));
    std::string signer = Words({&FirstNames(), &LastNames()});
    std::string title = random_.Pick(AuthorizationTitles());
    std::string signer_title = random_.Pick(SignerTitles());
    authorization_.Run(id, property_id, title, DateText(sent), received, expires, signer,
                       signer_title);
    ++counts_.authorizations;
  }

  void Inspection(int property_id, Day since) {
    int id = ++inspection_ids_;
    Day start = since + random_.Range(0, 1800);
    auto later = [&](int chance, int days) -> std::optional<std::string> {
      if (!random_.Chance(chance)) return std::nullopt;
      return DateText(start + days + random_.Range(0, 20));
    };
    std::optional<int> inspector;
    if (!random_.Chance(10)) inspector = random_.Range(2, 5);
    std::optional<std::string> start_text;
    if (!random_.Chance(5)) start_text = DateText(start);
    std::optional<std::string> ck_back = later(70, 30);
    std::optional<std::string> meeting = later(50, 60);
    std::optional<std::string> finish = later(40, 90);
    std::optional<std::string> renewal = later(30, 365);
    std::optional<std::string> note;
    if (random_.Chance(50)) note = random_.Pick(NoteSentences());
    std::string title = random_.Pick(InspectionTitles());
    inspection_.Run(id, property_id, title, inspector, start_text, ck_back, meeting, finish, renewal,
                    note);
    ++counts_.inspections;
  }

  void Violation(int property_id, Day since) {
    int id = ++violation_ids_;
    Day day = since + random_.Range(30, 2000);
    auto maybe_date = [&](int chance, int from, int to) -> std::optional<std::string> {
      if (!random_.Chance(chance)) return std::nullopt;
      return DateText(day + random_.Range(from, to));
    };
    bool evictable = random_.Chance(35);
    std::optional<std::string> eviction_date;
    std::optional<std::string> eviction_why;
    if (evictable && random_.Chance(60)) {
      eviction_date = DateText(day + random_.Range(30, 120));
      eviction_why = random_.Pick(EvictionReasons());
    }
    std::optional<int> police;
    if (random_.Chance(70)) police = random_.Range(1, static_cast<int>(PoliceActions().size()));
    int case_serial = random_.Range(1, 999999);
    char case_number[20];
    std::snprintf(case_number, sizeof case_number, "%02d-%06d", DecodeDateTime(day).year % 100,
                  case_serial);
    std::optional<std::string> partner;
    if (random_.Chance(60)) partner = "RP-" + std::to_string(random_.Range(10000, 99999));
    Day lease_begin = day - random_.Range(60, 900);
    std::optional<std::string> date;
    if (random_.Chance(97)) date = DateText(day);
    std::string apartment = std::to_string(random_.Range(1, 40));
    if (random_.Chance(30)) apartment += "B";
    std::optional<int> evictable_value;
    if (!random_.Chance(8)) evictable_value = evictable ? 1 : 0;
    int type = random_.Range(1, static_cast<int>(ViolationTypes().size()));
    int planned = random_.Range(1, static_cast<int>(ViolationActions().size()));
    std::optional<std::string> contact_date = maybe_date(80, 1, 10);
    static const std::vector<std::string> contacts{"jmarsh", "kdoyle", "aperez"};
    std::string contact_by = random_.Pick(contacts);
    std::optional<std::string> letter = maybe_date(70, 5, 20);
    std::optional<std::string> plan_received = maybe_date(40, 20, 45);
    std::optional<std::string> plan_sent = maybe_date(35, 10, 30);
    violation_.Run(id, property_id, date, apartment, std::string(case_number), partner,
                   evictable_value, type, planned, police, eviction_date, eviction_why, contact_date,
                   contact_by, letter, plan_received, DateText(lease_begin),
                   DateText(lease_begin + 365), plan_sent);
    ++counts_.violations;
    for (int n = random_.Range(1, 3); n > 0; --n) {
      std::string first = random_.Pick(FirstNames());
      std::optional<std::string> middle;
      if (random_.Chance(40)) middle = std::string(1, static_cast<char>('A' + random_.Range(0, 25)));
      std::string last = random_.Pick(LastNames());
      char id1[16];
      std::snprintf(id1, sizeof id1, "WA%07d", random_.Range(0, 9999999));
      std::optional<std::string> id2;
      if (random_.Chance(30)) id2 = "SID" + std::to_string(random_.Range(10000, 99999));
      std::optional<std::string> born;
      if (random_.Chance(85)) {
        int year = random_.Range(1950, 1990);
        int month = random_.Range(1, 12);
        int day_of_month = random_.Range(1, 28);
        born = DateText(DayOf(year, month, day_of_month));
      }
      int status = random_.Range(1, static_cast<int>(ResidentStatuses().size()));
      std::optional<int> living_there;
      if (!random_.Chance(10)) living_there = random_.Chance(60) ? 1 : 0;
      violator_.Run(++violator_ids_, id, first, middle, last, status, living_there,
                    std::string(id1), id2, born);
      ++counts_.violators;
    }
  }

  Random random_;
  Transaction& transaction_;
  Insert agency_;
  Insert property_;
  Insert address_;
  Insert entity_;
  Insert phone_;
  Insert note_;
  Insert user_;
  Insert authorization_;
  Insert inspection_;
  Insert violation_;
  Insert violator_;
  int address_ids_ = 0;
  int entity_ids_ = 0;
  int phone_ids_ = 0;
  int note_ids_ = 0;
  int authorization_ids_ = 0;
  int inspection_ids_ = 0;
  int violation_ids_ = 0;
  int violator_ids_ = 0;
  DemoCounts counts_;
};

}  // namespace

DemoCounts LoadDemoData(DbConnection& connection, int properties, uint64_t seed,
                        const std::function<void(int)>& progress) {
  Transaction transaction(connection);
  Loader loader(transaction, seed);
  loader.Lookups();
  constexpr int kBatch = 2000;
  for (int id = 1; id <= properties; ++id) {
    loader.Property(id);
    if (id % kBatch == 0) {
      transaction.CommitAndRestart();
      if (progress) progress(id);
    }
  }
  transaction.Commit();
  if (progress) progress(properties);
  return loader.Counts();
}

void RecomputeIndexStatistics(DbConnection& connection) {
  Transaction transaction(connection);
  std::vector<std::string> names;
  {
    PreparedStatement indexes(connection,
                              "SELECT TRIM(RDB$INDEX_NAME) FROM RDB$INDICES\n"
                              "WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0");
    indexes.Prepare(transaction);
    indexes.Execute(transaction);
    for (RowCursor row(indexes, {connection.Handle(), transaction.Handle()}); !row.AtEnd();
         row.Next()) {
      names.emplace_back(row.Text(0));
    }
  }
  for (const std::string& name : names) {
    ExecuteImmediate(transaction, "SET STATISTICS INDEX \"" + name + "\"");
  }
  transaction.Commit();
}

}  // namespace qv::demo
