// The cursor (statement_cursor.h): the execution context, the operator
// tree and the row being filled, kept between fetches.
#include "query/statement_cursor.h"

#include "graph/database.h"
#include "query/cypher_error.h"
#include "query/exec/operator.h"

namespace orvane {
namespace {

std::vector<CypherValue> bound_parameters(const PreparedStatement& statement, const CypherParameters& parameters) {
  std::vector<CypherValue> values;
  std::string missing;
  for (const std::string& name : statement.parameters) {
    const auto it = parameters.find(name);
    if (it == parameters.end()) {
      missing += (missing.empty() ? "" : ", ") + name;
      values.emplace_back();
    } else {
      values.push_back(it->second);
    }
  }
  if (!missing.empty()) {
    throw CypherError("ParameterMissing", "MissingParameter", ErrorPhase::kCompileTime,
                      "Expected parameter(s): " + missing);
  }
  return values;
}

OperatorProfile profile_of(const Operator& op) {
  std::uint64_t ns = 0;
  if (const Operator* inner = timed_inner(op, ns)) {
    OperatorProfile p = profile_of(*inner);
    // An operator shown as its input keeps that input's time.
    if (inner->shown() != Operator::Shown::kChild) p.ns = ns;
    return p;
  }
  if (op.shown() == Operator::Shown::kChild) return profile_of(*op.children()[0]);
  OperatorProfile p{op.name(), op.rows(), {}, 0, op.logical().estimated_rows};
  if (op.shown() == Operator::Shown::kLeaf) return p;
  for (const auto& child : op.children()) p.children.push_back(profile_of(*child));
  return p;
}

// A write may delete a node and its relationships in any order, so a node
// deleted without them is refused only once every row has run, as Neo4j
// refuses it when the transaction commits.
void check_deleted_nodes(ExecContext& context) {
  Database* db = context.writable();
  if (db == nullptr) return;
  const std::uint32_t node = db->first_attached_deleted_node();
  if (node == kNoNode) return;
  throw CypherError("ConstraintVerificationFailed", "DeleteConnectedNode", ErrorPhase::kRuntime,
                    "Cannot delete node<" + std::to_string(db->node_id(node)) +
                        ">, because it still has relationships. To delete this node, you must first delete its "
                        "relationships.");
}

}  // namespace

struct StatementCursor::State {
  State(const PreparedStatement& s, const Database& db, const CypherParameters& parameters, const WorkBound& bound)
      : statement(s), context(db, bound_parameters(s, parameters), bound), start(s.slot_count), row(s.slot_count) {}

  const PreparedStatement& statement;
  ExecContext context;
  std::unique_ptr<Operator> root;
  const Row start;
  Row row;
  bool done = false;
};

StatementCursor::StatementCursor(const PreparedStatement& statement, const Database& db,
                                 const CypherParameters& parameters, const WorkBound& bound, Database* writable,
                                 bool profiling)
    : state_(std::make_unique<State>(statement, db, parameters, bound)) {
  State& s = *state_;
  s.context.set_writable(writable);
  s.context.set_profiling(profiling);
  const std::uint32_t width = statement.slot_count;
  ExecContext& context = s.context;
  context.run_subplan = [&context, width](const LogicalOp& plan, const Row& argument,
                                          const std::function<bool(Row&)>& inner_each) {
    std::unique_ptr<Operator> root = build_operators(plan, context);
    Row start = argument;
    start.resize(width);
    root->open(start);
    Row row(width);
    while (root->next(row)) {
      if (!inner_each(row)) break;
    }
  };
  s.root = build_operators(*statement.plan, context);
  s.root->open(s.start);
}

StatementCursor::~StatementCursor() = default;

const std::vector<std::string>& StatementCursor::columns() const { return state_->statement.columns; }

bool StatementCursor::next(std::vector<CypherValue>& record) {
  State& s = *state_;
  if (s.done) return false;
  const std::vector<std::uint32_t>& slots = s.statement.plan->slots;
  const bool returns = !s.statement.columns.empty();
  try {
    while (s.root->next(s.row)) {
      if (!returns) continue;
      record.resize(slots.size());
      for (std::size_t i = 0; i < slots.size(); ++i) record[i] = s.row[slots[i]];
      return true;
    }
    s.done = true;
    check_deleted_nodes(s.context);
  } catch (...) {
    s.done = true;
    throw;
  }
  return false;
}

bool StatementCursor::fetch(std::size_t n, std::vector<std::vector<CypherValue>>& out) {
  std::vector<CypherValue> record;
  for (std::size_t i = 0; i < n; ++i) {
    if (!next(record)) return false;
    out.push_back(std::move(record));
  }
  return !state_->done;
}

bool StatementCursor::exhausted() const { return state_->done; }

OperatorProfile StatementCursor::profile() const { return profile_of(*state_->root); }

const UpdateCounters& StatementCursor::counters() const { return state_->context.counters(); }

}  // namespace orvane
