// The parser's working state, shared by the files that implement its rules:
// parser.cpp (statements, queries, token helpers), parse_clauses.cpp (one
// function per clause), parse_patterns.cpp (node and relationship patterns),
// parse_expressions.cpp (operators and postfix forms) and parse_atoms.cpp
// (literals, collections, CASE, calls, comprehensions, subqueries).
// Only those files include it; everyone else calls parse_statement.
//
// The whole statement is tokenized first, so a rule can look ahead any
// distance and go back: Cypher needs both, because "(a)" opens a
// parenthesized expression or a pattern, and "[x IN l]" a list or a
// comprehension, and only what follows the closing bracket tells. The few
// places that guess (see either) keep the token position, try the
// pattern reading, and fall back to the expression reading when it fails.
//
// Two bounds keep hostile input cheap: nesting deeper than kMaxNesting is a
// syntax error (recursion depth is bounded, so is the stack), and so is a
// statement whose guessing would read its tokens more than kStepsPerToken
// times over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "query/cypher_error.h"
#include "query/parse/ast.h"
#include "query/parse/lexer.h"

namespace orvane::cypher_parse {

inline constexpr int kMaxNesting = 500;
inline constexpr std::size_t kStepsPerToken = 64;

// Where a label expression stands: "|" always continues one in a pattern,
// may end one in an expression, and in a relationship's types may be
// written "|:".
enum class LabelPlace : std::uint8_t { kNode, kRelationship, kExpression };

// Whether `e` is names joined by "&" (or ":"), or one name; fills `names`.
bool conjunction_of_names(const ast::LabelExpr& e, std::vector<std::string>& names);
// Whether `e` is names joined by "|", or one name; fills `names`.
bool disjunction_of_names(const ast::LabelExpr& e, std::vector<std::string>& names);

class CypherParser {
 public:
  // Tokenizes `text`, which must outlive the parser.
  explicit CypherParser(std::string_view text);

  // The statement: [EXPLAIN | PROFILE] query [";"], then the end.
  ast::Statement statement();

  // ---- tokens (parser.cpp) ----
  const CypherToken& peek(std::size_t ahead = 0) const;
  const CypherToken& current() const { return peek(0); }
  void advance();
  bool at_end() const { return current().kind == CypherTokenKind::kEnd; }
  bool at_symbol(std::string_view symbol, std::size_t ahead = 0) const;
  // An unquoted word equal to `word` ignoring ASCII case.
  bool at_keyword(std::string_view word, std::size_t ahead = 0) const;
  // A word or a back-quoted name: anything usable as a name.
  bool at_name(std::size_t ahead = 0) const;
  bool accept_symbol(std::string_view symbol);
  bool accept_keyword(std::string_view word);
  void expect_symbol(std::string_view symbol);
  void expect_keyword(std::string_view word);
  // Consumes a name and answers it; else fails "expected <what>".
  std::string name(std::string_view what = "an identifier");
  std::size_t last_end() const { return last_end_; }  // end of the last consumed token
  std::string_view source(std::size_t from, std::size_t to) const { return text_.substr(from, to - from); }

  // Throws the SyntaxError for the current token: "Invalid input 'X':
  // expected <what> (line ...)", or the lexer's own message for a faulty
  // token.
  [[noreturn]] void fail_expected(std::string_view what) const;
  // Throws a SyntaxError with `message` followed by the position of `offset`.
  [[noreturn]] void fail(std::size_t offset, std::string_view detail, const std::string& message) const;

  // Counts one level of nesting for its lifetime; the constructor fails when
  // the statement nests deeper than kMaxNesting.
  class Nesting {
   public:
    explicit Nesting(CypherParser& parser);
    ~Nesting() { --parser_.depth_; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;

   private:
    CypherParser& parser_;
  };

  // ---- queries and clauses (parser.cpp, parse_clauses.cpp) ----
  ast::Query query();
  ast::SingleQuery single_query();
  bool at_clause_start() const;
  ast::Clause clause();
  ast::Clause clause_body(bool first);
  void match_clause(ast::Clause& c);
  void unwind_clause(ast::Clause& c);
  void projection_body(ast::Projection& p, bool is_with);
  void merge_clause(ast::Clause& c);
  std::vector<ast::SetItem> set_items();
  void remove_clause(ast::Clause& c);
  void foreach_clause(ast::Clause& c);
  void call_clause(ast::Clause& c, bool first_clause);

  // ---- patterns (parse_patterns.cpp) ----
  ast::Pattern pattern();
  ast::PatternPart pattern_part();
  ast::NodePattern node_pattern();
  ast::RelPattern rel_pattern();
  bool at_relationship_start(std::size_t ahead = 0) const;
  // The token at `ahead` is "(" whose matching ")" is followed by the start
  // of a relationship: a pattern rather than a parenthesized expression.
  bool pattern_follows(std::size_t ahead) const;

  // ---- label expressions (parse_labels.cpp) ----
  // At ":" followed by something a label expression can start with.
  bool at_label_expression() const;
  // Reads ":" and the label expression after it; records for
  // check_label_syntax whether it joins labels with ":" or uses a newer
  // symbol.
  ast::LabelExpr label_expression(LabelPlace place);
  ast::LabelExpr label_disjunction(LabelPlace place, std::vector<std::size_t>& colons);
  ast::LabelExpr label_conjunction(LabelPlace place, std::vector<std::size_t>& colons);
  ast::LabelExpr label_negation(LabelPlace place, std::vector<std::size_t>& colons);
  // Whether the current token ("|") separates the parts of the
  // comprehension, FOREACH or reduce being read rather than labels.
  bool separates_parts() const;
  // Throws the SyntaxError for a clause that joins labels with ":" and also
  // uses |, &, ! or % between labels.
  void check_label_syntax() const;

  // ---- expressions (parse_expressions.cpp) ----
  // A full expression where a value is wanted; pattern predicates inside it
  // are refused unless they sit where a boolean is wanted (see
  // check_pattern_placement).
  ast::ExprPtr value_expression();
  // A full expression in a WHERE position, where a pattern is a predicate.
  ast::ExprPtr predicate_expression();
  ast::ExprPtr expression();
  ast::ExprPtr binary(int min_level);
  ast::ExprPtr unary();
  ast::ExprPtr postfix();
  void check_pattern_placement(const ast::Expr& e, bool boolean_position) const;

  // ---- atoms (parse_atoms.cpp, parse_forms.cpp) ----
  ast::ExprPtr atom();
  ast::ExprPtr number_literal(bool negated, std::size_t offset);
  ast::ExprPtr parenthesized_or_pattern();
  ast::ExprPtr list_or_comprehension();
  ast::ExprPtr list_comprehension();
  ast::ExprPtr pattern_comprehension();
  ast::ExprPtr map_literal();
  ast::ExprPtr map_projection(ast::ExprPtr subject);
  ast::ExprPtr case_expression();
  ast::ExprPtr function_call();
  ast::ExprPtr quantifier(ast::Quantifier q);
  ast::ExprPtr reduce();
  ast::ExprPtr subquery_expression(ast::ExprKind kind);
  ast::ExprPtr parameter();
  bool function_follows() const;

  // While it lives, a "|" directly inside the bracket at `bracket` (by
  // default the current token) separates parts (separates_parts).
  class SeparatedParts {
   public:
    explicit SeparatedParts(CypherParser& parser) : SeparatedParts(parser, parser.pos_) {}
    SeparatedParts(CypherParser& parser, std::size_t bracket)
        : parser_(parser), outer_(parser.separator_bracket_) {
      parser_.separator_bracket_ = bracket;
    }
    ~SeparatedParts() { parser_.separator_bracket_ = outer_; }
    SeparatedParts(const SeparatedParts&) = delete;
    SeparatedParts& operator=(const SeparatedParts&) = delete;

   private:
    CypherParser& parser_;
    std::size_t outer_;
  };

  // Reads with `first` from the current token; when that fails with
  // UnexpectedSyntax, goes back and reads with `second` instead. If both
  // fail, the error of whichever reading got further is thrown. A broken
  // bound (nesting, steps) is thrown at once: retrying would only repeat it.
  template <typename First, typename Second>
  ast::ExprPtr either(First first, Second second);

  ast::ExprPtr make(ast::ExprKind kind, std::size_t offset) const;

 private:
  std::string_view text_;
  std::vector<CypherToken> tokens_;
  std::vector<std::size_t> closing_;  // for "(", "[", "{" tokens: the index of the matching closer, else npos
  std::vector<std::size_t> enclosing_;  // for every token: the index of the innermost bracket around it, else npos
  std::size_t pos_ = 0;
  std::size_t last_end_ = 0;
  std::size_t steps_ = 0;
  std::size_t step_limit_ = 0;
  int depth_ = 0;
  bool first_clause_ = false;  // the clause being read opens its query (YIELD * is allowed)
  mutable std::size_t failure_offset_ = 0;  // offset of the last SyntaxError raised
  bool fatal_ = false;  // the statement broke a bound: no other reading may be tried
  // What the label expressions of the clause being read wrote (label_expression).
  std::size_t colon_conjunction_ = std::string_view::npos;  // the first ":" joining labels (n:A:B), else npos
  std::string colon_suggestion_;  // the label expression holding it, written with "&"
  bool label_symbols_ = false;    // some label expression wrote |, &, ! or % between labels
  // The bracket ("[" of a comprehension, "(" of FOREACH or reduce) whose
  // parts a "|" directly inside it separates, while they are read; else npos.
  std::size_t separator_bracket_ = std::string_view::npos;
};

template <typename First, typename Second>
ast::ExprPtr CypherParser::either(First first, Second second) {
  std::size_t saved_pos = pos_;
  std::size_t saved_end = last_end_;
  std::optional<CypherError> first_error;
  std::size_t first_failure = 0;
  try {
    return first();
  } catch (const CypherError& error) {
    if (fatal_ || error.detail() != "UnexpectedSyntax") throw;
    first_error = error;
    first_failure = failure_offset_;
  }
  pos_ = saved_pos;
  last_end_ = saved_end;
  try {
    return second();
  } catch (const CypherError&) {
    if (failure_offset_ < first_failure) {
      failure_offset_ = first_failure;
      throw *first_error;
    }
    throw;
  }
}

}  // namespace orvane::cypher_parse
