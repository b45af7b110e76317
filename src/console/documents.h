// The console's read-only documents: small JSON texts that answer the
// console's colon commands and procedures and the matching API routes. Each
// reads the Engine (and, where it says so, the current database) and
// returns JSON text; none changes anything.
//
// Documents are written as text in a fixed member order, every string with
// full JSON escaping (json_text.h), doubles in the default six-digit
// formatting; the index, meta-schema and schema documents are built with
// the JSON library instead and come out compact with sorted keys. N is the
// current database's node count, M its relationship count.
//
// Every document that reads the current database throws std::runtime_error
// "unknown database: NAME" when the current name is not registered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "console/engine.h"

namespace orvane {


// Fixed texts.
std::string help_document();                // title, colon commands, example statements, note
std::string procedures_document();          // {"procedures":[{name, neo4j, orvane}, … 29 entries]}
std::string features_document();            // {"rows":[{capability, neo4j, orvane}, …]}
std::string cost_document();
// {"title":"Guides","catalog":[…],"guide":{id,title,slides},"note":…}. The
// topic is matched lower-cased: "cypher"; "bloom", "explore", "graphs";
// "entropy"; "migrate", "cloud"; "enterprise", "fabric"; anything else
// gives the intro guide.
std::string guides_document(const std::string& topic);

// Engine settings and activity.
std::string params_document(const ParamTable& table);      // {"params":{name: value text},"note":…}
std::string style_document(const Engine& engine);          // {"style":<stored JSON>,"note":…}
std::string config_document(const Engine& engine);
std::string server_status_document(const Engine& engine);
std::string query_log_document(const Engine& engine);      // the latest 40 entries, oldest first
std::string change_events_document(const Engine& engine, std::size_t limit);  // array: latest `limit`
std::string stats_document(const Engine& engine);
// Prometheus text format 0.0.4: statement and error counters, node, edge
// and database gauges; every line ends with a line feed.
std::string metrics_text(const Engine& engine);
// {"catalog":<remotes_json>,"coming_soon":<hosted offering>}.
std::string connection_catalogue_document(const Engine& engine);

// Databases and graph contents.
std::string cluster_document(const Engine& engine);  // one member per registered database
// The "social" and "biblio" shards with one count query each when both are
// registered; the query engine's errors (e.g. an uncompiled shard) propagate.
std::string fabric_document(const Engine& engine);
std::string index_document(const Engine& engine);
std::string meta_schema_document(const Engine& engine);
std::string schema_document(const Engine& engine);
// The first `limit` nodes, by identity, whose name or any property value
// (strings as they are, other values as compact JSON) contains `text`
// (case-sensitive); every node when `text` is empty.
std::string search_document(const Engine& engine, const std::string& text, std::size_t limit);
// The node with identity `id`, its properties and its first `limit`
// outgoing neighbours; {"error":"no such node"} when there is no such node.
std::string node_document(const Engine& engine, std::uint64_t id, std::size_t limit);

// The number of entries the query log document shows.
inline constexpr std::size_t kQueryLogShown = 40;

}  // namespace orvane
