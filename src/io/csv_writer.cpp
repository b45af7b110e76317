// The two CSV layouts. The export layout carries each node's whole property
// object as one compact JSON text (keys in ascending byte order), so labels,
// properties and relationship types survive a round trip through the CSV
// reader unchanged. The benchmark layout is the generated corpus in typed
// Neo4j columns: name, topic and the 32 embedding components joined by ";"
// (each as "%g" would print it, 6 significant digits).
#include <charconv>
#include <filesystem>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "io/export.h"
#include "io/export_writer.h"

namespace orvane {
namespace {

void put_embedding(ExportFile& out, std::span<const float> values) {
  char text[32];
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i != 0) out.put(';');
    const auto r = std::to_chars(text, text + sizeof text, static_cast<double>(values[i]),
                                 std::chars_format::general, 6);
    out.put(std::string_view(text, static_cast<std::size_t>(r.ptr - text)));
  }
}

void write_node_lines(const Database& db, ExportFile& out, bool benchmark_layout) {
  const PhysicalGraph& g = db.graph;
  for (std::uint32_t id = 0; id < g.node_count; ++id) {
    const std::string& label = db.node_type_name(g.labels[id]);
    out.put_number(id);
    out.put(',');
    if (benchmark_layout) {
      out.put_quoted(db.names[id]);
      out.put(',');
      out.put_number(db.topics[id]);
      out.put(',');
      put_embedding(out, db.embedding(id));
      out.put(',');
      out.put_quoted(label);
    } else {
      out.put_quoted(label);
      out.put(',');
      out.put_quoted(db.node_properties(id).dump());
    }
    out.put('\n');
  }
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
  nodes.put(benchmark_layout ? "id:ID,name,topic:int,emb:float[],:LABEL\n" : ":ID,:LABEL,properties:json\n");
  write_node_lines(db, nodes, benchmark_layout);
  const bool nodes_ok = nodes.finish();

  ExportFile rels((dir / "rels.csv").string());
  if (!rels.is_open()) throw std::runtime_error("cannot write rels.csv");
  rels.put(":START_ID,:END_ID,:TYPE\n");
  for_each_export_relationship(db, [&](std::uint32_t src, std::uint32_t dst, std::uint16_t type) {
    rels.put_number(src);
    rels.put(',');
    rels.put_number(dst);
    rels.put(',');
    rels.put_quoted(db.rel_types[type]);
    rels.put('\n');
  });
  const bool rels_ok = rels.finish();
  if (!nodes_ok || !rels_ok) throw std::runtime_error("CSV export write failed");
}

}  // namespace orvane
