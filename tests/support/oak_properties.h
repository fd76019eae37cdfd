// Many plain properties for the tests of the list's CSV export: "Oak 0001"
// to "Oak nnnn", each with one address "n Main St" (and SUFFIX) in Norvale,
// in area 1 (odd ids) or 2 (even ids), with id % 7 units. The areas
// themselves are the caller's.
#pragma once

#include <cstdio>
#include <string>

namespace qv::test {

inline std::string OakPropertyRows(int count, const std::string& suffix = "") {
  std::string sql;
  for (int i = 1; i <= count; ++i) {
    char row[400];
    std::snprintf(row, sizeof row,
                  "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, PRIMARY_PROP_ADDRESS_ID, "
                  "AREA_ID, NUM_UNITS) VALUES (%d, 'Oak %04d', %d, %d, %d);"
                  "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID, PROP_ADDRESS1, "
                  "PROP_CITY, PROP_STATE) VALUES (%d, %d, '%d Main St%s', 'Norvale', 'WA');",
                  i, i, i, 2 - i % 2, i % 7, i, i, i, suffix.c_str());
    sql += row;
  }
  return sql;
}

}  // namespace qv::test
