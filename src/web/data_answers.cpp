#include "web/data_answers.h"

#include "http/status_codes.h"
#include "pages/json_writer.h"

namespace qv {

std::string ProblemBody(int status, std::string_view detail) {
  std::string body;
  JsonWriter json(body, TextEncoding::kUtf8);
  json.BeginObject();
  json.Key("type").String("about:blank");
  json.Key("title").String(ReasonPhrase(status));
  json.Key("status").Integer(status);
  json.Key("detail").String(detail);
  json.EndObject();
  return body;
}

}  // namespace qv
