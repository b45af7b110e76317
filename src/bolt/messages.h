// Bolt messages: the requests a client sends, read into typed structs, and
// the four responses a server writes.
//
// Requests (tag, fields; every extra is a map, absent entries and nulls
// meaning the default):
//   HELLO     0x01  extra {user_agent, [scheme, principal, credentials (≤ 5.0)],
//                          routing, patch_bolt (4.4), bolt_agent (5.3+), ...}
//   GOODBYE   0x02
//   RESET     0x0F
//   RUN       0x10  query, parameters, extra {bookmarks, tx_timeout, tx_metadata, mode, db, imp_user}
//   BEGIN     0x11  extra (as RUN's)
//   COMMIT    0x12
//   ROLLBACK  0x13
//   DISCARD   0x2F  extra {n, qid}
//   PULL      0x3F  extra {n, qid}
//   TELEMETRY 0x54  api                                         (5.4+)
//   ROUTE     0x66  routing, bookmarks, extra {db, imp_user}
//   LOGON     0x6A  auth {scheme, principal, credentials}       (5.1+)
//   LOGOFF    0x6B                                               (5.1+)
// Responses: SUCCESS 0x70 {metadata}, RECORD 0x71 [values], IGNORED 0x7E,
// FAILURE 0x7F {metadata}.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "bolt/handshake.h"
#include "bolt/packstream.h"

namespace orvane::bolt {

struct AuthToken {
  std::string scheme;       // "basic", "none", ...
  std::string principal;    // the user name
  std::string credentials;  // the password
};

struct HelloRequest {
  std::string user_agent;
  std::optional<AuthToken> auth;        // 4.4 and 5.0 authenticate in HELLO
  std::optional<PackMap> routing;       // present when the client routes
  std::vector<std::string> patch_bolt;  // 4.4 patches asked for ("utc")
};
struct LogonRequest {
  AuthToken auth;
};
struct LogoffRequest {};

// The settings RUN and BEGIN share.
struct TxSettings {
  std::vector<std::string> bookmarks;
  std::optional<std::int64_t> tx_timeout;  // milliseconds
  PackMap tx_metadata;
  bool read_only = false;  // mode "r"
  std::string db;          // "" for the home database
  std::string imp_user;    // "" for none
};

struct RunRequest {
  std::string query;
  PackMap parameters;
  TxSettings settings;
};
struct BeginRequest {
  TxSettings settings;
};
// PULL and DISCARD: how many records (-1: all) of which result (-1: the
// last one started).
struct PullRequest {
  std::int64_t n = -1;
  std::int64_t qid = -1;
};
struct DiscardRequest {
  std::int64_t n = -1;
  std::int64_t qid = -1;
};
struct CommitRequest {};
struct RollbackRequest {};
struct ResetRequest {};
struct GoodbyeRequest {};
struct RouteRequest {
  PackMap routing;
  std::vector<std::string> bookmarks;
  std::string db;
  std::string imp_user;
};
struct TelemetryRequest {
  std::int64_t api = 0;
};

using Request =
    std::variant<HelloRequest, LogonRequest, LogoffRequest, RunRequest, BeginRequest, PullRequest, DiscardRequest,
                 CommitRequest, RollbackRequest, ResetRequest, GoodbyeRequest, RouteRequest, TelemetryRequest>;

// The name of a request, as errors say it: "HELLO", "RUN", ...
const char* request_name(const Request& request);

// The request `message` holds for a session of `version`. Throws BoltError
// (Neo.ClientError.Request.Invalid) "invalid NAME message: REASON" for a
// message that is not a structure, an unknown tag or one this version does
// not define, the wrong number of fields, or a field or extra entry of the
// wrong type or value.
Request decode_request(const PackValue& message, BoltVersion version);

// The PackStream bytes of each response (not yet chunked).
std::string success_message(const PackMap& metadata);
std::string ignored_message();
// FAILURE in the form of `version`: {code, message} before 5.7; from 5.7
// {neo4j_code, message, gql_status, description, diagnostic_record}.
std::string failure_message(const std::string& code, const std::string& message, BoltVersion version);

// The GQLSTATUS reported beside a Neo4j status code: a class that matches
// the code's kind ("42000" for statement errors, "22000" for data errors),
// "50N42" otherwise.
std::string gql_status_of(const std::string& code);

}  // namespace orvane::bolt
