// Fuzz target: raw bytes through the Bolt layer, without sockets.
//
// The first byte picks what the rest is: 0–63 a PackStream value for the
// decoder (and, when it decodes, a request for every supported version),
// 64–127 the chunked stream of one connection after the handshake, 128–255
// the connection from its first byte, each fed in pieces whose size the
// byte also picks. A scripted backend answers any statement with a few
// rows of varied values.
// Findings, besides crashes, hangs and sanitizer reports:
//   - an exception other than BoltError out of the decoder or request
//     reader, or any exception out of a connection;
//   - a decoded value whose encoding does not decode to the same encoding;
//   - a connection that answers bytes that are not whole chunked messages
//     (after the 4 handshake bytes), or answers after closing.
// The connection is fed as the listener feeds it: through the framer, each
// answer drained of its parts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "bolt/bolt_error.h"
#include "bolt/chunking.h"
#include "bolt/connection.h"
#include "bolt/framer.h"
#include "bolt/messages.h"
#include "bolt/packstream.h"

namespace {

using namespace orvane::bolt;  // NOLINT(google-build-using-namespace): one target, one library

[[noreturn]] void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::abort();
}

class RowsResult : public RowResult {
 public:
  const std::vector<std::string>& columns() const override { return columns_; }
  bool fetch(std::size_t n, std::vector<std::vector<orvane::CypherValue>>& rows) override {
    for (std::size_t i = 0; i < n && next_ < 3; ++i, ++next_) {
      rows.push_back({orvane::CypherValue(static_cast<std::int64_t>(next_)),
                      orvane::CypherValue(orvane::DateTime{1, 2, 3600, next_ == 1 ? "Europe/Paris" : ""})});
    }
    return next_ < 3;
  }
  const orvane::Database* database() const override { return nullptr; }
  ResultSummary finish() override { return {}; }

 private:
  std::vector<std::string> columns_{"n", "t"};
  std::size_t next_ = 0;
};

class ScriptedBackend : public BoltBackend {
 public:
  void authenticate(const AuthToken& auth) override {
    if (auth.credentials == "refused") throw BoltError(kUnauthorized, "refused");
  }
  std::unique_ptr<BoltResult> run(const std::string& text, const orvane::CypherMap&, const TxSettings&, bool,
                                  const ValueFormat&) override {
    if (text == "fail") throw BoltError("Neo.ClientError.Statement.SyntaxError", "fails");
    return std::make_unique<RowsResult>();
  }
  void begin(const TxSettings&) override {}
  std::string commit() override { return "bookmark"; }
  void rollback() override {}
  RoutingTable route(const RouteRequest&) override { return {}; }
  ZoneOffsetResolver zone_resolver() const override {
    return [](const std::string&, std::int64_t) { return 3600; };
  }
};

std::string hello_bytes(std::uint8_t selector) {
  static const unsigned char proposals[4][4] = {{0, 8, 8, 5}, {0, 0, 4, 4}, {0, 0, 0, 5}, {0, 0, 3, 5}};
  std::string out = "\x60\x60\xB0\x17";
  out.append(reinterpret_cast<const char*>(proposals[selector % 4]), 4);
  out.append(12, '\0');
  return out;
}

// The responses must be whole chunked messages, each one PackStream value.
void check_answers(std::string_view out) {
  ChunkReader reader(SIZE_MAX);
  try {
    reader.feed(out);
  } catch (const BoltError& e) {
    fail("unframed answer", e.what());
  }
  if (reader.buffered() != 0) fail("unframed answer", "a message is cut short");
  while (reader.has_message()) {
    try {
      decode(reader.take_message());
    } catch (const BoltError& e) {
      fail("answer is not PackStream", e.what());
    }
  }
}

void feed_connection(std::string_view bytes, std::size_t piece, bool handshake_first, std::uint8_t selector) {
  ScriptedBackend backend;
  SessionOptions options;
  options.max_message = 4096;
  BoltConnection connection(backend, options);
  std::string out;
  try {
    if (handshake_first && connection.receive(hello_bytes(selector)).size() != 4) fail("handshake", "no answer");
    // The bytes reach the connection as the listener hands them over: cut
    // by the framer, and each answer drained of its parts.
    BoltFramer framer(options.max_message);
    for (std::size_t at = 0; at < bytes.size() && !connection.closed(); at += piece) {
      if (framer.feed(bytes.substr(at, piece)) != orvane::net::Framer::State::kComplete) continue;
      std::string answer = connection.receive(framer.take_message());
      while (connection.pending()) answer += connection.resume();
      out += answer;
      if (connection.closed() && !connection.receive("\0\0").empty()) fail("answer after close", "bytes");
    }
  } catch (const std::exception& e) {
    fail("exception out of the connection", e.what());
  }
  if (!handshake_first) {
    // A raw connection's first answer is the handshake's 4 bytes, if any.
    if (out.empty()) return;
    if (out.size() < 4) fail("handshake", "short answer");
    if (connection.version().none() && out.size() != 4) fail("handshake", "answers after refusing");
    out.erase(0, 4);
  }
  check_answers(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t selector = data[0];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t piece = 1 + (selector % 7) * (selector % 7) * 3;
  if (selector < 64) {
    orvane::bolt::PackValue value;
    try {
      value = orvane::bolt::decode(bytes);
    } catch (const orvane::bolt::BoltError&) {
      return 0;
    }
    const std::string again = orvane::bolt::encode(value);
    try {
      // Encodings compare where values cannot (NaN is not equal to itself).
      if (orvane::bolt::encode(orvane::bolt::decode(again)) != again) {
        fail("round trip", orvane::bolt::to_debug_text(value));
      }
    } catch (const orvane::bolt::BoltError& e) {
      fail("re-encoded value does not decode", e.what());
    }
    for (const orvane::bolt::BoltVersion version :
         {orvane::bolt::BoltVersion{4, 4}, orvane::bolt::BoltVersion{5, 0}, orvane::bolt::BoltVersion{5, 8}}) {
      try {
        orvane::bolt::decode_request(value, version);
      } catch (const orvane::bolt::BoltError&) {
      }
    }
  } else {
    feed_connection(bytes, piece, selector < 128, selector);
  }
  return 0;
}
