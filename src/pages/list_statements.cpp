// The texts of the property list's statements, made once.
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

std::string ListText(ListSearchMode mode, bool area_filter, ListStart start) {
  const std::string record = kRecordNumber;
  const bool at_offset = start == ListStart::kOffset || start == ListStart::kOffsetInArea;
  const bool in_area = area_filter && start == ListStart::kOffsetInArea;
  const bool sorted = mode == ListSearchMode::kAddress || in_area;
  std::string text = at_offset ? "SELECT FIRST :ROWS SKIP :SKIPPED " : "SELECT FIRST 10 ";
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
  if (in_area) text += "JOIN AREA AR ON (AR.AREA_ID = P.AREA_ID)\n";
  std::string conditions;
  auto add = [&](const std::string& condition) {
    conditions += (conditions.empty() ? "WHERE " : "AND ") + condition + "\n";
  };
  if (mode == ListSearchMode::kAddress) add("A.PROP_ADDRESS1 CONTAINING :SEARCHVALUE");
  if (mode == ListSearchMode::kName) {
    add("UPPER(P.PROPERTY_NAME) STARTING :SEARCHVALUE");
    // Lets the server start its walk of the name index at the first name
    // that can match instead of at the first name of all.
    add("P.PROPERTY_NAME >= :LOWEST");
  }
  // A property's area is one row of AREA (its key), so this keeps the rows
  // the join with AREA kept, and the server still walks the name index.
  if (in_area) {
    add("AR.AREA_NAME = :AREANAME");
  } else if (area_filter) {
    add("P.AREA_ID IN (SELECT AR.AREA_ID FROM AREA AR WHERE AR.AREA_NAME = :AREANAME)");
  }
  if (start == ListStart::kAfterName) {
    add("P.PROPERTY_NAME >= :NAME");
    add("(P.PROPERTY_NAME > :NAME OR " + record + " > :RECORD)");
  } else if (start == ListStart::kAfterNullName) {
    add("(P.PROPERTY_NAME IS NOT NULL OR " + record + " > :RECORD)");
  }
  text += conditions;
  text += sorted ? "ORDER BY P.PROPERTY_NAME, " + record : std::string("ORDER BY P.PROPERTY_NAME");
  return text;
}

// The address search within a window of the list: the first :WINDOW
// properties in name order (from the start, or after a row), then those of
// them whose address matches, in the list's order.
std::string AddressWindowText(bool area_filter, ListStart start) {
  const std::string record = kRecordNumber;
  std::string inner =
      "SELECT FIRST :WINDOW P.PROPERTY_ID, P.PROPERTY_NAME, P.NUM_UNITS, "
      "P.PRIMARY_PROP_ADDRESS_ID,\n" + record + " AS RECORD_NUMBER\nFROM PROPERTY P\n";
  std::string conditions;
  auto add = [&](const std::string& condition) {
    conditions += (conditions.empty() ? "WHERE " : "AND ") + condition + "\n";
  };
  if (area_filter) {
    add("P.AREA_ID IN (SELECT AR.AREA_ID FROM AREA AR WHERE AR.AREA_NAME = :AREANAME)");
  }
  if (start == ListStart::kAfterName) {
    add("P.PROPERTY_NAME >= :NAME");
    add("(P.PROPERTY_NAME > :NAME OR " + record + " > :RECORD)");
  } else if (start == ListStart::kAfterNullName) {
    add("(P.PROPERTY_NAME IS NOT NULL OR " + record + " > :RECORD)");
  }
  inner += conditions + "ORDER BY P.PROPERTY_NAME";
  return "SELECT FIRST 10 D.PROPERTY_ID, D.PROPERTY_NAME, A.PROP_ADDRESS1, A.PROP_ADDRESS2, "
         "A.PROP_CITY, A.PROP_STATE,\nA.PROP_ZIPCODE, D.NUM_UNITS,\nD.PROPERTY_NAME || '.', "
         "D.RECORD_NUMBER\nFROM (" + inner + ") D\n"
         "JOIN PROP_ADDRESS A ON (A.PROP_ADDRESS_ID = D.PRIMARY_PROP_ADDRESS_ID)\n"
         "WHERE A.PROP_ADDRESS1 CONTAINING :SEARCHVALUE\n"
         "ORDER BY D.PROPERTY_NAME, D.RECORD_NUMBER";
}

// The texts of every mode, area filter and start, made once.
struct ListTexts {
  std::array<std::array<std::array<std::string, 4>, 2>, 3> list;  // [mode][area][start]
  std::array<std::array<std::string, 3>, 2> window;                // [area][start]
  ListTexts() {
    for (int area = 0; area < 2; ++area) {
      for (int start = 0; start < 3; ++start) {
        window[area][start] = AddressWindowText(area == 1, static_cast<ListStart>(start));
      }
      for (int mode = 0; mode < 3; ++mode) {
        for (int start = 0; start < 4; ++start) {
          list[mode][area][start] = ListText(static_cast<ListSearchMode>(mode), area == 1,
                                             static_cast<ListStart>(start));
        }
      }
    }
  }
};

const ListTexts& Texts() {
  static const ListTexts texts;
  return texts;
}

}  // namespace

QueryText<ListColumn> ListQuery(ListSearchMode mode, bool area_filter, ListStart start) {
  return {Texts().list[static_cast<int>(mode)][area_filter ? 1 : 0][static_cast<int>(start)]};
}

QueryText<ListColumn> AddressWindowQuery(bool area_filter, ListStart start) {
  return {Texts().window[area_filter ? 1 : 0][static_cast<int>(start)]};
}

}  // namespace qv
