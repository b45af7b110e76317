// Query benchmark: how long the query pipeline takes to reach the default
// statement bound on a statement that cannot finish within it, and the
// three benchmark statements on the default corpus (20000 persons, 8000
// papers, seed 42, hub 0), each from the plan cache (the way the console
// runs a statement) with its count rewrite (pipeline_us, mean of 50 runs)
// and planned without it, the paths listed (listed_us, mean of 5 runs),
// which must count the same.
//
//   query_bench [persons] [papers]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"
#include "query/cypher_statement.h"
#include "query/plan/planner.h"
#include "query/plan_cache.h"
#include "query/ql_error.h"

namespace {

double us_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
}

// The one count `statement` answers on `db`.
std::uint64_t count_of(const orvane::PreparedStatement& statement, const orvane::Database& db) {
  std::int64_t count = 0;
  orvane::execute_statement(statement, db, {}, orvane::WorkBound{},
                            [&count](const std::vector<orvane::CypherValue>& row) {
                              count = row[0].as_int();
                              return false;
                            });
  return static_cast<std::uint64_t>(count);
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned long long persons = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 20000;
  const unsigned long long papers = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 8000;

  // A complete digraph on 12 nodes has ~2.5e9 paths of length 8.
  orvane::Database clique;
  for (int i = 0; i < 12; ++i) clique.add_person("p" + std::to_string(i), 0);
  for (std::uint32_t a = 0; a < 12; ++a)
    for (std::uint32_t b = 0; b < 12; ++b)
      if (a != b) clique.add_follows(a, b);
  clique.compile();
  const orvane::PreparedStatement heavy =
      orvane::prepare_statement("MATCH (a)-[:FOLLOWS*8]->(b) RETURN count(*)", clique);
  // Which bound stops it first (steps, time or the memory the expansion
  // keeps) depends on the operators; the line says which.
  double best = 1e30;
  std::string stopped_by = "nothing";
  for (int run = 0; run < 5; ++run) {
    const auto t0 = std::chrono::steady_clock::now();
    try {
      count_of(heavy, clique);
    } catch (const orvane::QlError& e) {
      stopped_by = e.what();
    }
    best = std::min(best, us_since(t0));
  }
  std::printf("bound_ms=%.1f (best of 5) stopped_by=\"%s\"\n", best / 1000, stopped_by.c_str());

  orvane::Database db;
  orvane::generate_corpus(db, persons, papers, 42);
  orvane::optimize_layout(db);
  const char* statements[] = {
      "MATCH (p:Person {id: 0})-[:FOLLOWS*0..3]->(x) RETURN count(DISTINCT x)",
      "MATCH (p:Person {id: 0})-[:FOLLOWS]->()-[:FOLLOWS]->()-[:FOLLOWS]->(p) RETURN count(*)",
      "MATCH (p:Person {id: 0})-[:AUTHORED]->()<-[:AUTHORED]-(co) WHERE co <> p RETURN count(DISTINCT co)",
  };
  const char* names[] = {"ql_hop3", "ql_triangle", "ql_coauthors"};
  orvane::PlanCache cache;
  for (int i = 0; i < 3; ++i) {
    const orvane::PreparedStatement listed =
        orvane::prepare_statement(statements[i], db, nullptr, orvane::PlanOptions{.count_rewrite = false});
    const std::uint64_t result = count_of(*cache.prepare(statements[i], db, nullptr, {}), db);
    // The listed plan is timed apart and fewer times: it takes hundreds of
    // times longer, and its allocations would otherwise disturb the timing
    // of the rewritten plan between them.
    const int runs = 50, listed_runs = 5;
    double pipeline_us = 0, listed_us = 0;
    for (int r = 0; r < runs; ++r) {
      const auto t0 = std::chrono::steady_clock::now();
      if (count_of(*cache.prepare(statements[i], db, nullptr, {}), db) != result) return 1;
      pipeline_us += us_since(t0);
    }
    const std::uint64_t expected = count_of(listed, db);
    for (int r = 0; r < listed_runs; ++r) {
      const auto t0 = std::chrono::steady_clock::now();
      if (count_of(listed, db) != expected) return 1;
      listed_us += us_since(t0);
    }
    std::printf("%s=%llu pipeline_us=%.1f listed=%llu listed_us=%.1f%s\n", names[i],
                static_cast<unsigned long long>(result), pipeline_us / runs,
                static_cast<unsigned long long>(expected), listed_us / listed_runs, result == expected ? "" : " DIFFERENT");
  }
  return 0;
}
