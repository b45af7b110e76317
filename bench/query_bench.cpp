// Query benchmark: the executor's step rate on a query that spends its whole
// 10,000,000-step budget, and the three benchmark statements on the default
// corpus (20000 persons, 8000 papers, seed 42, hub 0), each by the path
// enumerator with its counting methods and by the query pipeline from its
// plan cache (the way the console runs a statement), alternated run by run.
//
//   query_bench [persons] [papers]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"
#include "query/cypher_statement.h"
#include "query/executor.h"
#include "query/plan_cache.h"
#include "query/query.h"

namespace {

double us_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned long long persons = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 20000;
  const unsigned long long papers = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 8000;

  // Work limit: a complete digraph on 12 nodes has ~2.5e9 paths of length 8.
  orvane::Database clique;
  for (int i = 0; i < 12; ++i) clique.add_person("p" + std::to_string(i), 0);
  for (std::uint32_t a = 0; a < 12; ++a)
    for (std::uint32_t b = 0; b < 12; ++b)
      if (a != b) clique.add_follows(a, b);
  clique.compile();
  const orvane::QlQuery heavy = orvane::parse_query("MATCH (a)-[:FOLLOWS*8]->(b) RETURN count(*)");
  double best = 1e30;
  for (int run = 0; run < 5; ++run) {
    const auto t0 = std::chrono::steady_clock::now();
    try {
      orvane::execute_query(clique, heavy);
    } catch (const orvane::QlError&) {
    }
    best = std::min(best, us_since(t0));
  }
  std::printf("work_limit_ms=%.1f steps_per_s=%.1fM (10,000,000 steps, best of 5)\n", best / 1000,
              10.0 / (best / 1e6));

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
  const auto pipeline = [&](const char* text) {
    const auto plan = cache.prepare(text, db, nullptr, {});
    std::int64_t count = 0;
    orvane::execute_statement(*plan, db, {}, orvane::WorkBound{}, [&count](const std::vector<orvane::CypherValue>& row) {
      count = row[0].as_int();
      return false;
    });
    return static_cast<std::uint64_t>(count);
  };
  for (int i = 0; i < 3; ++i) {
    const orvane::QlQuery q = orvane::parse_query(statements[i]);
    const std::uint64_t result = orvane::execute_query(db, q);
    const std::uint64_t piped = pipeline(statements[i]);
    const int runs = 50;
    double old_us = 0, new_us = 0;
    for (int r = 0; r < runs; ++r) {
      auto t0 = std::chrono::steady_clock::now();
      if (orvane::execute_query(db, q) != result) return 1;
      old_us += us_since(t0);
      t0 = std::chrono::steady_clock::now();
      if (pipeline(statements[i]) != piped) return 1;
      new_us += us_since(t0);
    }
    std::printf("%s=%llu time_us=%.1f pipeline=%llu pipeline_us=%.1f ratio=%.2f%s\n", names[i],
                static_cast<unsigned long long>(result), old_us / runs, static_cast<unsigned long long>(piped),
                new_us / runs, new_us / old_us, result == piped ? "" : " DIFFERENT");
  }
  return 0;
}
