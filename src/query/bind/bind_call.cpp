// Binding CALL: the procedure by name, its arguments (written, or for
// `CALL name` without parentheses taken from the parameters of its inputs'
// names), and what it yields. Arguments whose type is known before running
// must fit the inputs' types; the rest are checked per call.
#include <algorithm>

#include "query/bind/binder_state.h"
#include "query/procedures.h"

namespace orvane {
namespace {

std::string static_type_name(const BoundExpr& e) {
  if (e.kind == BoundKind::kList) return "LIST<ANY>";
  if (e.kind == BoundKind::kMap) return "MAP";
  return {};
}

}  // namespace

std::shared_ptr<BoundCall> BinderState::bind_call(const ast::Clause& clause, Scope& scope, bool standalone,
                                                  std::vector<std::string>& columns,
                                                  std::vector<std::uint32_t>& column_slots) {
  auto call = std::make_shared<BoundCall>();
  call->procedure = procedures_.find(clause.procedure);
  if (!call->procedure) {
    throw CypherError("ProcedureError", "ProcedureNotFound", ErrorPhase::kCompileTime,
                      "There is no procedure with the name `" + clause.procedure +
                          "` registered for this database instance." + position_of(clause.offset));
  }
  const Procedure& p = *call->procedure;
  if (clause.implicit_arguments) {
    if (!standalone && !p.inputs.empty()) {
      fail("InvalidArgumentPassingMode", "Procedure call inside a query does not support passing arguments implicitly",
           clause.offset);
    }
    for (const ProcedureField& input : p.inputs) {
      auto e = std::make_unique<BoundExpr>();
      e->kind = BoundKind::kParameter;
      e->name = input.name;
      e->slot = parameter_index(input.name);
      call->arguments.push_back(std::move(e));
    }
  } else {
    if (clause.arguments.size() != p.inputs.size()) {
      fail("InvalidNumberOfArguments",
           "Procedure call does not provide the required number of arguments: got " +
               std::to_string(clause.arguments.size()) + " expected " + std::to_string(p.inputs.size()),
           clause.offset);
    }
    for (std::size_t i = 0; i < clause.arguments.size(); ++i) {
      BoundExprPtr arg = bind_expr(*clause.arguments[i], scope, ExprPlace{});
      const bool known = arg->kind == BoundKind::kConstant;
      if ((known && !fits_procedure_type(arg->constant, p.inputs[i].type)) ||
          (!static_type_name(*arg).empty() && !p.inputs[i].type.starts_with("ANY") &&
           !p.inputs[i].type.starts_with(arg->kind == BoundKind::kList ? "LIST" : "MAP"))) {
        fail("InvalidArgumentType",
             "Type mismatch: expected " + p.inputs[i].type + " but was " +
                 (known ? std::string(type_name(arg->constant)) : static_type_name(*arg)),
             clause.arguments[i]->offset);
      }
      call->arguments.push_back(std::move(arg));
    }
  }
  call->output_slots.assign(p.outputs.size(), kNoSlot);
  const auto yield = [&](std::size_t output, const std::string& variable) {
    if (find(scope, variable) != nullptr) {
      fail("VariableAlreadyBound", "Variable `" + variable + "` already declared", clause.offset);
    }
    call->output_slots[output] = new_slot();
    scope.push_back({variable, call->output_slots[output], VarKind::kValue, {}});
    if (standalone) {
      columns.push_back(variable);
      column_slots.push_back(call->output_slots[output]);
    }
  };
  if (clause.yield_star || (clause.yields.empty() && standalone)) {
    for (std::size_t i = 0; i < p.outputs.size(); ++i) yield(i, p.outputs[i].name);
  } else if (clause.yields.empty() && !p.outputs.empty()) {
    fail("UndefinedVariable", "Procedure call inside a query does not support naming results implicitly",
         clause.offset);
  }
  for (const ast::YieldItem& item : clause.yields) {
    const auto it = std::find_if(p.outputs.begin(), p.outputs.end(),
                                 [&](const ProcedureField& f) { return f.name == item.field; });
    if (it == p.outputs.end()) {
      fail("UndefinedVariable", "Unknown procedure output: `" + item.field + "`", clause.offset);
    }
    yield(static_cast<std::size_t>(it - p.outputs.begin()), item.alias.empty() ? item.field : item.alias);
  }
  return call;
}

}  // namespace orvane
