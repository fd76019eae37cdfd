// Cost floors of the benchmarked pages: the statements each page runs, straight
// through the session's queries, reading every value the page shows.
#pragma once

#include <cstdint>

#include "db/database_session.h"

namespace qv {

// The main menu's only statement, the banner's agency query.
void MainMenuFloor(DatabaseSession& m);

// The first property-list page: agency, areas, the first ten rows.
void PropertyListFloor(DatabaseSession& m);

// The People page: agency, heading, every entity's phones, people.
void PeopleFloor(DatabaseSession& m, int32_t property_id);

// The violation detail page: agency, violation, property name, violators.
void ViolationDetailFloor(DatabaseSession& m, int32_t violation_id);

}  // namespace qv
