// DirectedRelationshipByIdSeek and UndirectedRelationshipByIdSeek (and
// their element-id forms): the relationships named by id, through
// Database::relationship_of_id, with their two ends, instead of a scan of
// every node and an expansion of each.
//
// It answers the rows the Expand it replaces would: only the pattern's
// types, never a relationship the clause has bound already
// (`distinct_from`), the ends as the direction reads them — an undirected
// pattern gives each relationship both ways round, a self-loop once — and
// for a pattern whose two ends are one variable only self-loops. As with
// the node seek, the predicate it stands for stays as a filter above it,
// and a list form whose value is not a list falls back to every
// relationship for the filter to reject with its type error.
#include <algorithm>

#include "graph/database.h"
#include "query/exec/evaluate.h"
#include "query/exec/operator.h"
#include "query/exec/seek_ids.h"

namespace orvane {
namespace {

struct Found {
  std::uint32_t rel, from, to;  // identities
};

class RelationshipByIdSeek final : public Operator {
 public:
  using Operator::Operator;
  void open(const Row& argument) override {
    Operator::open(argument);
    found_.clear();
    cursor_ = 0;
  }
  bool next(Row& row) override {
    for (;;) {
      if (cursor_ < found_.size()) {
        const Found& f = found_[cursor_++];
        row[op_.rel_slot] = RelRef{f.rel};
        row[op_.from_slot] = NodeRef{f.from};
        row[op_.to_slot] = NodeRef{f.to};
        return produced();
      }
      if (!children_[0]->next(row)) return false;
      load(row);
    }
  }

 private:
  void load(Row& row) {
    const Database& db = context_.db();
    found_.clear();
    cursor_ = 0;
    std::vector<std::uint32_t> rels;
    const auto ids = seek_ids(evaluate(*op_.expressions[0], row, context_), op_.seek_form, true);
    if (ids) {
      for (const std::uint64_t id : *ids) {
        const std::uint32_t rel = db.relationship_of_id(id);
        if (rel != kNoNode && rel < db.graph.edges.size()) rels.push_back(rel);
      }
      std::sort(rels.begin(), rels.end());
      rels.erase(std::unique(rels.begin(), rels.end()), rels.end());
    } else {
      for (std::uint32_t rel = 0; rel < db.graph.edges.size(); ++rel) {
        if (!db.graph.relationship_is_deleted(rel)) rels.push_back(rel);
      }
    }
    for (const std::uint32_t rel : rels) {
      context_.step();
      const Edge& e = db.graph.edges[rel];
      if (!op_.types.empty() && std::find(op_.types.begin(), op_.types.end(), e.type) == op_.types.end()) continue;
      if (bound_elsewhere(row, rel)) continue;
      const auto add = [&](std::uint32_t from, std::uint32_t to) {
        if (op_.from_slot == op_.to_slot && from != to) return;
        found_.push_back({rel, from, to});
      };
      if (op_.direction == ast::Direction::kLeft) {
        add(e.dst, e.src);
      } else {
        add(e.src, e.dst);
        if (op_.direction == ast::Direction::kBoth && e.src != e.dst) add(e.dst, e.src);
      }
    }
  }

  bool bound_elsewhere(const Row& row, std::uint32_t rel) const {
    for (const std::uint32_t s : op_.distinct_from) {
      const CypherValue& v = row[s];
      if (v.kind() == CypherValue::Kind::kRelationship && v.as_relationship().identity == rel) return true;
      if (v.kind() == CypherValue::Kind::kList) {
        for (const CypherValue& r : v.as_list()) {
          if (r.kind() == CypherValue::Kind::kRelationship && r.as_relationship().identity == rel) return true;
        }
      }
    }
    return false;
  }

  std::vector<Found> found_;
  std::size_t cursor_ = 0;
};

}  // namespace

std::unique_ptr<Operator> make_relationship_by_id_seek(const LogicalOp& op, ExecContext& context) {
  return std::make_unique<RelationshipByIdSeek>(op, context);
}

}  // namespace orvane
