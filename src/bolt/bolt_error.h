// Errors of the Bolt layer. Every fault a peer can cause (bytes that are
// not PackStream, a message of the wrong shape, a message the session
// cannot take in its state) is a BoltError carrying the complete message
// and the Neo4j status code the session answers it with; the session turns
// it into a FAILURE, and a connection that cannot go on is closed.
#pragma once

#include <stdexcept>
#include <string>

namespace orvane::bolt {

// Status codes the Bolt layer itself raises.
inline constexpr const char* kRequestInvalid = "Neo.ClientError.Request.Invalid";
inline constexpr const char* kRequestInvalidFormat = "Neo.ClientError.Request.InvalidFormat";
inline constexpr const char* kUnauthorized = "Neo.ClientError.Security.Unauthorized";
inline constexpr const char* kDatabaseError = "Neo.DatabaseError.General.UnknownError";

class BoltError : public std::runtime_error {
 public:
  // `code` is the Neo4j status code the FAILURE carries; `message` the text
  // shown to the user.
  BoltError(std::string code, const std::string& message) : std::runtime_error(message), code_(std::move(code)) {}
  explicit BoltError(const std::string& message) : BoltError(kRequestInvalidFormat, message) {}

  const std::string& code() const { return code_; }

 private:
  std::string code_;
};

}  // namespace orvane::bolt
