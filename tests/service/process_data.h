// The rows the server-process tests start from: the agency, the demo log-on
// (demo/demo) and property 1, Alder Court, in area North.
#pragma once

namespace qv::test {

inline constexpr const char* kOnePropertyData =
    "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Harbor Housing Agency');"
    "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (1, 'North');"
    "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD, FULL_NAME)"
    " VALUES (1, 'demo', 'demo', 'Demo User');"
    "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID, PROP_ADDRESS1, PROP_CITY)"
    " VALUES (1, 1, '100 Alder St', 'Harbor City');"
    "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, PRIMARY_PROP_ADDRESS_ID, AREA_ID)"
    " VALUES (1, 'Alder Court', 1, 1)";

}  // namespace qv::test
