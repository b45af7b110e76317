// The runbook document. Values are escaped twice over where they sit inside
// a command: first as shell words (what the operator's shell must see), then
// the whole command as a JSON string (what the document must hold). Default
// values need no shell quoting, so the default runbook reads plainly.
#include "remote/cutover.h"

#include <string_view>

#include "graph/json_text.h"

namespace orvane {
namespace {

constexpr const char* kNote =
    "Take the dump on the Neo4j host, copy it here and load it with migrate; "
    "Halvex never logs into Neo4j.";

bool is_plain(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::string_view("_./:@%+=,-").find(c) != std::string_view::npos;
}

std::string step(int n, const char* where, const std::string& cmd) {
  return JsonObjectText().count("n", static_cast<std::uint64_t>(n)).string("where", where).string("cmd", cmd).text();
}

}  // namespace

std::string shell_word(const std::string& text) {
  bool plain = !text.empty();
  for (const char c : text) plain = plain && is_plain(c);
  if (plain) return text;
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string cutover_runbook(const CutoverOptions& o) {
  const std::string dump_file = o.dump_dir + "/" + o.database + ".dump";
  const std::string source = JsonObjectText()
                                 .string("bolt", o.bolt)
                                 .string("http", o.http)
                                 .string("database", o.database)
                                 .string("dump_dir", o.dump_dir)
                                 .text();
  const std::string destination =
      JsonObjectText().string("host", o.host.empty() ? "ORVANE_HOST" : o.host).string("database", o.target).text();
  const std::string steps =
      "[" +
      step(1, "the Neo4j server you already run",
           "neo4j-admin database dump " + shell_word(o.database) + " --to-path=" + shell_word(o.dump_dir)) +
      "," +
      step(2, "Halvex",
           "./build/orvane migrate --from " + shell_word(dump_file) + " --out " +
               shell_word("data/" + o.target + ".orv")) +
      "," + step(3, "apps", "point clients at the Halvex URL:port instead of " + o.bolt) + "]";
  return JsonObjectText()
      .raw("source", source)
      .raw("destination", destination)
      .raw("steps", steps)
      .raw("formats", json_string_array({"nodes.csv+rels.csv", "relationships.csv", "nodes.jsonl+rels.jsonl"}))
      .string("note", kNote)
      .text();
}

}  // namespace orvane
