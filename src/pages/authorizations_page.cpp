// The Authorizations tab: the signed authorizations on file for a property, most
// recently received first. Each call leaves its query in "Authorizations.sql"
// when it can; a file that cannot be written is reported, not fatal.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pages/data_pages.h"
#include "pages/page_frame.h"
#include "pages/tab_cells.h"
#include "pages/tab_page.h"
#include "platform/exception.h"
#include "platform/file_descriptor.h"

namespace qv {

namespace {

constexpr const char* kQueryFileName = "Authorizations.sql";

enum class AuthorizationColumn {
  kAuthorizationId, kPropertyId, kTitle, kNoticeSentOn, kReceivedOn, kExpiresOn, kSignedByName,
  kSignedByTitle, kCount
};
constexpr QueryText<AuthorizationColumn> kAuthorizationsQuery{
    "SELECT \n"
    "   A.AUTHORIZATIONS_ID, \n"
    "   A.AUTH_PROPERTY_ID, \n"
    "   A.AUTH_TITLE, \n"
    "   A.AUTH_NOTICE_SENT_ON, \n"
    "   A.AUTH_RECEIVED_ON, \n"
    "   A.AUTH_EXPIRES_ON, \n"
    "   A.AUTH_SIGNED_BY_NAME, \n"
    "   A.AUTH_SIGNED_BY_TITLE \n"
    "FROM AUTHORIZATIONS A \n"
    "WHERE A.AUTH_PROPERTY_ID = :PROPID\n"
    "  ORDER BY A.AUTH_RECEIVED_ON DESC"};

// The statement's lines with the parameter replaced by the id in decimal.
std::vector<std::string> QueryFileLines(std::string_view text, int32_t property_id) {
  std::vector<std::string> shown;
  for (;;) {
    const size_t end = text.find('\n');
    std::string line(text.substr(0, end));
    const size_t at = line.find(":PROPID");
    if (at != std::string::npos) line.replace(at, 7, std::to_string(property_id));
    shown.push_back(std::move(line));
    if (end == std::string_view::npos) return shown;
    text.remove_prefix(end + 1);
  }
}

[[noreturn]] void RaiseCreateError(const std::string& file_name, int error) {
  throw Exception("Cannot create file \"" + file_name + "\". " + std::strerror(error));
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes the lines, each ended by CR LF, to a file of its own beside the target
// and renames it over the target, so the target always holds one writer's
// whole text, however many requests write at once.
void SaveLinesWhole(const std::vector<std::string>& lines, const std::string& file_name) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  static std::atomic<unsigned long> writer_count{0};
  std::string temp_name;
  FileDescriptor file;
  while (!file.Valid()) {
    temp_name = file_name + "." + std::to_string(::getpid()) + "." +
                std::to_string(writer_count.fetch_add(1)) + ".tmp";
    file.Reset(::open(temp_name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file.Valid() && errno != EEXIST) RaiseCreateError(file_name, errno);
  }
  int error = 0;
  if (!WriteAll(file.Get(), text)) error = errno;
  const int closed = file.Close();
  if (error == 0) error = closed;
  if (error == 0 && std::rename(temp_name.c_str(), file_name.c_str()) != 0) error = errno;
  if (error == 0) return;
  ::unlink(temp_name.c_str());
  RaiseCreateError(file_name, error);
}

// The file shows the query's text as it reads with the property id in place.
// It is a by-product: a full disk or a read-only folder must not cost the
// visitor the page, and the old file stays whole (it is only ever replaced).
void SaveQueryFile(PageContext& page, int32_t property_id) {
  try {
    SaveLinesWhole(QueryFileLines(kAuthorizationsQuery.sql, property_id), kQueryFileName);
  } catch (const Exception& error) {
    page.errors.Report(error.Message());
  }
}

AuthorizationData ReadAuthorization(const Cursor<AuthorizationColumn>& authorization) {
  using enum AuthorizationColumn;
  AuthorizationData data;
  data.id = IntegerOf(authorization, kAuthorizationId);
  data.title = TextOf(authorization, kTitle);
  data.signed_by_name = TextOf(authorization, kSignedByName);
  data.signed_by_title = TextOf(authorization, kSignedByTitle);
  data.notice_sent = ShownDateOf(authorization, kNoticeSentOn);
  data.received = ShownDateOf(authorization, kReceivedOn);
  data.expires = ShownDateOf(authorization, kExpiresOn);
  return data;
}

void WriteHead(PageStream& out) {
  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TD WIDTH=20% bgcolor=\"#99CCFF\"><B><P>Authorization Title<BR></P></B></TD>");
  out.WriteString("<TD WIDTH=20% bgcolor=\"#99CCFF\"><B><P>Signed By Name<BR></P></B></TD>");
  out.WriteString("<TD WIDTH=20% bgcolor=\"#99CCFF\"><B><P>Signed By Title<BR></P></B></TD>");
  out.WriteString("<TD WIDTH=20% bgcolor=\"#99CCFF\"><B><P>Recieved Date<BR></P></B></TD>");
  out.WriteString("<TD WIDTH=20% bgcolor=\"#99CCFF\"><B><P>Expire Date<BR></P></B></TD>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");
}

void WriteNoRows(PageStream& out) {
  const std::string_view cell = tabcells::kGreyCell20;
  out.WriteString(cell);
  out.WriteString("No Notes<br>");
  out.WriteString("</P></TD>");
  for (int i = 0; i < 3; ++i) {
    out.WriteString(cell);
    out.WriteString(" <br>");
    out.WriteString("</P></TD>");
  }
  out.WriteString(cell);
  out.WriteString(" <br>");
  out.WriteString("</P></TD></TR>");
}

void WriteRow(PageStream& out, const AuthorizationData& authorization) {
  const std::string_view cell = tabcells::kGreyCell20;
  tabcells::WriteValueCell(out, cell, Plain(authorization.title));
  tabcells::WriteValueCell(out, cell, Plain(authorization.signed_by_name));
  tabcells::WriteValueCell(out, cell, Plain(authorization.signed_by_title));
  tabcells::WriteValueCell(out, cell, authorization.received.text);
  // The expiry date stands in a "<b>" that the row never closes.
  out.WriteString(cell);
  out.WriteString("<b>");
  out.WriteString(authorization.expires.text);
  out.WriteString(" <br>");
  out.WriteString("</P></TD></TR>");
}

}  // namespace

AuthorizationsData ReadAuthorizationsPage(PageContext& page) {
  AuthorizationsData data{ReadTabStart(page, "Property Authorizations", TabHeading::kPropertyQuery),
                          {}};
  SaveQueryFile(page, data.start.requested_id);
  data.authorizations =
      ReadEachRow(page, kAuthorizationsQuery, data.start.requested_id, ReadAuthorization);
  return data;
}

void WriteHtml(PageStream& out, const PageEntry& entry, const AuthorizationsData& data) {
  WriteTabStart(out, entry, data.start);
  WriteHead(out);
  if (data.authorizations.empty()) WriteNoRows(out);
  for (const AuthorizationData& authorization : data.authorizations) WriteRow(out, authorization);
  out.WriteString("</TBODY></TABLE>");
}

void AuthorizationsPage(PageContext& page) { RenderPage(page, ReadAuthorizationsPage(page)); }

}  // namespace qv
