// What root's -t says the service's account cannot use, judged for the
// account "nobody" against files of root's own.
#include "service/account_access.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/profile.h"
#include "support/test_files.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

TEST(AccountAccessTest, NamesWhatTheAccountCannotReadWhereRootCan) {
  const passwd* nobody = getpwnam("nobody");
  if (geteuid() != 0 || nobody == nullptr) GTEST_SKIP() << "needs root and the account nobody";
  const std::string folder = test::MakeTempFolder("qv_account_access");
  ASSERT_FALSE(folder.empty());
  fs::permissions(folder, fs::perms(0755));
  fs::create_directories(folder + "/private");
  fs::permissions(folder + "/private", fs::perms(0700));
  fs::create_directories(folder + "/public");
  std::ofstream(folder + "/private/qv_logo_jpg.jpg") << "logo";
  std::ofstream(folder + "/public/qv_logo_jpg.jpg") << "logo";
  std::ofstream(folder + "/qv.fdb") << "database";
  fs::permissions(folder + "/qv.fdb", fs::perms(0644));
  const ServiceAccount account{"nobody", nobody->pw_uid, nobody->pw_gid};
  auto problems = [&](const std::string& text, fs::perms mode) {
    const std::string path = folder + "/qvweb.ini";
    std::ofstream(path, std::ios::trunc) << text;
    fs::permissions(path, mode);
    return AccountAccessProblems(IniFile(path), account);
  };
  const std::string ini = folder + "/qvweb.ini: ";
  EXPECT_EQ(problems("[APP]\nHtDocs=" + folder + "/private\n[DB]\nDBName=" + folder + "/qv.fdb\n",
                     fs::perms(0600)),
            (std::vector<std::string>{
                ini + "the account nobody cannot read the settings file",
                ini + "[APP] HtDocs: the account nobody cannot read the logo " + folder +
                    "/private/qv_logo_jpg.jpg",
                ini + "[DB] DBName: the account nobody cannot read and write the database " + folder +
                    "/qv.fdb"}));
  fs::permissions(folder + "/qv.fdb", fs::perms(0666));
  EXPECT_EQ(problems("[APP]\nHtDocs=" + folder + "/public\n[DB]\nDBName=" + folder + "/qv.fdb\n",
                     fs::perms(0644)),
            std::vector<std::string>{});
  fs::remove_all(folder);
}

}  // namespace
}  // namespace qv
