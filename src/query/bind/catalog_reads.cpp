// The binder's name resolution against a Database, recorded so that a plan
// cache can tell whether a plan still holds for the Database as it is now.
#include "graph/database.h"
#include "query/bind/binder.h"
#include "query/bind/binder_state.h"

namespace orvane {

std::uint32_t resolve_catalog_name(CatalogKind kind, const std::string& name, const Database& db) {
  switch (kind) {
    case CatalogKind::kLabel: {
      const auto it = db.node_type_ids.find(name);
      return it == db.node_type_ids.end() ? kUnknownKey : it->second;
    }
    case CatalogKind::kType: {
      const auto it = db.rel_type_ids.find(name);
      return it == db.rel_type_ids.end() ? kUnknownKey : it->second;
    }
    case CatalogKind::kNodeKey: return db.node_store.find_key(name);
    case CatalogKind::kRelKey: return db.rel_store.find_key(name);
    case CatalogKind::kTypeCount: return static_cast<std::uint32_t>(db.rel_type_ids.size());
  }
  return kUnknownKey;
}

bool catalog_holds(const std::vector<CatalogRead>& catalog, const Database& db) {
  for (const CatalogRead& read : catalog) {
    if (resolve_catalog_name(read.kind, read.name, db) != read.id) return false;
  }
  return true;
}

namespace {

std::uint32_t recorded(std::vector<CatalogRead>& catalog, CatalogKind kind, const std::string& name,
                       const Database& db) {
  for (const CatalogRead& read : catalog) {
    if (read.kind == kind && read.name == name) return read.id;
  }
  const std::uint32_t id = resolve_catalog_name(kind, name, db);
  catalog.push_back({kind, name, id});
  return id;
}

}  // namespace

std::uint32_t BinderState::label_id(const std::string& name) { return recorded(catalog_, CatalogKind::kLabel, name, db_); }
std::uint32_t BinderState::type_id(const std::string& name) { return recorded(catalog_, CatalogKind::kType, name, db_); }
std::uint32_t BinderState::node_key(const std::string& name) { return recorded(catalog_, CatalogKind::kNodeKey, name, db_); }
std::uint32_t BinderState::rel_key(const std::string& name) { return recorded(catalog_, CatalogKind::kRelKey, name, db_); }
std::uint32_t BinderState::type_count() { return recorded(catalog_, CatalogKind::kTypeCount, "", db_); }

}  // namespace orvane
