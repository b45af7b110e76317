// One ScenarioState per run holds what steps hand to each other: the
// parameters, the declared procedures, the last outcome and the snapshots
// around the last measured query. Each step handler returns "" on success
// or the reason it failed.
#include "tck/scenario_runner.h"

#include <fstream>
#include <optional>
#include <sstream>

#include "tck/result_matcher.h"
#include "tck/side_effects.h"
#include "tck/value_literal.h"

namespace orvane::tck {
namespace {

constexpr std::string_view kProcedurePrefix = "there exists a procedure ";
constexpr std::string_view kResultPrefix = "the result should be";
constexpr std::string_view kRaisedInfix = " should be raised at ";

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::string error_text(const QueryError& e) {
  std::string classification = e.error_class.empty() ? "unclassified" : e.error_class;
  if (!e.phase.empty()) classification += " at " + e.phase;
  if (!e.detail.empty()) classification += ": " + e.detail;
  return classification + " — " + e.message;
}

struct ExpectedError {
  std::string error_class;
  std::string phase;  // "compile time", "runtime" or "any time"
  std::string detail;
};

// "a TypeError should be raised at runtime: InvalidArgumentType"
std::optional<ExpectedError> expected_error(std::string_view text) {
  const std::size_t infix = text.find(kRaisedInfix);
  if (!starts_with(text, "a ") && !starts_with(text, "an ")) return std::nullopt;
  if (infix == std::string_view::npos) return std::nullopt;
  ExpectedError e;
  e.error_class = std::string(text.substr(text.find(' ') + 1, infix - text.find(' ') - 1));
  const std::string_view rest = text.substr(infix + kRaisedInfix.size());
  const std::size_t colon = rest.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  e.phase = std::string(rest.substr(0, colon));
  std::string_view detail = rest.substr(colon + 1);
  while (!detail.empty() && detail.front() == ' ') detail.remove_prefix(1);
  while (!detail.empty() && detail.back() == ' ') detail.remove_suffix(1);
  e.detail = std::string(detail);
  if (e.phase != "compile time" && e.phase != "runtime" && e.phase != "any time") return std::nullopt;
  return e;
}

// "the result should be, in any order:" and its variants.
std::optional<RowExpectation> expected_rows(std::string_view text) {
  if (!starts_with(text, kResultPrefix) || text.empty() || text.back() != ':') return std::nullopt;
  std::string_view rest = text.substr(kResultPrefix.size(), text.size() - kResultPrefix.size() - 1);
  RowExpectation how;
  constexpr std::string_view kIgnoring = " (ignoring element order for lists)";
  if (rest.size() >= kIgnoring.size() && rest.substr(rest.size() - kIgnoring.size()) == kIgnoring) {
    how.unordered_lists = true;
    rest.remove_suffix(kIgnoring.size());
  }
  if (rest == ", in order") {
    how.order = RowOrder::kInOrder;
  } else if (rest == ", in any order" || (rest.empty() && how.unordered_lists)) {
    how.order = RowOrder::kAnyOrder;
  } else {
    return std::nullopt;
  }
  return how;
}

class ScenarioState {
 public:
  ScenarioState(TckEngine& engine, const std::string& graphs_dir) : engine_(engine), graphs_dir_(graphs_dir) {}

  std::string step(const GherkinStep& s) {
    const std::string& t = s.text;
    if (t == "an empty graph" || t == "any graph") return reset();
    if (starts_with(t, "the ") && t.size() > 10 && t.substr(t.size() - 6) == " graph") {
      return named_graph(t.substr(4, t.size() - 10));
    }
    if (t == "having executed:") return setup(s);
    if (t == "parameters are:") return parameters(s);
    if (starts_with(t, kProcedurePrefix)) return procedure(s);
    if (t == "executing query:") return query(s, true);
    if (t == "executing control query:") return query(s, false);
    if (t == "the result should be empty") return empty_result();
    if (const auto how = expected_rows(t)) return rows(s, *how);
    if (const auto error = expected_error(t)) return raised(*error);
    if (t == "the side effects should be:") return side_effects(s);
    if (t == "no side effects") return no_side_effects();
    return "unsupported step";
  }

  // The statement run last, for failure reports; empty before the first.
  const std::string& last_statement() const { return last_statement_; }

 private:
  std::string reset() {
    engine_.reset();
    params_.clear();
    registry_ = {};
    outcome_.reset();
    measured_ = false;
    return "";
  }

  std::string named_graph(const std::string& name) {
    reset();
    const std::string path = graphs_dir_ + "/" + name + "/" + name + ".cypher";
    std::ifstream in(path, std::ios::binary);
    if (!in) return "named graph not found: " + path;
    std::stringstream text;
    text << in.rdbuf();
    last_statement_ = text.str();
    const QueryOutcome o = engine_.execute(last_statement_, {});
    if (!o.ok) return "creating graph " + name + " failed: " + error_text(o.error);
    return "";
  }

  std::string setup(const GherkinStep& s) {
    if (!s.has_doc_string) return "no statement given";
    last_statement_ = s.doc_string;
    const QueryOutcome o = engine_.execute(s.doc_string, params_);
    if (!o.ok) return "setup statement failed: " + error_text(o.error);
    return "";
  }

  std::string parameters(const GherkinStep& s) {
    for (const std::vector<std::string>& row : s.table) {
      if (row.size() != 2) return "parameter row needs a name and a value";
      try {
        params_[row[0]] = parse_value_literal(row[1]);
      } catch (const LiteralError& e) {
        return std::string("parameter ") + row[0] + ": " + e.what();
      }
    }
    return "";
  }

  std::string procedure(const GherkinStep& s) {
    try {
      registry_.procedures.push_back(parse_procedure(s.text.substr(kProcedurePrefix.size()), s.table));
    } catch (const std::exception& e) {
      return e.what();
    }
    std::string why;
    if (!engine_.install_procedures(registry_, why)) {
      return "procedure " + registry_.procedures.back().name + " cannot be registered: " + why;
    }
    return "";
  }

  std::string query(const GherkinStep& s, bool measure) {
    if (!s.has_doc_string) return "no statement given";
    if (measure) before_ = engine_.snapshot();
    last_statement_ = s.doc_string;
    outcome_ = engine_.execute(s.doc_string, params_);
    if (measure) {
      after_ = engine_.snapshot();
      measured_ = true;
    }
    return "";
  }

  std::string need_result() const {
    if (!outcome_) return "no query was executed";
    if (!outcome_->ok) return "query failed: " + error_text(outcome_->error);
    return "";
  }

  std::string empty_result() {
    if (std::string why = need_result(); !why.empty()) return why;
    if (outcome_->result.rows.empty()) return "";
    return "expected no rows, got " + std::to_string(outcome_->result.rows.size()) + ":\n" +
           result_table_text(outcome_->result, 2);
  }

  std::string rows(const GherkinStep& s, const RowExpectation& how) {
    if (std::string why = need_result(); !why.empty()) return why;
    return match_rows(s.table, outcome_->result, how);
  }

  std::string raised(const ExpectedError& want) {
    if (!outcome_) return "no query was executed";
    const std::string expectation =
        "expected " + want.error_class + " at " + want.phase + ": " + want.detail;
    if (outcome_->ok) {
      return expectation + ", got " + std::to_string(outcome_->result.rows.size()) + " rows:\n" +
             result_table_text(outcome_->result, 2);
    }
    const QueryError& got = outcome_->error;
    const bool phase_ok = want.phase == "any time" || want.phase == got.phase;
    // "*" accepts any detail code.
    const bool detail_ok = want.detail == "*" || got.detail == want.detail;
    if (got.error_class == want.error_class && phase_ok && detail_ok) return "";
    return expectation + ", got " + error_text(got);
  }

  std::string compare_effects(const SideEffects& want) {
    if (!measured_) return "no query was executed";
    const SideEffects got = diff_snapshots(before_, after_);
    if (got == want) return "";
    return "side effects: expected " + side_effects_text(want) + ", got " + side_effects_text(got);
  }

  std::string side_effects(const GherkinStep& s) {
    try {
      return compare_effects(parse_side_effects(s.table));
    } catch (const std::exception& e) {
      return e.what();
    }
  }

  std::string no_side_effects() { return compare_effects(SideEffects{}); }

  TckEngine& engine_;
  const std::string& graphs_dir_;
  std::map<std::string, TckValue> params_;
  ProcedureRegistry registry_;
  std::optional<QueryOutcome> outcome_;
  bool measured_ = false;
  GraphSnapshot before_;
  GraphSnapshot after_;
  std::string last_statement_;
};

}  // namespace

ScenarioKind scenario_kind(const GherkinScenario& scenario) {
  for (const GherkinStep& s : scenario.steps) {
    if (expected_error(s.text)) return ScenarioKind::kError;
  }
  return ScenarioKind::kResult;
}

Verdict run_scenario(const GherkinScenario& scenario, TckEngine& engine, const std::string& graphs_dir) {
  ScenarioState state(engine, graphs_dir);
  for (const GherkinStep& s : scenario.steps) {
    std::string why;
    try {
      why = state.step(s);
    } catch (const std::exception& e) {
      why = std::string("runner error: ") + e.what();
    }
    if (!why.empty()) {
      std::string reason = "line " + std::to_string(s.line) + ": " + s.keyword + " " + s.text + "\n" + why;
      if (!state.last_statement().empty()) {
        if (reason.back() != '\n') reason += '\n';
        reason += "statement:\n";
        std::istringstream lines(state.last_statement());
        for (std::string line; std::getline(lines, line);) reason += "  " + line + "\n";
      }
      return {false, reason};
    }
  }
  return {true, ""};
}

}  // namespace orvane::tck
