// CREATE: the console's two short forms, one labelled node, or one
// relationship between two existing nodes named by their ids (the ids
// answers show, graph/entity_ids.h), run through the query pipeline's
// CREATE and answered in the forms' own JSON; every other CREATE is the
// pipeline's alone (dispatch.cpp).
//
// A statement changes the graph only if it succeeds as a whole. The
// statement runs against a mark taken before it; its change joins the
// graph's delta and, when the engine has a snapshot path, is saved, and a
// failure anywhere (the run, a fold, the save) takes the database back to
// the mark (Database::rollback, never a copy of the graph). The save is
// atomic, so the snapshot on disk is either the old graph or the new one.
//
// The node form is a statement the pipeline's parser reads as CREATE of one
// node with exactly one label and a map of literals (strings, numbers,
// booleans, null and lists of them), nothing after it. The relationship
// form is recognised by its text: the statement holds an arrow ("--", "<-",
// "]-" or "]>") outside quotes and braces; only
// `CREATE (ID)-[:TYPE]->(ID)` is supported, checked before the pipeline
// runs, which then matches the two nodes by id and creates the
// relationship between them.
#include <stdexcept>
#include <string_view>

#include <nlohmann/json.hpp>

#include "base/decimal.h"
#include "console/console_result.h"
#include "console/engine.h"
#include "console/statement_rows.h"
#include "graph/change_record.h"
#include "graph/database.h"
#include "graph/json_text.h"
#include "query/cypher_statement.h"
#include "query/parse/parser.h"

namespace orvane {
namespace {

constexpr const char* kNodeForm = "CREATE requires one explicitly labelled node";
constexpr const char* kRelationshipForm =
    "relationship CREATE requires (internal_id)-[:TYPE]->(internal_id); other forms are unsupported";
constexpr int kMaxLiteralDepth = 16;  // lists in a property value nest at most this deep

bool has_arrow(const std::string& t) {
  char quote = 0;
  int braces = 0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    const char c = t[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"' || c == '`') {
      quote = c;
    } else if (c == '{') {
      ++braces;
    } else if (c == '}') {
      if (braces > 0) --braces;
    } else if (braces == 0 && i + 1 < t.size()) {
      const char next = t[i + 1];
      if (((c == '-' || c == '<') && next == '-') || (c == ']' && (next == '-' || next == '>'))) return true;
    }
  }
  return false;
}

// The first string property among name, hostname, title and username.
const nlohmann::json* display_name(const nlohmann::json& props) {
  for (const char* key : {"name", "hostname", "title", "username"}) {
    const auto it = props.find(key);
    if (it != props.end() && it->is_string()) return &*it;
  }
  return nullptr;
}

// `e` as JSON when it is a literal the node form takes (a string, number,
// boolean, null, or a list of them); false for any other expression.
bool literal_json(const ast::Expr& e, int depth, nlohmann::json& out) {
  if (depth > kMaxLiteralDepth) return false;
  switch (e.kind) {
    case ast::ExprKind::kNull: out = nullptr; return true;
    case ast::ExprKind::kBool: out = e.bool_value; return true;
    case ast::ExprKind::kInteger: out = e.int_value; return true;
    case ast::ExprKind::kFloat: out = e.float_value; return true;
    case ast::ExprKind::kString: out = e.text; return true;
    case ast::ExprKind::kUnary: {
      // A negative number is written as a minus before the literal.
      const ast::Expr& operand = *e.children[0];
      if (e.op != ast::Op::kNegate) return false;
      if (operand.kind == ast::ExprKind::kInteger && operand.int_value > 0) {
        out = -operand.int_value;
        return true;
      }
      if (operand.kind == ast::ExprKind::kFloat) {
        out = -operand.float_value;
        return true;
      }
      return false;
    }
    case ast::ExprKind::kList: {
      out = nlohmann::json::array();
      for (const ast::ExprPtr& child : e.children) {
        nlohmann::json element;
        if (!literal_json(*child, depth + 1, element)) return false;
        out.push_back(std::move(element));
      }
      return true;
    }
    default: return false;
  }
}

// The label and properties of the node form, or false when `text` is not
// one (see the note at the top).
bool node_form(const std::string& text, std::string& label, nlohmann::json& props) {
  ast::Statement tree;
  try {
    tree = parse_statement(text);
  } catch (const std::runtime_error&) {
    return false;
  }
  if (tree.mode != ast::StatementMode::kRun || tree.query.parts.size() != 1) return false;
  const std::vector<ast::Clause>& clauses = tree.query.parts[0].clauses;
  if (clauses.size() != 1 || clauses[0].kind != ast::ClauseKind::kCreate) return false;
  const ast::Pattern& pattern = clauses[0].pattern;
  if (pattern.parts.size() != 1 || !pattern.parts[0].path_variable.empty() || pattern.parts[0].nodes.size() != 1) {
    return false;
  }
  const ast::NodePattern& node = pattern.parts[0].nodes[0];
  if (node.labels.size() != 1) return false;
  label = node.labels[0];
  props = nlohmann::json::object();
  if (node.properties == nullptr) return true;
  const ast::Expr& map = *node.properties;
  if (map.kind != ast::ExprKind::kMap) return false;
  for (std::size_t i = 0; i < map.keys.size(); ++i) {
    if (props.contains(map.keys[i]) || !literal_json(*map.children[i], 0, props[map.keys[i]])) return false;
  }
  return true;
}

// Runs `text` through the query pipeline as a write on `db` (the engine's
// database `ctx` names), with `parameters`, under the statement bound;
// `finish` then completes the change before it is saved. On
// any failure takes the database back to where it was and rethrows.
template <typename Finish>
void run_write(const StatementContext& ctx, Database& db, const std::string& text, const CypherParameters& parameters,
               Finish&& finish) {
  const PreparedStatement prepared = prepare_statement(text, db, &ctx.engine.procedures());
  const DatabaseMark mark = db.mark();
  try {
    execute_statement(prepared, db, parameters, ctx.engine.statement_bound(),
                      [](const std::vector<CypherValue>&) { return true; }, &db);
    finish();
    ctx.engine.commit(ctx.database, make_change_record(db, mark, {}));
  } catch (...) {
    db.rollback(mark);
    throw;
  }
  try {
    if (db.graph.delta_past_bound()) db.compile();
  } catch (const std::bad_alloc&) {
    // Committed all the same; the background fold tries again.
  }
}

void create_node(StatementContext& ctx) {
  std::string label;
  nlohmann::json props;
  if (!node_form(ctx.t, label, props)) throw std::runtime_error(kNodeForm);
  std::string pattern = trim(std::string_view(ctx.t).substr(6));
  if (!pattern.empty() && pattern.back() == ';') pattern = trim(std::string_view(pattern).substr(0, pattern.size() - 1));

  Database& db = ctx.live_target();
  const auto identity = static_cast<std::uint32_t>(db.graph.node_count);  // the node the statement adds
  const nlohmann::json* shown = display_name(props);
  const std::string name = shown != nullptr ? shown->get<std::string>() : label + "-" + std::to_string(identity);
  std::string name_property;
  if (const auto it = props.find("name"); it != props.end()) {
    name_property = it->is_string() ? it->get<std::string>() : it->dump();
  }
  // The console's node takes its shown name from the first string among
  // name, hostname, title and username; the pipeline names a node by its
  // "name" alone.
  run_write(ctx, db, ctx.t, {}, [&] {
    if (db.graph.node_count == identity + 1) db.names[identity] = name;
  });
  ctx.engine.record_change("create_node", label + ":" + pattern);
  ctx.out.data = JsonObjectText()
                     .count("id", db.node_id(identity))
                     .string("label", label)
                     .string("name", name_property)
                     .raw("properties", props.dump())
                     .text();
}

std::uint64_t endpoint_id(const std::string& digits) { return parse_decimal_saturating(digits); }

// The one relationship form, matched by hand rather than with std::regex,
// whose backtracking recursion grows with the text and a statement may be
// 64 KiB long:
//   \s* CREATE \s* ( \s* DIGITS \s* ) \s* - \s* [:NAME] \s* -> \s* ( \s* DIGITS \s* ) \s* ;? \s*
// with CREATE in any letter case and NAME = [A-Za-z_][A-Za-z0-9_]*.
class RelationshipForm {
 public:
  explicit RelationshipForm(std::string_view text) : s_(text) {}

  bool match(std::string& src, std::string& type, std::string& dst) {
    blanks();
    if (!keyword("create")) return false;
    blanks();
    if (!id(src)) return false;
    blanks();
    if (!literal("-")) return false;
    blanks();
    if (!literal("[:") || !name(type) || !literal("]")) return false;
    blanks();
    if (!literal("->")) return false;
    blanks();
    if (!id(dst)) return false;
    blanks();
    literal(";");
    blanks();
    return i_ == s_.size();
  }

 private:
  void blanks() {
    while (i_ < s_.size() && std::string_view(" \t\n\r\v\f").find(s_[i_]) != std::string_view::npos) ++i_;
  }
  bool literal(std::string_view text) {
    if (s_.substr(i_, text.size()) != text) return false;
    i_ += text.size();
    return true;
  }
  bool keyword(std::string_view lower) {
    if (ascii_lower(s_.substr(i_, lower.size())) != lower) return false;
    i_ += lower.size();
    return true;
  }
  // "(" DIGITS ")" with blanks inside the parentheses.
  bool id(std::string& digits) {
    if (!literal("(")) return false;
    blanks();
    const std::size_t first = i_;
    while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
    if (i_ == first) return false;
    digits = std::string(s_.substr(first, i_ - first));
    blanks();
    return literal(")");
  }
  bool name(std::string& out) {
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
    if (i_ >= s_.size() || !letter(s_[i_])) return false;
    const std::size_t first = i_;
    while (i_ < s_.size() && (letter(s_[i_]) || (s_[i_] >= '0' && s_[i_] <= '9'))) ++i_;
    out = std::string(s_.substr(first, i_ - first));
    return true;
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

void create_relationship(StatementContext& ctx) {
  std::string src_text, type, dst_text;
  if (!RelationshipForm(ctx.t).match(src_text, type, dst_text)) throw std::runtime_error(kRelationshipForm);
  const std::uint64_t src = endpoint_id(src_text), dst = endpoint_id(dst_text);
  Database& db = ctx.live_target();
  if (db.node_of_id(src) == kNoNode || db.node_of_id(dst) == kNoNode) {
    throw std::runtime_error("relationship endpoint does not exist");
  }

  // Every CREATE makes a new relationship, parallel to any that exist. The
  // ids exist, so they fit a parameter; the type is a plain name, quoted
  // so that a keyword stays a name.
  const auto identity = static_cast<std::uint32_t>(db.graph.edges.size());  // the relationship the statement adds
  const std::string statement = "MATCH (a) WHERE id(a) = $src MATCH (b) WHERE id(b) = $dst CREATE (a)-[:`" + type +
                                "`]->(b)";
  const CypherParameters parameters = {{"src", CypherValue(static_cast<std::int64_t>(src))},
                                       {"dst", CypherValue(static_cast<std::int64_t>(dst))}};
  run_write(ctx, db, statement, parameters, [] {});
  const std::string detail = std::to_string(src) + "-[" + type + "]->" + std::to_string(dst);
  ctx.engine.record_change("create_rel", detail);
  ctx.out.data = JsonObjectText()
                     .count("id", db.relationship_id(identity))
                     .count("src", src)
                     .count("dst", dst)
                     .string("type", type)
                     .text();
}

}  // namespace

void run_create(StatementContext& ctx) {
  if (has_arrow(ctx.t)) {
    create_relationship(ctx);
  } else {
    create_node(ctx);
  }
}

}  // namespace orvane
