// Request field readers and the response writer. Header and query look-ups
// are deliberately plain scans over the raw text (no header map is built):
// a request is read once, a route looks up one or two values, and the scan
// rules (first match wins, request line included) are part of the
// interface.
//
// Error bodies carry messages from exceptions, which may hold any bytes a
// client sent (an unknown database name, a bad number, a JSON parser's quote
// of the body). The escaper below makes every such message a valid JSON
// string: the graph's JSON text writer escapes quote, backslash and control
// bytes, passes well-formed UTF-8 unchanged and writes ill-formed bytes as
// U+FFFD.
#include "http/http_message.h"

#include <stdexcept>

#include <nlohmann/json.hpp>

#include "base/text.h"
#include "graph/json_limits.h"
#include "graph/json_text.h"

namespace orvane {

std::string header_value(std::string_view request_text, std::string_view name) {
  const size_t end = request_text.find("\r\n\r\n");
  std::string_view headers = request_text.substr(0, end);
  while (!headers.empty()) {
    const size_t newline = headers.find('\n');
    const std::string_view line = headers.substr(0, newline);
    headers = newline == std::string_view::npos ? std::string_view{} : headers.substr(newline + 1);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    if (ascii_iequals(line.substr(0, colon), name)) return trim(line.substr(colon + 1));
  }
  return "";
}

std::string query_param(std::string_view query_string, std::string_view name) {
  const std::string key = std::string(name) + "=";
  const size_t at = query_string.find(key);
  if (at == std::string_view::npos) return "";
  const std::string_view rest = query_string.substr(at + key.size());
  return std::string(rest.substr(0, rest.find('&')));
}

std::string body_field(std::string_view body, std::string_view name) {
  if (body.empty()) return "";
  const nlohmann::json doc = parse_json_bounded(body);
  if (!doc.is_object()) throw std::runtime_error("JSON object required");
  const auto field = doc.find(name);
  if (field == doc.end()) return "";
  if (field->is_string()) return field->get<std::string>();
  if (field->is_boolean() || field->is_number()) return field->dump();
  throw std::runtime_error("invalid request field: " + std::string(name));
}

HttpResponse error_response(int status, std::string_view message) {
  return {status, "{\"ok\":false,\"error\":\"" + json_escape(message) + "\"}", "application/json"};
}

std::string format_response(const HttpResponse& response, bool keep_alive) {
  std::string out = "HTTP/1.1 " + std::to_string(response.status) + (response.status == 200 ? " OK" : " ERR");
  out += "\r\nContent-Type: " + response.content_type;
  out += "\r\nContent-Length: " + std::to_string(response.body.size());
  out += "\r\nX-Content-Type-Options: nosniff\r\nCache-Control: no-store\r\nConnection: ";
  out += keep_alive ? "keep-alive\r\n\r\n" : "close\r\n\r\n";
  out += response.body;
  return out;
}

}  // namespace orvane
