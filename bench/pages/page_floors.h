// Cost floors of the benchmarked pages: the statements each page runs, straight
// through the module's cursors and transaction, reading every value the page shows.
#pragma once

#include <cstdint>

#include "pages/page_module.h"

namespace qv {

// The main menu's only statement, the banner's agency query, outside any
// bracket like the page, and the commit that ends the transaction it started.
void MainMenuFloor(TPageModule& m);

// The first property-list page: bracket, agency, areas, the first ten rows.
void PropertyListFloor(TPageModule& m);

// The People page: bracket, agency, heading, people, one phone query per entity.
void PeopleFloor(TPageModule& m, int32_t propertyId);

// The violation detail page: bracket, agency, violation, property name,
// violators.
void ViolationDetailFloor(TPageModule& m, int32_t violationId);

}  // namespace qv
