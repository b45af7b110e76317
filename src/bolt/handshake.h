// The Bolt handshake: the client opens with the magic 60 60 B0 17 and four
// version proposals of 4 bytes each, (reserved, range, minor, major); a
// proposal offers major.minor and the `range` minors below it. The server
// answers with the 4 bytes 00 00 minor major of the version it chose, or
// 00 00 00 00 when it supports none and closes.
//
// Supported: 4.4 and 5.0 … 5.8 (the newest the current drivers propose
// without the manifest negotiation, which a server may always decline by
// choosing a plain version).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvane::bolt {

struct BoltVersion {
  int major = 0;
  int minor = 0;
  bool none() const { return major == 0; }
  // Whether this version is at least major.minor.
  bool at_least(int maj, int min) const { return major > maj || (major == maj && minor >= min); }
  friend bool operator==(const BoltVersion&, const BoltVersion&) = default;
};

inline constexpr std::size_t kHandshakeSize = 20;

// The version chosen from the 20 opening bytes: the highest supported
// version any proposal covers, or none() when no proposal covers one.
// Throws BoltError "invalid Bolt handshake: the magic is missing" when the
// first four bytes are not the magic. Requires: hello.size() == 20.
BoltVersion choose_version(std::string_view hello);

// The 4-byte answer naming `version` (00 00 00 00 for none).
std::string version_answer(BoltVersion version);

// "5.8": for errors and logs.
std::string to_string(BoltVersion version);

}  // namespace orvane::bolt
