// Test fixture for the property tab pages: runs a page for one id parameter,
// and runs it for every form of the id on one session.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "page_fixture.h"
#include "tab_page_text.h"

namespace qv::pagetest {

class TabPageTest : public PageTest {
 protected:
  // The page's bytes for a logged-on visitor who sends name=value (value
  // nullptr: no such parameter).
  std::string RunWith(std::string_view page, const char* name, const char* value) {
    SimplePageRequest request = RequestWith(name, value);
    return Run(page, request);
  }

  // Each form of kIdCases in turn on this one session: the forms that read as
  // 42 give of42, the others of_none.
  void ExpectIdForms(std::string_view page, const char* name, const std::string& of42,
                     const std::string& of_none) {
    for (const IdCase& c : kIdCases) {
      SCOPED_TRACE(c.text ? c.text : "(missing)");
      EXPECT_EQ(RunWith(page, name, c.text), c.id == 42 ? of42 : of_none);
    }
  }
};

}  // namespace qv::pagetest
