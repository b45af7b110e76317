// The focus of this file is Neo4j 5's label and relationship type
// expressions: n:A|B, n:A&B, n:!A, n:%, parentheses, in node patterns, in
// WHERE and on relationships; the "|" that still separates a
// comprehension's parts; the clauses that refuse them (CREATE, variable
// length, ":" mixed with the newer symbols); and a plan that resolved
// [:!T] to a list of types going stale when a type is added.
#include <gtest/gtest.h>

#include "graph/database.h"
#include "query/ast_printer.h"
#include "query/bind/binder.h"
#include "query/cypher_error.h"
#include "query/cypher_statement.h"
#include "query/parse/parser.h"
#include "query/pipeline_cases.h"

namespace orvane {
namespace {

// a:A, b:B, ab:A:B, c:C and an unlabelled node; a-R->b, a-S->c, ab-T->a.
Database labelled_graph() {
  return testing::created_graph(
      "CREATE (a:A {name: 'a'}), (b:B {name: 'b'}), (ab:A:B {name: 'ab'}), (c:C {name: 'c'}), ({name: 'none'}), "
      "(a)-[:R]->(b), (a)-[:S]->(c), (ab)-[:T]->(a)");
}

TEST(LabelExpressions, ParseWithNeo4jPrecedence) {
  testing::expect_renderings({
      {"MATCH (n:A|B&!C) RETURN n", "(match (n:(A|(B&!C)))) (return n)"},
      {"MATCH (n:(A|B)&%) RETURN n", "(match (n:((A|B)&%))) (return n)"},
      {"MATCH (n:A&B) RETURN n", "(match (n:A:B)) (return n)"},
      {"MATCH (n:!!A) RETURN n", "(match (n:!!A)) (return n)"},
      {"MATCH ()-[r:A|B]->() RETURN r", "(match ()-[r:A|B]->()) (return r)"},
      {"MATCH ()-[r:A|:B]->() RETURN r", "(match ()-[r:A|B]->()) (return r)"},
      {"MATCH ()-[r:!A]->() RETURN r", "(match ()-[r:!A]->()) (return r)"},
      {"MATCH (n) WHERE n:A|B RETURN n", "(match (n) (where (labels n (A|B)))) (return n)"},
      {"MATCH (n) WHERE NOT n:A&B RETURN n", "(match (n) (where (not (labels n A B)))) (return n)"},
      // In a comprehension "|" ends the WHERE, unless in parentheses.
      {"RETURN [x IN l WHERE x:A | x]", "(return (list-comp x l (where (labels x A)) (| x)))"},
      {"RETURN [x IN l WHERE x:(A|B) | x]", "(return (list-comp x l (where (labels x (A|B))) (| x)))"},
      {"RETURN [x IN l WHERE x:A|B]", "(return (list-comp x l (where (labels x A)) (| B)))"},
  });
}

TEST(LabelExpressions, MatchAndWhereAnswerAsNeo4jDoes) {
  const Database db = labelled_graph();
  const std::vector<testing::PipelineCase> cases = {
      {"MATCH (n:A|B) RETURN n.name ORDER BY n.name", "a|ab|b", ""},
      {"MATCH (n:A&B) RETURN n.name", "ab", ""},
      {"MATCH (n:!A) RETURN n.name ORDER BY n.name", "b|c|none", ""},
      {"MATCH (n:%) RETURN n.name ORDER BY n.name", "a|ab|b|c", ""},
      {"MATCH (n:!%) RETURN n.name", "none", ""},
      {"MATCH (n:(A|C)&!B) RETURN n.name ORDER BY n.name", "a|c", ""},
      {"MATCH (n:!!A) RETURN n.name ORDER BY n.name", "a|ab", ""},
      {"MATCH (n:A|Nope) RETURN n.name ORDER BY n.name", "a|ab", ""},
      {"MATCH (n:!Nope) RETURN count(n)", "5", ""},
      {"MATCH (n:A|B) RETURN count(*)", "3", ""},
      {"MATCH (n:A|B)-->(m) RETURN count(*)", "3", ""},
      {"MATCH (x:A)-[r:!(R|T)]->(y:!B) RETURN x.name, type(r), y.name", "a,S,c", ""},
      {"MATCH (n) WHERE n:A|B RETURN n.name ORDER BY n.name", "a|ab|b", ""},
      {"MATCH (n) WHERE n:!A&!B RETURN n.name ORDER BY n.name", "c|none", ""},
      {"MATCH (n) WHERE n:% RETURN count(n)", "4", ""},
      {"MATCH (n) WHERE NOT n:A|B RETURN n.name ORDER BY n.name", "c|none", ""},
      {"MATCH (n) WHERE (n)-->(:!A) RETURN n.name", "a", ""},
      {"MATCH (n) WITH collect(n) AS ns RETURN size([x IN ns WHERE x:A | x.name])", "2", ""},
      {"MATCH (n) WITH collect(n) AS ns RETURN size([x IN ns WHERE x:(A|C) | x.name])", "3", ""},
      {"RETURN null:A|B, null:%", "null,null", ""},
      {"MATCH ()-[r:!R]->() RETURN type(r) ORDER BY type(r)", "S|T", ""},
      {"MATCH ()-[r:R|S]->() RETURN type(r) ORDER BY type(r)", "R|S", ""},
      {"MATCH ()-[r:R|:S]->() RETURN count(r)", "2", ""},
      {"MATCH ()-[r:%]->() RETURN count(r)", "3", ""},
      {"MATCH ()-[r:!%]->() RETURN count(r)", "0", ""},
      {"MATCH ()-[r:R&S]->() RETURN count(r)", "0", ""},
      {"MATCH ()-[r:!Nope]->() RETURN count(r)", "3", ""},
      {"MATCH ()-[r]->() WHERE r:R|S RETURN type(r) ORDER BY type(r)", "R|S", ""},
      {"MATCH ()-[r]->() WHERE r:!R RETURN type(r) ORDER BY type(r)", "S|T", ""},
      {"MATCH ()-[r]->() WHERE r:% RETURN count(r)", "3", ""},
      {"MATCH ()-[r:R|S*]->() RETURN count(r)", "2", ""},
      // ":" and the newer symbols are checked per clause.
      {"MATCH (n:A:B) MATCH (m:A|B) RETURN count(*)", "3", ""},
      {"MATCH (n:A:B)-->(m:!C) RETURN n", "", "SyntaxError/InvalidLabelExpression"},
      {"MATCH (n:A:B) WHERE n:A|B RETURN n", "", "SyntaxError/InvalidLabelExpression"},
      {"MATCH ()-[r:!R*]->() RETURN r", "", "SyntaxError/InvalidRelationshipPattern"},
      {"MATCH ()-[r:%*1..2]->() RETURN r", "", "SyntaxError/InvalidRelationshipPattern"},
  };
  testing::expect_pipeline_cases(db, cases, testing::value_rows);
}

TEST(LabelExpressions, CreateTakesOnlyPlainLabelsAndOneType) {
  Database db = labelled_graph();
  const std::vector<testing::PipelineCase> cases = {
      {"CREATE (n:A|B)", "", "SyntaxError/InvalidLabelExpression"},
      {"CREATE (n:!A)", "", "SyntaxError/InvalidLabelExpression"},
      {"CREATE (n:%)", "", "SyntaxError/InvalidLabelExpression"},
      {"CREATE ()-[:!R]->()", "", "SyntaxError/InvalidLabelExpression"},
      {"CREATE ()-[:R&S]->()", "", "SyntaxError/InvalidLabelExpression"},
      {"CREATE ()-[:R|S]->()", "", "SyntaxError/NoSingleRelationshipType"},
      {"CREATE (n:A:B&C)", "", "SyntaxError/InvalidLabelExpression"},
  };
  testing::expect_pipeline_cases(db, cases, testing::value_rows);
  const struct {
    const char* statement;
    const char* message;
  } messages[] = {
      {"CREATE (n:A|B)",
       "Label expressions in patterns are not allowed in a CREATE clause, but only in a MATCH clause and in "
       "expressions (line 1, column 11 (offset: 10))"},
      {"CREATE ()-[:!R]->()",
       "Relationship type expressions in patterns are not allowed in a CREATE clause, but only in a MATCH clause "
       "(line 1, column 13 (offset: 12))"},
      {"MATCH (n:A:B)-->(m:!C) RETURN n",
       "Mixing label expression symbols ('|', '&', '!', and '%') with colon (':') between labels is not allowed. "
       "Please only use one set of symbols. This expression could be expressed as :A&B. (line 1, column 11 (offset: "
       "10))"},
      {"MATCH ()-[r:!R*]->() RETURN r",
       "Variable length relationships must not use relationship type expressions. (line 1, column 13 (offset: 12))"},
  };
  for (const auto& m : messages) {
    SCOPED_TRACE(m.statement);
    try {
      prepare_statement(m.statement, db);
      ADD_FAILURE() << "accepted";
    } catch (const CypherError& e) {
      EXPECT_EQ(m.message, std::string(e.what()));
    }
  }
  // "&" joins labels in CREATE as ":" does.
  testing::run_writes(db, "CREATE (:A&C {name: 'ac'})");
  EXPECT_EQ("ac", testing::value_rows(run_statement("MATCH (n:A:C) RETURN n.name", db), db));
}

TEST(LabelExpressions, TypeListOfANegationGoesStaleWhenATypeIsAdded) {
  Database db = labelled_graph();
  const PreparedStatement negated = prepare_statement("MATCH ()-[r:!R]->() RETURN count(r)", db);
  const PreparedStatement named = prepare_statement("MATCH ()-[r:R|S]->() RETURN count(r)", db);
  const PreparedStatement any = prepare_statement("MATCH ()-[r:%]->() RETURN count(r)", db);
  EXPECT_TRUE(catalog_holds(negated.catalog, db));
  testing::run_writes(db, "MATCH (a {name: 'a'}), (b {name: 'b'}) CREATE (a)-[:U]->(b)");
  EXPECT_FALSE(catalog_holds(negated.catalog, db));
  EXPECT_TRUE(catalog_holds(named.catalog, db));
  EXPECT_TRUE(catalog_holds(any.catalog, db));
  EXPECT_EQ("3", testing::value_rows(run_statement("MATCH ()-[r:!R]->() RETURN count(r)", db), db));
}

}  // namespace
}  // namespace orvane
