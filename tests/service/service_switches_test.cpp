#include "service/service_switches.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

struct SwitchCase {
  std::vector<std::string_view> args;
  bool install;
  bool uninstall;
  bool silent;
};

class ServiceSwitchesTest : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(ServiceSwitchesTest, Parses) {
  const SwitchCase& c = GetParam();
  const ServiceSwitches s = ParseServiceSwitches(c.args);
  EXPECT_EQ(s.install, c.install);
  EXPECT_EQ(s.uninstall, c.uninstall);
  EXPECT_EQ(s.silent, c.silent);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ServiceSwitchesTest,
    ::testing::Values(SwitchCase{{}, false, false, false},
                      SwitchCase{{"-install"}, true, false, false},
                      SwitchCase{{"/INSTALL"}, true, false, false},
                      SwitchCase{{"/Install", "/silent"}, true, false, true},
                      SwitchCase{{"-uninstall"}, false, true, false},
                      SwitchCase{{"/UnInstall", "-SILENT"}, false, true, true},
                      // Install wins when both are given.
                      SwitchCase{{"-uninstall", "-install"}, true, false, false},
                      SwitchCase{{"-silent"}, false, false, true},
                      // Not switches: no prefix, a double prefix, a longer or shorter word.
                      SwitchCase{{"install"}, false, false, false},
                      SwitchCase{{"--install"}, false, false, false},
                      SwitchCase{{"-installx"}, false, false, false},
                      SwitchCase{{"-instal"}, false, false, false},
                      SwitchCase{{"-", "/"}, false, false, false},
                      SwitchCase{{"\\install"}, false, false, false}));

}  // namespace
}  // namespace qv
