// The server settings of sections "APP", "SESSIONS", "LOG" and "ADMIN" in the
// settings file, read afresh every time the service object asks for them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "http/trusted_proxies.h"
#include "sessions/redis_session_store.h"

namespace qv {

class IniFile;

struct ServiceSettings {
  // Folder of the logo image; empty when not set.
  std::string htdocs;
  // Session idle limit in ms: LoginTimeout minutes x 60000 (default 10 minutes;
  // 0 switches sessions off). Kept within the signed 32-bit range.
  int32_t session_timeout = 600000;
  // Port of the bindings the server makes at its first activation; the low
  // 16 bits of Port (default 80).
  uint16_t port = 80;
  // Activate the server as soon as the settings are read.
  bool start = false;
  // Read time-out of a connection in ms: ReadTimeout seconds x 1000 (default
  // 60 s; 0 waits forever; a negative value gives the default).
  int32_t read_timeout = 60000;
  // Failed log-ons allowed per client address and per user name within a
  // minute before further attempts are refused (default 5; 0: no limit).
  int logon_failures = 5;
  // Peers whose X-Forwarded-For names the client (addresses and CIDR ranges,
  // IPv4 and IPv6, separated by commas or blanks; default none).
  TrustedProxies trusted_proxies;
  // Section "SESSIONS", key Store: empty for sessions in this process's memory
  // ("memory", the default), else where Redis keeps them.
  std::optional<RedisLocation> session_store;
  // Section "TLS": the port of a TLS listener beside the plain one (0: none)
  // and the PEM files of its certificate chain and private key.
  int tls_port = 0;
  std::string tls_certificate;
  std::string tls_key;
  // [TLS] HandshakeTimeout seconds (default 10; 0: no limit but ReadTimeout):
  // how long a TLS connection may take from its accept to the end of its handshake.
  int tls_handshake_timeout_seconds = 10;
  // [TLS] RedirectHttp (default off): the plain port answers with a redirect
  // to HTTPS, and HTTPS answers carry Strict-Transport-Security.
  bool tls_redirect_http = false;
  // Threads that run requests at most (Workers, default 32).
  int32_t workers = 32;
  // Live connections one client address may hold (MaxConnectionsPerAddress,
  // default 256; 0: no limit).
  int32_t max_connections_per_address = 256;
  // A whole request must arrive within this many ms: RequestTimeout seconds x
  // 1000 (default 30 s; 0: no limit).
  int32_t request_timeout = 30000;
  // MiB that the requests still arriving may hold in all (MaxRequestMemory,
  // default 64); a request beyond them is answered 503.
  int32_t max_request_memory_mib = 64;
  // Sessions kept at most (MaxSessions, default 100,000; 0: no limit).
  int32_t max_sessions = 100000;
  // Listen backlog of the listening sockets (ListenQueue, default 511).
  int32_t listen_queue = 511;
  // Persistent connections (KeepAlive, default off) and how long one may
  // stand idle between requests in ms: KeepAliveTimeout seconds x 1000 (default 5 s).
  bool keep_alive = false;
  int32_t keep_alive_timeout = 5000;
  // [APP] StopTimeout seconds (default 10): how long a stop lets accepted
  // connections finish before it abandons them.
  int stop_timeout_seconds = 10;
  // [DB] QueryTimeout seconds (default 60; 0: no limit): how long a page call
  // may run before it is cancelled.
  int query_timeout_seconds = 60;
  // APP/Address: the addresses to listen on; empty: every IPv4 and IPv6 address.
  std::vector<std::string> addresses;
  // LOG/AccessLog: "-" standard output (default), "off", or a file appended to.
  std::string access_log = "-";
  // ADMIN/Port: the admin listener's port; 0 (default) switches it off.
  uint16_t admin_port = 0;
  // ADMIN/Address: the admin listener's addresses (default 127.0.0.1).
  std::vector<std::string> admin_addresses{"127.0.0.1"};
};

// Reads sections "APP", "SESSIONS", "LOG", "ADMIN" and the service's keys of
// "DB"; a missing file, section or key gives the default. A value that cannot
// be used raises Exception naming the file, section and key.
ServiceSettings ReadServiceSettings(const IniFile& ini);
ServiceSettings ReadServiceSettings(const std::string& ini_path);

// The items of a comma-separated list, blanks around each removed, empty ones
// left out; an address in square brackets loses them.
std::vector<std::string> SplitAddressList(const std::string& text);

}  // namespace qv
