// Connection: connect-string splitting, attach and detach.
#include "db/connection.h"

#include <algorithm>
#include <cstdint>
#include <cctype>

#include "db/client_library.h"

namespace qv {
namespace {

bool IsIdentifier(std::string_view text) {
  if (text.empty()) return false;
  auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; };
  if (!letter(text[0])) return false;
  return std::all_of(text.begin() + 1, text.end(), [&](char c) {
    return letter(c) || std::isdigit(static_cast<unsigned char>(c));
  });
}

void AddDpbString(std::string& dpb, char tag, const std::string& value) {
  size_t length = std::min<size_t>(value.size(), 255);
  dpb += tag;
  dpb += static_cast<char>(length);
  dpb.append(value, 0, length);
}

}  // namespace

DbConnection::DbConnection() = default;

DbConnection::~DbConnection() {
  try {
    Detach();
  } catch (...) {
  }
}

void DbConnection::CheckNotConnected() const {
  if (Connected()) throw DbError("Cannot change while connected");
}

void DbConnection::SetParam(std::string_view name, const std::string& value) {
  CheckNotConnected();
  params_.SetValue(name, value);
}

void DbConnection::SetUsername(const std::string& value) { SetParam("USER NAME", value); }

void DbConnection::SetPassword(const std::string& value) {
  CheckNotConnected();
  password_ = value;
  params_.SetValue("PASSWORD", "");
}

void DbConnection::SetDatabaseName(const std::string& value) {
  CheckNotConnected();
  // "/" counts with the Windows path characters: a Linux path needs no dot.
  if (value.find_first_of("./\\:@") == std::string::npos) {
    if (value != alias_) {
      if (!IsIdentifier(value)) throw DbError("Invalid DatabaseName");
      alias_ = value;
    }
    return;
  }
  std::string server;
  std::string path;
  DbProtocol protocol;
  size_t pipes = value.find("\\\\");
  if (value.size() > 2 && value[1] == ':' && value.find(':', 2) == std::string::npos) {
    protocol = DbProtocol::kLocal;
    path = value;
  } else if (pipes != std::string::npos) {
    protocol = DbProtocol::kNetBeui;
    std::string rest = value.substr(pipes + 2);
    size_t slash = rest.find('\\');
    server = rest.substr(0, slash);
    path = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
  } else if (size_t at = value.find('@'); at != std::string::npos) {
    protocol = DbProtocol::kSpx;
    server = value.substr(0, at);
    path = value.substr(at + 1);
  } else if (size_t colon = value.find(':'); colon != std::string::npos) {
    protocol = DbProtocol::kTcpIp;
    server = value.substr(0, colon);
    path = value.substr(colon + 1);
  } else {
    protocol = DbProtocol::kLocal;
    path = value;
  }
  protocol_ = protocol;
  params_.SetValue("SERVER", server);
  params_.SetValue("PATH", path);
}

std::string DbConnection::ConnectString() const {
  std::string server = params_.Value("SERVER");
  std::string path = params_.Value("PATH");
  if (server.empty()) return path;
  switch (protocol_) {
    case DbProtocol::kNetBeui: return "\\\\" + server + "\\" + path;
    case DbProtocol::kSpx: return server + "@" + path;
    case DbProtocol::kTcpIp: return server + ":" + path;
    case DbProtocol::kLocal: break;
  }
  return path;
}

std::string DbConnection::DatabaseName() const {
  return alias_.empty() ? ConnectString() : alias_;
}

void DbConnection::SetConnected(bool value) {
  if (value) {
    if (Connected()) return;
    Attach();
  } else if (Connected()) {
    Detach();
  }
}

void DbConnection::Attach() {
  std::string dpb;
  dpb += static_cast<char>(isc_dpb_version1);
  std::string user = params_.Value("USER NAME");
  if (!user.empty()) AddDpbString(dpb, isc_dpb_user_name, user);
  if (!password_.empty()) AddDpbString(dpb, isc_dpb_password, password_);
  std::string role = params_.Value("ROLE NAME");
  if (!role.empty()) AddDpbString(dpb, isc_dpb_sql_role_name, role);
  std::string charset = params_.Value("CHARACTER SET");
  if (!charset.empty()) AddDpbString(dpb, isc_dpb_lc_ctype, charset);
  if (connect_timeout_ > 0) {
    dpb += static_cast<char>(isc_dpb_connect_timeout);
    dpb += static_cast<char>(4);
    for (int shift = 0; shift < 32; shift += 8)  // little-endian, as the client expects
      dpb += static_cast<char>((static_cast<uint32_t>(connect_timeout_) >> shift) & 0xFF);
  }
  std::string name = ConnectString();
  ISC_STATUS_ARRAY status{};
  isc_db_handle handle = 0;
  QV_FB(isc_attach_database)(status, static_cast<short>(name.size()), name.c_str(), &handle,
                             static_cast<short>(dpb.size()), dpb.data());
  if (status[0] == 1 && status[1] != 0) {
    if (handle != 0) {
      ISC_STATUS_ARRAY ignored{};
      QV_FB(isc_detach_database)(ignored, &handle);
    }
    DbStatusError error = MakeIscError(status, {});
    error.SetAttachFailed();
    throw error;
  }
  handle_ = handle;
  ++attachment_;
}

bool DbConnection::CancelOperation(bool abort) {
  isc_db_handle handle = handle_;
  if (handle == 0) return false;
  ISC_STATUS_ARRAY status{};
  QV_FB(fb_cancel_operation)(status, &handle, abort ? fb_cancel_abort : fb_cancel_raise);
  return !(status[0] == 1 && status[1] != 0);
}

void DbConnection::Detach() {
  if (handle_ == 0) return;
  ISC_STATUS_ARRAY status{};
  isc_db_handle handle = handle_;
  QV_FB(isc_detach_database)(status, &handle);
  // A transaction still open keeps the attachment (its owner ends it
  // first); a lost attachment counts as detached.
  if (!(status[0] == 1 && status[1] == isc_open_trans)) handle_ = 0;
  CheckStatus(status);
}

}  // namespace qv
