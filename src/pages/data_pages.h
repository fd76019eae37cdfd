// The data pages: each reads its data once (Read...Page) and is written from
// it as HTML (WriteHtml, exactly the page's bytes) or as JSON (page_json.h).
#pragma once

#include "pages/page_context.h"
#include "pages/page_data.h"
#include "pages/page_json.h"
#include "pages/page_table.h"
#include "pages/string_stream.h"

namespace qv {

MainMenuData ReadMainMenuPage(PageContext& page);
PropertyListData ReadPropertyListPage(PageContext& page);
PropertyInfoData ReadPropertyInfoPage(PageContext& page);
PeopleData ReadPeoplePage(PageContext& page);
AccessData ReadAccessPage(PageContext& page);
NotesData ReadNotesPage(PageContext& page);
CptedData ReadCptedPage(PageContext& page);
AuthorizationsData ReadAuthorizationsPage(PageContext& page);
ViolationsData ReadViolationsPage(PageContext& page);
ViolationDetailData ReadViolationDetailPage(PageContext& page);

// `entry` is the page's row of the page table (the current tab).
void WriteHtml(PageStream& out, const PageEntry& entry, const MainMenuData& data);
void WriteHtml(PageStream& out, const PageEntry& entry, const PropertyListData& data);
void WriteHtml(PageStream& out, const PageEntry& entry, const PropertyInfoData& data);
void WriteHtml(PageStream& out, const PageEntry& entry, const PeopleData& data);
void WriteHtml(PageStream& out, const PageEntry& entry, const AccessData& data);
void WriteHtml(PageStream& out, const PageEntry& entry, const NotesData& data);
void WriteHtml(PageStream& out, const PageEntry& entry, const CptedData& data);
void WriteHtml(PageStream& out, const PageEntry& entry, const AuthorizationsData& data);
void WriteHtml(PageStream& out, const PageEntry& entry, const ViolationsData& data);
void WriteHtml(PageStream& out, const PageEntry& entry, const ViolationDetailData& data);

// Writes the page's data into the context's stream in the context's format.
template <typename Data>
void RenderPage(PageContext& page, const Data& data) {
  if (page.format == PageFormat::kJson) {
    WriteJsonAnswer(page, data);
  } else {
    WriteHtml(page.out, page.entry, data);
  }
}

}  // namespace qv
