// The bounds statements run under, as settings: the engine's setting
// (Engine::query_bound), which `:config NAME: VALUE` and the --query-*
// options of query, shell and serve change, and the bound one POST
// /v1/query request gives its own statements with its "timeout", "memory"
// and "steps" members.
//
// Each of the three is given in its own unit and checked against a
// ceiling, wherever it comes from:
//
//   setting               option           member    unit          from 1 to
//   orvane.query.timeout  --query-timeout  timeout   milliseconds  600000 (10 minutes)
//   orvane.query.memory   --query-memory   memory    MiB           the machine's physical memory
//   orvane.query.steps    --query-steps    steps     steps         1000000000000
//
// The defaults are WorkBound's (5000 ms, 1024 MiB, 10000000 steps). A value
// may lower a bound as well as raise it; there is no "unlimited".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "query/exec/work_bound.h"

namespace orvane {

class Engine;
struct StatementContext;

enum class QueryBoundKind { kTimeout, kMemory, kSteps };

// One of the three bounds and the names it goes by.
struct BoundSetting {
  QueryBoundKind kind;
  const char* setting;  // the :config name, "orvane.query.timeout"
  const char* option;   // the command-line option, "--query-timeout"
  const char* member;   // the POST /v1/query member, "timeout"
  const char* unit;     // "milliseconds", "MiB" or "steps"
};

// The three, in the order of the table above.
const std::vector<BoundSetting>& bound_settings();

// The largest value `setting` accepts, in its unit.
std::uint64_t bound_ceiling(const BoundSetting& setting);

// "must be an integer from 1 to CEILING (UNIT)": what a refused value is
// told.
std::string bound_range_text(const BoundSetting& setting);

// The bound `setting` names in `bound`, in the setting's unit (memory in
// whole MiB, rounded down).
std::uint64_t bound_value(const WorkBound& bound, const BoundSetting& setting);

// Sets what `setting` names in `bound` to `value` (in the setting's unit)
// and answers true; answers false and leaves `bound` alone when `value` is
// not from 1 to bound_ceiling(setting).
bool set_bound_value(WorkBound& bound, const BoundSetting& setting, std::uint64_t value);

// `base` with the "timeout", "memory" and "steps" members of a request
// body (an object) applied; members it lacks keep base's values. Throws
// std::runtime_error "invalid request field: MEMBER must be an integer from
// 1 to N (UNIT)" for a member that is not such a JSON integer.
WorkBound request_bound(const WorkBound& base, const nlohmann::json& body);

// Runs the statements of one request under `bound` (Engine::
// set_statement_bound) for as long as it lives.
class StatementBoundScope {
 public:
  StatementBoundScope(Engine& engine, const WorkBound& bound);
  ~StatementBoundScope();
  StatementBoundScope(const StatementBoundScope&) = delete;
  StatementBoundScope& operator=(const StatementBoundScope&) = delete;

 private:
  Engine& engine_;
};

// `:config NAME: VALUE` (or `:config NAME VALUE`): sets the engine's
// setting NAME, one of the settings above, and answers with the config
// document. Throws "unknown setting: NAME; :config sets
// orvane.query.timeout, orvane.query.memory and orvane.query.steps" and
// "invalid value for NAME: must be an integer from 1 to N (UNIT)"; the
// setting is then unchanged.
void run_config(StatementContext& ctx, const std::string& arg);

}  // namespace orvane
