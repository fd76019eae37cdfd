// Cost floors of the benchmarked pages: the statements each page runs, straight
// through the session's cursors and transaction, reading every value the page shows.
#pragma once

#include <cstdint>

#include "db/database_session.h"

namespace qv {

// The main menu's only statement, the banner's agency query, outside any
// bracket like the page, and the commit that ends the transaction it started.
void MainMenuFloor(DatabaseSession& m);

// The first property-list page: bracket, agency, areas, the first ten rows.
void PropertyListFloor(DatabaseSession& m);

// The People page: bracket, agency, heading, people, one phone query per entity.
void PeopleFloor(DatabaseSession& m, int32_t property_id);

// The violation detail page: bracket, agency, violation, property name,
// violators.
void ViolationDetailFloor(DatabaseSession& m, int32_t violation_id);

}  // namespace qv
