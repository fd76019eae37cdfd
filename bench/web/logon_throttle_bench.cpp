// The log-on throttle against the attacks it is built for, on a simulated
// clock (an hour takes seconds): the office behind one NAT address, a
// stranger guessing a user's password, and how many guesses at one name an
// attacker gets checked in an hour from one address and from many /64s.
// A refused attempt costs the attacker nothing here, so he tries at the
// given rate all the time; a granted one is a wrong guess checked against
// the database.
//   qv_logon_throttle_bench [attempts-per-second]   (default 1000)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <cstdlib>
#include <string>
#include <vector>

#include "web/logon_throttle.h"

namespace {

using qv::LogonThrottle;
using Clock = LogonThrottle::Clock;
using namespace std::chrono_literals;

constexpr int kLimit = 5;  // LogonFailures' default

// An attempt that goes ahead is checked; the right password clears, a wrong one counts.
bool Attempt(LogonThrottle& throttle, const std::string& address, const std::string& name, bool right,
             Clock::time_point at) {
  LogonThrottle::Reservation attempt = throttle.Reserve(address, name, at);
  if (!attempt.Granted()) return false;
  if (right)
    attempt.Succeeded();
  else
    attempt.Failed();
  return true;
}

// The /64 number i of 2001:db8::/32, written with a host part of its own.
std::string Slash64(long i) {
  char text[64];
  std::snprintf(text, sizeof text, "2001:db8:%lx:%lx::%lx", (i >> 16) & 0xffff, i & 0xffff, (i * 7919) & 0xffff);
  return text;
}

// An address in one /64 only.
std::string InOneSlash64(long i) {
  char text[64];
  std::snprintf(text, sizeof text, "2001:db8:1:1:%lx:%lx::1", (i >> 16) & 0xffff, i & 0xffff);
  return text;
}

// Resident memory of the process in MiB.
double ResidentMiB() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void Office() {
  LogonThrottle throttle(kLimit);
  const Clock::time_point t0 = Clock::now();
  const std::string nat = "198.51.100.7";
  int typos = 0;
  for (const char* clerk : {"clerk1", "clerk1", "clerk2", "clerk2", "clerk3"})
    typos += Attempt(throttle, nat, clerk, false, t0 + 1s * typos);
  int tries = 1;
  while (!Attempt(throttle, nat, "alice", true, t0 + 6s + 1s * tries) && tries < 1000) ++tries;
  std::printf("office: 3 clerks behind one address type %d wrong passwords; a colleague is in after %d %s\n",
              typos, tries, tries == 1 ? "try (at once)" : "tries");
}

void Stranger() {
  LogonThrottle throttle(kLimit);
  const Clock::time_point t0 = Clock::now();
  int guesses_checked = 0, user_tries = 0, user_in_at = -1;
  // A wrong guess for the user's name every 0.5 s; the user tries every 5 s.
  for (int tenth = 0; tenth <= 1500 && user_in_at < 0; ++tenth) {
    const Clock::time_point now = t0 + 100ms * tenth;
    if (tenth % 5 == 0) guesses_checked += Attempt(throttle, "203.0.113.66", "demo", false, now);
    if (tenth % 50 == 0 && tenth > 0) {
      ++user_tries;
      if (Attempt(throttle, "198.51.100.20", "demo", true, now)) user_in_at = tenth / 10;
    }
  }
  std::printf("stranger: one address guesses every 0.5 s (%d guesses checked); the user is in at try %d (%d s)\n",
              guesses_checked, user_tries, user_in_at);
}

// An hour of guesses at one name from `addresses` addresses taking turns at
// `rate` attempts a second; then the user from an address of his own.
void Hour(const char* label, long addresses, std::string (*address)(long), int rate) {
  const double memory_before = ResidentMiB();
  LogonThrottle throttle(kLimit);
  const Clock::time_point t0 = Clock::now();
  const long attempts = 3600L * rate;
  long checked = 0;
  const auto started = std::chrono::steady_clock::now();
  for (long n = 0; n < attempts; ++n) {
    const auto at = t0 + std::chrono::microseconds(n * 1000000L / rate);
    checked += Attempt(throttle, address(n % addresses), "demo", false, at);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const bool user_in = Attempt(throttle, "198.51.100.20", "demo", true, t0 + 3600s);
  std::printf("%-38s %7ld guesses checked in the hour; user in at once: %-3s; entries %6zu (%+.1f MiB),"
              " forgotten %7llu; %.0f attempts/s through the throttle\n",
              label, checked, user_in ? "yes" : "no", throttle.Tracked(), ResidentMiB() - memory_before,
              static_cast<unsigned long long>(throttle.Forgotten()), static_cast<double>(attempts) / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  const int rate = argc > 1 ? std::atoi(argv[1]) : 1000;
  if (rate <= 0) {
    std::fprintf(stderr, "usage: qv_logon_throttle_bench [attempts-per-second]\n");
    return 2;
  }
  std::printf("LogonFailures=%d, window %lld s; address ceiling %d, name ceiling %d; a failed address is "
              "remembered %lld s for a name at its ceiling; attacker %d attempts/s\n",
              kLimit, static_cast<long long>(LogonThrottle::kWindow.count()), kLimit * LogonThrottle::kAddressCeiling,
              kLimit * LogonThrottle::kNameCeiling, static_cast<long long>(LogonThrottle::kNameMemory.count()), rate);
  Office();
  Stranger();
  Hour("one address:", 1, Slash64, rate);
  Hour("65,536 addresses in one /64:", 65536, InOneSlash64, rate);
  Hour("65,536 addresses, each its own /64:", 65536, Slash64, rate);
  Hour("262,144 addresses, each its own /64:", 262144, Slash64, rate);
  return 0;
}
