// Delete: DELETE and DETACH DELETE per input row. Each expression yields a
// node, a relationship or a path (its relationships, then its nodes);
// null deletes nothing. A deleted entity is a tombstone until the
// statement ends (graph/physical_graph.h), so later rows that name it
// again find it deleted already and count nothing twice. DETACH deletes a
// node's relationships first; a plain DELETE of a node that still has
// relationships is refused when the statement ends, not here, so that
// `MATCH (n)-[r]-() DELETE n, r` may delete them in either order.
#include "graph/database.h"
#include "query/cypher_error.h"
#include "query/exec/evaluate.h"
#include "query/exec/operator.h"
#include "query/functions/scalar_functions.h"

namespace orvane {
namespace {

class Delete final : public Operator {
 public:
  using Operator::Operator;
  bool next(Row& row) override {
    if (!children_[0]->next(row)) return false;
    Database& db = context_.write_target();
    for (const auto& expr : op_.expressions) remove(db, evaluate(*expr, row, context_));
    return produced();
  }

 private:
  void remove(Database& db, const CypherValue& v) {
    switch (v.kind()) {
      case CypherValue::Kind::kNull: return;
      case CypherValue::Kind::kNode: remove_node(db, v.as_node().identity); return;
      case CypherValue::Kind::kRelationship: remove_relationship(db, v.as_relationship().identity); return;
      case CypherValue::Kind::kPath: {
        const PathValue& path = v.as_path();
        for (const std::uint32_t rel : path.rels) remove_relationship(db, rel);
        for (const std::uint32_t node : path.nodes) remove_node(db, node);
        return;
      }
      default:
        throw CypherError("TypeError", "InvalidArgumentType", ErrorPhase::kRuntime,
                          std::string("Expected a Node, Relationship or Path, but got a ") + type_name(v));
    }
  }

  void remove_node(Database& db, std::uint32_t node) {
    if (db.graph.node_is_deleted(node)) return;
    if (op_.detach) {
      std::vector<std::uint32_t> rels;
      db.graph.for_each_relationship(node, [&](std::uint32_t rel) { rels.push_back(rel); });
      for (const std::uint32_t rel : rels) remove_relationship(db, rel);
    }
    context_.step();
    if (db.delete_node(node)) ++context_.counters().nodes_deleted;
  }

  void remove_relationship(Database& db, std::uint32_t rel) {
    context_.step();
    if (db.delete_relationship(rel)) ++context_.counters().relationships_deleted;
  }
};

}  // namespace

std::unique_ptr<Operator> make_delete(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<Delete>(op, context);
}

}  // namespace orvane
