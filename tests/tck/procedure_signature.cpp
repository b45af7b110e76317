// Reading a declared test procedure: "NAME(IN :: TYPE, ...) :: (OUT :: TYPE, ...):"
// and its table of rows.
#include <stdexcept>
#include <string_view>

#include "tck/tck_engine.h"
#include "tck/value_literal.h"

namespace orvane::tck {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

[[noreturn]] void fail(const std::string& signature, const std::string& reason) {
  throw std::runtime_error("procedure declaration '" + signature + "': " + reason);
}

// The fields of a parenthesised list "(a :: T, b :: U)" starting at `at`;
// `at` moves past the closing parenthesis.
std::vector<ProcedureField> fields(const std::string& signature, std::size_t& at) {
  if (at >= signature.size() || signature[at] != '(') fail(signature, "expected '('");
  const std::size_t close = signature.find(')', at);
  if (close == std::string::npos) fail(signature, "expected ')'");
  const std::string_view inside = trim(std::string_view(signature).substr(at + 1, close - at - 1));
  at = close + 1;
  std::vector<ProcedureField> out;
  if (inside.empty()) return out;
  std::size_t begin = 0;
  while (begin <= inside.size()) {
    std::size_t comma = inside.find(',', begin);
    if (comma == std::string_view::npos) comma = inside.size();
    const std::string_view field = trim(inside.substr(begin, comma - begin));
    const std::size_t colons = field.find("::");
    if (colons == std::string_view::npos) fail(signature, "field without '::': " + std::string(field));
    out.push_back({std::string(trim(field.substr(0, colons))), std::string(trim(field.substr(colons + 2)))});
    if (out.back().name.empty() || out.back().type.empty()) fail(signature, "empty field name or type");
    begin = comma + 1;
  }
  return out;
}

}  // namespace

TestProcedure parse_procedure(const std::string& signature, const std::vector<std::vector<std::string>>& table) {
  TestProcedure p;
  const std::size_t open = signature.find('(');
  if (open == std::string::npos) fail(signature, "no parameter list");
  p.name = std::string(trim(std::string_view(signature).substr(0, open)));
  if (p.name.empty()) fail(signature, "no name");
  std::size_t at = open;
  p.parameters = fields(signature, at);
  std::string_view rest = trim(std::string_view(signature).substr(at));
  if (rest.substr(0, 2) != "::") fail(signature, "expected '::' before the outputs");
  rest = trim(rest.substr(2));
  std::string outputs(rest);
  std::size_t out_at = 0;
  p.outputs = fields(outputs, out_at);
  const std::string_view tail = trim(std::string_view(outputs).substr(out_at));
  if (!tail.empty() && tail != ":") fail(signature, "unexpected text after the outputs: " + std::string(tail));

  const std::size_t width = p.parameters.size() + p.outputs.size();
  if (table.empty()) fail(signature, "no table");
  const std::vector<std::string>& header = table.front();
  if (header.size() != width) fail(signature, "table header does not name every field");
  for (std::size_t c = 0; c < width; ++c) {
    const std::string& want = c < p.parameters.size() ? p.parameters[c].name : p.outputs[c - p.parameters.size()].name;
    if (header[c] != want) fail(signature, "table column " + header[c] + " where " + want + " was declared");
  }
  for (std::size_t r = 1; r < table.size(); ++r) {
    std::vector<TckValue> row;
    for (const std::string& cell : table[r]) row.push_back(parse_value_literal(cell));
    p.rows.push_back(std::move(row));
  }
  return p;
}

}  // namespace orvane::tck
