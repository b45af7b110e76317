// The two CSV layouts.
//
// The export layout is neo4j-admin's bulk-import layout with one typed
// column per property key, so that the files load into Neo4j and read back
// here to the same graph, types included:
//
//   nodes.csv   :ID,:LABEL,KEY:TYPE,...[,properties:json]
//   rels.csv    :START_ID,:END_ID,:TYPE,KEY:TYPE,...[,properties:json]
//
// Nodes are rows in identity order, relationships in relationship identity
// order (so an import, which creates them in file order, gives every one
// its identity back, parallel relationships included). ":ID" and the
// endpoints are the ids users see (graph/entity_ids.h). neo4j-admin has no
// column for a relationship's own id, so when the relationships have ids
// other than their identities (an imported dump's), they go to a column
// "relationshipId:IGNORE", which neo4j-admin skips and our import reads
// back as the ids. ":LABEL" holds every
// label in order joined by ";" and is empty for a node without labels. The
// key columns come in ascending byte order of their names; each takes the
// type (io/csv_types.h) that every value of its key in the file has. A key
// whose values differ in type, or that no typed column carries exactly (a
// byte array, NaN, a name holding ":", ...), goes to the trailing
// properties:json column, which holds the typed JSON object of such keys
// only and appears only when some key needs it. An absent value is an empty
// unquoted field, an empty string "".
//
// Typing a key takes one pass over the store before the rows are written;
// rows are then written from each entity's values straight into the
// buffer, and a JSON object is built only for the rows that hold a key of
// the properties:json column.
//
// The benchmark layout is the generated corpus in typed Neo4j columns: name,
// topic and the 32 embedding components joined by ";" (each as "%g" would
// print it, 6 significant digits), relationships in the walk of
// for_each_export_relationship. Its bytes are what benchmark scripts load
// and do not change.
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <span>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "io/transfer_progress.h"
#include "io/csv_types.h"
#include "io/export.h"
#include "io/export_writer.h"

namespace orvane {
namespace {

constexpr std::uint32_t kUnused = UINT32_MAX;      // column_of_key: no entity holds the key
constexpr std::uint32_t kInJson = UINT32_MAX - 1;  // column_of_key: the key goes to properties:json

// Where each property key of one file goes.
struct Layout {
  std::vector<std::uint32_t> keys;           // by column: key id, in ascending name order
  std::vector<CsvColumnType> types;          // by column: its type
  std::vector<std::uint32_t> column_of_key;  // by key id: column, kInJson or kUnused
  bool has_json = false;                     // some key goes to properties:json
};

// A key a typed column can name: the importer splits a header at its first
// ":", skips nameless columns and owns the name "properties".
bool nameable(const std::string& key) {
  return !key.empty() && key.find(':') == std::string::npos && key != "properties";
}

Layout plan_layout(const PropertyStore& store, std::uint64_t entities) {
  std::vector<CsvColumnType> of_key(store.key_count());
  const std::uint64_t held = std::min(entities, store.size());
  for (std::uint64_t e = 0; e < held; ++e) {
    for (const auto& [key, value] : store.entries(e)) {
      CsvColumnType& t = of_key[key];
      if (t.scalar != CsvScalar::kJson) t = merge_column_types(t, csv_column_type(value));
    }
  }
  Layout layout;
  layout.column_of_key.assign(store.key_count(), kUnused);
  for (std::uint32_t key = 0; key < store.key_count(); ++key) {
    if (of_key[key] == CsvColumnType{}) continue;
    if (of_key[key].scalar == CsvScalar::kJson || !nameable(store.key_name(key))) {
      layout.column_of_key[key] = kInJson;
      layout.has_json = true;
    } else {
      layout.keys.push_back(key);
    }
  }
  std::sort(layout.keys.begin(), layout.keys.end(),
            [&](std::uint32_t a, std::uint32_t b) { return store.key_name(a) < store.key_name(b); });
  for (std::uint32_t column = 0; column < layout.keys.size(); ++column) {
    layout.types.push_back(of_key[layout.keys[column]]);
    layout.column_of_key[layout.keys[column]] = column;
  }
  return layout;
}

// A field in quotes when the reader needs them to see the same text.
void put_field(ExportFile& out, std::string_view text) {
  if (text.empty() || text.find_first_of(",\"\r\n") != std::string_view::npos) {
    out.put_quoted(text);
  } else {
    out.put(text);
  }
}

void put_header(ExportFile& out, const char* fixed, const PropertyStore& store, const Layout& layout) {
  out.put(fixed);
  for (std::size_t column = 0; column < layout.keys.size(); ++column) {
    out.put(',');
    put_field(out, store.key_name(layout.keys[column]) + ":" + csv_type_name(layout.types[column]));
  }
  if (layout.has_json) out.put(",properties:json");
  out.put('\n');
}

// Writes the property fields of one row; buffers are reused across rows.
class RowWriter {
 public:
  RowWriter(const PropertyStore& store, const Layout& layout)
      : store_(store), layout_(layout), texts_(layout.keys.size()), present_(layout.keys.size(), 0) {}

  void put(ExportFile& out, std::uint64_t entity) {
    nlohmann::json mixed;
    if (entity < store_.size()) {
      for (const auto& [key, value] : store_.entries(entity)) {
        const std::uint32_t column = layout_.column_of_key[key];
        if (column == kInJson) {
          mixed[store_.key_name(key)] = to_typed_json(value);
          continue;
        }
        texts_[column].clear();
        append_csv_text(texts_[column], value);
        present_[column] = 1;
      }
    }
    for (std::size_t column = 0; column < texts_.size(); ++column) {
      out.put(',');
      if (!present_[column]) continue;
      present_[column] = 0;
      // Strings are always quoted, so that "" stays apart from an absent value.
      if (layout_.types[column].scalar == CsvScalar::kString) {
        out.put_quoted(texts_[column]);
      } else {
        put_field(out, texts_[column]);
      }
    }
    if (layout_.has_json) {
      out.put(',');
      if (!mixed.is_null()) out.put_quoted(mixed.dump());
    }
  }

 private:
  const PropertyStore& store_;
  const Layout& layout_;
  std::vector<std::string> texts_;  // by column: this row's text
  std::vector<char> present_;       // by column: this row holds a value
};

void write_export_nodes(const Database& db, ExportFile& out) {
  const PhysicalGraph& g = db.graph;
  const Layout layout = plan_layout(db.node_store, g.node_count);
  put_header(out, ":ID,:LABEL", db.node_store, layout);
  RowWriter row(db.node_store, layout);
  std::size_t extra = 0;  // cursor into extra_label_nodes, which is ascending by identity
  std::string labels;
  TransferProgress* const progress = current_progress();
  for (std::uint32_t id = 0; id < g.node_count; ++id) {
    count_record(progress);
    out.put_number(db.node_id(id));
    out.put(',');
    if (g.labels[id] != kNoLabel) {
      labels = db.node_type_name(g.labels[id]);
      for (; extra < g.extra_label_nodes.size() && g.extra_label_nodes[extra] <= id; ++extra) {
        if (g.extra_label_nodes[extra] != id) continue;
        labels += ';';
        labels += db.node_type_name(g.extra_labels[extra]);
      }
      out.put_quoted(labels);
    }
    row.put(out, id);
    out.put('\n');
  }
}

void write_export_relationships(const Database& db, ExportFile& out) {
  const std::vector<Edge>& edges = db.graph.edges;
  const Layout layout = plan_layout(db.rel_store, edges.size());
  const bool ids = !db.rel_ids.is_identity();
  const std::string fixed = ids ? std::string(":START_ID,:END_ID,:TYPE,") + kRelationshipIdHeader
                                : std::string(":START_ID,:END_ID,:TYPE");
  put_header(out, fixed.c_str(), db.rel_store, layout);
  RowWriter row(db.rel_store, layout);
  TransferProgress* const progress = current_progress();
  for (std::uint32_t rel = 0; rel < edges.size(); ++rel) {
    count_record(progress);
    out.put_number(db.node_id(edges[rel].src));
    out.put(',');
    out.put_number(db.node_id(edges[rel].dst));
    out.put(',');
    out.put_quoted(db.rel_types[edges[rel].type]);
    if (ids) {
      out.put(',');
      out.put_number(db.relationship_id(rel));
    }
    row.put(out, rel);
    out.put('\n');
  }
}

void put_embedding(ExportFile& out, std::span<const float> values) {
  char text[32];
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i != 0) out.put(';');
    const auto r = std::to_chars(text, text + sizeof text, static_cast<double>(values[i]),
                                 std::chars_format::general, 6);
    out.put(std::string_view(text, static_cast<std::size_t>(r.ptr - text)));
  }
}

void write_benchmark_nodes(const Database& db, ExportFile& out) {
  out.put("id:ID,name,topic:int,emb:float[],:LABEL\n");
  for (std::uint32_t id = 0; id < db.graph.node_count; ++id) {
    out.put_number(db.node_id(id));
    out.put(',');
    out.put_quoted(db.names[id]);
    out.put(',');
    out.put_number(db.topics[id]);
    out.put(',');
    put_embedding(out, db.embedding(id));
    out.put(',');
    out.put_quoted(db.node_type_name(db.graph.labels[id]));
    out.put('\n');
  }
}

void write_benchmark_relationships(const Database& db, ExportFile& out) {
  out.put(":START_ID,:END_ID,:TYPE\n");
  for_each_export_relationship(db, [&](std::uint32_t src, std::uint32_t dst, std::uint16_t type) {
    out.put_number(db.node_id(src));
    out.put(',');
    out.put_number(db.node_id(dst));
    out.put(',');
    out.put_quoted(db.rel_types[type]);
    out.put('\n');
  });
}

}  // namespace

void write_csv_files(const Database& db, const std::string& directory, bool benchmark_layout) {
  if (!db.graph.compiled) throw std::runtime_error("compile the graph before exporting");
  if (benchmark_layout) {
    for (std::uint32_t id = 0; id < db.graph.node_count; ++id) {
      const std::uint16_t label = db.graph.labels[id];
      if (label != db.person_label && label != db.paper_label) {
        throw std::runtime_error("benchmark layout is for generated Person/Paper corpora only");
      }
    }
  }
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);  // a failure shows as the open failure below
  const std::filesystem::path dir(directory);

  ExportFile nodes((dir / "nodes.csv").string());
  if (!nodes.is_open()) throw std::runtime_error("cannot write nodes.csv");
  if (benchmark_layout) {
    write_benchmark_nodes(db, nodes);
  } else {
    write_export_nodes(db, nodes);
  }
  const bool nodes_ok = nodes.finish();

  ExportFile rels((dir / "rels.csv").string());
  if (!rels.is_open()) throw std::runtime_error("cannot write rels.csv");
  if (benchmark_layout) {
    write_benchmark_relationships(db, rels);
  } else {
    write_export_relationships(db, rels);
  }
  const bool rels_ok = rels.finish();
  if (!nodes_ok || !rels_ok) throw std::runtime_error("CSV export write failed");
}

}  // namespace orvane
