// What the query pipeline's tests share: a table of statements with the
// rows (as text) or the error ("class/detail") each must give, a graph
// made by a CREATE statement, one with a property of every kind and
// place (keyed_graph), and a look for an operator in a plan. Each
// test renders rows its own way (value_rows is the plain one).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "graph/database.h"
#include "query/cypher_error.h"
#include "query/cypher_statement.h"
#include "query/functions/scalar_functions.h"

namespace orvane::testing {

struct PipelineCase {
  const char* statement;
  const char* rows;   // expected rows as `rows_text` renders them, or "" when an error is expected
  const char* error;  // "class/detail", or "" when rows are expected
};

// Runs every case on `db`, checking its rows (rendered by
// rows_text(CypherResult, db)) or its error's class and detail.
template <typename RowsText>
void expect_pipeline_cases(const Database& db, const std::vector<PipelineCase>& cases, RowsText rows_text) {
  for (const PipelineCase& c : cases) {
    SCOPED_TRACE(c.statement);
    try {
      const CypherResult r = run_statement(c.statement, db);
      EXPECT_STREQ("", c.error);
      EXPECT_EQ(c.rows, rows_text(r, db));
    } catch (const CypherError& e) {
      EXPECT_EQ(c.error, e.error_class() + "/" + e.detail()) << e.what();
    }
  }
}

// Runs the writing statement `text` on `db` with `parameters`, then
// compiles it.
inline void run_writes(Database& db, std::string_view text, const CypherParameters& parameters = {}) {
  const PreparedStatement prepared = prepare_statement(text, db);
  execute_statement(
      prepared, db, parameters, WorkBound{}, [](const std::vector<CypherValue>&) { return true; }, &db);
  db.compile();
}

// A graph made by the CREATE statement `text` on an empty Database.
inline Database created_graph(std::string_view text) {
  Database db;
  run_writes(db, text);
  return db;
}

// 60 nodes :L with x an integer, now and then absent and, unless `typed`,
// a float, a string or a list (so that x is kept in records; typed and
// organised, x and name have columns), and a name; a few :M reached by T.
inline Database keyed_graph(bool typed) {
  Database db;
  std::string text = "CREATE (s:Start)";
  for (int i = 0; i < 60; ++i) {
    std::string x;
    switch (typed && i % 10 != 5 ? 0 : i % 10) {
      case 3: x = ", x: " + std::to_string(i) + ".5"; break;
      case 4: x = ", x: '" + std::to_string(i) + "'"; break;
      case 5: break;
      case 6: x = ", x: [1, 2]"; break;
      default: x = ", x: " + std::to_string(i);
    }
    text += ", (n" + std::to_string(i) + ":L {name: 'n" + std::to_string(i) + "'" + x + "})";
    if (i % 3 == 0) text += ", (n" + std::to_string(i) + ")-[:T]->(:M {k: " + std::to_string(i) + "})";
  }
  testing::run_writes(db, text);
  if (typed) {
    db.node_store.organise();
    EXPECT_TRUE(db.node_store.has_column(db.node_store.group_of(1), db.node_store.find_key("x")));
  }
  return db;
}

// Rows as text: "a,b|c,d", each value as to_text renders it.
inline std::string value_rows(const CypherResult& r, const Database&) {
  std::string out;
  for (const auto& row : r.rows) {
    if (!out.empty()) out += "|";
    for (std::size_t i = 0; i < row.size(); ++i) out += (i ? "," : "") + to_text(row[i]);
  }
  return out;
}

// Whether an operator called `name` is anywhere in `p`.
inline bool has_operator(const OperatorProfile& p, const std::string& name) {
  if (p.name == name) return true;
  return std::any_of(p.children.begin(), p.children.end(), [&](const auto& c) { return has_operator(c, name); });
}

}  // namespace orvane::testing
