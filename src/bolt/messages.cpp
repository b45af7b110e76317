// Reading requests and writing responses (the table is in messages.h).
// Each request is checked completely before the session sees it: a field
// of the wrong type is the peer's fault and answered as such, never a
// std::bad_variant_access deeper in.
#include "bolt/messages.h"

#include "bolt/bolt_error.h"

namespace orvane::bolt {

namespace {

constexpr std::uint8_t kHello = 0x01, kGoodbye = 0x02, kReset = 0x0F, kRun = 0x10, kBegin = 0x11, kCommit = 0x12;
constexpr std::uint8_t kRollback = 0x13, kDiscard = 0x2F, kPull = 0x3F, kTelemetry = 0x54, kRoute = 0x66;
constexpr std::uint8_t kLogon = 0x6A, kLogoff = 0x6B;
constexpr std::uint8_t kSuccess = 0x70, kIgnored = 0x7E, kFailure = 0x7F;

// Reads the fields of one message, naming it in every error.
class MessageFields {
 public:
  MessageFields(const PackStruct& s, const char* name) : s_(s), name_(name) {}

  [[noreturn]] void fail(const std::string& reason) const {
    throw BoltError(kRequestInvalid, std::string("invalid ") + name_ + " message: " + reason);
  }
  void expect(std::size_t n) const {
    if (s_.fields.size() != n) {
      fail("expected " + std::to_string(n) + " fields, got " + std::to_string(s_.fields.size()));
    }
  }
  template <typename T>
  const T& field(std::size_t i, const char* what, const char* type) const {
    if (!s_.fields[i].is<T>()) {
      fail(std::string(what) + " must be " + type + ", not " + pack_type_name(s_.fields[i]));
    }
    return s_.fields[i].as<T>();
  }
  const PackMap& map(std::size_t i, const char* what) const { return field<PackMap>(i, what, "a Map"); }

  // An entry of an extra map; null when absent or null.
  const PackValue* entry(const PackMap& map, const char* key) const {
    for (const PackEntry& e : map) {
      if (e.key == key) return e.value.is_null() ? nullptr : &e.value;
    }
    return nullptr;
  }
  template <typename T>
  const T* typed(const PackMap& map, const char* key, const char* type) const {
    const PackValue* v = entry(map, key);
    if (v == nullptr) return nullptr;
    if (!v->is<T>()) fail(std::string("\"") + key + "\" must be " + type + ", not " + pack_type_name(*v));
    return &v->as<T>();
  }
  std::string text(const PackMap& map, const char* key) const {
    const std::string* v = typed<std::string>(map, key, "a String");
    return v == nullptr ? std::string() : *v;
  }
  std::vector<std::string> strings(const PackMap& map, const char* key) const {
    std::vector<std::string> out;
    if (const PackList* list = typed<PackList>(map, key, "a List")) {
      for (const PackValue& item : *list) {
        if (!item.is<std::string>()) fail(std::string("\"") + key + "\" must hold Strings only");
        out.push_back(item.as<std::string>());
      }
    }
    return out;
  }

 private:
  const PackStruct& s_;
  const char* name_;
};

AuthToken auth_of(const MessageFields& f, const PackMap& map) {
  AuthToken auth;
  auth.scheme = f.text(map, "scheme");
  auth.principal = f.text(map, "principal");
  auth.credentials = f.text(map, "credentials");
  return auth;
}

TxSettings settings_of(const MessageFields& f, const PackMap& extra) {
  TxSettings s;
  s.bookmarks = f.strings(extra, "bookmarks");
  if (const std::int64_t* timeout = f.typed<std::int64_t>(extra, "tx_timeout", "an Integer")) {
    if (*timeout < 0) f.fail("\"tx_timeout\" must not be negative");
    s.tx_timeout = *timeout;
  }
  if (const PackMap* meta = f.typed<PackMap>(extra, "tx_metadata", "a Map")) s.tx_metadata = *meta;
  const std::string mode = f.text(extra, "mode");
  if (mode != "" && mode != "r" && mode != "w") f.fail("\"mode\" must be \"r\" or \"w\"");
  s.read_only = mode == "r";
  s.db = f.text(extra, "db");
  s.imp_user = f.text(extra, "imp_user");
  return s;
}

template <typename T>
T stream_request(const MessageFields& f, const PackMap& extra) {
  T out;
  const std::int64_t* n = f.typed<std::int64_t>(extra, "n", "an Integer");
  if (n == nullptr) f.fail("\"n\" is missing");
  if (*n == 0 || *n < -1) f.fail("\"n\" must be -1 or positive");
  out.n = *n;
  if (const std::int64_t* qid = f.typed<std::int64_t>(extra, "qid", "an Integer")) {
    if (*qid < -1) f.fail("\"qid\" must be -1 or a result id");
    out.qid = *qid;
  }
  return out;
}

std::string tag_text(std::uint8_t tag) {
  static const char digits[] = "0123456789ABCDEF";
  return std::string("0x") + digits[tag >> 4] + digits[tag & 15];
}

std::string response(std::uint8_t tag, const PackMap* metadata) {
  std::string out;
  PackWriter w(out);
  w.begin_struct(metadata == nullptr ? 0 : 1, tag);
  if (metadata != nullptr) w.write(PackValue(*metadata));
  return out;
}

}  // namespace

const char* request_name(const Request& request) {
  static const char* const names[] = {"HELLO",  "LOGON",    "LOGOFF", "RUN",     "BEGIN", "PULL",     "DISCARD",
                                      "COMMIT", "ROLLBACK", "RESET",  "GOODBYE", "ROUTE", "TELEMETRY"};
  return names[request.index()];
}

Request decode_request(const PackValue& message, BoltVersion version) {
  if (!message.is<PackStruct>()) {
    throw BoltError(kRequestInvalid,
                    std::string("invalid message: expected a structure, got ") + pack_type_name(message));
  }
  const PackStruct& s = message.as<PackStruct>();
  const bool logon = version.at_least(5, 1);
  switch (s.tag) {
    case kHello: {
      const MessageFields f(s, "HELLO");
      f.expect(1);
      const PackMap& extra = f.map(0, "extra");
      HelloRequest out;
      const std::string* agent = f.typed<std::string>(extra, "user_agent", "a String");
      if (agent == nullptr) f.fail("\"user_agent\" is missing");
      out.user_agent = *agent;
      if (!logon) out.auth = auth_of(f, extra);
      if (const PackMap* routing = f.typed<PackMap>(extra, "routing", "a Map")) out.routing = *routing;
      out.patch_bolt = f.strings(extra, "patch_bolt");
      if (version.at_least(5, 3)) {
        const PackMap* agent_info = f.typed<PackMap>(extra, "bolt_agent", "a Map");
        if (agent_info == nullptr) f.fail("\"bolt_agent\" is missing");
        if (f.typed<std::string>(*agent_info, "product", "a String") == nullptr)
          f.fail("\"bolt_agent\" has no \"product\"");
      }
      return out;
    }
    case kLogon: {
      if (!logon) break;
      const MessageFields f(s, "LOGON");
      f.expect(1);
      return LogonRequest{auth_of(f, f.map(0, "auth"))};
    }
    case kLogoff: {
      if (!logon) break;
      MessageFields(s, "LOGOFF").expect(0);
      return LogoffRequest{};
    }
    case kRun: {
      const MessageFields f(s, "RUN");
      f.expect(3);
      RunRequest out;
      out.query = f.field<std::string>(0, "the query", "a String");
      out.parameters = f.map(1, "the parameters");
      out.settings = settings_of(f, f.map(2, "extra"));
      return out;
    }
    case kBegin: {
      const MessageFields f(s, "BEGIN");
      f.expect(1);
      return BeginRequest{settings_of(f, f.map(0, "extra"))};
    }
    case kPull: {
      const MessageFields f(s, "PULL");
      f.expect(1);
      return stream_request<PullRequest>(f, f.map(0, "extra"));
    }
    case kDiscard: {
      const MessageFields f(s, "DISCARD");
      f.expect(1);
      return stream_request<DiscardRequest>(f, f.map(0, "extra"));
    }
    case kCommit: MessageFields(s, "COMMIT").expect(0); return CommitRequest{};
    case kRollback: MessageFields(s, "ROLLBACK").expect(0); return RollbackRequest{};
    case kReset: MessageFields(s, "RESET").expect(0); return ResetRequest{};
    case kGoodbye: MessageFields(s, "GOODBYE").expect(0); return GoodbyeRequest{};
    case kRoute: {
      const MessageFields f(s, "ROUTE");
      f.expect(3);
      RouteRequest out;
      out.routing = f.map(0, "the routing context");
      for (const PackValue& b : f.field<PackList>(1, "the bookmarks", "a List")) {
        if (!b.is<std::string>()) f.fail("the bookmarks must be Strings");
        out.bookmarks.push_back(b.as<std::string>());
      }
      const PackMap& extra = f.map(2, "extra");
      out.db = f.text(extra, "db");
      out.imp_user = f.text(extra, "imp_user");
      return out;
    }
    case kTelemetry: {
      if (!version.at_least(5, 4)) break;
      const MessageFields f(s, "TELEMETRY");
      f.expect(1);
      return TelemetryRequest{f.field<std::int64_t>(0, "the api", "an Integer")};
    }
    default: break;
  }
  throw BoltError(kRequestInvalid,
                  "invalid message: unknown message tag " + tag_text(s.tag) + " for Bolt " + to_string(version));
}

std::string success_message(const PackMap& metadata) { return response(kSuccess, &metadata); }

std::string ignored_message() { return response(kIgnored, nullptr); }

std::string gql_status_of(const std::string& code) {
  const auto has = [&](const char* part) { return code.find(part) != std::string::npos; };
  if (has(".Statement.SyntaxError") || has(".Statement.SemanticError")) return "42000";
  if (has(".Statement.TypeError") || has(".Statement.ArgumentError") || has(".Statement.ArithmeticError") ||
      has(".Statement.EntityNotFound") || has(".Statement.ParameterMissing")) {
    return "22000";
  }
  return "50N42";
}

std::string failure_message(const std::string& code, const std::string& message, BoltVersion version) {
  PackMap metadata;
  if (version.at_least(5, 7)) {
    metadata.push_back({"neo4j_code", code});
    metadata.push_back({"message", message});
    metadata.push_back({"gql_status", gql_status_of(code)});
    metadata.push_back({"description", message});
    metadata.push_back(
        {"diagnostic_record", PackMap{{"OPERATION", ""}, {"OPERATION_CODE", "0"}, {"CURRENT_SCHEMA", "/"}}});
  } else {
    metadata.push_back({"code", code});
    metadata.push_back({"message", message});
  }
  return response(kFailure, &metadata);
}

}  // namespace orvane::bolt
