// Writes the seed corpus of snapshot_fuzz into a directory: real snapshots
// of several small graphs saved with save_snapshot (version 4), and the same
// files converted to versions 3 and 2 the way those versions are defined
// (version 3: the version field set to 3 and the digest dropped; version 2:
// version 3 without the property section, which is the last n texts).
//
//   snapshot_seeds DIR
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"
#include "storage/snapshot.h"

namespace {

using nlohmann::json;

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_all(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

void set_version(std::string& bytes, std::uint32_t version) { std::memcpy(&bytes[8], &version, sizeof version); }

// Bytes the property section of `db` takes: a length and the compact text
// per node, as the writer lays them out.
std::size_t property_section_size(const orvane::Database& db) {
  std::size_t size = 0;
  for (std::uint64_t i = 0; i < db.graph.node_count; ++i) {
    size += 4 + db.node_properties(static_cast<std::uint32_t>(i)).dump().size();
  }
  return size;
}

// Saves `db` as DIR/NAME-v4.bin and, when asked, its version 3 and 2 forms.
void emit(const std::string& dir, const std::string& name, const orvane::Database& db, bool older) {
  const std::string v4_path = dir + "/" + name + "-v4.bin";
  orvane::save_snapshot(db, v4_path);
  std::printf("%s %zu bytes\n", v4_path.c_str(), read_all(v4_path).size());
  if (!older) return;
  std::string v3 = read_all(v4_path);
  v3.resize(v3.size() - 32);
  set_version(v3, 3);
  write_all(dir + "/" + name + "-v3.bin", v3);
  std::string v2 = v3;
  v2.resize(v2.size() - property_section_size(db));
  set_version(v2, 2);
  write_all(dir + "/" + name + "-v2.bin", v2);
}

// Custom labels and types, renumbered positions, nested and non-ASCII
// properties, a node without a name.
orvane::Database rich_graph() {
  orvane::Database db;
  orvane::generate_corpus(db, 12, 5, 7);
  orvane::optimize_layout(db);
  std::string name;
  const std::uint32_t city = db.add_labeled_node("City", name, json{{"name", "Zürich"}, {"pop", 421878}}, 3);
  name = "";
  const std::uint32_t empty = db.add_labeled_node("Empty", name, json::object(), 0);
  const std::uint16_t near = db.add_rel_type("NEAR");
  db.add_rel_type("UNUSED");
  db.graph.add_edge(city, 0, near);
  db.graph.add_edge(0, city, db.follows_type);
  db.graph.add_edge(empty, city, db.authored_type);
  db.graph.add_edge(city, city, near);
  db.set_property(1, "tags", json::array({"a", "b\"q", 2.5, nullptr, json::object({{"k", true}})}));
  db.set_property(2, "big", json(std::numeric_limits<std::uint64_t>::max()));
  db.set_property(3, "neg", -42);
  db.set_property(4, "name", 7);
  db.compile();
  return db;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: snapshot_seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  orvane::Database empty;
  empty.compile();
  emit(dir, "empty", empty, true);

  orvane::Database db;
  emit(dir, "corpus-4-2", orvane::generate_corpus(db, 4, 2, 3), true);
  orvane::optimize_layout(orvane::generate_corpus(db, 40, 16, 5));
  emit(dir, "corpus-40-16", db, true);
  orvane::optimize_layout(orvane::generate_corpus(db, 300, 120, 11));
  emit(dir, "corpus-300-120", db, false);
  emit(dir, "rich", rich_graph(), true);
  return 0;
}
