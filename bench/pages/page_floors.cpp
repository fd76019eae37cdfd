// The statements of each benchmarked page, run straight through the module,
// each prepared once per module with its values as parameters, as the pages do.
// The texts are the pages' own.
#include "page_floors.h"

#include <benchmark/benchmark.h>

#include <string>

#include "pages/page_statements.h"

namespace qv {
namespace {

// Reads a value as the page would, kept from being optimised away.
void ReadText(TIB_Column& column) {
  std::string text = column.AsString();
  benchmark::DoNotOptimize(text.data());
}

// Each page but the main menu runs inside one transaction of its own.
void StartBracket(TPageModule& m) {
  if (m.trMain.InTransaction()) m.trMain.Commit();
  m.trMain.StartTransaction();
}

// The banner's agency name, on every page.
void AgencyQuery(TPageModule& m) {
  TIB_Cursor& agency = m.Statement(kAgencyQuery);
  agency.Open();
  ReadText(agency.Fields()[0]);
  agency.Close();
}

}  // namespace

void MainMenuFloor(TPageModule& m) {
  AgencyQuery(m);
  m.trMain.Commit();
}

void PropertyListFloor(TPageModule& m) {
  StartBracket(m);
  AgencyQuery(m);
  m.qArea.Open();
  while (!m.qArea.Eof()) {
    ReadText(m.qArea.Fields()[1]);
    m.qArea.Next();
  }
  m.qArea.Close();

  TIB_Cursor& list = m.Statement(kListQueries[static_cast<int>(ListSearchMode::kNone)][0]);
  list.Params()[0].SetAsInteger(0);
  list.Open();
  while (!list.Eof()) {
    TIB_Row& row = list.Fields();
    for (size_t column : {0, 1, 2, 4}) ReadText(row[column]);
    list.Next();
  }
  list.Close();
  m.trMain.Commit();
}

void PeopleFloor(TPageModule& m, int32_t propertyId) {
  StartBracket(m);
  AgencyQuery(m);

  TIB_Cursor& heading = m.Statement(kHeadingQuery);
  heading.Params()[0].SetAsInteger(propertyId);
  heading.Open();
  ReadText(heading.Fields()[0]);
  benchmark::DoNotOptimize(heading.Fields()[1].AsInteger());
  heading.Close();

  TIB_Cursor& people = m.Statement(kPeopleQuery);
  people.Params()[0].SetAsInteger(propertyId);
  people.Open();
  while (!people.Eof()) {
    ReadText(people.Fields()[0]);
    ReadText(people.Fields()[1]);
    TIB_Cursor& phones = m.Statement(kEntityPhonesQuery);
    phones.Params()[0].SetAsInteger(people.Fields()[3].AsInteger());
    phones.Open();
    while (!phones.Eof()) {
      ReadText(phones.Fields()[0]);
      phones.Next();
    }
    phones.Close();
    people.Next();
  }
  m.trMain.Commit();
}

void ViolationDetailFloor(TPageModule& m, int32_t violationId) {
  StartBracket(m);
  AgencyQuery(m);

  TIB_Cursor& violation = m.Statement(kViolationQuery);
  violation.Params()[0].SetAsInteger(violationId);
  violation.Open();

  TIB_Cursor& name = m.Statement(kPropertyNameQuery);
  name.Params()[0].SetAsInteger(violation.Fields()[8].AsInteger());
  name.Open();
  ReadText(name.Fields()[0]);
  name.Close();

  benchmark::DoNotOptimize(violation.RecordCount());
  while (!violation.Eof()) {
    for (size_t c = 0; c < 19; ++c) ReadText(violation.Fields()[c]);
    violation.Next();
  }
  violation.Close();

  TIB_Cursor& violators = m.Statement(kViolatorsQuery);
  violators.Params()[0].SetAsInteger(violationId);
  violators.Open();
  benchmark::DoNotOptimize(violators.RecordCount());
  while (!violators.Eof()) {
    for (size_t c = 0; c < 8; ++c) ReadText(violators.Fields()[c]);
    violators.Next();
  }
  violators.Close();
  m.trMain.Commit();
}

}  // namespace qv
