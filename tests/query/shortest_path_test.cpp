// The focus of this file is shortestPath and allShortestPaths in the query
// pipeline: lengths and path counts against a brute-force breadth-first
// count on small random graphs (parallel relationships, self-loops, three
// types, every direction, bounds, a predicate on the path that forces the
// exhaustive fallback), every returned path checked as a real walk of the
// pattern, and the errors and the work bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <random>
#include <set>

#include "graph/database.h"
#include "query/cypher_error.h"
#include "query/cypher_statement.h"
#include "query/pipeline_cases.h"
#include "query/functions/scalar_functions.h"

namespace orvane {
namespace {

constexpr std::uint32_t kNodes = 12;
const char* const kTypes[] = {"KNOWS", "LIKES", "HATES"};

Database random_multigraph(std::uint32_t edges, std::uint32_t seed) {
  Database db;
  for (std::uint32_t i = 0; i < kNodes; ++i) db.add_person("p" + std::to_string(i), 0);
  std::uint16_t types[3];
  for (int t = 0; t < 3; ++t) types[t] = db.add_rel_type(kTypes[t]);
  std::mt19937 random(seed);
  for (std::uint32_t e = 0; e < edges; ++e) {
    const std::uint32_t a = random() % kNodes;
    const std::uint32_t b = random() % 6 == 0 ? a : random() % kNodes;  // self-loops now and then
    const std::uint16_t type = types[random() % 3];
    db.graph.add_edge(a, b, type);
    if (random() % 5 == 0) db.graph.add_edge(a, b, type);  // a parallel relationship
  }
  db.compile();
  return db;
}

struct Oracle {
  std::int64_t length = -1;  // -1: unreachable
  std::uint64_t paths = 0;   // walks of that length
};

// Breadth-first distance and the number of shortest walks, by dynamic
// programming over the layers, from the relationship list alone;
// `avoid` (or kNoNode) may be neither an end nor passed through.
Oracle brute_force(const Database& db, std::uint32_t from, std::uint32_t to, const std::set<std::string>& types,
                   char direction, std::int64_t min_hops, std::int64_t max_hops, std::uint32_t avoid = kNoNode) {
  if (from == avoid || to == avoid) return {};
  if (from == to && min_hops == 0) return {0, 1};
  std::vector<std::int64_t> dist(kNodes, -1);
  std::vector<std::uint64_t> count(kNodes, 0);
  dist[from] = 0;
  count[from] = 1;
  std::vector<std::uint32_t> layer{from};
  for (std::int64_t d = 0; !layer.empty() && (max_hops < 0 || d < max_hops); ++d) {
    std::vector<std::uint32_t> next;
    for (const std::uint32_t u : layer) {
      for (const Edge& e : db.graph.edges) {
        if (!types.empty() && types.count(db.rel_type_name(e.type)) == 0) continue;
        std::vector<std::uint32_t> reach;
        if (direction != '<' && e.src == u) reach.push_back(e.dst);
        if (direction != '>' && e.dst == u && !(direction == '-' && e.src == e.dst)) reach.push_back(e.src);
        for (const std::uint32_t v : reach) {
          if (v == avoid) continue;
          if (dist[v] < 0) {
            dist[v] = d + 1;
            next.push_back(v);
          }
          if (dist[v] == d + 1) count[v] += count[u];
        }
      }
    }
    layer = std::move(next);
  }
  if (dist[to] < 0) return {};
  return {dist[to], count[to]};
}

std::int64_t as_int(const CypherValue& v) { return v.kind() == CypherValue::Kind::kInteger ? v.as_int() : -1; }

// Checks that every path is a walk of the pattern from `from` to `to`, and
// that no two are the same.
void check_paths(const Database& db, const CypherResult& r, std::uint32_t from, std::uint32_t to,
                 const std::set<std::string>& types, char direction) {
  std::set<std::vector<std::uint32_t>> seen;
  for (const auto& row : r.rows) {
    const PathValue& path = row[0].as_path();
    ASSERT_EQ(path.nodes.size(), path.rels.size() + 1);
    EXPECT_EQ(from, path.nodes.front());
    EXPECT_EQ(to, path.nodes.back());
    for (std::size_t i = 0; i < path.rels.size(); ++i) {
      const Edge& e = db.graph.edges[path.rels[i]];
      if (!types.empty()) {
        EXPECT_EQ(1u, types.count(db.rel_type_name(e.type)));
      }
      const bool forward = e.src == path.nodes[i] && e.dst == path.nodes[i + 1];
      const bool backward = e.dst == path.nodes[i] && e.src == path.nodes[i + 1];
      EXPECT_TRUE(direction == '>' ? forward : direction == '<' ? backward : forward || backward);
    }
    EXPECT_TRUE(seen.insert(path.rels).second) << "a path repeats";
  }
}

TEST(ShortestPath, AgreesWithBruteForceOnRandomMultigraphs) {
  struct Pattern {
    const char* rel;  // the relationship pattern as written
    std::set<std::string> types;
    char direction;  // '>', '<' or '-'
    std::int64_t min_hops, max_hops;
  };
  const std::vector<Pattern> patterns = {
      {"-[*]->", {}, '>', 1, -1},
      {"<-[*]-", {}, '<', 1, -1},
      {"-[*]-", {}, '-', 1, -1},
      {"-[:KNOWS|LIKES*]->", {"KNOWS", "LIKES"}, '>', 1, -1},
      {"-[:HATES*1..]-", {"HATES"}, '-', 1, -1},
      {"-[*..2]->", {}, '>', 1, 2},
      {"-[:KNOWS*0..3]-", {"KNOWS"}, '-', 0, 3},
      {"-[:LIKES]->", {"LIKES"}, '>', 1, 1},
  };
  std::uint64_t paths_seen = 0;  // guards against an oracle that never finds a path
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    const Database db = random_multigraph(14 + seed * 3, seed);
    for (const Pattern& pattern : patterns) {
      for (std::uint32_t from = 0; from < kNodes; from += 2) {
        for (std::uint32_t to = 1; to < kNodes; to += 3) {
          if (from == to && pattern.min_hops > 0) continue;
          SCOPED_TRACE("seed " + std::to_string(seed) + " p" + std::to_string(from) + pattern.rel + "p" +
                       std::to_string(to));
          const Oracle want =
              brute_force(db, from, to, pattern.types, pattern.direction, pattern.min_hops, pattern.max_hops);
          const std::string ends =
              "MATCH (a:Person {name: 'p" + std::to_string(from) + "'}), (b {name: 'p" + std::to_string(to) + "'}) ";
          const CypherResult all =
              run_statement(ends + "MATCH p = allShortestPaths((a)" + pattern.rel + "(b)) RETURN p, length(p)", db);
          const CypherResult one =
              run_statement(ends + "MATCH p = shortestPath((a)" + pattern.rel + "(b)) RETURN p, length(p)", db);
          ASSERT_EQ(want.paths, all.rows.size());
          ASSERT_EQ(want.length < 0 ? 0u : 1u, one.rows.size());
          paths_seen += all.rows.size();
          for (const auto& row : all.rows) EXPECT_EQ(want.length, as_int(row[1]));
          for (const auto& row : one.rows) EXPECT_EQ(want.length, as_int(row[1]));
          check_paths(db, all, from, to, pattern.types, pattern.direction);
          check_paths(db, one, from, to, pattern.types, pattern.direction);
        }
      }
    }
  }
  EXPECT_GT(paths_seen, 500u);
}

// A predicate on the path's nodes gives the shortest paths that meet it:
// those of the graph without the node. none(...) is applied during the
// search; NOT any(...), the same predicate in a form the search does not
// take apart, goes through the exhaustive fallback whenever every
// unrestricted shortest path passes the node.
TEST(ShortestPath, PathPredicateFindsTheShortestPathsThatMeetIt) {
  std::uint32_t detours = 0;  // pairs whose answer is longer than their unrestricted shortest path
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    const bool fallback = seed % 2 == 0;
    const Database db = random_multigraph(fallback ? 13 : 22, seed + 10);
    for (std::uint32_t from = 0; from < kNodes; ++from) {
      for (std::uint32_t to = 0; to < kNodes; ++to) {
        const std::uint32_t avoid = (from + to + seed) % kNodes;
        if (from == to || avoid == from || avoid == to) continue;
        SCOPED_TRACE("seed " + std::to_string(seed) + " p" + std::to_string(from) + " to p" + std::to_string(to) +
                     " avoiding p" + std::to_string(avoid));
        const Oracle want = brute_force(db, from, to, {}, '-', 1, -1, avoid);
        if (want.length > brute_force(db, from, to, {}, '-', 1, -1).length) ++detours;
        const std::string text = "MATCH (a {name: 'p" + std::to_string(from) + "'}), (b {name: 'p" +
                                 std::to_string(to) + "'}) MATCH p = allShortestPaths((a)-[*]-(b)) " + "WHERE " +
                                 (fallback ? "NOT any" : "none") + "(n IN nodes(p) WHERE n.name = 'p" +
                                 std::to_string(avoid) + "') RETURN p, length(p)";
        const CypherResult all = run_statement(text, db);
        ASSERT_EQ(want.paths, all.rows.size());
        for (const auto& row : all.rows) EXPECT_EQ(want.length, as_int(row[1]));
        check_paths(db, all, from, to, {}, '-');
      }
    }
  }
  EXPECT_GT(detours, 8u);
}

// Rows as text: "a,b|c,d", a path as its node names joined by "-".
std::string rows_of(const CypherResult& r, const Database& db) {
  std::string out;
  for (const auto& row : r.rows) {
    if (!out.empty()) out += "|";
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i) out += ",";
      if (row[i].kind() != CypherValue::Kind::kPath) {
        out += to_text(row[i]);
        continue;
      }
      const std::vector<std::uint32_t>& nodes = row[i].as_path().nodes;
      for (std::size_t k = 0; k < nodes.size(); ++k) out += (k ? "-" : "") + db.names[nodes[k]];
    }
  }
  return out;
}

// a→b→c→d, a→e→d (KNOWS).
Database two_routes() {
  Database db;
  for (const char* name : {"a", "b", "c", "d", "e"}) db.add_person(name, 0);
  const std::uint16_t knows = db.add_rel_type("KNOWS");
  db.graph.add_edge(0, 1, knows);
  db.graph.add_edge(1, 2, knows);
  db.graph.add_edge(2, 3, knows);
  db.graph.add_edge(0, 4, knows);
  db.graph.add_edge(4, 3, knows);
  db.compile();
  return db;
}

TEST(ShortestPath, AnswersAndErrorsAsNeo4jDoes) {
  const Database db = two_routes();
  const std::vector<testing::PipelineCase> cases = {
      {"MATCH p = shortestPath((x {name: 'a'})-[:KNOWS*..6]->(y {name: 'd'})) "
       "RETURN p, length(p)",
       "a-e-d,2", ""},
      {"MATCH p = allShortestPaths((x {name: 'a'})-[*]->(y {name: 'd'})) "
       "RETURN length(p), count(*)",
       "2,1", ""},
      {"MATCH p = shortestPath((x {name: 'a'})-[*..1]->(y {name: 'd'})) RETURN "
       "p",
       "", ""},
      {"MATCH p = shortestPath((x {name: 'd'})-[*]->(y {name: 'a'})) RETURN p", "", ""},
      {"MATCH p = shortestPath((x {name: 'd'})<-[*]-(y {name: 'a'})) RETURN p", "d-e-a", ""},
      {"MATCH p = shortestPath((x {name: 'a'})-[*0..]->(y {name: 'a'})) RETURN "
       "length(p)",
       "0", ""},
      {"MATCH p = shortestPath((x {name: 'a'})-[r:KNOWS]->(y {name: 'b'})) "
       "RETURN length(p), type(r)",
       "1,KNOWS", ""},
      {"MATCH p = shortestPath((x {name: 'a'})-[rs*]->(y {name: 'd'})) RETURN "
       "size(rs)",
       "2", ""},
      // The predicate excludes e: the longer path through b and c is the
      // answer.
      {"MATCH p = shortestPath((x {name: 'a'})-[*]->(y {name: 'd'})) WHERE NOT "
       "any(n IN nodes(p) WHERE n.name = 'e') "
       "RETURN p",
       "a-b-c-d", ""},
      {"MATCH (x {name: 'a'}), (y {name: 'd'}) WITH x, y MATCH p = "
       "shortestPath((x)-[*]-(y)) RETURN length(p)",
       "2", ""},
      {"MATCH (x {name: 'a'}) OPTIONAL MATCH p = shortestPath((x)-[*]->(y "
       "{name: 'zz'})) RETURN x.name, p",
       "a,null", ""},
      {"MATCH (x {name: 'a'})-[r]->(m {name: 'b'}) MATCH p = "
       "shortestPath((x)-[*]->(y {name: 'c'})) RETURN length(p)",
       "2", ""},
      {"MATCH p = shortestPath((x {name: 'a'})-[*]->(y {name: 'c'})), "
       "(x)-[r]->(m {name: 'b'}) RETURN length(p)",
       "", ""},
      {"MATCH p = shortestPath((x)-[*]->(y)-[*]->(z)) RETURN p", "", "SyntaxError/InvalidShortestPathPattern"},
      {"MATCH p = shortestPath((x)) RETURN p", "", "SyntaxError/InvalidShortestPathPattern"},
      {"MATCH p = allShortestPaths((x)-[*2..4]->(y)) RETURN p", "", "SyntaxError/InvalidShortestPathPattern"},
      {"MATCH (x), (y) CREATE p = shortestPath((x)-[:KNOWS]->(y))", "", "SyntaxError/InvalidClauseComposition"},
      {"MATCH (x {name: 'a'}), (y {name: 'a'}) MATCH p = "
       "shortestPath((x)-[*]-(y)) RETURN p",
       "", "DatabaseError/ShortestPathCommonEndNodes"},
  };
  testing::expect_pipeline_cases(db, cases, rows_of);
  EXPECT_TRUE(testing::has_operator(explain_statement(prepare_statement("MATCH p = shortestPath((x {name: 'a'})-[*]->(y "
                                                               "{name: 'd'})) RETURN p",
                                                               db)),
                           "ShortestPath"));
}

// shortestPath(...) is a value, the path or null, where an expression
// goes; allShortestPaths(...) the list of paths.
TEST(ShortestPath, IsAValueInReturnAndWith) {
  const Database db = two_routes();
  const std::vector<testing::PipelineCase> cases = {
      {"MATCH (x {name: 'a'}), (y {name: 'd'}) RETURN shortestPath((x)-[*]->(y))", "a-e-d", ""},
      {"MATCH (x {name: 'a'}), (y {name: 'd'}) RETURN length(shortestPath((x)-[:KNOWS*]->(y))) AS l", "2", ""},
      {"MATCH (x {name: 'a'}), (y {name: 'd'}) WITH shortestPath((x)-[*]->(y)) AS p RETURN nodes(p)[1].name", "e", ""},
      {"MATCH (x {name: 'd'}), (y {name: 'a'}) RETURN shortestPath((x)-[*]->(y))", "null", ""},
      {"MATCH (x {name: 'a'}), (y {name: 'd'}) RETURN size(allShortestPaths((x)-[*]->(y)))", "1", ""},
      {"MATCH (x {name: 'a'}), (y {name: 'c'}) RETURN [p IN allShortestPaths((x)-[*]-(y)) | length(p)][0]", "2", ""},
      {"MATCH (x {name: 'a'}), (y) WHERE y.name IN ['c', 'd'] "
       "RETURN y.name, length(shortestPath((x)-[*]->(y))) ORDER BY y.name",
       "c,2|d,2", ""},
      {"MATCH (x {name: 'a'}), (y {name: 'd'}) RETURN shortestPath((x)-[*]->(y)-[*]->(x))", "",
       "SyntaxError/InvalidShortestPathPattern"},
  };
  testing::expect_pipeline_cases(db, cases, rows_of);
}

// Relationship property maps and predicates on the relationships apply to
// every hop, during the search.
TEST(ShortestPath, RelationshipConditionsApplyToEveryHop) {
  Database db;
  const PreparedStatement create = prepare_statement(
      "CREATE (a:P {name: 'a'})-[:R {w: 1}]->(b:P {name: 'b'})-[:R {w: 5}]->(c:P {name: 'c'}), "
      "(a)-[:R {w: 1}]->(:P {name: 'd'})-[:R {w: 1}]->(:P {name: 'e'})-[:R {w: 2}]->(c)",
      db);
  execute_statement(
      create, db, {}, WorkBound{}, [](const std::vector<CypherValue>&) { return true; }, &db);
  db.compile();
  const std::string ends = "MATCH (x {name: 'a'}), (y {name: 'c'}) ";
  struct Case {
    std::string statement;
    const char* rows;
  };
  const std::vector<Case> cases = {
      {ends + "MATCH p = shortestPath((x)-[:R*]->(y)) RETURN p", "a-b-c"},
      {ends + "MATCH p = shortestPath((x)-[:R* {w: 1}]->(y)) RETURN p", ""},
      {ends + "MATCH p = shortestPath((x)-[:R* {w: 1}]->(z {name: 'e'})) RETURN p", "a-d-e"},
      {ends + "MATCH p = shortestPath((x)-[:R*]->(y)) WHERE all(r IN relationships(p) WHERE r.w < 3) RETURN p",
       "a-d-e-c"},
      {ends + "MATCH p = shortestPath((x)-[rs:R*]->(y)) WHERE none(r IN rs WHERE r.w > 3) RETURN p", "a-d-e-c"},
      {ends + "MATCH p = allShortestPaths((x)-[:R*]->(y)) WHERE all(n IN nodes(p) WHERE n.name <> 'b') RETURN p",
       "a-d-e-c"},
      {ends + "MATCH p = shortestPath((x)-[:R*]->(y)) WHERE all(r IN relationships(p) WHERE r.w > 3) RETURN p", ""},
      {ends + "MATCH p = shortestPath((x)-[:R*]->(y)) WHERE length(p) > 2 RETURN p", "a-d-e-c"},
      {ends + "MATCH p = shortestPath((x)-[:R*..2]->(y)) WHERE length(p) > 2 RETURN p", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statement);
    EXPECT_EQ(c.rows, rows_of(run_statement(c.statement, db), db));
  }
}

// A search that must fall back to trying every trail (the predicate holds
// for none) stops at the work bound rather than running for ever.
TEST(ShortestPath, StopsAtTheWorkBound) {
  Database db;
  for (std::uint32_t i = 0; i < 400; ++i) db.add_person("p" + std::to_string(i), 0);
  for (std::uint32_t i = 0; i + 1 < 400; ++i) {
    db.add_follows(i, i + 1);
    db.add_follows(i + 1, i);
    db.add_follows(i, (i * 7) % 400);
  }
  db.compile();
  WorkBound bound;
  bound.steps = 200000;
  try {
    run_statement(
        "MATCH (a {name: 'p0'}), (b {name: 'p399'}) MATCH p = "
        "allShortestPaths((a)-[*]-(b)) "
        "WHERE length(p) < 0 RETURN p",
        db, {}, bound);
    FAIL() << "no work-limit error";
  } catch (const CypherError& e) {
    EXPECT_EQ("WorkLimitExceeded", e.detail());
  }
}

}  // namespace
}  // namespace orvane
