#include "service/settings_check.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "http/tcp_server.h"
#include "http/tls_context.h"
#include "http/trusted_proxies.h"
#include "platform/ascii_text.h"
#include "platform/profile.h"
#include "platform/seconds_setting.h"
#include "service/service_settings.h"
#include "service/settings_keys.h"
#include "sessions/redis_session_store.h"
#include "web/request_router.h"

namespace qv {

namespace {

namespace fs = std::filesystem;

// A finding and the line it belongs to, for putting them in file order.
struct LineFinding {
  int line;
  SettingsFinding finding;
};

std::string Where(const IniFile& ini, std::string_view section, std::string_view key) {
  return ini.FileName() + ": [" + std::string(section) + "] " + std::string(key);
}

bool IsAddress(const std::string& text) {
  unsigned char buffer[sizeof(in6_addr)];
  return inet_pton(AF_INET, text.c_str(), buffer) == 1 ||
         inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

// Why the host name does not resolve, or nothing when it does.
std::optional<std::string> ResolveFailure(const std::string& host) {
  if (IsAddress(host)) return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (found) freeaddrinfo(found);
  if (error == 0) return std::nullopt;
  return "host \"" + host + "\" cannot be resolved: " + gai_strerror(error);
}

// The host of a database on another machine ("host:path", "host/port:path",
// "inet://host/path"); empty for a local file or alias.
std::string DatabaseHost(std::string_view name) {
  for (std::string_view scheme : {"inet://", "inet4://", "inet6://"}) {
    if (name.size() > scheme.size() && ascii::EqualsNoCase(name.substr(0, scheme.size()), scheme)) {
      std::string_view rest = name.substr(scheme.size());
      if (!rest.empty() && rest.front() == '[') return std::string(rest.substr(1, rest.find(']') - 1));
      return std::string(rest.substr(0, rest.find_first_of(":/")));
    }
  }
  if (name.find("://") != std::string_view::npos) return {};
  if (!name.empty() && name.front() == '[') {
    const size_t close = name.find(']');
    return close == std::string_view::npos ? std::string() : std::string(name.substr(1, close - 1));
  }
  const size_t colon = name.find(':');
  // One letter before the colon is a drive; a path before it is a file name.
  if (colon == std::string_view::npos || colon < 2) return {};
  const std::string_view before = name.substr(0, colon);
  if (before.front() == '/' || before.front() == '.' || before.find('\\') != std::string_view::npos)
    return {};
  return std::string(before.substr(0, before.find('/')));
}

std::string SystemText(int error) { return std::strerror(error); }

// The length of the UTF-8 sequence at the start of text, 0 when it is none.
size_t Utf8Length(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(0);
  size_t length = first < 0x80 ? 1 : (first & 0xE0) == 0xC0 ? 2 : (first & 0xF0) == 0xE0 ? 3
                                   : (first & 0xF8) == 0xF0 ? 4 : 0;
  if (length == 0 || length > text.size() || (length == 2 && first < 0xC2)) return 0;
  for (size_t i = 1; i < length; ++i)
    if ((byte(i) & 0xC0) != 0x80) return 0;
  return length;
}

// A text of the file as a message shows it: control bytes and bytes that
// are not UTF-8 as \xHH, and no more than the first 60 characters of it.
std::string ShownText(std::string_view text) {
  constexpr size_t kMaxShown = 60;
  std::string shown;
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++characters) {
    if (characters == kMaxShown) return shown + "...";
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = Utf8Length(text.substr(i));
    if (c < 0x20 || c == 0x7F || length == 0) {
      static constexpr char kHex[] = "0123456789abcdef";
      shown += "\\x";
      shown += kHex[c >> 4];
      shown += kHex[c & 15];
      ++i;
    } else {
      shown.append(text.substr(i, length));
      i += length;
    }
  }
  return shown;
}

// Why the access log cannot be appended to at path, or nothing.
std::optional<std::string> LogFileFailure(const std::string& path) {
  std::error_code error;
  if (fs::exists(path, error)) {
    if (fs::is_directory(path, error)) return "\"" + path + "\" is a folder, not a file";
    if (access(path.c_str(), W_OK) != 0) return "file " + path + " cannot be written: " + SystemText(errno);
    return std::nullopt;
  }
  std::string folder = fs::path(path).parent_path().string();
  if (folder.empty()) folder = ".";
  if (!fs::is_directory(folder, error)) return "folder " + folder + " not found";
  if (access(folder.c_str(), W_OK | X_OK) != 0)
    return "folder " + folder + " cannot be written: " + SystemText(errno);
  return std::nullopt;
}

// Why the file cannot be read, or nothing.
std::optional<std::string> ReadableFileFailure(const std::string& path) {
  std::error_code error;
  if (!fs::exists(path, error)) return "file " + path + " not found";
  if (fs::is_directory(path, error)) return "\"" + path + "\" is a folder, not a file";
  if (access(path.c_str(), R_OK) != 0) return "file " + path + " cannot be read: " + SystemText(errno);
  return std::nullopt;
}

// The value of a key as the server takes it (the first one given), or empty.
std::string ValueOf(const IniFile& ini, std::string_view section, std::string_view key) {
  return ini.ReadString(section, key, "");
}

// A number key's value when it is one the server accepts, else its default.
int64_t NumberOf(const IniFile& ini, std::string_view section, std::string_view key) {
  const SettingKey* known = FindSettingKey(section, key);
  const std::string text = ValueOf(ini, section, key);
  if (known && !text.empty() && !CheckSettingValue(*known, text))
    return ParseProfileInteger(text).value_or(0);
  return ParseProfileInteger(known ? known->default_value : "0").value_or(0);
}

// The TLS listener's certificate and key: needed when its port is set, both
// readable, and a pair that loads.
void CheckTls(const IniFile& ini, std::vector<SettingsFinding>& findings) {
  if (NumberOf(ini, "TLS", "Port") <= 0) {
    if (NumberOf(ini, "TLS", "RedirectHttp") != 0)
      findings.push_back({true, Where(ini, "TLS", "RedirectHttp") + ": set, but [TLS] Port is not"});
    return;
  }
  bool readable = true;
  for (const char* key : {"Certificate", "Key"}) {
    const std::string path = ValueOf(ini, "TLS", key);
    std::optional<std::string> failure;
    if (path.empty())
      failure = "not set, but [TLS] Port is";
    else
      failure = ReadableFileFailure(path);
    if (failure) {
      findings.push_back({true, Where(ini, "TLS", key) + ": " + *failure});
      readable = false;
    }
  }
  if (!readable) return;
  try {
    TlsContext context(ValueOf(ini, "TLS", "Certificate"), ValueOf(ini, "TLS", "Key"));
  } catch (const TlsSetupError& e) {
    // The loader names the file it failed on first: "TLS key ..." or "TLS certificate ...".
    const std::string message = e.what();
    const char* key = message.rfind("TLS key", 0) == 0 ? "Key" : "Certificate";
    findings.push_back({true, Where(ini, "TLS", key) + ": " + message});
  }
}

// The listeners' sockets as the server binds them: an empty address list
// is every IPv4 and every IPv6 address.
std::vector<Binding> ListenerBindings(const std::vector<std::string>& addresses, int64_t port) {
  std::vector<Binding> bindings;
  for (const std::string& address : addresses.empty() ? std::vector<std::string>{"0.0.0.0", "::"} : addresses) {
    unsigned char buffer[sizeof(in6_addr)];
    const IpFamily family = inet_pton(AF_INET6, address.c_str(), buffer) == 1 ? kIPv6 : kIPv4;
    bindings.push_back({address, static_cast<int>(port), family});
  }
  return bindings;
}

// Two sockets the system would not bind side by side: two listeners on one
// port and a common address, or two addresses of one listener where one
// takes in the other (127.0.0.1 twice, 0.0.0.0 beside 127.0.0.1).
void CheckListenerOverlaps(const IniFile& ini, std::vector<SettingsFinding>& findings) {
  struct Listener {
    const char* section;
    int64_t port;
    const char* address_section;  // whose Address key gives the addresses
    std::vector<Binding> bindings;
  };
  const std::vector<std::string> app_addresses = SplitAddressList(ValueOf(ini, "APP", "Address"));
  std::vector<std::string> admin_addresses = SplitAddressList(ValueOf(ini, "ADMIN", "Address"));
  if (admin_addresses.empty()) admin_addresses = {"127.0.0.1"};
  Listener listeners[] = {
      {"APP", NumberOf(ini, "APP", "Port"), "APP", {}},
      {"TLS", NumberOf(ini, "TLS", "Port"), "APP", {}},
      {"ADMIN", NumberOf(ini, "ADMIN", "Port"), "ADMIN", {}},
  };
  for (Listener& listener : listeners) {
    if (listener.port <= 0) continue;  // port 0 picks a free port for each socket
    listener.bindings =
        ListenerBindings(std::string_view(listener.address_section) == "ADMIN" ? admin_addresses : app_addresses,
                         listener.port);
  }
  auto overlap = [](const std::vector<Binding>& a, const std::vector<Binding>& b) {
    for (const Binding& x : a)
      for (const Binding& y : b)
        if (BindingsOverlap(x, y)) return true;
    return false;
  };
  // Within one address list (the TLS listener has the same one as APP).
  for (const Listener& listener : {listeners[0], listeners[2]}) {
    const std::vector<Binding>& bindings = listener.bindings;
    bool said = false;
    for (size_t i = 0; i < bindings.size() && !said; ++i) {
      for (size_t j = i + 1; j < bindings.size() && !said; ++j) {
        if (!BindingsOverlap(bindings[i], bindings[j])) continue;
        findings.push_back({true, Where(ini, listener.address_section, "Address") + ": " + bindings[i].ip +
                                      " and " + bindings[j].ip + " overlap on port " +
                                      std::to_string(listener.port) +
                                      ", so the second cannot listen beside the first"});
        said = true;
      }
    }
  }
  for (size_t i = 0; i < std::size(listeners); ++i) {
    for (size_t j = i + 1; j < std::size(listeners); ++j) {
      const Listener& a = listeners[i];
      const Listener& b = listeners[j];
      if (overlap(a.bindings, b.bindings)) {
        findings.push_back({true, Where(ini, b.section, "Port") + ": " + std::to_string(b.port) +
                                      " is also [" + a.section + "] Port"});
      }
    }
  }
}

// The logo folder's contents; only the folder itself is a value check.
void CheckLogo(const IniFile& ini, std::vector<SettingsFinding>& findings) {
  const std::string ht_docs = ValueOf(ini, "APP", "HtDocs");
  const std::string where = Where(ini, "APP", "HtDocs");
  std::error_code error;
  if (ht_docs.empty()) {
    findings.push_back({false, where + ": not set, the logo cannot be served"});
  } else if (fs::is_directory(ht_docs, error)) {
    const std::string logo = RequestRouter::LogoFileName(ht_docs);
    struct stat status {};
    if (stat(logo.c_str(), &status) != 0 && errno != ENOENT && errno != ENOTDIR)
      findings.push_back({false, where + ": logo " + logo + " cannot be read: " + SystemText(errno)});
    else if (!fs::is_regular_file(logo, error))
      findings.push_back({false, where + ": logo " + logo + " not found"});
    else if (access(logo.c_str(), R_OK) != 0)
      findings.push_back({false, where + ": logo " + logo + " cannot be read: " + SystemText(errno)});
  }
}

// What the reader of the file found: the file itself, headings, stray lines.
std::optional<SettingsFinding> FileFinding(const IniFile& ini, bool file_required) {
  const int error = ini.OpenError();
  if (error == 0) return std::nullopt;
  if (error != ENOENT) return SettingsFinding{true, ini.FileName() + ": settings file cannot be read: " + SystemText(error)};
  if (file_required) return SettingsFinding{true, ini.FileName() + ": settings file not found"};
  std::string database(FindSettingKey("DB", "DBName")->default_value);
  return SettingsFinding{
      false, ini.FileName() + ": settings file not found; running on the defaults: port 80 on "
             "every address, HtDocs not set, database " + database +
             ", access log on standard output (qvweb --print-config shows every value)"};
}

}  // namespace

std::optional<std::string> CheckSettingValue(const SettingKey& key, const std::string& value) {
  if (value.empty()) return std::nullopt;
  switch (key.kind) {
    case SettingKind::Text:
    case SettingKind::Secret:
    case SettingKind::File:  // read only when used: see CheckTls
      return std::nullopt;
    case SettingKind::Number:
      return WholeNumberProblem(value, key.min, key.max);
    case SettingKind::Flag:
      return WholeNumberProblem(value, std::numeric_limits<int32_t>::min(),
                                std::numeric_limits<int32_t>::max());
    case SettingKind::Folder: {
      struct stat status {};
      if (stat(value.c_str(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return "folder " + value + " not found";
        return "folder " + value + " cannot be reached: " + SystemText(errno);
      }
      if (!S_ISDIR(status.st_mode)) return "\"" + value + "\" is not a folder";
      return std::nullopt;
    }
    case SettingKind::Addresses:
      for (const std::string& address : SplitAddressList(value)) {
        if (!IsAddress(address)) return "\"" + address + "\" is not an IPv4 or IPv6 address";
      }
      return std::nullopt;
    case SettingKind::Proxies:
      try {
        TrustedProxies::Parse(value);
      } catch (const std::invalid_argument& e) {
        return std::string(e.what()) + " (addresses and CIDR ranges, not host names)";
      }
      return std::nullopt;
    case SettingKind::Store: {
      if (ascii::EqualsNoCase(value, "memory")) return std::nullopt;
      try {
        return ResolveFailure(RedisLocation::Parse(value).host);
      } catch (const std::invalid_argument& e) {
        return std::string(e.what());
      }
    }
    case SettingKind::LogTarget:
      if (value == "-" || value == "off") return std::nullopt;
      return LogFileFailure(value);
    case SettingKind::Database: {
      const std::string host = DatabaseHost(value);
      return host.empty() ? std::nullopt : ResolveFailure(host);
    }
  }
  return std::nullopt;
}

std::vector<SettingsFinding> CheckSettings(const IniFile& ini, bool file_required) {
  std::vector<SettingsFinding> findings;
  // Without a file there is nothing more to say than that.
  if (std::optional<SettingsFinding> file = FileFinding(ini, file_required)) return {*file};

  std::vector<LineFinding> lines;
  // Lines the reader ignores are told one by one up to a few; a file that is
  // no settings file at all (a binary one) is not told line by line.
  std::vector<LineFinding> ignored;
  auto ignore = [&](int line, std::string text) { ignored.push_back({line, {false, std::move(text)}}); };
  const std::string file = ini.FileName() + ": ";
  std::vector<std::string> unknown_sections;
  for (const IniFile::Line& heading : ini.Sections()) {
    if (IsSettingsSection(heading.text)) continue;
    const bool seen = std::any_of(unknown_sections.begin(), unknown_sections.end(),
                                  [&](const std::string& s) { return EqualsIgnoreCase(s, heading.text); });
    if (seen) continue;
    unknown_sections.push_back(heading.text);
    ignore(heading.number, file + "[" + ShownText(heading.text) + "]: unknown section, its settings are ignored");
  }
  for (const IniFile::Line& heading : ini.UnclosedHeadings()) {
    lines.push_back({heading.number, {true, file + "line " + std::to_string(heading.number) + ": \"" +
                                                ShownText(heading.text) + "\" has no closing \"]\""}});
  }
  for (const IniFile::Line& stray : ini.StrayLines()) {
    std::string text = file + "line " + std::to_string(stray.number) + ": \"" + ShownText(stray.text) + "\" ";
    if (stray.text.find('\0') != std::string::npos)
      lines.push_back({stray.number, {true, text + "holds a NUL byte: not a settings file"}});
    else
      ignore(stray.number, text + "is not key=value, ignored");
  }
  for (const IniFile::Entry& entry : ini.Entries()) {
    const std::string where =
        entry.section.empty() ? file + ShownText(entry.key) : Where(ini, ShownText(entry.section), ShownText(entry.key));
    if (entry.key.find('\0') != std::string::npos || entry.value.find('\0') != std::string::npos) {
      lines.push_back({entry.line, {true, where + ": holds a NUL byte"}});
      continue;
    }
    if (entry.section.empty()) {
      ignore(entry.line, where + ": setting before any [section], ignored");
      continue;
    }
    if (!IsSettingsSection(entry.section)) continue;  // said once for its section
    const SettingKey* known = FindSettingKey(entry.section, entry.key);
    if (!known) {
      ignore(entry.line, where + ": unknown setting, ignored");
      continue;
    }
    // A key given again (in its section or in the section given twice):
    // the last value is the one taken, so that is the one checked, and
    // where it stands the others are named.
    std::vector<int> earlier;
    const IniFile::Entry* last = &entry;
    for (const IniFile::Entry& other : ini.Entries()) {
      if (&other == &entry || !EqualsIgnoreCase(other.section, entry.section) ||
          !EqualsIgnoreCase(other.key, entry.key))
        continue;
      if (other.line < entry.line) earlier.push_back(other.line);
      last = other.line > last->line ? &other : last;
    }
    if (last != &entry) continue;
    if (!earlier.empty()) {
      std::string others;
      for (int line : earlier) others += (others.empty() ? "" : ", ") + std::to_string(line);
      lines.push_back({entry.line, {false, where + ": given more than once (lines " + others + " and " +
                                               std::to_string(entry.line) + "); the last value is taken"}});
    }
    if (std::optional<std::string> failure = CheckSettingValue(*known, entry.value))
      lines.push_back({entry.line, {true, where + ": " + *failure}});
  }
  constexpr size_t kIgnoredShown = 5;
  std::stable_sort(ignored.begin(), ignored.end(),
                   [](const LineFinding& a, const LineFinding& b) { return a.line < b.line; });
  if (ignored.size() > kIgnoredShown) {
    const size_t more = ignored.size() - kIgnoredShown;
    const int line = ignored[kIgnoredShown].line;
    ignored.resize(kIgnoredShown);
    ignored.push_back({line, {false, file + std::to_string(more) + " more line" + (more == 1 ? "" : "s") +
                                         " ignored (not settings of this program)"}});
  }
  lines.insert(lines.end(), ignored.begin(), ignored.end());
  std::stable_sort(lines.begin(), lines.end(),
                   [](const LineFinding& a, const LineFinding& b) { return a.line < b.line; });
  for (LineFinding& line : lines) findings.push_back(std::move(line.finding));

  CheckTls(ini, findings);
  CheckListenerOverlaps(ini, findings);
  CheckLogo(ini, findings);
  return findings;
}

bool HasErrors(const std::vector<SettingsFinding>& findings) {
  return std::any_of(findings.begin(), findings.end(),
                     [](const SettingsFinding& finding) { return finding.error; });
}

}  // namespace qv
