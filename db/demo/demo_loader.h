// Fills an empty Quorvale database with a deterministic, believable agency:
// lookups, properties with addresses, people, phones, access entries, notes,
// authorizations, CPTED inspections, violations with violators, and users.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qv {
class DbConnection;
}

namespace qv::demo {

struct DemoCounts {
  int64_t properties = 0;
  int64_t addresses = 0;
  int64_t entities = 0;
  int64_t phones = 0;
  int64_t access_entries = 0;
  int64_t notes = 0;
  int64_t authorizations = 0;
  int64_t inspections = 0;
  int64_t violations = 0;
  int64_t violators = 0;
  int64_t users = 0;
};

// The demo log-on written into DB_USERS.
inline constexpr const char* kDemoUser = "demo";
inline constexpr const char* kDemoPassword = "demo";

// Loads `properties` properties and everything around them, committing in
// batches; `progress` (may be empty) hears the number of properties done.
DemoCounts LoadDemoData(DbConnection& connection, int properties, uint64_t seed,
                        const std::function<void(int)>& progress);

// Recomputes the statistics of every index of the database, as a database
// restored from a backup has them: indexes made on empty tables say nothing
// about the rows loaded since, and the server's choice of plan goes by them.
void RecomputeIndexStatistics(DbConnection& connection);

}  // namespace qv::demo
