// The service state file run/service.json, which names the running
// background server (boot id, instance, pid, port, start ticks), the checks
// that decide whether the process it names is really that server, and the
// server log with its rotation. A corrupt or foreign state file never makes
// a caller signal an unrelated process: it reads as no state, or is refused.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace orvane {

// Replaces `path` atomically and durably with `state` written compactly
// (keys ascending) and a line feed, through replace_file_atomically: on
// return the file and its directory entry are on disk. Throws "Cannot save
// application state: REASON" when the temporary file cannot be created or
// renamed (and "Cannot save application state PATH: REASON" when the path
// cannot take a file), "Cannot write application state" for a failed write
// and "Cannot flush application state" when a sync or close fails. Requires:
// the parent directory exists.
void write_state_file(const std::string& path, const nlohmann::json& state);

// The object in the state file at `path`, or null when the file does not
// exist or holds anything but a JSON object. Throws "Cannot read
// application state" for any other open failure (a final symbolic link
// included), "Invalid application state file" for anything but a regular
// file of the current user of at most 16384 bytes and "Incomplete
// application state" for a short read.
nlohmann::json read_state(const std::string& path);

// Field 22 of /proc/PID/stat (the start time in clock ticks) as text;
// "" for a zombie or dead process, a missing file or a short line.
std::string process_start_ticks(long long pid);

// True when process `pid` holds a TCP socket (IPv4 or IPv6) in the listening
// state, as /proc/PID/fd and /proc/PID/net/tcp{,6} show; false when it holds
// none or cannot be inspected.
bool process_listens(long long pid);

// True only when "pid" is an integer from 2 to 2147483647, the boot id
// equals "boot", the start ticks equal "ticks", /proc/PID belongs to the
// current user and its command line holds "--managed-instance" NUL
// instance NUL. A missing "ticks" or a non-string "boot" throws the JSON
// library's error.
bool is_live_instance(const nlohmann::json& state);

// "http://127.0.0.1:" + port + "/".
std::string service_url(const nlohmann::json& state);
// "bolt://127.0.0.1:" + bolt_port, or "" when the state records none.
std::string service_bolt_url(const nlohmann::json& state);

// Rotates `log_path` to `log_path`.1 when it holds 5242880 bytes or more,
// then opens it for appending (mode 0600, close-on-exec, no final symbolic
// link) and returns the descriptor; throws "Cannot open the database log".
int open_server_log(const std::string& log_path);

}  // namespace orvane
