// Test helpers for Bolt exchanges (see bolt_client.h).
#include "bolt_client.h"

#include <stdexcept>

#include "bolt/chunking.h"
#include "bolt/packstream.h"

namespace orvane::bolt::testing {

std::string bytes_of(std::string_view hex) {
  std::string out;
  int high = -1;
  for (const char c : hex) {
    if (c == ' ') continue;
    const int v = c >= 'a' ? c - 'a' + 10 : c >= 'A' ? c - 'A' + 10 : c - '0';
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<char>(high * 16 + v));
      high = -1;
    }
  }
  return out;
}

std::string hex_of(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (!out.empty()) out += ' ';
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string handshake(std::vector<Proposal> proposals) {
  std::string out = bytes_of("6060B017");
  proposals.resize(4);
  for (const Proposal& p : proposals) {
    out += std::string{'\0', static_cast<char>(p.range), static_cast<char>(p.minor), static_cast<char>(p.major)};
  }
  return out;
}

std::string driver_handshake() { return handshake({{255, 1, 0}, {5, 8, 8}, {4, 4, 2}, {3, 0, 0}}); }

std::string request(std::uint8_t tag, PackList fields) {
  std::string out;
  append_chunked(out, encode(PackStruct{tag, std::move(fields)}));
  return out;
}

std::string hello(PackMap extra) { return request(0x01, {std::move(extra)}); }
std::string logon(const std::string& user, const std::string& password) {
  return request(0x6A, {PackMap{{"scheme", "basic"}, {"principal", user}, {"credentials", password}}});
}
std::string run(const std::string& query, PackMap parameters, PackMap extra) {
  return request(0x10, {query, std::move(parameters), std::move(extra)});
}
std::string pull(std::int64_t n, std::int64_t qid) {
  PackMap extra{{"n", n}};
  if (qid != -1) extra.push_back({"qid", qid});
  return request(0x3F, {std::move(extra)});
}
std::string discard(std::int64_t n, std::int64_t qid) {
  PackMap extra{{"n", n}};
  if (qid != -1) extra.push_back({"qid", qid});
  return request(0x2F, {std::move(extra)});
}
std::string begin(PackMap extra) { return request(0x11, {std::move(extra)}); }
std::string commit() { return request(0x12); }
std::string rollback() { return request(0x13); }
std::string reset() { return request(0x0F); }
std::string goodbye() { return request(0x02); }

std::vector<std::string> responses(std::string_view bytes) {
  ChunkReader reader;
  reader.feed(bytes);
  if (reader.buffered() != 0) throw std::runtime_error("a response is cut short");
  std::vector<std::string> out;
  while (reader.has_message()) {
    const PackValue message = decode(reader.take_message());
    const PackStruct& s = message.as<PackStruct>();
    switch (s.tag) {
      case 0x70: {
        PackMap metadata;
        for (const PackEntry& e : s.fields.at(0).as<PackMap>()) {
          if (e.key != "t_first" && e.key != "t_last") metadata.push_back(e);
        }
        out.push_back("SUCCESS " + to_debug_text(metadata));
        break;
      }
      case 0x71: out.push_back("RECORD " + to_debug_text(s.fields.at(0))); break;
      case 0x7E: out.push_back("IGNORED"); break;
      case 0x7F: {
        const PackValue& m = s.fields.at(0);
        const PackValue* code = m.find("code");
        if (code == nullptr) code = m.find("neo4j_code");
        out.push_back("FAILURE " + code->as<std::string>() + ": " + m.find("message")->as<std::string>());
        break;
      }
      default: out.push_back("UNKNOWN " + to_debug_text(message));
    }
  }
  return out;
}

}  // namespace orvane::bolt::testing
