// The JSON-lines layout of an export: one object per line, nodes in
// identity order, relationships in relationship identity order.
//
//   nodes.jsonl   {"id":N,"labels":["A","B"],"properties":{...}}
//   rels.jsonl    {"id":R,"src":S,"dst":T,"type":"X","properties":{...}}
//
// A properties object is the text the JSON library would dump for the
// entity's typed JSON object (PropertyStore::to_json): keys in ascending
// byte order, each value as append_typed_json writes it. It is written
// straight from the store's entries, without building a JSON value per
// line, which is most of what a line cost when every value went through
// to_typed_json and dump(). The fixed parts are prepared once: each key's
// quoted name with its colon, each label's and type's quoted text, and a
// relationship type's whole line ending.
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "graph/database.h"
#include "io/transfer_progress.h"
#include "io/export_writer.h"

namespace orvane {
namespace {

// Writes the typed JSON object of an entity's properties.
class PropertyObjectText {
 public:
  explicit PropertyObjectText(const PropertyStore& store) : store_(store), member_(store.key_count()) {
    std::vector<std::uint32_t> by_name(store.key_count());
    for (std::uint32_t key = 0; key < by_name.size(); ++key) by_name[key] = key;
    std::sort(by_name.begin(), by_name.end(),
              [&](std::uint32_t a, std::uint32_t b) { return store.key_name(a) < store.key_name(b); });
    rank_.resize(by_name.size());
    for (std::uint32_t r = 0; r < by_name.size(); ++r) rank_[by_name[r]] = r;
    for (std::uint32_t key = 0; key < member_.size(); ++key) {
      append_json_text(member_[key], store.key_name(key));
      member_[key] += ':';
    }
  }

  // Appends the object of `entity`: "{}" when it has no properties or lies
  // beyond the store.
  void append(std::string& out, std::uint64_t entity) {
    if (entity >= store_.size()) {
      out += "{}";
      return;
    }
    std::vector<std::pair<std::uint32_t, Value>> entries = store_.entries(entity);
    std::sort(entries.begin(), entries.end(),
              [this](const auto& a, const auto& b) { return rank_[a.first] < rank_[b.first]; });
    out += '{';
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (i != 0) out += ',';
      out += member_[entries[i].first];
      append_typed_json(out, entries[i].second);
    }
    out += '}';
  }

 private:
  const PropertyStore& store_;
  std::vector<std::uint32_t> rank_;   // by key id: position of its name in byte order
  std::vector<std::string> member_;   // by key id: the quoted name and ":"
};

// Appends `value` in decimal to the buffer at `at`, which has room for it.
char* put_decimal(char* at, std::uint64_t value) { return std::to_chars(at, at + 20, value).ptr; }

bool write_nodes(const Database& db, const std::string& path) {
  const PhysicalGraph& g = db.graph;
  ExportFile out(path);
  if (!out.is_open()) throw std::runtime_error("cannot write nodes.jsonl");
  std::vector<std::string> label_texts(db.node_types.size());
  for (std::size_t l = 0; l < label_texts.size(); ++l) append_json_text(label_texts[l], db.node_types[l]);
  PropertyObjectText properties(db.node_store);
  std::string line;
  std::size_t extra = 0;  // cursor into extra_label_nodes, which is ascending by identity
  TransferProgress* const progress = current_progress();
  for (std::uint32_t id = 0; id < g.node_count; ++id) {
    count_record(progress);
    char head[32] = R"({"id":)";
    char* end = put_decimal(head + 6, db.node_id(id));
    line.assign(head, end);
    line += R"(,"labels":[)";
    if (g.labels[id] != kNoLabel) {
      line += label_texts[g.labels[id]];
      for (; extra < g.extra_label_nodes.size() && g.extra_label_nodes[extra] <= id; ++extra) {
        if (g.extra_label_nodes[extra] != id) continue;
        line += ',';
        line += label_texts[g.extra_labels[extra]];
      }
    }
    line += R"(],"properties":)";
    properties.append(line, id);
    line += "}\n";
    out.put(line);
  }
  return out.finish();
}

bool write_relationships(const Database& db, const std::string& path) {
  const PhysicalGraph& g = db.graph;
  ExportFile out(path);
  if (!out.is_open()) throw std::runtime_error("cannot write rels.jsonl");
  // By type: the rest of a line without properties, and the part up to a
  // properties object.
  std::vector<std::string> bare_tail(db.rel_types.size()), tail(db.rel_types.size());
  for (std::size_t t = 0; t < tail.size(); ++t) {
    tail[t] = R"(,"type":)";
    append_json_text(tail[t], db.rel_types[t]);
    tail[t] += R"(,"properties":)";
    bare_tail[t] = tail[t] + "{}}\n";
  }
  PropertyObjectText properties(db.rel_store);
  std::string object;
  TransferProgress* const rel_progress = current_progress();
  for (std::uint32_t rel = 0; rel < g.edges.size(); ++rel) {
    count_record(rel_progress);
    const Edge& e = g.edges[rel];
    char head[96] = R"({"id":)";  // room for three 20-digit ids
    char* at = put_decimal(head + 6, db.relationship_id(rel));
    at = std::copy_n(R"(,"src":)", 7, at);
    at = put_decimal(at, db.node_id(e.src));
    at = std::copy_n(R"(,"dst":)", 7, at);
    at = put_decimal(at, db.node_id(e.dst));
    out.put(std::string_view(head, static_cast<std::size_t>(at - head)));
    // Most relationships have no properties: their line ends in one piece.
    if (rel >= db.rel_store.size()) {
      out.put(bare_tail[e.type]);
      continue;
    }
    object.clear();
    properties.append(object, rel);
    out.put(tail[e.type]);
    out.put(object);
    out.put("}\n");
  }
  return out.finish();
}

}  // namespace

void write_jsonl_files(const Database& db, const std::string& directory) {
  const std::filesystem::path dir(directory);
  const bool nodes_ok = write_nodes(db, (dir / "nodes.jsonl").string());
  const bool rels_ok = write_relationships(db, (dir / "rels.jsonl").string());
  if (!nodes_ok || !rels_ok) throw std::runtime_error("JSONL export write failed");
}

}  // namespace orvane
