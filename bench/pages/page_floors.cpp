// The statements of each benchmarked page, run straight through the session,
// each prepared once per session with its values as parameters, as the pages do.
// The texts are the pages' own.
#include "page_floors.h"

#include <benchmark/benchmark.h>

#include <string>

#include "pages/page_statements.h"

namespace qv {
namespace {

// Reads a value as the page would, kept from being optimised away.
void ReadText(Column& column) {
  std::string text = column.AsString();
  benchmark::DoNotOptimize(text.data());
}

// Pages run in the session's read-committed transaction, kept from page to
// page; the main menu's query starts it when none is open.
void StartBracket(DatabaseSession& m) {
  if (!m.Transaction().Started()) m.Transaction().StartTransaction();
}

// The banner's agency name, on every page.
void AgencyQuery(DatabaseSession& m) {
  Cursor& agency = m.Statement(kAgencyQuery);
  agency.Open();
  ReadText(agency.Fields()[0]);
  agency.Close();
}

// Opens the page's statement `sql` with its one parameter set to id.
Cursor& OpenWith(DatabaseSession& m, const StatementText& sql, int32_t id) {
  Cursor& cursor = m.Statement(sql);
  cursor.Params()[0].SetAsInteger(id);
  cursor.Open();
  return cursor;
}

// Reads the first `columns` values of every row left, then closes the cursor.
void ReadRowsAndClose(Cursor& cursor, size_t columns) {
  while (!cursor.Eof()) {
    for (size_t c = 0; c < columns; ++c) ReadText(cursor.Fields()[c]);
    cursor.Next();
  }
  cursor.Close();
}

}  // namespace

void MainMenuFloor(DatabaseSession& m) {
  AgencyQuery(m);
}

void PropertyListFloor(DatabaseSession& m) {
  StartBracket(m);
  AgencyQuery(m);
  Cursor& areas = m.Statement(kAreaQuery);
  areas.Open();
  while (!areas.Eof()) {
    ReadText(areas.Fields()[1]);
    areas.Next();
  }
  areas.Close();

  Cursor& list = m.Statement(ListQuery(ListSearchMode::kNone, false, ListStart::kOffset));
  list.Params()[0].SetAsInteger(10);
  list.Params()[1].SetAsInteger(0);
  list.Open();
  while (!list.Eof()) {
    Row& row = list.Fields();
    for (size_t column : {0, 1, 2, 4}) ReadText(row[column]);
    list.Next();
  }
  list.Close();
}

void PeopleFloor(DatabaseSession& m, int32_t property_id) {
  StartBracket(m);
  AgencyQuery(m);

  Cursor& heading = OpenWith(m, kHeadingQuery, property_id);
  ReadText(heading.Fields()[0]);
  benchmark::DoNotOptimize(heading.Fields()[1].AsInteger());
  heading.Close();

  ReadRowsAndClose(OpenWith(m, kPeoplePhonesQuery, property_id), 2);
  Cursor& people = OpenWith(m, kPeopleQuery, property_id);
  while (!people.Eof()) {
    ReadText(people.Fields()[0]);
    ReadText(people.Fields()[1]);
    benchmark::DoNotOptimize(people.Fields()[3].AsInteger());
    people.Next();
  }
}

void ViolationDetailFloor(DatabaseSession& m, int32_t violation_id) {
  StartBracket(m);
  AgencyQuery(m);

  Cursor& violation = OpenWith(m, kViolationQuery, violation_id);

  Cursor& name = OpenWith(m, kPropertyNameQuery, violation.Fields()[8].AsInteger());
  ReadText(name.Fields()[0]);
  name.Close();

  ReadRowsAndClose(violation, 19);

  Cursor& violators = OpenWith(m, kViolatorsQuery, violation_id);
  ReadRowsAndClose(violators, 8);
}

}  // namespace qv
