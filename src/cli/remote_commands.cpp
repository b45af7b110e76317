// The cutover and cloud commands: thin front ends over the remote library.
//
// cloud reads its options in a fixed order so that the more specific one
// wins: a connection string first, then --url (or --host), --password,
// --key (or --key-file), --database and --port on top. The default address
// is 127.0.0.1 on the endpoint's port, so --port alone moves the probe.
#include <iostream>
#include <stdexcept>

#include "cli/commands.h"
#include "cli/options.h"
#include "remote/cutover.h"
#include "remote/remote_endpoint.h"

namespace orvane {

int run_cutover(int argc, char** argv) {
  CutoverOptions o;
  o.bolt = option_value(argc, argv, "--bolt", o.bolt);
  o.dump_dir = option_value(argc, argv, "--dump", option_value(argc, argv, "--from", o.dump_dir));
  o.host = option_value(argc, argv, "--host", "");
  o.database = option_value(argc, argv, "--database", o.database);
  std::cout << cutover_runbook(o) << '\n';
  return 0;
}

int run_cloud(int argc, char** argv) {
  RemoteEndpoint e;
  e.name = option_value(argc, argv, "--name", e.name);
  const std::string connection = option_value(argc, argv, "--connection", "");
  // The message leaves the string out: it may hold a password.
  if (!connection.empty() && !parse_connection(e, connection)) throw std::runtime_error("invalid connection string");
  const std::string url = option_value(argc, argv, "--url", option_value(argc, argv, "--host", ""));
  if (!url.empty()) {
    RemoteAddress checked;
    if (!split_address(url, e.port, checked)) throw std::runtime_error("invalid value for --url");
    e.url = url;
  }
  const auto take = [&](const char* name, const std::string& fallback, std::string& field) {
    const std::string value = option_value(argc, argv, name, fallback);
    if (!value.empty()) field = value;
  };
  take("--password", "", e.password);
  take("--key", option_value(argc, argv, "--key-file", ""), e.key_file);
  take("--database", "", e.database);
  const std::string port = option_value(argc, argv, "--port", "");
  if (!port.empty()) e.port = static_cast<std::uint16_t>(parse_unsigned(port, "--port"));
  if (e.url.empty()) e.url = "127.0.0.1:" + std::to_string(e.port);
  probe(e);
  std::cout << endpoint_json(e) << '\n' << hosted_offering_json() << '\n';
  return e.reachable ? 0 : 1;
}

}  // namespace orvane
