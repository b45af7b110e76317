// The parser's entry point, its token helpers and the rules above clauses:
// statement, query (UNION) and single query. The clause rules are in
// parse_clauses.cpp; see cypher_parser.h for how the files divide the work.
//
// Error messages follow Neo4j's shape: "Invalid input 'X': expected Y" and
// the position, where X is the offending token as written ('' at the end of
// the statement) and Y names what the rule could have read there.
#include <algorithm>
#include <string>

#include "graph/utf8.h"
#include "query/cypher_error.h"
#include "query/parse/cypher_parser.h"
#include "query/parse/parser.h"

namespace orvane {

namespace {

[[noreturn]] void refuse(std::string_view text, std::size_t offset, const std::string& message) {
  throw CypherError("SyntaxError", "", ErrorPhase::kCompileTime, message + position_text(text, offset));
}

}  // namespace

ast::Statement parse_statement(std::string_view text) {
  if (text.size() > kMaxStatementBytes) {
    throw CypherError("SyntaxError", "", ErrorPhase::kCompileTime,
                      "Invalid input: the statement has " + std::to_string(text.size()) +
                          " bytes, more than the limit of " + std::to_string(kMaxStatementBytes));
  }
  for (std::size_t at = 0; at < text.size();) {
    std::size_t length = utf8_sequence_length(text, at);
    if (length == 0) refuse(text.substr(0, at), at, "Invalid input: the statement is not valid UTF-8");
    at += length;
  }
  cypher_parse::CypherParser parser(text);
  return parser.statement();
}

namespace cypher_parse {

CypherParser::CypherParser(std::string_view text) : text_(text), tokens_(tokenize_cypher(text)) {
  // Match brackets once, so that looking past "(...)" costs nothing however
  // deep the statement nests.
  closing_.assign(tokens_.size(), std::string_view::npos);
  enclosing_.assign(tokens_.size(), std::string_view::npos);
  std::vector<std::size_t> open;
  for (std::size_t i = 0; i < tokens_.size(); ++i) {
    if (!open.empty()) enclosing_[i] = open.back();
    if (tokens_[i].kind != CypherTokenKind::kSymbol) continue;
    const std::string& s = tokens_[i].text;
    if (s == "(" || s == "[" || s == "{") {
      open.push_back(i);
    } else if ((s == ")" || s == "]" || s == "}") && !open.empty()) {
      char expected = s == ")" ? '(' : s == "]" ? '[' : '{';
      if (tokens_[open.back()].text[0] == expected) closing_[open.back()] = i;
      open.pop_back();
    }
  }
  step_limit_ = kStepsPerToken * tokens_.size() + 100000;
}

const CypherToken& CypherParser::peek(std::size_t ahead) const {
  std::size_t at = std::min(pos_ + ahead, tokens_.size() - 1);
  return tokens_[at];
}

void CypherParser::advance() {
  if (++steps_ > step_limit_) {
    fatal_ = true;
    fail(current().offset, "UnexpectedSyntax", "Invalid input: the statement is too complex to parse");
  }
  if (pos_ + 1 < tokens_.size()) {
    last_end_ = tokens_[pos_].end;
    ++pos_;
  }
}

bool CypherParser::at_symbol(std::string_view symbol, std::size_t ahead) const {
  const CypherToken& t = peek(ahead);
  return t.kind == CypherTokenKind::kSymbol && t.text == symbol;
}

bool CypherParser::at_keyword(std::string_view word, std::size_t ahead) const {
  const CypherToken& t = peek(ahead);
  if (t.kind != CypherTokenKind::kIdentifier || t.text.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char a = t.text[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    char b = word[i];
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

bool CypherParser::at_name(std::size_t ahead) const {
  CypherTokenKind kind = peek(ahead).kind;
  return kind == CypherTokenKind::kIdentifier || kind == CypherTokenKind::kQuotedIdentifier;
}

bool CypherParser::accept_symbol(std::string_view symbol) {
  if (!at_symbol(symbol)) return false;
  advance();
  return true;
}

bool CypherParser::accept_keyword(std::string_view word) {
  if (!at_keyword(word)) return false;
  advance();
  return true;
}

void CypherParser::expect_symbol(std::string_view symbol) {
  if (!accept_symbol(symbol)) fail_expected("\"" + std::string(symbol) + "\"");
}

void CypherParser::expect_keyword(std::string_view word) {
  if (!accept_keyword(word)) fail_expected("\"" + std::string(word) + "\"");
}

std::string CypherParser::name(std::string_view what) {
  if (!at_name()) fail_expected(what);
  std::string result = current().text;
  advance();
  return result;
}

void CypherParser::fail(std::size_t offset, std::string_view detail, const std::string& message) const {
  failure_offset_ = offset;
  throw CypherError("SyntaxError", std::string(detail), ErrorPhase::kCompileTime,
                    message + position_text(text_, offset));
}

void CypherParser::fail_expected(std::string_view what) const {
  const CypherToken& t = current();
  if (t.kind == CypherTokenKind::kInvalid && !t.message.empty()) fail(t.offset, t.detail, t.message);
  std::string detail = t.kind == CypherTokenKind::kInvalid ? t.detail : "UnexpectedSyntax";
  std::string written(t.kind == CypherTokenKind::kEnd ? "" : source(t.offset, t.end));
  fail(t.offset, detail, "Invalid input '" + written + "': expected " + std::string(what));
}

CypherParser::Nesting::Nesting(CypherParser& parser) : parser_(parser) {
  if (++parser_.depth_ > kMaxNesting) {
    --parser_.depth_;
    parser_.fatal_ = true;
    const CypherToken& t = parser_.current();
    parser_.fail(t.offset, "UnexpectedSyntax",
                 "Invalid input '" + std::string(parser_.source(t.offset, t.end)) + "': the statement nests more than " +
                     std::to_string(kMaxNesting) + " levels deep");
  }
}

ast::Statement CypherParser::statement() {
  ast::Statement s;
  if (accept_keyword("EXPLAIN")) {
    s.mode = ast::StatementMode::kExplain;
  } else if (accept_keyword("PROFILE")) {
    s.mode = ast::StatementMode::kProfile;
  }
  s.query = query();
  accept_symbol(";");
  if (!at_end()) fail_expected("a clause, \"UNION\", \";\" or the end of the statement");
  return s;
}

ast::Query CypherParser::query() {
  Nesting nesting(*this);
  ast::Query q;
  q.parts.push_back(single_query());
  while (accept_keyword("UNION")) {
    q.union_all.push_back(accept_keyword("ALL"));
    q.parts.push_back(single_query());
  }
  return q;
}

bool CypherParser::at_clause_start() const {
  static constexpr std::string_view kStarts[] = {"MATCH", "OPTIONAL", "UNWIND", "WITH",   "RETURN",  "CREATE", "MERGE",
                                                 "SET",   "REMOVE",   "DELETE", "DETACH", "FOREACH", "CALL"};
  for (std::string_view word : kStarts) {
    if (at_keyword(word)) return true;
  }
  return false;
}

ast::SingleQuery CypherParser::single_query() {
  ast::SingleQuery q;
  if (!at_clause_start()) fail_expected("a clause");
  while (at_clause_start()) {
    first_clause_ = q.clauses.empty();
    q.clauses.push_back(clause());
  }
  return q;
}

}  // namespace cypher_parse
}  // namespace orvane
