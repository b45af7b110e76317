// The focus of this file is the shape of the tree the Cypher parser builds:
// one table per area (clauses, patterns, precedence, expression forms), each
// case a statement and the canonical rendering of its tree (see
// ast_printer.h), then the byte ranges and the projection texts that name
// result columns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "query/ast_printer.h"
#include "query/cypher_error.h"
#include "query/parse/parser.h"

namespace orvane {
namespace {

TEST(CypherParser, ReadsEveryClause) {
  testing::expect_renderings({
      {"MATCH (n) RETURN n",
       "(match (n)) (return n)"},
      {"OPTIONAL MATCH (n)-->(m) WHERE m.x = 1 RETURN m",
       "(optional-match (n)-[]->(m) (where (= (. m x) 1))) (return m)"},
      {"UNWIND [1, 2] AS x RETURN x",
       "(unwind (list 1 2) x) (return x)"},
      {"WITH DISTINCT a, b AS c ORDER BY a DESC, c ASCENDING, b DESCENDING, d ASC SKIP 1 LIMIT 2 WHERE a > 1 RETURN *",
       "(with distinct a (as b c) (order-by (a desc) (c asc) (b desc) (d asc)) (skip 1) (limit 2) (where (> a 1))) (return *)"},
      {"WITH *, 1 AS x RETURN x",
       "(with * (as 1 x)) (return x)"},
      {"RETURN DISTINCT n.x ORDER BY n.x SKIP $s LIMIT 10",
       "(return distinct (. n x) (order-by ((. n x) asc)) (skip $s) (limit 10))"},
      {"CREATE (a:A {x: 1})-[:T {w: 2}]->(b), (c)",
       "(create (a:A {x: 1})-[:T {w: 2}]->(b), (c))"},
      {"MERGE (a:A {x: 1}) ON CREATE SET a.c = 1 ON MATCH SET a.m = 2, a:B ON CREATE SET a += {z: 1}",
       "(merge (a:A {x: 1}) (on-create (= (. a c) 1) (+= a (map z 1))) (on-match (= (. a m) 2) (labels a B)))"},
      {"MATCH (n) SET n.x = 1, n = {a: 1}, n += $m, n:A:B, (n).y = 2, n.a.b = 3",
       "(match (n)) (set (= (. n x) 1) (replace n (map a 1)) (+= n $m) (labels n A B) (= (. n y) 2) (= (. (. n a) b) 3))"},
      {"MATCH (n) REMOVE n.x, n:A:B",
       "(match (n)) (remove (. n x) (labels n A B))"},
      {"MATCH (n), (m) DELETE n, m.r DETACH DELETE m",
       "(match (n), (m)) (delete n (. m r)) (detach-delete m)"},
      {"FOREACH (x IN [1, 2] | CREATE ({v: x}) FOREACH (y IN [x] | SET n.y = y))",
       "(foreach x (list 1 2) (create ( {v: x})) (foreach y (list x) (set (= (. n y) y))))"},
      {"CALL db.labels() YIELD label AS l, x WHERE l <> 'A' RETURN l",
       "(call db.labels () (yield label:l x) (where (<> l 'A'))) (return l)"},
      {"CALL db.labels",
       "(call db.labels implicit)"},
      {"CALL test.my.proc('a', 1) YIELD *",
       "(call test.my.proc ('a' 1) (yield *))"},
      {"CALL `my`.`proc`(1)",
       "(call my.proc (1))"},
      {"MATCH (n) CALL { WITH n MATCH (n)-->(m) RETURN m } RETURN m",
       "(match (n)) (call-subquery (with n) (match (n)-[]->(m)) (return m)) (return m)"},
      {"CALL { MATCH (n) RETURN n UNION ALL MATCH (m) RETURN m AS n } RETURN n",
       "(call-subquery (union {(match (n)) (return n)} all {(match (m)) (return (as m n))})) (return n)"},
      {"RETURN 1 AS a UNION RETURN 2 AS a UNION ALL RETURN 3 AS a",
       "(union {(return (as 1 a))} {(return (as 2 a))} all {(return (as 3 a))})"},
      {"EXPLAIN MATCH (n) RETURN n;",
       "(explain (match (n)) (return n))"},
      {"PROFILE RETURN 1",
       "(profile (return 1))"},
      {"match (n) return n order by n.x desc limit 1",
       "(match (n)) (return n (order-by ((. n x) desc)) (limit 1))"},
  });
}

TEST(CypherParser, ReadsPatterns) {
  testing::expect_renderings({
      {"MATCH (n:A:B {x: 1})-[r:T|U*1..3]->(m) RETURN m",
       "(match (n:A:B {x: 1})-[r:T|U*1..3]->(m)) (return m)"},
      {"MATCH (a)<-[:R]-(b), p = (c)-->(d) RETURN p",
       "(match (a)<-[:R]-(b), p = (c)-[]->(d)) (return p)"},
      {"MATCH (a)<-->(b)--(c)<--(d)-->(e)<-[]->(f) RETURN a",
       "(match (a)-[]-(b)-[]-(c)<-[]-(d)-[]->(e)-[]-(f)) (return a)"},
      {"MATCH (a)-[*]->(b), (a)-[*2]->(b), (a)-[*..3]->(b), (a)-[*2..]->(b), (a)-[*0..0]->(b) RETURN 1",
       "(match (a)-[*]->(b), (a)-[*2]->(b), (a)-[*..3]->(b), (a)-[*2..]->(b), (a)-[*0]->(b)) (return 1)"},
      {"MATCH (a)-[:A|:B *0x2]-(b), (a)-[:A|B|C]-(b) RETURN 1",
       "(match (a)-[:A|B*2]-(b), (a)-[:A|B|C]-(b)) (return 1)"},
      {"MATCH p = shortestPath((a)-[*]-(b)), q = allShortestPaths((a)-->(b)) RETURN p",
       "(match p = shortestPath((a)-[*]-(b)), q = allShortestPaths((a)-[]->(b))) (return p)"},
      {"MATCH (n $props)-[r $rp]->(), ({k: [1]}) RETURN n",
       "(match (n $props)-[r $rp]->(), ( {k: (list 1)})) (return n)"},
      {"MATCH (`a b`:`L 1`)-[`r`:`T 2`]->() RETURN 1",
       "(match (a b:L 1)-[r:T 2]->()) (return 1)"},
      {"MATCH (end:MATCH)-[order:WHERE]->(return) RETURN 1",
       "(match (end:MATCH)-[order:WHERE]->(return)) (return 1)"},
  });
}

TEST(CypherParser, AppliesOperatorPrecedence) {
  testing::expect_renderings({
      {"RETURN 1 + 2 * 3 ^ 2 ^ 2 - -4 % 5 / 6",
       "(return (- (+ 1 (* 2 (^ (^ 3 2) 2))) (/ (% -4 5) 6)))"},
      {"RETURN NOT a = b AND c OR d XOR e",
       "(return (or (and (not (= a b)) c) (xor d e)))"},
      {"RETURN a OR b XOR c AND NOT NOT d",
       "(return (or a (xor b (and c (not (not d))))))"},
      {"RETURN a < b <= c = d, a <> b != c, a > b >= c",
       "(return (cmp a < b <= c = d) (cmp a <> b <> c) (cmp a > b >= c))"},
      {R"(RETURN a STARTS WITH 'x' OR b ENDS WITH "y" AND c CONTAINS d)",
       "(return (or (starts-with a 'x') (and (ends-with b 'y') (contains c d))))"},
      {"RETURN x IN [1, 2] IS NULL, x =~ 'a.*', y IS NOT NULL",
       "(return (is-null (in x (list 1 2))) (=~ x 'a.*') (is-not-null y))"},
      {"RETURN a + b IN c, a IN b = c, -a.b ^ 2",
       "(return (in (+ a b) c) (= (in a b) c) (^ (neg (. a b)) 2))"},
      {"RETURN -2 ^ 2, -9223372036854775808, - 1.5, +3, -x, --1",
       "(return (^ -2 2) -9223372036854775808 -1.5 (plus 3) (neg x) (neg -1))"},
      {"RETURN 1 - 2 - 3, 8 / 4 / 2, 2 ^ 3 ^ 2",
       "(return (- (- 1 2) 3) (/ (/ 8 4) 2) (^ (^ 2 3) 2))"},
      {"RETURN (1 + 2) * 3, n.x IN [1] AND x IS NULL",
       "(return (* (+ 1 2) 3) (and (in (. n x) (list 1)) (is-null x)))"},
  });
}

TEST(CypherParser, ReadsEveryExpressionForm) {
  testing::expect_renderings({
      {R"(RETURN null, true, FALSE, 0x1F, 0o17, 017, 0, 1.5, .5, 1e3, 1.5e-3, 'a\tb\u00e9', "q\"'")",
       R"((return null true false 31 15 15 0 1.5 0.5 1000.0 0.0015 'a\tbé' 'q"\''))"},
      {"RETURN $p, $0, $p.x, n.a.b, n[1], n[1..2], n[..2], n[1..], n[..], n:A:B, (n).x",
       "(return $p $0 (. $p x) (. (. n a) b) (index n 1) (slice n 1 2) (slice n _ 2) (slice n 1 _) (slice n _ _) (labels n A B) (. n x))"},
      {"RETURN [1, 2][0], {a: 1}.a, [[1]][0][0], [], [1, [2, 3]]",
       "(return (index (list 1 2) 0) (. (map a 1) a) (index (index (list (list 1)) 0) 0) (list) (list 1 (list 2 3)))"},
      {"RETURN {a: 1, b: 'x', `c d`: [1, {}]}, {}, {match: 1, `end`: 2}",
       "(return (map a 1 b 'x' c d (list 1 (map))) (map) (map match 1 end 2))"},
      {"RETURN n {.name, .*, k: 1, v}, n {}",
       "(return (map-projection n .name .* k:1 v) (map-projection n))"},
      {"RETURN count(*), count(DISTINCT n), date.truncate('day', x), `toUpper`(s), COUNT(*), f()",
       "(return (count-star) (fn count distinct n) (fn date.truncate 'day' x) (fn toUpper s) (count-star) (fn f))"},
      {"RETURN CASE x WHEN 1 THEN 'a' WHEN 2 THEN 'b' ELSE 'c' END, CASE WHEN a THEN 1 END",
       "(return (case x (when 1 'a') (when 2 'b') (else 'c')) (case (when a 1)))"},
      {"RETURN [x IN l WHERE x > 1 | x * 2], [x IN l], [x IN l | x], [x IN l WHERE x]",
       "(return (list-comp x l (where (> x 1)) (| (* x 2))) (list-comp x l) (list-comp x l (| x)) (list-comp x l (where x)))"},
      {"RETURN [(a)-->(b) WHERE b.x | b.y], [p = (a)-[:T]->() | p]",
       "(return (pattern-comp (a)-[]->(b) (where (. b x)) (| (. b y))) (pattern-comp p = (a)-[:T]->() (| p)))"},
      {"RETURN all(x IN l WHERE x > 0), any(x IN l WHERE x), none(x IN l WHERE x), single(x IN l WHERE x)",
       "(return (all x l (where (> x 0))) (any x l (where x)) (none x l (where x)) (single x l (where x)))"},
      {"RETURN reduce(acc = 0, x IN l | acc + x)",
       "(return (reduce acc 0 x l (+ acc x)))"},
      {"MATCH (n) WHERE (n)-->() AND NOT (n)<-[:T]-(:B) RETURN n",
       "(match (n) (where (and (pattern (n)-[]->()) (not (pattern (n)<-[:T]-(:B)))))) (return n)"},
      {"MATCH (n) WHERE EXISTS { (n)-->(m) WHERE m.x = 1 } RETURN COUNT { MATCH (n)-->() RETURN 1 }, COUNT { (n)--() }",
       "(match (n) (where (exists (n)-[]->(m) (where (= (. m x) 1))))) (return (count-subquery {(match (n)-[]->()) (return 1)}) (count-subquery (n)-[]-()))"},
      {"MATCH (n) WHERE exists(n.x) AND EXISTS { MATCH (n) } RETURN n",
       "(match (n) (where (and (fn exists (. n x)) (exists {(match (n))})))) (return n)"},
      {"MATCH (n) RETURN CASE WHEN (n)-->() THEN 1 END",
       "(match (n)) (return (case (when (pattern (n)-[]->()) 1)))"},
      {"RETURN [x IN [1, 2] WHERE x > 1], [a = 1, (b)], [(1)]",
       "(return (list-comp x (list 1 2) (where (> x 1))) (list (= a 1) b) (list 1))"},
  });
}

TEST(CypherParser, KeepsEachProjectionItemAsWritten) {
  ast::Statement s = parse_statement("RETURN count(*), n.name  AS x, (1 + 2)*3 , toUpper( 'é' ) ");
  const auto& items = s.query.parts[0].clauses[0].projection.items;
  ASSERT_EQ(4u, items.size());
  EXPECT_EQ("count(*)", items[0].text);
  EXPECT_EQ("n.name", items[1].text);
  EXPECT_EQ("x", items[1].alias);
  EXPECT_EQ("(1 + 2)*3", items[2].text);
  EXPECT_EQ("toUpper( 'é' )", items[3].text);
}

TEST(CypherParser, RecordsWhereEachExpressionStartsAndEnds) {
  std::string_view text = "MATCH (a)-[r]->(b) WHERE a.x < -1 AND NOT b:L RETURN [x IN l | x.y][0]";
  ast::Statement s = parse_statement(text);
  const ast::Clause& match = s.query.parts[0].clauses[0];
  EXPECT_EQ(0u, match.offset);
  EXPECT_EQ(6u, match.pattern.parts[0].offset);
  EXPECT_EQ(6u, match.pattern.parts[0].nodes[0].offset);
  EXPECT_EQ(9u, match.pattern.parts[0].rels[0].offset);
  EXPECT_EQ(15u, match.pattern.parts[0].nodes[1].offset);
  auto slice = [&](const ast::Expr& e) { return text.substr(e.offset, e.end - e.offset); };
  const ast::Expr& where = *match.where;
  EXPECT_EQ("a.x < -1 AND NOT b:L", slice(where));
  EXPECT_EQ("a.x < -1", slice(*where.children[0]));
  EXPECT_EQ("-1", slice(*where.children[0]->children[1]));
  EXPECT_EQ("NOT b:L", slice(*where.children[1]));
  EXPECT_EQ("b:L", slice(*where.children[1]->children[0]));
  const ast::Clause& ret = s.query.parts[0].clauses[1];
  EXPECT_EQ(text.find("RETURN"), ret.offset);
  const ast::Expr& indexed = *ret.projection.items[0].expr;
  EXPECT_EQ("[x IN l | x.y][0]", slice(indexed));
  EXPECT_EQ("[x IN l | x.y]", slice(*indexed.children[0]));
  EXPECT_EQ("x.y", slice(*indexed.children[0]->projection));
}

TEST(CypherParser, RecordsClauseAndItemOffsets) {
  std::string_view text = "MATCH (n)\nSET n.x = 1, n:A\nREMOVE n.y";
  ast::Statement s = parse_statement(text);
  const auto& clauses = s.query.parts[0].clauses;
  ASSERT_EQ(3u, clauses.size());
  EXPECT_EQ(10u, clauses[1].offset);
  EXPECT_EQ(14u, clauses[1].set_items[0].offset);
  EXPECT_EQ(23u, clauses[1].set_items[1].offset);
  EXPECT_EQ(27u, clauses[2].offset);
  EXPECT_EQ(34u, clauses[2].remove_items[0].offset);
}

TEST(CypherParser, ReadsLiteralValuesExactly) {
  ast::Statement s = parse_statement(
      "RETURN 9223372036854775807, -9223372036854775808, 0x7FFFFFFFFFFFFFFF, -0x8000000000000000, "
      "0o777777777777777777777, 1.7976931348623157e308");
  const auto& items = s.query.parts[0].clauses[0].projection.items;
  EXPECT_EQ(INT64_MAX, items[0].expr->int_value);
  EXPECT_EQ(INT64_MIN, items[1].expr->int_value);
  EXPECT_EQ(INT64_MAX, items[2].expr->int_value);
  EXPECT_EQ(INT64_MIN, items[3].expr->int_value);
  EXPECT_EQ(INT64_MAX, items[4].expr->int_value);
  EXPECT_EQ(1.7976931348623157e308, items[5].expr->float_value);
}

TEST(CypherParser, ReadsStatementsSpreadOverLinesWithComments) {
  testing::expect_renderings({
      {"// find them\nMATCH (n) /* every node */\nRETURN n // done\n;", "(match (n)) (return n)"},
      {"  \n\tRETURN 1  ", "(return 1)"},
  });
}

}  // namespace
}  // namespace orvane
