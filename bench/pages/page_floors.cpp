// The statements of each benchmarked page, run straight through the session,
// each prepared once per session with its values as parameters, as the pages do.
// The texts are the pages' own.
#include "page_floors.h"

#include <benchmark/benchmark.h>

#include <string_view>

#include "pages/page_statements.h"

namespace qv {
namespace {

// Reads a value as the page would, kept from being optimised away.
template <typename Cursor, typename Column>
void ReadText(const Cursor& cursor, Column column) {
  const std::string_view text = cursor.Text(column);
  benchmark::DoNotOptimize(text.data());
}

// The banner's agency name, on every page; its query starts the session's
// transaction when none is open, and the transaction is kept from page to page.
void AgencyQuery(DatabaseSession& m) {
  const auto agency = m.Query(kAgencyQuery);
  ReadText(agency, AgencyColumn::kAgencyName);
}

}  // namespace

void MainMenuFloor(DatabaseSession& m) {
  AgencyQuery(m);
}

void PropertyListFloor(DatabaseSession& m) {
  AgencyQuery(m);
  for (auto areas = m.Query(kAreaQuery); !areas.AtEnd(); areas.Next()) {
    ReadText(areas, AreaColumn::kAreaName);
  }
  using enum KeysetColumn;
  for (auto list = m.Query(KeysetListQuery(ListSearchMode::kNone, ListStart::kOffset), 10, 0);
       !list.AtEnd(); list.Next()) {
    for (KeysetColumn column : {kPropertyId, kPropertyName, kAddress1, kCity}) {
      ReadText(list, column);
    }
  }
}

void PeopleFloor(DatabaseSession& m, int32_t property_id) {
  AgencyQuery(m);
  {
    const auto heading = m.Query(kHeadingQuery, property_id);
    ReadText(heading, HeadingColumn::kPropertyName);
    benchmark::DoNotOptimize(heading.Integer(HeadingColumn::kPropertyId));
  }
  for (auto phones = m.Query(kPeoplePhonesQuery, property_id); !phones.AtEnd(); phones.Next()) {
    ReadText(phones, PeoplePhoneColumn::kEntityId);
    ReadText(phones, PeoplePhoneColumn::kPhone);
  }
  for (auto people = m.Query(kPeopleQuery, property_id); !people.AtEnd(); people.Next()) {
    ReadText(people, PeopleColumn::kName);
    ReadText(people, PeopleColumn::kType);
    benchmark::DoNotOptimize(people.Integer(PeopleColumn::kEntityId));
  }
}

void ViolationDetailFloor(DatabaseSession& m, int32_t violation_id) {
  AgencyQuery(m);
  {
    auto violation = m.Query(kViolationQuery, violation_id);
    {
      const auto name =
          m.Query(kPropertyNameQuery, violation.Integer(ViolationColumn::kPropertyId));
      ReadText(name, PropertyNameColumn::kPropertyName);
    }
    for (; !violation.AtEnd(); violation.Next()) {
      for (size_t c = 0; c < kColumnCount<ViolationColumn>; ++c)
        ReadText(violation, static_cast<ViolationColumn>(c));
    }
  }
  for (auto violators = m.Query(kViolatorsQuery, violation_id); !violators.AtEnd();
       violators.Next()) {
    for (size_t c = 0; c < kColumnCount<ViolatorColumn>; ++c)
      ReadText(violators, static_cast<ViolatorColumn>(c));
  }
}

}  // namespace qv
