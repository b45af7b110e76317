// The fixed documents: help, procedure catalogue, feature table, cost and
// guides. Their texts describe what this build really does; each list is a
// table here so that adding a procedure or a slide is one line.
#include <cctype>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "console/documents.h"
#include "graph/json_text.h"

namespace orvane {
namespace {

struct Row {
  std::string_view a, b, c;
};

// [{"<ka>":a,"<kb>":b,"<kc>":c}, …]
template <std::size_t N>
std::string rows_json(const Row (&rows)[N], std::string_view ka, std::string_view kb, std::string_view kc) {
  std::string out = "[";
  for (const Row& r : rows) {
    if (out.size() > 1) out += ',';
    out += JsonObjectText().string(ka, r.a).string(kb, r.b).string(kc, r.c).text();
  }
  return out + "]";
}

constexpr Row kProcedures[] = {
    {"gds.pageRank", "Graph Data Science plugin", "built in: PageRank over FOLLOWS, top nodes by score"},
    {"gds.wcc", "Graph Data Science plugin", "built in: number of weakly connected components"},
    {"gds.triangleCount", "Graph Data Science plugin", "built in: undirected triangle count"},
    {"gds.degree", "Graph Data Science plugin", "built in: top nodes by degree"},
    {"gds.labelPropagation", "Graph Data Science plugin", "built in: community count by label propagation"},
    {"gds.shortestPath", "Graph Data Science plugin", "built in: unweighted shortest path over FOLLOWS"},
    {"db.schema", "db.schema.visualization", "labels and relationship types of the current database"},
    {"db.indexes", "SHOW INDEXES", "states that property indexes are not implemented"},
    {"db.constraints", "SHOW CONSTRAINTS", "states that uniqueness constraints are not implemented"},
    {"dbms.cluster.overview", "a cluster of servers", "the databases of this process with their roles"},
    {"dbms.listQueries", "SHOW TRANSACTIONS", "the latest statements with their times"},
    {"dbms.procedures", "SHOW PROCEDURES", "this catalogue"},
    {"orvane.entropy.scan", "no equivalent", "layout statistics: degree entropy, mean edge jump, bandwidth"},
    {"orvane.entropy.optimize", "no equivalent", "renumbers node positions; every answer stays the same"},
    {"orvane.entropy.lab", "no equivalent", "scrambles a corpus layout, optimises it and compares timings"},
    {"orvane.entropy.ladder", "no equivalent", "mess levels 1 to 3, then optimise, with identical answers"},
    {"orvane.entropy.auto", "no equivalent", "runs the layout optimiser every N statements"},
    {"orvane.rag", "a vector index and a GenAI plugin", "exact cosine top-k over embeddings, expanded through the graph"},
    {"orvane.fabric", "Fabric", "counts across the social and biblio databases of this process"},
    {"orvane.explore", "Bloom", "a bounded neighbourhood of one node"},
    {"orvane.migrate", "neo4j-admin database dump", "imports Neo4j CSV or JSON-lines exports and dump archives"},
    {"orvane.loadFromNeo4j", "a running Neo4j server", "pulls a running Neo4j server through a bridge script"},
    {"orvane.cloud", "a hosted service", "lists and probes Halvex servers you already run"},
    {"orvane.cutover", "a migration plan", "a three-step runbook: dump, migrate, repoint clients"},
    {"orvane.search", "a full-text index", "substring search over names and property values"},
    {"apoc.meta.stats", "APOC plugin", "node and relationship counts per label and type"},
    {"CREATE", "Cypher CREATE", "one labelled node, or one relationship between existing nodes"},
    {"dbms.listConfig", "SHOW SETTINGS", "the configuration document"},
    {"dbms.components", "dbms.components()", "product name and version"},
};

constexpr Row kFeatures[] = {
    {"query language", "Cypher", "a Cypher subset: one linear MATCH pattern, count, DISTINCT, rows, LIMIT"},
    {"storage", "a store of several files", "one checksummed snapshot file, memory-mapped on load"},
    {"graph algorithms", "Graph Data Science plugin", "built in, single-threaded, over FOLLOWS"},
    {"vector search", "vector indexes", "exact cosine scan over embeddings of the graph's own width (32 when generated)"},
    {"import", "neo4j-admin and LOAD CSV", "Neo4j CSV and JSON-lines exports and dump archives"},
    {"transport", "Bolt and HTTP", "HTTP/1.1 with a JSON API, on the loopback interface by default"},
    {"databases", "one per name", "several named databases in one process"},
};

struct Slide {
  std::string_view heading, body, statement;
};

struct Guide {
  std::string_view id, title;
  std::vector<Slide> slides;
};

const Guide kGuides[] = {
    {"intro",
     "Intro to Halvex",
     {{"Welcome", "Colon commands open documents; :help lists them.", ":help"},
      {"Run a hop", "Count everyone reachable from person $id in up to three FOLLOWS hops.",
       "MATCH (p:Person {id: $id})-[:FOLLOWS*0..3]->(x) RETURN count(DISTINCT x)"},
      {"See the graph", "Draw the neighbourhood of one person, two hops deep.", "CALL orvane.explore($id, 2)"},
      {"Plan", "PROFILE runs a statement and shows the plan it used with its time.",
       "PROFILE MATCH (p:Person {id: $id})-[:FOLLOWS]->(x) RETURN count(*)"}}},
    {"cypher",
     "Cypher subset",
     {{"MATCH + count", "One linear pattern; count(*) counts the paths it matches.",
       "MATCH (p:Person {id: $id})-[:FOLLOWS]->(x) RETURN count(*)"},
      {"Parameters", "Set a value once and use it as $id in any statement.", ":param id => 0"},
      {"CREATE", "Create one labelled node with properties.", "CREATE (:Person {name: 'browser-demo'})"},
      {"Procedures", "List the procedures and what each one does.", "CALL dbms.procedures()"}}},
    {"bloom",
     "Explore view",
     {{"Perspective", "Start from one node and expand its neighbourhood.", "CALL orvane.explore(0, 2)"},
      {"Search phrases", "Find nodes whose name or properties contain a phrase.", "CALL orvane.search('person-0')"},
      {"Style", "Captions and colours per label and relationship type.", ":style"}}},
    {"entropy",
     "Entropy worker",
     {{"Not AI", "The worker renumbers nodes so that neighbours sit close in memory; answers never change.",
       "CALL orvane.entropy()"},
      {"Ladder", "Scramble the layout step by step, then optimise, and compare timings and answers.",
       "CALL orvane.entropy.ladder()"}}},
    {"migrate",
     "Port a Neo4j store",
     {{"CSV dump", "Import a directory of Neo4j CSV or JSON-lines exports.", "CALL orvane.migrate('data')"},
      {"Live Bolt", "Pull a running Neo4j server through the bridge script.",
       "LOAD FROM NEO4J 'bolt://127.0.0.1:7687'"},
      {"Cutover", "Get the three steps that move a deployment: dump, migrate, repoint clients.",
       "CALL orvane.cutover('neo4j://neo4j.example.com:7687')"},
      {"Connect", "List the Halvex servers this console knows and whether they answer.", "CALL orvane.cloud()"}}},
    {"enterprise",
     "Fabric, algorithms and operations",
     {{"Fabric", "Compose one answer from the social and biblio databases.", "CALL orvane.fabric()"},
      {"GDS", "Graph algorithms run inside the database, no plugin needed.", "CALL gds.pageRank()"},
      {"Ops", "The latest statements with their times.", ":queries"},
      {"Status", "What this server holds and how busy it has been.", ":server status"}}},
};

const Guide& guide_for(std::string topic) {
  topic = ascii_lower(topic);
  std::string_view id = "intro";
  if (topic == "cypher") id = "cypher";
  if (topic == "bloom" || topic == "explore" || topic == "graphs") id = "bloom";
  if (topic == "entropy") id = "entropy";
  if (topic == "migrate" || topic == "cloud") id = "migrate";
  if (topic == "enterprise" || topic == "fabric") id = "enterprise";
  for (const Guide& g : kGuides) {
    if (g.id == id) return g;
  }
  return kGuides[0];
}

}  // namespace

std::string help_document() {
  return JsonObjectText()
      .string("title", "Halvex Browser")
      .raw("colon", json_string_array({":help", ":schema", ":sysinfo", ":queries", ":play intro", ":play cypher",
                                       ":play bloom", ":play entropy", ":explore", ":entropy", ":rag",
                                       ":param id => 0", ":params", ":style", ":config",
                                       ":config orvane.query.timeout: 30000", ":server status",
                                       ":clear", ":history"}))
      .raw("cypher",
           json_string_array({"MATCH (p:Person {id: $id})-[:FOLLOWS*0..3]->(x) RETURN count(DISTINCT x)",
                              "CALL orvane.explore($id, 2)",
                              "PROFILE MATCH (p:Person {id: $id})-[:FOLLOWS]->(x) RETURN count(*)",
                              "EXPLAIN MATCH (p:Person {id: $id})-[:FOLLOWS*0..3]->(x) RETURN count(DISTINCT x)",
                              "CALL gds.pageRank()", "CALL orvane.entropy.ladder()", "CALL orvane.fabric()",
                              "CREATE (:Person {name: 'demo'})", "CALL orvane.search('person-0')",
                              "CALL orvane.cloud()", "LOAD FROM NEO4J 'bolt://127.0.0.1:7687'"}))
      .string("note",
              "The console offers parameters, guides, a theme, export, a node inspector, a legend, search "
              "phrases, the entropy worker and vector retrieval.")
      .text();
}

std::string procedures_document() {
  return JsonObjectText().raw("procedures", rows_json(kProcedures, "name", "neo4j", "orvane")).text();
}

std::string features_document() {
  return JsonObjectText().raw("rows", rows_json(kFeatures, "capability", "neo4j", "orvane")).text();
}

std::string cost_document() {
  return JsonObjectText()
      .string("runs_on", "your own machine")
      .boolean("metered", false)
      .string("note", "Halvex is one local process: it meters nothing and bills nothing; its cost is the memory "
                      "and processor time of the machine you run it on.")
      .text();
}

std::string guides_document(const std::string& topic) {
  std::string catalog = "[";
  for (const Guide& g : kGuides) {
    if (catalog.size() > 1) catalog += ',';
    catalog += JsonObjectText().string("id", g.id).string("title", g.title).text();
  }
  const Guide& g = guide_for(topic);
  std::string slides = "[";
  for (const Slide& s : g.slides) {
    if (slides.size() > 1) slides += ',';
    slides += JsonObjectText().string("h", s.heading).string("body", s.body).string("q", s.statement).text();
  }
  const std::string guide =
      JsonObjectText().string("id", g.id).string("title", g.title).raw("slides", slides + "]").text();
  return JsonObjectText()
      .string("title", "Guides")
      .raw("catalog", catalog + "]")
      .raw("guide", guide)
      .string("note", "Each guide is a few slides; run a slide's statement to try it.")
      .text();
}

}  // namespace orvane
