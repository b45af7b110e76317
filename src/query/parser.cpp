// Query parser: a single left-to-right pass with one token of lookahead and
// no backtracking over
//
//   statement    MATCH node { relationship node } [WHERE ineq {AND ineq}]
//                RETURN projection [LIMIT literal] [";"] End
//   node         "(" [var] [":" label] ["{" [prop {"," prop}] "}"] ")"
//   relationship ("-" | "<-") "[" ":" type ["*" hops [".." hops]] "]" closing
//   projection   COUNT "(" [DISTINCT] ("*" | var) ")" [AS alias]
//              | [DISTINCT] item {"," item}
//
// A statement that is not valid UTF-8 is refused before it is lexed.
// Every limit (text size, relationships, hops, literal depth) is checked
// before anything larger is built. Numbers are converted by the JSON
// library's own parser, so literals follow the JSON number grammar exactly.
#include <algorithm>

#include "graph/utf8.h"
#include "query/lexer.h"
#include "query/query.h"

namespace orvane {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : lex_(text) {}

  QlQuery statement();

 private:
  QlNodePattern node();
  QlRelPattern relationship();
  std::int32_t hop_bound();
  void projection(QlQuery& q);
  nlohmann::json literal(int depth);
  static nlohmann::json number(const std::string& text);

  QlLexer lex_;
};

nlohmann::json Parser::number(const std::string& text) {
  try {
    return nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception&) {
    throw QlError("invalid numeric literal");
  }
}

nlohmann::json Parser::literal(int depth) {
  if (depth > kMaxLiteralDepth) throw QlError("property nesting limit exceeded");
  const QlToken& t = lex_.current();
  nlohmann::json value;
  if (t.kind == QlTokenKind::String) {
    value = t.text;
    lex_.advance();
  } else if (t.kind == QlTokenKind::Number) {
    value = number(t.text);
    lex_.advance();
  } else if (lex_.is_keyword("TRUE")) {
    value = true;
    lex_.advance();
  } else if (lex_.is_keyword("FALSE")) {
    value = false;
    lex_.advance();
  } else if (lex_.is_keyword("NULL")) {
    lex_.advance();
  } else if (lex_.accept("[")) {
    value = nlohmann::json::array();
    if (!lex_.accept("]")) {
      do {
        value.push_back(literal(depth + 1));
      } while (lex_.accept(","));
      lex_.expect("]");
    }
  } else {
    throw QlError("expected a string, number, boolean, null, or array");
  }
  return value;
}

QlNodePattern Parser::node() {
  QlNodePattern n;
  lex_.expect("(");
  if (lex_.current().kind == QlTokenKind::Identifier) n.variable = lex_.expect_identifier();
  if (lex_.accept(":")) n.label = lex_.expect_identifier();
  if (lex_.accept("{")) {
    if (!lex_.accept("}")) {
      do {
        std::string name = lex_.expect_identifier();
        lex_.expect(":");
        if (n.properties.contains(name)) throw QlError("duplicate property: " + name);
        n.properties.emplace(std::move(name), literal(0));
      } while (lex_.accept(","));
      lex_.expect("}");
    }
  }
  lex_.expect(")");
  return n;
}

std::int32_t Parser::hop_bound() {
  if (lex_.current().kind != QlTokenKind::Number) throw QlError("expected hop count");
  const nlohmann::json value = number(lex_.current().text);
  if (!value.is_number_integer()) throw QlError("hop count must be an integer");
  if (value.is_number_unsigned() ? value.get<std::uint64_t>() > kMaxHops
                                 : (value.get<std::int64_t>() < 0 || value.get<std::int64_t>() > kMaxHops)) {
    throw QlError("hop count must be between 0 and 16");
  }
  lex_.advance();
  return static_cast<std::int32_t>(value.get<std::int64_t>());
}

QlRelPattern Parser::relationship() {
  QlRelPattern r;
  const bool incoming = lex_.accept("<-");
  if (!incoming) lex_.expect("-");
  lex_.expect("[");
  lex_.expect(":");
  r.type = lex_.expect_identifier();
  if (lex_.accept("*")) {
    r.min_hops = hop_bound();
    r.max_hops = r.min_hops;
    if (lex_.accept("..")) r.max_hops = hop_bound();
    if (r.min_hops > r.max_hops) throw QlError("invalid hop range");
  }
  lex_.expect("]");
  if (incoming) {
    lex_.expect("-");
    r.direction = QlDirection::In;
  } else if (lex_.accept("->")) {
    r.direction = QlDirection::Out;
  } else {
    lex_.expect("-");
    r.direction = QlDirection::Both;
  }
  return r;
}

void Parser::projection(QlQuery& q) {
  if (lex_.is_keyword("COUNT")) {
    lex_.advance();
    q.is_count = true;
    lex_.expect("(");
    if (lex_.is_keyword("DISTINCT")) {
      lex_.advance();
      q.distinct = true;
    }
    if (lex_.accept("*")) {
      if (q.distinct) throw QlError("count(DISTINCT *) is unsupported");
    } else {
      q.count_star = false;
      q.count_variable = lex_.expect_identifier();
    }
    lex_.expect(")");
    if (lex_.is_keyword("AS")) {
      lex_.advance();
      q.count_alias = lex_.expect_identifier();
    }
    return;
  }
  q.is_count = false;
  if (lex_.is_keyword("DISTINCT")) {
    lex_.advance();
    q.distinct = true;
  }
  do {
    QlReturnItem item;
    item.variable = lex_.expect_identifier();
    item.column = item.variable;
    if (lex_.accept(".")) {
      item.property = lex_.expect_identifier();
      item.column += "." + item.property;
    }
    if (lex_.is_keyword("AS")) {
      lex_.advance();
      item.column = lex_.expect_identifier();
    }
    q.returns.push_back(std::move(item));
  } while (lex_.accept(","));
}

QlQuery Parser::statement() {
  QlQuery q;
  if (!lex_.is_keyword("MATCH")) throw QlError("query must start with MATCH");
  lex_.advance();
  q.nodes.push_back(node());
  while (lex_.current().kind == QlTokenKind::Symbol && (lex_.current().text == "-" || lex_.current().text == "<-")) {
    if (q.relationships.size() >= kMaxPatternRelationships) throw QlError("pattern limit exceeded");
    q.relationships.push_back(relationship());
    q.nodes.push_back(node());
  }
  if (lex_.is_keyword("WHERE")) {
    lex_.advance();
    do {
      std::string left = lex_.expect_identifier();
      if (!lex_.accept("<>") && !lex_.accept("!=")) throw QlError("WHERE supports node-variable inequality only");
      std::string right = lex_.expect_identifier();
      q.where_not_equal.emplace_back(std::move(left), std::move(right));
    } while (lex_.is_keyword("AND") && (lex_.advance(), true));
  }
  if (!lex_.is_keyword("RETURN")) throw QlError("expected RETURN");
  lex_.advance();
  projection(q);
  if (lex_.is_keyword("LIMIT")) {
    if (q.is_count) throw QlError("LIMIT is supported for row queries only");
    lex_.advance();
    const nlohmann::json value = literal(0);
    const bool in_range = value.is_number_unsigned()  ? value.get<std::uint64_t>() <= kMaxRows
                          : value.is_number_integer() ? value.get<std::int64_t>() >= 0 &&
                                                            value.get<std::int64_t>() <= static_cast<std::int64_t>(kMaxRows)
                                                      : false;
    if (!in_range) throw QlError("LIMIT must be between 0 and 10000");
    q.limit = value.get<std::uint64_t>();
    q.has_limit = true;
  }
  lex_.accept(";");
  if (lex_.current().kind != QlTokenKind::End) {
    throw QlError("unsupported or unexpected clause: " + lex_.current().text);
  }
  return q;
}

bool has_variable(const QlQuery& q, const std::string& name) {
  return std::any_of(q.nodes.begin(), q.nodes.end(), [&](const QlNodePattern& n) { return n.variable == name; });
}

}  // namespace

QlQuery parse_query(std::string_view text) {
  if (text.size() > kMaxQueryBytes) throw QlError("query exceeds 64 KiB");
  // Names and strings reach result columns, logs and JSON answers, which
  // cannot carry bytes that are not UTF-8.
  if (!is_valid_utf8(text)) throw QlError(kInvalidUtf8Message);
  QlQuery q = Parser(text).statement();
  for (const auto& [left, right] : q.where_not_equal) {
    if (!has_variable(q, left) || !has_variable(q, right)) throw QlError("WHERE references an unknown variable");
  }
  if (q.is_count && !q.count_star && !has_variable(q, q.count_variable)) {
    throw QlError("count references an unknown variable");
  }
  for (const QlReturnItem& item : q.returns) {
    if (!has_variable(q, item.variable)) throw QlError("RETURN references an unknown variable");
  }
  q.text.assign(text);
  return q;
}

}  // namespace orvane
