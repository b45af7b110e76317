// dispatch_input splits first and runs afterwards, so an input whose
// statement count is refused runs nothing, and the single-statement case
// hands dispatch() the very text it was given (its trailing ";", comments
// and all), which keeps every single-statement answer as it was.
#include "console/statement_batch.h"

#include <nlohmann/json.hpp>

#include "console/statement_scanner.h"
#include "graph/json_text.h"

namespace orvane {

void dispatch_input(BatchAnswer& out, Engine& engine, const std::string& input, const std::string& database,
                    const ParamMap* params) {
  out = BatchAnswer();
  out.input = input;
  const std::vector<std::string> statements = split_statements(input);
  out.statements = statements.size();
  out.several = statements.size() > 1;
  if (statements.size() > kMaxStatementsPerInput) {
    ConsoleResult refused;
    refused.ok = false;
    refused.kind = "error";
    refused.query = input;
    refused.error = "input holds " + std::to_string(statements.size()) + " statements; at most " +
                    std::to_string(kMaxStatementsPerInput) + " run at once";
    out.several = false;
    out.results.push_back(std::move(refused));
    return;
  }
  if (!out.several) {
    out.results.emplace_back();
    dispatch(out.results.back(), engine, input, database, params);
    return;
  }
  for (const std::string& statement : statements) {
    out.results.emplace_back();
    dispatch(out.results.back(), engine, statement, database, params);
    if (!out.results.back().ok) break;
  }
}

std::string batch_json(const BatchAnswer& answer) {
  if (!answer.several) return answer.results.empty() ? std::string("{}") : result_json(answer.results.front());
  double ns = 0;
  for (const ConsoleResult& r : answer.results) ns += r.ns;
  static const ConsoleResult kNone;
  const ConsoleResult& last = answer.results.empty() ? kNone : answer.results.back();
  const bool ok = answer.ok();
  std::string out = std::string("{\"ok\":") + (ok ? "true" : "false") + ",\"kind\":\"statements\",\"count\":" +
                    std::to_string(answer.results.size()) + ",\"statements\":" + std::to_string(answer.statements) +
                    ",\"ns\":" + json_number(ns) + ",\"error\":";
  append_json_string(out, ok ? std::string() : last.error, JsonEscape::kDropCarriageReturn);
  if (!ok && !last.error_class.empty()) {
    out += ",\"errorClass\":";
    append_json_string(out, last.error_class, JsonEscape::kDropCarriageReturn);
    out += ",\"phase\":";
    append_json_string(out, last.error_phase, JsonEscape::kDropCarriageReturn);
    out += ",\"detail\":";
    append_json_string(out, last.error_detail, JsonEscape::kDropCarriageReturn);
  }
  out += ",\"query\":";
  append_json_string(out, answer.input, JsonEscape::kDropCarriageReturn);
  out += ",\"results\":[";
  for (std::size_t i = 0; i < answer.results.size(); ++i) {
    if (i) out += ',';
    out += result_json(answer.results[i]);
  }
  return out + "]}";
}

}  // namespace orvane
