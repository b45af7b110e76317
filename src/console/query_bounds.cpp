// The bound settings: their table, their checks, and the two ways a user
// changes them from a statement or a request.
//
// The ceilings keep a typo from turning a runaway statement into one that
// holds the engine (and, on a server, every other client, since statements
// run one at a time) for hours, or that asks for more memory than the
// machine has: 10 minutes of time, the machine's physical memory
// (graph/memory_budget.h; 1 TiB where it cannot be told), and a million
// million steps, more than 10 minutes can take.
#include "console/query_bounds.h"

#include <cctype>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "base/decimal.h"
#include "base/text.h"
#include "console/documents.h"
#include "console/engine.h"
#include "console/console_result.h"
#include "console/statement_rows.h"
#include "graph/memory_budget.h"

namespace orvane {
namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr std::uint64_t kMaxTimeoutMs = 600'000;
constexpr std::uint64_t kMaxSteps = 1'000'000'000'000;
constexpr std::uint64_t kMemoryWhenUnknown = std::uint64_t{1} << 40;

const BoundSetting* setting_named(const std::string& name) {
  for (const BoundSetting& s : bound_settings()) {
    if (name == s.setting) return &s;
  }
  return nullptr;
}

}  // namespace

const std::vector<BoundSetting>& bound_settings() {
  static const std::vector<BoundSetting> settings = {
      {QueryBoundKind::kTimeout, "orvane.query.timeout", "--query-timeout", "timeout", "milliseconds"},
      {QueryBoundKind::kMemory, "orvane.query.memory", "--query-memory", "memory", "MiB"},
      {QueryBoundKind::kSteps, "orvane.query.steps", "--query-steps", "steps", "steps"},
  };
  return settings;
}

std::uint64_t bound_ceiling(const BoundSetting& setting) {
  switch (setting.kind) {
    case QueryBoundKind::kTimeout: return kMaxTimeoutMs;
    case QueryBoundKind::kMemory: {
      const std::uint64_t physical = physical_memory_bytes();
      return (physical == 0 ? kMemoryWhenUnknown : physical) / kMiB;
    }
    case QueryBoundKind::kSteps: return kMaxSteps;
  }
  return 0;
}

std::string bound_range_text(const BoundSetting& setting) {
  return "must be an integer from 1 to " + std::to_string(bound_ceiling(setting)) + " (" + setting.unit + ")";
}

std::uint64_t bound_value(const WorkBound& bound, const BoundSetting& setting) {
  switch (setting.kind) {
    case QueryBoundKind::kTimeout: return static_cast<std::uint64_t>(bound.time.count());
    case QueryBoundKind::kMemory: return bound.memory_bytes / kMiB;
    case QueryBoundKind::kSteps: return bound.steps;
  }
  return 0;
}

bool set_bound_value(WorkBound& bound, const BoundSetting& setting, std::uint64_t value) {
  if (value < 1 || value > bound_ceiling(setting)) return false;
  switch (setting.kind) {
    case QueryBoundKind::kTimeout: bound.time = std::chrono::milliseconds(value); break;
    case QueryBoundKind::kMemory: bound.memory_bytes = value * kMiB; break;
    case QueryBoundKind::kSteps: bound.steps = value; break;
  }
  return true;
}

WorkBound request_bound(const WorkBound& base, const nlohmann::json& body) {
  WorkBound bound = base;
  for (const BoundSetting& setting : bound_settings()) {
    const auto it = body.find(setting.member);
    if (it == body.end()) continue;
    // 30000.0 or "30000" is refused like 0: a member's type is part of the API.
    const bool integer = it->is_number_unsigned() || (it->is_number_integer() && it->get<std::int64_t>() > 0);
    if (!integer || !set_bound_value(bound, setting, it->get<std::uint64_t>())) {
      throw std::runtime_error(std::string("invalid request field: ") + setting.member + " " +
                               bound_range_text(setting));
    }
  }
  return bound;
}

StatementBoundScope::StatementBoundScope(Engine& engine, const WorkBound& bound) : engine_(engine) {
  engine_.set_statement_bound(bound);
}

StatementBoundScope::~StatementBoundScope() { engine_.set_statement_bound(std::nullopt); }

void run_config(StatementContext& ctx, const std::string& arg) {
  // NAME, then ":" and/or blanks, then VALUE: the Browser's `:config name: value`.
  std::size_t end = 0;
  while (end < arg.size() && arg[end] != ':' && std::isspace(static_cast<unsigned char>(arg[end])) == 0) ++end;
  const std::string name = arg.substr(0, end);
  std::string_view rest = std::string_view(arg).substr(end);
  rest = trim_view(rest);
  if (!rest.empty() && rest.front() == ':') rest = trim_view(rest.substr(1));
  const BoundSetting* setting = setting_named(name);
  if (setting == nullptr) {
    throw std::runtime_error("unknown setting: " + name +
                             "; :config sets orvane.query.timeout, orvane.query.memory and orvane.query.steps");
  }
  WorkBound bound = ctx.engine.query_bound();
  const std::optional<std::uint64_t> value = parse_decimal(rest);
  if (!value || !set_bound_value(bound, *setting, *value)) {
    throw std::runtime_error(std::string("invalid value for ") + setting->setting + ": " + bound_range_text(*setting));
  }
  ctx.engine.set_query_bound(bound);
  ctx.engine.record_change("config", std::string(setting->setting) + "=" + std::to_string(*value));
  ctx.out.data = config_document(ctx.engine);
}

}  // namespace orvane
