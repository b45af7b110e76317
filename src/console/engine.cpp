// The registry is a hash map keyed by the exact bytes of a name: no case
// folding, trimming or prefix matching, so "Social" and "social" are two
// databases. Lookups never create an entry (no operator[]), which keeps a
// mistyped name from registering an empty graph.
#include "console/engine.h"

#include <stdexcept>
#include <utility>

namespace orvane {

std::string unknown_database_message(const std::string& name) { return "unknown database: " + name; }

Database& Engine::database(const std::string& name) {
  const std::string& effective = name.empty() ? current : name;
  const auto it = databases.find(effective);
  if (it == databases.end()) throw std::runtime_error(unknown_database_message(effective));
  return it->second;
}

const Database& Engine::database(const std::string& name) const {
  return const_cast<Engine&>(*this).database(name);
}

void Engine::register_database(const std::string& name, Database db) {
  if (name.empty()) throw std::runtime_error("database name must not be empty");
  databases.insert_or_assign(name, std::move(db));
}

void Engine::use_database(const std::string& name) {
  if (!databases.contains(name)) throw std::runtime_error(unknown_database_message(name));
  current = name;
}

void Engine::record_change(std::string op, std::string detail) {
  changes.push_back({std::move(op), std::move(detail)});
  ++change_count;
  while (changes.size() > kChangeEventCapacity) changes.pop_front();
}

void Engine::log_statement(std::string cypher, double ns, bool ok) {
  query_log.push_back({std::move(cypher), ns, ok});
  while (query_log.size() > kQueryLogCapacity) query_log.pop_front();
}

}  // namespace orvane
