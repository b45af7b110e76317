// The API operations that combine the console with the remote, analytics
// and export libraries. Each is a thin composition: the work and the
// messages belong to the library it calls, and this file only fixes the
// order (parse, then override, then probe, then register) so that a failed
// request changes nothing.
#include "console/api_operations.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "analytics/retrieval.h"
#include "console/engine.h"
#include "console/procedures.h"
#include "graph/json_text.h"
#include "io/export.h"
#include "remote/cutover.h"
#include "remote/remote_endpoint.h"

namespace orvane {

std::string databases_document(const Engine& engine, const std::string& host) {
  const std::vector<std::string> names = engine.database_names();
  RemoteEndpoint endpoint;
  endpoint.url = host.empty() ? std::string(kDefaultRemoteUrl) : host;
  std::string names_text, connections_text, files_text;
  for (const std::string& name : names) {
    if (!names_text.empty()) {
      names_text += ',';
      connections_text += ',';
      files_text += ',';
    }
    const std::string file = engine.file_of(name);
    files_text += "{\"database\":" + json_string(name) + ",\"file\":" + (file.empty() ? "null" : json_string(file)) + "}";
    names_text += json_string(name);
    endpoint.database = name;
    connections_text +=
        "{\"database\":" + json_string(name) + ",\"connection\":" + json_string(connection_string(endpoint)) + "}";
  }
  return "{\"current\":" + json_string(engine.current_name()) + ",\"names\":[" + names_text + "],\"connections\":[" +
         connections_text + "],\"files\":[" + files_text + "]}";
}

void register_remote(Engine& engine, const RemoteFields& fields) {
  RemoteEndpoint endpoint;
  if (!fields.connection.empty() && !parse_connection(endpoint, fields.connection)) {
    throw std::runtime_error("invalid connection string");
  }
  if (!fields.name.empty()) endpoint.name = fields.name;
  if (!fields.url.empty()) endpoint.url = fields.url;
  if (!fields.password.empty()) endpoint.password = fields.password;
  if (!fields.key_file.empty()) endpoint.key_file = fields.key_file;
  if (!fields.database.empty()) endpoint.database = fields.database;
  if (!fields.port.empty()) {
    const unsigned long port = std::stoul(fields.port);
    // A port that does not fit would silently name another server.
    if (port == 0 || port > 65535) throw std::runtime_error("invalid port: " + fields.port);
    endpoint.port = static_cast<std::uint16_t>(port);
  }
  probe(endpoint);
  add_remote_connection(engine, endpoint);
}

std::string cutover_plan_document(const std::string& bolt, const std::string& dump_dir, const std::string& host) {
  CutoverOptions options;
  if (!bolt.empty()) options.bolt = bolt;
  if (!dump_dir.empty()) options.dump_dir = dump_dir;
  if (!host.empty()) options.host = host;
  return cutover_runbook(options);
}

std::string retrieval_document(const Engine& engine, const std::string& text, std::uint64_t k, int hops) {
  const Database& db = engine.database();
  std::vector<float> query(db.embedding_dim);
  text_embedding(query.data(), query.size(), text);
  return retrieval_document_json(db, query.data(), k, std::max(hops, 0));
}

void export_current(const Engine& engine, const std::string& destination, const std::string& format) {
  export_graph(engine.database(), destination, format);
}

}  // namespace orvane
