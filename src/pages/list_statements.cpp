// The texts of the property list's keyset statements and its look-ups by id,
// made once.
#include <array>
#include <string>

#include "pages/page_statements.h"

namespace qv {

namespace {

// The property's record number as a whole number (see QV_RECORD_ORDER).
constexpr const char* kRecordNumber =
    "(ASCII_VAL(SUBSTRING(P.RDB$DB_KEY FROM 3 FOR 1)) * 4294967296"
    " + ASCII_VAL(SUBSTRING(P.RDB$DB_KEY FROM 8 FOR 1)) * 16777216"
    " + ASCII_VAL(SUBSTRING(P.RDB$DB_KEY FROM 7 FOR 1)) * 65536"
    " + ASCII_VAL(SUBSTRING(P.RDB$DB_KEY FROM 6 FOR 1)) * 256"
    " + ASCII_VAL(SUBSTRING(P.RDB$DB_KEY FROM 5 FOR 1)))";

// The conditions, each on a line of its own, the first after WHERE.
class Conditions {
 public:
  void Add(const std::string& condition) {
    text_ += (text_.empty() ? "WHERE " : "AND ") + condition + "\n";
  }
  // The rows after a bookmarked row, when the statement starts after one.
  void AddStart(ListStart start) {
    const std::string record = kRecordNumber;
    if (start == ListStart::kAfterName) {
      Add("P.PROPERTY_NAME >= :NAME");
      Add("(P.PROPERTY_NAME > :NAME OR " + record + " > :RECORD)");
    } else if (start == ListStart::kAfterNullName) {
      Add("(P.PROPERTY_NAME IS NOT NULL OR " + record + " > :RECORD)");
    }
  }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

std::string KeysetText(ListSearchMode mode, ListStart start) {
  const std::string record = kRecordNumber;
  std::string text =
      start == ListStart::kOffset ? "SELECT FIRST :ROWS SKIP :SKIPPED " : "SELECT FIRST 10 ";
  text +=
      "P.PROPERTY_ID, P.PROPERTY_NAME, A.PROP_ADDRESS1, A.PROP_ADDRESS2, A.PROP_CITY, "
      "A.PROP_STATE,\nA.PROP_ZIPCODE, P.NUM_UNITS,\nP.PROPERTY_NAME || '.', " +
      record + "\n";
  if (mode == ListSearchMode::kAddress) {
    // The address side of the join is an expression, so the server cannot
    // start from the properties and look their addresses up.
    text +=
        "FROM PROP_ADDRESS A\n"
        "JOIN PROPERTY P ON (P.PRIMARY_PROP_ADDRESS_ID = A.PROP_ADDRESS_ID + 0)\n";
  } else {
    text +=
        "FROM PROPERTY P\n"
        "JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID)\n";
  }
  Conditions conditions;
  if (mode == ListSearchMode::kAddress) conditions.Add("A.PROP_ADDRESS1 CONTAINING :SEARCHVALUE");
  if (mode == ListSearchMode::kName) {
    conditions.Add("UPPER(P.PROPERTY_NAME) STARTING :SEARCHVALUE");
    // Lets the server start its walk of the name index at the first name
    // that can match instead of at the first name of all.
    conditions.Add("P.PROPERTY_NAME >= :LOWEST");
  }
  conditions.AddStart(start);
  text += conditions.Text();
  text += mode == ListSearchMode::kAddress ? "ORDER BY P.PROPERTY_NAME, " + record
                                           : std::string("ORDER BY P.PROPERTY_NAME");
  return text;
}

// The address search within a window of the list: the first :WINDOW
// properties in name order (from the start, or after a row), then those of
// them whose address matches, in the list's order.
std::string AddressWindowText(ListStart start) {
  const std::string record = kRecordNumber;
  std::string inner =
      "SELECT FIRST :WINDOW P.PROPERTY_ID, P.PROPERTY_NAME, P.NUM_UNITS, "
      "P.PRIMARY_PROP_ADDRESS_ID,\n" + record + " AS RECORD_NUMBER\nFROM PROPERTY P\n";
  Conditions conditions;
  conditions.AddStart(start);
  inner += conditions.Text() + "ORDER BY P.PROPERTY_NAME";
  return "SELECT FIRST 10 D.PROPERTY_ID, D.PROPERTY_NAME, A.PROP_ADDRESS1, A.PROP_ADDRESS2, "
         "A.PROP_CITY, A.PROP_STATE,\nA.PROP_ZIPCODE, D.NUM_UNITS,\nD.PROPERTY_NAME || '.', "
         "D.RECORD_NUMBER\nFROM (" + inner + ") D\n"
         "JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = D.PRIMARY_PROP_ADDRESS_ID)\n"
         "WHERE A.PROP_ADDRESS1 CONTAINING :SEARCHVALUE\n"
         "ORDER BY D.PROPERTY_NAME, D.RECORD_NUMBER";
}

// The rows of the list's statement among some properties (by id). The area
// is a condition on the property, so the server starts from the ids.
std::string RowsText(ListSearchMode mode, bool area_filter) {
  std::string text =
      "SELECT P.PROPERTY_ID, P.PROPERTY_NAME, A.PROP_ADDRESS1, A.PROP_ADDRESS2, A.PROP_CITY, "
      "A.PROP_STATE,\nA.PROP_ZIPCODE, P.NUM_UNITS\n"
      "FROM PROPERTY P\n"
      "JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = P.PRIMARY_PROP_ADDRESS_ID)\n";
  std::string ids;
  for (int i = 1; i <= kListRowsIds; ++i) ids += (i > 1 ? ", :ID" : ":ID") + std::to_string(i);
  Conditions conditions;
  conditions.Add("P.PROPERTY_ID IN (" + ids + ")");
  if (mode == ListSearchMode::kAddress) conditions.Add("A.PROP_ADDRESS1 CONTAINING :SEARCHVALUE");
  if (mode == ListSearchMode::kName) conditions.Add("UPPER(P.PROPERTY_NAME) STARTING :SEARCHVALUE");
  if (area_filter) {
    conditions.Add("P.AREA_ID IN (SELECT AR.AREA_ID FROM AREA AR WHERE AR.AREA_NAME = :AREANAME)");
  }
  return text + conditions.Text();
}

constexpr int kStarts = 3;

// The texts of every mode, area filter and start, made once.
struct ListTexts {
  std::array<std::array<std::string, kStarts>, 3> keyset;  // [mode][start]
  std::array<std::string, kStarts> window;                  // [start]
  std::array<std::array<std::string, 2>, 3> rows;           // [mode][area filter]
  ListTexts() {
    for (int mode = 0; mode < 3; ++mode) {
      for (int start = 0; start < kStarts; ++start) {
        keyset[mode][start] =
            KeysetText(static_cast<ListSearchMode>(mode), static_cast<ListStart>(start));
      }
      for (int area = 0; area < 2; ++area) {
        rows[mode][area] = RowsText(static_cast<ListSearchMode>(mode), area == 1);
      }
    }
    for (int start = 0; start < kStarts; ++start) {
      window[start] = AddressWindowText(static_cast<ListStart>(start));
    }
  }
};

const ListTexts& Texts() {
  static const ListTexts texts;
  return texts;
}

}  // namespace

QueryText<KeysetColumn> KeysetListQuery(ListSearchMode mode, ListStart start) {
  return {Texts().keyset[static_cast<int>(mode)][static_cast<int>(start)]};
}

QueryText<KeysetColumn> AddressWindowQuery(ListStart start) {
  return {Texts().window[static_cast<int>(start)]};
}

QueryText<ListColumn> ListRowsQuery(ListSearchMode mode, bool area_filter) {
  return {Texts().rows[static_cast<int>(mode)][area_filter ? 1 : 0]};
}

}  // namespace qv
