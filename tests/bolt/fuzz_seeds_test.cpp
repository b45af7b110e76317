// The Bolt fuzz target's entry point run over a table of seeds, so that
// every build exercises it: well-formed exchanges, each hostile shape the
// decoder refuses, and cut or oversized frames. The target aborts on a
// finding; here a seed passes when it returns.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "bolt/chunking.h"
#include "bolt/packstream.h"
#include "bolt_client.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace orvane::bolt {
namespace {

using namespace orvane::bolt::testing;  // NOLINT(google-build-using-namespace): the client helpers

std::string seed(std::uint8_t selector, const std::string& bytes) {
  return std::string(1, static_cast<char>(selector)) + bytes;
}

TEST(BoltFuzzSeeds, RunWithoutFindings) {
  const PackMap agent{{"user_agent", "t"}, {"bolt_agent", PackMap{{"product", "t"}}}, {"credentials", "pw"}};
  const std::string session = hello(agent) + logon("u", "pw") + run("RETURN 1") + pull(1) + pull(-1) + begin() +
                              run("RETURN 1") + run("fail") + reset() + begin() + run("RETURN 1") + discard(-1) +
                              commit() + request(0x66, {PackMap{}, PackList{}, PackMap{}}) + request(0x54, {0}) +
                              request(0x6B) + goodbye();
  std::string oversized;
  append_chunked(oversized, std::string(5000, '\x80'));
  const std::string seeds[] = {
      seed(0, bytes_of("93 01 C9 00 80 A1 81 61 B3 4E 01 90 A0")),
      seed(1, bytes_of("D6 80 00 00 00 01")),
      seed(2, bytes_of("DA FF FF FF FF")),
      seed(3, std::string(200, '\x91') + "\x01"),
      seed(4, bytes_of("C1 7F F8 00 00 00 00 00 00")),  // NaN
      seed(5, bytes_of("B3 10 81 71 A0 A0")),
      seed(6, encode(PackStruct{0x10, {"RETURN $p", PackMap{{"p", PackStruct{0x69, {1, 2, "Z"}}}}, PackMap{}}})),
      seed(7, bytes_of("81 FF")),
      seed(64, session),
      seed(65, session),
      seed(66, session.substr(0, session.size() / 2)),
      seed(67, oversized),
      seed(68, bytes_of("00 03 B1 10 C7 00 00")),
      seed(69, hello(agent) + request(0x10, {"fail", PackMap{}, PackMap{}}) + pull(-1) + reset()),
      seed(70, hello(PackMap{{"user_agent", "t"}, {"bolt_agent", PackMap{{"product", "t"}}}}) + logon("u", "refused") +
                   run("RETURN 1")),
      seed(129, driver_handshake() + session),
      seed(130, handshake({{4, 4, 0}}) + hello(PackMap{{"user_agent", "t"}, {"patch_bolt", PackList{"utc"}}}) +
                    run("RETURN 1") + pull(-1)),
      seed(131, handshake({{3, 0, 0}}) + session),
      seed(132, "GET / HTTP/1.1\r\n\r\n"),
      seed(133, driver_handshake().substr(0, 7)),
  };
  for (const std::string& s : seeds) {
    SCOPED_TRACE(hex_of(s.substr(0, 16)));
    EXPECT_EQ(0, LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()));
  }
}

}  // namespace
}  // namespace orvane::bolt
