// Test databases: one template per process, copied for every test.
#include "test_database.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "db/command.h"
#include "db/ib.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

uint64_t Fnv1a(std::string_view text) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

// Attaches to the database at `path` and runs a script on that attachment,
// which ends with the call.
void RunScript(const std::string& path, std::string_view script) {
  DbConnection connection;
  connection.SetDatabaseName(path);
  connection.SetUsername(TestDatabase::User());
  connection.Connect();
  ExecuteScript(connection, script);
  connection.Disconnect();
}

// Builds a database from the schema at `path`.
void BuildDatabase(const std::string& path, const std::string& schema) {
  CreateDatabase(path, TestDatabase::User(), "");
  RunScript(path, schema);
}

// The per-process folder, and the template database, which is built once
// per schema text and shared by test processes (made under a temporary
// name and renamed into place, so a reader never sees it half built).
class Template {
 public:
  Template() {
    fs::path temp = fs::temp_directory_path();
    std::string pattern = (temp / "qvtest-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    std::string schema = ReadFile(TestDatabase::SchemaPath());
    char name[64];
    std::snprintf(name, sizeof name, "qvtest-template-%u-%016llx.fdb",
                  static_cast<unsigned>(getuid()),
                  static_cast<unsigned long long>(Fnv1a(schema)));
    path_ = (temp / name).string();
    if (!fs::exists(path_)) {
      std::string building = (fs::path(folder_) / "template.fdb").string();
      BuildDatabase(building, schema);
      std::error_code ec;
      fs::rename(building, path_, ec);
      if (ec) {  // another folder than /tmp's file system: copy instead
        fs::copy_file(building, path_ + ".part", fs::copy_options::overwrite_existing);
        fs::rename(path_ + ".part", path_);
      }
    }
  }
  ~Template() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  const std::string& Folder() const { return folder_; }
  const std::string& Path() const { return path_; }

 private:
  std::string folder_;
  std::string path_;
};

Template& TheTemplate() {
  static Template instance;
  return instance;
}

std::atomic<int> counter{0};

}  // namespace

std::string TestDatabase::SchemaPath() {
  return std::string(QV_SOURCE_DIR) + "/db/schema.sql";
}

TestDatabase::TestDatabase() {
  Template& source = TheTemplate();
  path_ = (fs::path(source.Folder()) / ("test" + std::to_string(++counter) + ".fdb")).string();
  fs::copy_file(source.Path(), path_, fs::copy_options::overwrite_existing);
}

TestDatabase::~TestDatabase() {
  std::error_code ignored;
  fs::remove(path_, ignored);
}

void TestDatabase::Configure(DbConnection& connection) const {
  connection.SetDatabaseName(path_);
  connection.SetUsername(User());
}

void TestDatabase::Exec(std::string_view sql) {
  DbConnection connection;
  Configure(connection);
  connection.Connect();
  {
    Transaction transaction(connection);
    ExecuteImmediate(transaction, sql);
    transaction.Commit();
  }
  connection.Disconnect();
}

void TestDatabase::ExecScript(std::string_view script) { RunScript(path_, script); }

}  // namespace qv
