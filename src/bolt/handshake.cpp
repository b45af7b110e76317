// Version negotiation (the layout is in handshake.h).
#include "bolt/handshake.h"

#include "bolt/bolt_error.h"

namespace orvane::bolt {

namespace {

constexpr unsigned char kMagic[4] = {0x60, 0x60, 0xB0, 0x17};

bool supported(int major, int minor) { return (major == 4 && minor == 4) || (major == 5 && minor >= 0 && minor <= 8); }

}  // namespace

BoltVersion choose_version(std::string_view hello) {
  for (int i = 0; i < 4; ++i) {
    if (static_cast<unsigned char>(hello[i]) != kMagic[i]) {
      throw BoltError(kRequestInvalidFormat, "invalid Bolt handshake: the magic is missing");
    }
  }
  BoltVersion best;
  for (int p = 0; p < 4; ++p) {
    const auto* b = reinterpret_cast<const unsigned char*>(hello.data() + 4 + 4 * p);
    const int range = b[1], minor = b[2], major = b[3];
    // The highest supported minor this proposal covers; a proposal reaches
    // no lower than minor 0 whatever range it claims.
    for (int m = minor; m >= 0 && m >= minor - range; --m) {
      if (!supported(major, m)) continue;
      const BoltVersion candidate{major, m};
      if (best.none() || candidate.at_least(best.major, best.minor)) best = candidate;
      break;
    }
  }
  return best;
}

std::string version_answer(BoltVersion version) {
  return std::string{'\0', '\0', static_cast<char>(version.minor), static_cast<char>(version.major)};
}

std::string to_string(BoltVersion version) {
  return std::to_string(version.major) + "." + std::to_string(version.minor);
}

}  // namespace orvane::bolt
