// qvdemo: creates a Quorvale database from the schema and fills it with
// deterministic demo data.
//
//   qvdemo --db /path/demo.fdb [--properties 500] [--seed 1] [--schema db/schema.sql]
//          [--force] [--user SYSDBA] [--password TEXT] [--quiet]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "db/command.h"
#include "db/ib.h"
#include "demo/schema_text.h"
#include "demo_loader.h"

namespace {

struct Options {
  std::string database;
  int properties = 500;
  uint64_t seed = 1;
  std::string schema_file;  // empty: the schema built into the tool
  bool force = false;
  bool quiet = false;
  std::string user = "SYSDBA";
  std::string password;
};

void Usage(std::ostream& out) {
  out << "usage: qvdemo --db PATH [--properties N] [--seed N] [--schema FILE] [--force]\n"
         "              [--user NAME] [--password TEXT] [--quiet]\n"
         "Creates the database PATH (a local file, or host:path on a Firebird server)\n"
         "from the schema and loads demo data: N properties (default 500) and everything\n"
         "around them, the same for the same seed. The demo log-on is user \""
      << qv::demo::kDemoUser << "\", password \"" << qv::demo::kDemoPassword
      << "\".\nAn existing file is kept unless --force is given.\n";
}

bool ParseNumber(const std::string& text, long long low, long long high, long long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0' && errno == 0 && value >= low && value <= high;
}

bool ParseArguments(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string text;
    long long number = 0;
    if (arg == "--db") {
      if (!value(options.database)) return false;
    } else if (arg == "--properties") {
      if (!value(text) || !ParseNumber(text, 1, 10000000, number)) return false;
      options.properties = static_cast<int>(number);
    } else if (arg == "--seed") {
      if (!value(text) || !ParseNumber(text, 0, 1LL << 62, number)) return false;
      options.seed = static_cast<uint64_t>(number);
    } else if (arg == "--schema") {
      if (!value(options.schema_file)) return false;
    } else if (arg == "--user") {
      if (!value(options.user)) return false;
    } else if (arg == "--password") {
      if (!value(options.password)) return false;
    } else if (arg == "--force") {
      options.force = true;
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else {
      return false;
    }
  }
  return !options.database.empty();
}

std::string SchemaText(const Options& options) {
  if (options.schema_file.empty()) return qv::demo::kSchemaText;
  std::ifstream in(options.schema_file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read the schema file " + options.schema_file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
      Usage(std::cout);
      return 0;
    }
  }
  if (!ParseArguments(argc, argv, options)) {
    Usage(std::cerr);
    return 2;
  }
  try {
    std::string schema = SchemaText(options);
    qv::DbConnection connection;
    connection.SetDatabaseName(options.database);
    bool local = connection.Protocol() == qv::DbProtocol::kLocal;
    if (local && std::filesystem::exists(options.database)) {
      if (!options.force) {
        std::cerr << "qvdemo: " << options.database
                  << " exists; give --force to replace it\n";
        return 1;
      }
      std::filesystem::remove(options.database);
    }
    auto started = std::chrono::steady_clock::now();
    qv::CreateDatabase(options.database, options.user, options.password);
    // Asynchronous page writes while loading; synchronous again at the end.
    qv::SetForcedWrites(options.database, options.user, options.password, false);
    connection.SetUsername(options.user);
    connection.SetPassword(options.password);
    connection.Connect();
    qv::ExecuteScript(connection, schema);
    auto progress = [&](int done) {
      if (!options.quiet && done < options.properties)
        std::fprintf(stderr, "\r%d of %d properties", done, options.properties);
    };
    qv::demo::DemoCounts counts =
        qv::demo::LoadDemoData(connection, options.properties, options.seed, progress);
    qv::demo::RecomputeIndexStatistics(connection);
    connection.Disconnect();
    qv::SetForcedWrites(options.database, options.user, options.password, true);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!options.quiet) {
      std::fprintf(stderr, "\r");
      std::printf(
          "%s: %lld properties, %lld addresses, %lld people and companies, %lld phones,\n"
          "%lld access entries, %lld notes, %lld authorizations, %lld CPTED inspections,\n"
          "%lld violations, %lld violators, %lld users (log on as %s / %s) in %.1f s\n",
          options.database.c_str(), static_cast<long long>(counts.properties),
          static_cast<long long>(counts.addresses), static_cast<long long>(counts.entities),
          static_cast<long long>(counts.phones), static_cast<long long>(counts.access_entries),
          static_cast<long long>(counts.notes), static_cast<long long>(counts.authorizations),
          static_cast<long long>(counts.inspections), static_cast<long long>(counts.violations),
          static_cast<long long>(counts.violators), static_cast<long long>(counts.users),
          qv::demo::kDemoUser, qv::demo::kDemoPassword, seconds);
    }
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "qvdemo: " << e.what() << "\n";
    return 1;
  }
}
