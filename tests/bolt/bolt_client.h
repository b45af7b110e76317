// Test helpers that speak Bolt as a driver does: the handshake, request
// messages chunked for the wire, and a one-line rendering of each response
// ("SUCCESS {fields: [\"n\"]}", "RECORD [1]", "IGNORED", "FAILURE CODE:
// message") so that a whole exchange is one expectation. The timings
// t_first and t_last vary from run to run and are left out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bolt/pack_value.h"

namespace orvane::bolt::testing {

// Bytes from hex text, spaces ignored: "C9 00 80".
std::string bytes_of(std::string_view hex);
// Hex text of bytes: "C9 00 80".
std::string hex_of(std::string_view bytes);

// The 20 opening bytes: the magic and four proposals (major, minor, range).
struct Proposal {
  int major = 0, minor = 0, range = 0;
};
std::string handshake(std::vector<Proposal> proposals);
// The opening bytes neo4j-driver 6 sends: 255.1, 5.8 down to 5.0, 4.4
// down to 4.2, 3.0.
std::string driver_handshake();

// A request structure, chunked.
std::string request(std::uint8_t tag, PackList fields = {});
std::string hello(PackMap extra);
std::string logon(const std::string& user, const std::string& password);
std::string run(const std::string& query, PackMap parameters = {}, PackMap extra = {});
std::string pull(std::int64_t n, std::int64_t qid = -1);
std::string discard(std::int64_t n, std::int64_t qid = -1);
std::string begin(PackMap extra = {});
std::string commit();
std::string rollback();
std::string reset();
std::string goodbye();

// The responses in `bytes` (chunked messages), one line each.
std::vector<std::string> responses(std::string_view bytes);

}  // namespace orvane::bolt::testing
