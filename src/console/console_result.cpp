// result_json writes members in a fixed order as text; clients (the browser
// console, scripts) read `ok` and `kind` first, and `data` goes in raw
// because documents are JSON text already.
#include "console/console_result.h"

#include "graph/json_text.h"

namespace orvane {
namespace {

void quoted(std::string& out, const std::string& text) {
  append_json_string(out, text, JsonEscape::kDropCarriageReturn);
}

}  // namespace

std::string result_json(const ConsoleResult& r) {
  std::string out = "{\"ok\":";
  out += r.ok ? "true" : "false";
  out += ",\"kind\":";
  quoted(out, r.kind);
  out += ",\"count\":" + std::to_string(r.count) + ",\"ns\":" + json_number(r.ns) + ",\"error\":";
  quoted(out, r.error);
  if (!r.error_class.empty()) {
    out += ",\"errorClass\":";
    quoted(out, r.error_class);
    out += ",\"phase\":";
    quoted(out, r.error_phase);
    out += ",\"detail\":";
    quoted(out, r.error_detail);
  }
  out += ",\"query\":";
  quoted(out, r.query);
  if (!r.data.empty()) out += ",\"data\":" + r.data;
  out += ",\"nodes\":[";
  for (std::size_t i = 0; i < r.nodes.size(); ++i) {
    const ResultNode& n = r.nodes[i];
    out += i ? ",{\"id\":" : "{\"id\":";
    out += std::to_string(n.id) + ",\"label\":";
    quoted(out, n.label);
    out += ",\"name\":";
    quoted(out, n.name);
    out += ",\"topic\":" + std::to_string(n.topic) + ",\"elementId\":\"4:halvex:" + std::to_string(n.id) +
           "\",\"labels\":[";
    for (std::size_t k = 0; k < n.labels.size(); ++k) {
      if (k) out += ',';
      quoted(out, n.labels[k]);
    }
    out += "],\"properties\":" + n.properties + "}";
  }
  out += "],\"rels\":[";
  for (std::size_t i = 0; i < r.rels.size(); ++i) {
    const ResultRel& e = r.rels[i];
    out += i ? ",{\"src\":" : "{\"src\":";
    out += std::to_string(e.src) + ",\"dst\":" + std::to_string(e.dst) + ",\"type\":";
    quoted(out, e.type);
    out += ",\"id\":" + std::to_string(e.id) + ",\"elementId\":\"5:halvex:" + std::to_string(e.id) +
           "\",\"properties\":" + e.properties + "}";
  }
  out += ']';
  if (r.graph_truncated) out += ",\"graphTruncated\":true";
  return out + "}";
}

}  // namespace orvane
