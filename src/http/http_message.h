// HTTP messages as the server sees them: one request (method, path, query
// string, the raw text for header look-ups, the body) and one response
// (status, body, content type), the readers every route uses to take values
// out of a request, and the writer of the one response format the server
// sends. The server answers one request per connection, so a response always
// ends with "Connection: close".
#pragma once

#include <string>
#include <string_view>

namespace orvane {

struct HttpRequest {
  std::string method;        // first word of the request line, as sent
  std::string path;          // target up to the first "?"
  std::string query_string;  // target after the first "?", "" when there is none
  std::string raw;           // the whole request as received: request line, headers, body
  std::string body;          // everything after the first "\r\n\r\n"
};

struct HttpResponse {
  int status = 200;
  std::string body;
  std::string content_type = "application/json";
};

// The value of the first header line of `request_text` whose name equals
// `name` case-insensitively, with surrounding white space removed; "" when no
// line matches. Only the header block (before the first "\r\n\r\n") is
// scanned, and the request line takes part like any other line that holds
// a ":".
std::string header_value(std::string_view request_text, std::string_view name);

// The text after the first occurrence of `name` followed by "=" in
// `query_string`, up to the next "&" or the end; "" when absent. A plain
// substring match: a key that ends with `name` matches too, and the value is
// taken verbatim, without percent-decoding.
std::string query_param(std::string_view query_string, std::string_view name);

// One field of a JSON request body as text: "" for an empty body or an absent
// field, a string field's value, a boolean's or number's JSON text ("true",
// "12", "0.5"). Throws std::runtime_error "JSON object required" when the
// body is not a JSON object and "invalid request field: <name>" for a null,
// object or array field; malformed text fails with the JSON library's own
// parse error. The body is parsed with the nesting bound of every JSON text
// from outside.
std::string body_field(std::string_view body, std::string_view name);

// A JSON error answer {"ok":false,"error":"<message>"} with `status`, the
// message escaped for a JSON string.
HttpResponse error_response(int status, std::string_view message);

// The bytes of one complete response: status line ("HTTP/1.1 200 OK", any
// other status with the reason "ERR"), Content-Type, Content-Length,
// X-Content-Type-Options: nosniff, Cache-Control: no-store, Connection:
// keep-alive when `keep_alive` and close otherwise, a blank line and the
// body.
std::string format_response(const HttpResponse& response, bool keep_alive = false);

}  // namespace orvane
