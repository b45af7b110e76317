// The cutover runbook: a JSON document that tells an operator how to move a
// Neo4j deployment onto Halvex in three steps (dump on the Neo4j host,
// migrate the dump here, repoint the applications).
#pragma once

#include <string>

namespace orvane {

struct CutoverOptions {
  std::string bolt = "neo4j://neo4j.example.com:7687";  // Bolt URI the applications use today
  std::string http = "http://neo4j.example.com:7474";   // the Neo4j server's HTTP URL
  std::string dump_dir = "data";                         // where neo4j-admin writes the dump
  std::string database = "neo4j";                        // the Neo4j database to dump
  std::string host;                                      // the Halvex host; empty: a placeholder
  std::string target = "migrated";                       // the Halvex database name
};

// One compact JSON object with the members source, destination, steps,
// formats and note. Step 1 dumps DATABASE into the dump directory, which
// neo4j-admin writes as DUMP_DIR/DATABASE.dump; step 2 migrates that file
// into data/TARGET.orv. The commands are shell text: an inserted value
// holding a byte outside [A-Za-z0-9_./:@%+=,-] (or an empty one) is single-
// quoted so that pasting the command runs exactly what the document shows.
std::string cutover_runbook(const CutoverOptions& options);

// `text` as one shell word: unchanged when it is non-empty and made only of
// [A-Za-z0-9_./:@%+=,-]; otherwise in single quotes, each quote inside
// written as '\''.
std::string shell_word(const std::string& text);

}  // namespace orvane
