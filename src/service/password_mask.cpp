#include "service/password_mask.h"

#include "http/url_codec.h"
#include "platform/ascii_text.h"

namespace qv {

namespace {

// A parameter's text decoded as the pages read it.
std::string Decoded(std::string_view raw) {
  std::string text(raw);
  for (char& c : text)
    if (c == '+') c = ' ';
  return URLDecode(text);
}

// The piece as the log writes it: a password's value masked.
std::string MaskedPiece(std::string_view piece) {
  const std::string decoded = Decoded(piece);
  const std::string_view name = std::string_view(decoded).substr(0, decoded.find('='));
  if (!ascii::EqualsNoCase(name, kPasswordParameter)) return std::string(piece);
  // The name as sent when it holds nothing of the value (an escaped "=" in it would).
  const std::string_view raw_name = piece.substr(0, piece.find('='));
  return std::string(Decoded(raw_name) == name ? raw_name : kPasswordParameter) + "=***";
}

}  // namespace

std::string MaskPasswords(std::string_view text) {
  const size_t question = text.find('?');
  if (question == std::string_view::npos) return std::string(text);
  size_t end = text.size();
  // A request line's version is no part of its query.
  const size_t last_blank = text.rfind(' ');
  if (last_blank != std::string_view::npos && last_blank > question &&
      text.substr(last_blank + 1).substr(0, 5) == "HTTP/")
    end = last_blank;
  std::string out(text.substr(0, question + 1));
  std::string_view query = text.substr(question + 1, end - question - 1);
  for (;;) {
    const size_t amp = query.find('&');
    out += MaskedPiece(query.substr(0, amp));
    if (amp == std::string_view::npos) break;
    out += '&';
    query.remove_prefix(amp + 1);
  }
  out += text.substr(end);
  return out;
}

}  // namespace qv
