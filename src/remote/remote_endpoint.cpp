// Connection strings and endpoint listings.
//
// A connection string reads, outside in: optional SCHEME://, optional user
// information ending at the last "@" before the query, HOST:PORT, optional
// "/DATABASE", optional "?key=PATH" (or "?key_file=PATH"). Percent escapes
// are decoded in the password, the database and the query values; a "%" not
// followed by two hexadecimal digits stays as it is. The connection string
// that listings show is rebuilt from the endpoint and never carries the
// password, so a listing can be pasted into a ticket or a chat safely.
//
// Every listing names the address a probe would use: the url's own port
// when it has one, the endpoint's port otherwise.
#include "remote/remote_endpoint.h"

#include <string_view>

#include "base/decimal.h"
#include "base/text.h"
#include "graph/json_text.h"

namespace orvane {
namespace {

constexpr const char* kRemotesNote =
    "Connect with URL:port, an optional password and an optional key file; "
    "this process only probes servers that already run and creates no virtual machines.";

constexpr const char* kHostedOffering =
    "{\"hosted\":false,\"note\":\"Halvex has no hosted offering: run orvane serve on a machine you control "
    "and reach it with a halvex:// connection string.\"}";


int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percent_decoded(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hex_value(s[i + 1]) >= 0 && hex_value(s[i + 2]) >= 0) {
      out += static_cast<char>(hex_value(s[i + 1]) * 16 + hex_value(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string percent_encoded(std::string_view s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                      c == '.' || c == '_' || c == '~';
    if (keep) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// The decoded value of the first query parameter called `name`, or "".
std::string query_value(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    const std::size_t eq = pair.find('=');
    if (eq != std::string_view::npos && pair.substr(0, eq) == name) return percent_decoded(pair.substr(eq + 1));
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return "";
}

bool parse_port(std::string_view text, std::uint16_t& out) {
  const std::optional<std::uint64_t> value = parse_decimal(text);
  if (text.size() > 5 || !value || *value < 1 || *value > 65535) return false;
  out = static_cast<std::uint16_t>(*value);
  return true;
}

// The address of `e` for listings; a url that does not split is shown as
// its own host with the endpoint's port.
RemoteAddress address_of(const RemoteEndpoint& e) {
  RemoteAddress a;
  if (!endpoint_address(e, a)) a = {e.url, e.port};
  return a;
}

// HOST:PORT with IPv6 hosts in brackets again.
std::string host_port(const RemoteAddress& a) {
  const bool ipv6 = a.host.find(':') != std::string::npos;
  return (ipv6 ? "[" + a.host + "]" : a.host) + ":" + std::to_string(a.port);
}

}  // namespace

bool split_address(const std::string& url, std::uint16_t fallback_port, RemoteAddress& out) {
  const std::string_view u = url;
  std::string_view host = u, port_text;
  if (!u.empty() && u.front() == '[') {
    const std::size_t close = u.find(']');
    if (close == std::string_view::npos) return false;
    host = u.substr(1, close - 1);
    const std::string_view rest = u.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      port_text = rest.substr(1);
      if (port_text.empty()) return false;
    }
  } else if (const std::size_t colon = u.find(':'); colon != std::string_view::npos &&
                                                    u.find(':', colon + 1) == std::string_view::npos) {
    host = u.substr(0, colon);
    port_text = u.substr(colon + 1);
    if (port_text.empty()) return false;
  }
  // Several colons without brackets: an IPv6 literal, which has no port.
  if (host.empty()) return false;
  std::uint16_t port = fallback_port;
  if (!port_text.empty() && !parse_port(port_text, port)) return false;
  out.host = std::string(host);
  out.port = port;
  return true;
}

bool endpoint_address(const RemoteEndpoint& endpoint, RemoteAddress& out) {
  return split_address(endpoint.url.empty() ? std::string("127.0.0.1") : endpoint.url, endpoint.port, out);
}

bool parse_connection(RemoteEndpoint& endpoint, const std::string& text) {
  std::string_view s = trim_view(text);
  if (s.empty()) return false;
  if (const std::size_t scheme = s.find("://"); scheme != std::string_view::npos) s.remove_prefix(scheme + 3);
  std::string_view query;
  if (const std::size_t q = s.find('?'); q != std::string_view::npos) {
    query = s.substr(q + 1);
    s = s.substr(0, q);
  }
  std::string_view userinfo;
  const std::size_t at = s.rfind('@');
  if (at != std::string_view::npos) {
    userinfo = s.substr(0, at);
    s.remove_prefix(at + 1);
  }
  std::string_view address = s, database;
  const std::size_t slash = s.find('/');
  if (slash != std::string_view::npos) {
    address = s.substr(0, slash);
    database = s.substr(slash + 1);
  }
  RemoteAddress parsed;
  if (!split_address(std::string(address), endpoint.port, parsed)) return false;

  endpoint.url = std::string(address);
  endpoint.port = parsed.port;
  if (at != std::string_view::npos) {
    const std::size_t colon = userinfo.find(':');
    endpoint.password = percent_decoded(colon == std::string_view::npos ? userinfo : userinfo.substr(colon + 1));
  }
  if (slash != std::string_view::npos) endpoint.database = percent_decoded(database);
  std::string key = query_value(query, "key");
  if (key.empty()) key = query_value(query, "key_file");
  if (!key.empty()) endpoint.key_file = std::move(key);
  return true;
}

std::string connection_string(const RemoteEndpoint& endpoint) {
  return "halvex://" + host_port(address_of(endpoint)) + "/" + percent_encoded(endpoint.database);
}

std::string endpoint_json(const RemoteEndpoint& e) {
  const RemoteAddress a = address_of(e);
  return JsonObjectText()
      .string("name", e.name)
      .string("url", e.url)
      .count("port", a.port)
      .string("database", e.database)
      .string("connection", connection_string(e))
      .string("uri", "http://" + host_port(a))
      .string("key_file", e.key_file)
      .boolean("password_set", !e.password.empty())
      .boolean("probed", e.probed)
      .boolean("reachable", e.reachable)
      .text();
}

std::string remotes_json(const std::vector<RemoteEndpoint>& endpoints) {
  std::string list = "[";
  for (std::size_t i = 0; i < endpoints.size(); ++i) list += (i ? "," : "") + endpoint_json(endpoints[i]);
  return JsonObjectText().raw("remotes", list + "]").string("note", kRemotesNote).text();
}

std::string hosted_offering_json() { return kHostedOffering; }

}  // namespace orvane
