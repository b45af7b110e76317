// The table evaluator: a recursive-descent reader over the expression
// text that calls the library functions as it goes.
#include "query/function_eval.h"

#include "support/temporal_display.h"

#include <gtest/gtest.h>

#include <cctype>
#include <stdexcept>
#include <vector>

#include "graph/temporal.h"
#include "query/cypher_error.h"
#include "query/functions/spatial_functions.h"

namespace orvane::testing {
namespace {

using Map = std::vector<std::pair<std::string, Value>>;

struct Arg {
  bool is_map = false;
  Map map;
  Value value;
};

std::string render(const Value& v) {
  if (v.is_null()) return "null";
  if (v.is<bool>()) return v.as<bool>() ? "true" : "false";
  if (v.is<std::int64_t>()) return std::to_string(v.as<std::int64_t>());
  if (v.is<double>()) return shortest_double(v.as<double>());
  if (v.is<std::string>()) return "'" + v.as<std::string>() + "'";
  if (v.is<Date>() || v.is<LocalTime>() || v.is<Time>() || v.is<LocalDateTime>() || v.is<DateTime>() ||
      v.is<Duration>()) {
    return "'" + testing::temporal_display(v) + "'";
  }
  if (v.is<Point>()) return point_text(v.as<Point>());
  if (v.is<ValueList>()) {
    std::string out = "[";
    for (const Value& item : v.as<ValueList>()) out += (out.size() > 1 ? ", " : "") + render(item);
    return out + "]";
  }
  return "?";
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Cypher's toString for the values the tables pass it.
Value to_string(const Value& v) {
  if (v.is_null()) return {};
  if (v.is<Date>()) return format_date(v.as<Date>());
  if (v.is<LocalTime>()) return format_local_time(v.as<LocalTime>());
  if (v.is<Time>()) return format_time(v.as<Time>());
  if (v.is<LocalDateTime>()) return format_local_date_time(v.as<LocalDateTime>());
  if (v.is<DateTime>()) return format_date_time(v.as<DateTime>());
  if (v.is<Duration>()) return format_duration(v.as<Duration>());
  if (v.is<Point>()) return point_text(v.as<Point>());
  return render(v);
}

class Reader {
 public:
  Reader(const std::string& text, const StatementClock& clock) : text_(text), clock_(clock) {}

  std::string all() {
    std::string out;
    do {
      out += (out.empty() ? "" : " | ") + render(expr());
    } while (take(","));
    skip();
    if (at_ != text_.size()) fail("unexpected text at " + text_.substr(at_));
    return out;
  }

 private:
  [[noreturn]] void fail(const std::string& why) { throw std::logic_error("table expression: " + why); }

  void skip() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }
  bool take(const std::string& token) {
    skip();
    if (text_.compare(at_, token.size(), token) != 0) return false;
    at_ += token.size();
    return true;
  }
  void expect(const std::string& token) {
    if (!take(token)) fail("expected " + token + " at " + text_.substr(at_));
  }
  std::string identifier() {
    skip();
    const std::size_t from = at_;
    while (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '_')) ++at_;
    if (from == at_) fail("expected a name at " + text_.substr(at_));
    return text_.substr(from, at_ - from);
  }

  Value expr() {
    Value left = additive();
    for (const char* op : {"<>", "<=", ">=", "=", "<", ">"}) {
      if (!take(op)) continue;
      const Value right = additive();
      const std::string o = op;
      if (o == "=" || o == "<>") {
        std::optional<bool> same = left.is<Point>() || right.is<Point>() ? point_equal(left, right)
                                                                           : temporal_equal(left, right);
        if (!same) return {};
        return o == "=" ? *same : !*same;
      }
      if (left.is_null() || right.is_null()) return {};
      const std::optional<int> order = temporal_compare(left, right);
      if (!order) return {};
      if (o == "<") return *order < 0;
      if (o == ">") return *order > 0;
      if (o == "<=") return *order <= 0;
      return *order >= 0;
    }
    return left;
  }

  Value additive() {
    Value left = multiplicative();
    for (;;) {
      if (take("+")) {
        left = temporal_add(left, multiplicative());
      } else if (take("-")) {
        left = temporal_subtract(left, multiplicative());
      } else {
        return left;
      }
    }
  }

  Value multiplicative() {
    Value left = postfix();
    for (;;) {
      if (take("*")) {
        left = duration_multiply(left, postfix());
      } else if (take("/")) {
        left = duration_divide(left, postfix());
      } else {
        return left;
      }
    }
  }

  Value postfix() {
    Value value = primary();
    while (take(".")) value = temporal_component(value, identifier());
    return value;
  }

  Arg argument() {
    skip();
    Arg arg;
    if (at_ < text_.size() && text_[at_] == '{') {
      arg.is_map = true;
      arg.map = map();
    } else {
      arg.value = expr();
    }
    return arg;
  }

  Map map() {
    expect("{");
    Map out;
    if (take("}")) return out;
    do {
      std::string key = identifier();
      expect(":");
      out.emplace_back(std::move(key), expr());
    } while (take(","));
    expect("}");
    return out;
  }

  Value primary() {
    skip();
    if (take("(")) {
      Value v = expr();
      expect(")");
      return v;
    }
    if (take("'")) {
      const std::size_t end = text_.find('\'', at_);
      std::string s = text_.substr(at_, end - at_);
      at_ = end + 1;
      return s;
    }
    if (take("[")) {
      ValueList items;
      if (!take("]")) {
        do {
          items.push_back(expr());
        } while (take(","));
        expect("]");
      }
      return items;
    }
    const bool negative = take("-");
    skip();
    if (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) {
      const std::size_t from = at_;
      while (at_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[at_])) || text_[at_] == '.')) ++at_;
      const std::string number = (negative ? "-" : "") + text_.substr(from, at_ - from);
      if (number.find('.') != std::string::npos) return std::stod(number);
      return static_cast<std::int64_t>(std::stoll(number));
    }
    std::string name = identifier();
    while (take(".")) name += "." + identifier();
    if (name == "null") return {};
    if (name == "true" || name == "false") return name == "true";
    std::vector<Arg> args;
    expect("(");
    if (!take(")")) {
      do {
        args.push_back(argument());
      } while (take(","));
      expect(")");
    }
    return call(lower(name), args);
  }

  static std::optional<TemporalType> type_of(const std::string& name) {
    if (name == "date") return TemporalType::kDate;
    if (name == "localtime") return TemporalType::kLocalTime;
    if (name == "time") return TemporalType::kTime;
    if (name == "localdatetime") return TemporalType::kLocalDateTime;
    if (name == "datetime") return TemporalType::kDateTime;
    if (name == "duration") return TemporalType::kDuration;
    return std::nullopt;
  }

  Value call(const std::string& name, const std::vector<Arg>& args) {
    const std::size_t dot = name.find('.');
    const std::string head = name.substr(0, dot), tail = dot == std::string::npos ? "" : name.substr(dot + 1);
    auto value = [&](std::size_t i) -> const Value& {
      if (i >= args.size() || args[i].is_map) fail(name + ": argument " + std::to_string(i) + " must be a value");
      return args[i].value;
    };
    auto map_arg = [&](std::size_t i) -> MapArg {
      if (i >= args.size()) return {};
      if (!args[i].is_map) fail(name + ": argument " + std::to_string(i) + " must be a map");
      return args[i].map;
    };
    if (const auto type = type_of(head)) {
      if (tail.empty()) {
        if (args.empty()) return temporal_now(*type, ClockKind::kStatement, clock_);
        return args[0].is_map ? temporal_from_map(*type, args[0].map, clock_)
                              : temporal_from_value(*type, args[0].value, clock_);
      }
      if (tail == "statement" || tail == "transaction" || tail == "realtime") {
        const ClockKind kind = tail == "statement"     ? ClockKind::kStatement
                               : tail == "transaction" ? ClockKind::kTransaction
                                                       : ClockKind::kRealtime;
        return temporal_now(*type, kind, clock_, args.empty() ? nullptr : &value(0));
      }
      if (tail == "truncate") {
        const Value& unit = value(0);
        return temporal_truncate(*type, unit.as<std::string>(), value(1), map_arg(2), clock_);
      }
      if (tail == "fromepoch") return datetime_from_epoch(value(0), value(1));
      if (tail == "fromepochmillis") return datetime_from_epoch_millis(value(0));
      if (tail == "between") return duration_between(BetweenUnit::kAll, value(0), value(1));
      if (tail == "inmonths") return duration_between(BetweenUnit::kMonths, value(0), value(1));
      if (tail == "indays") return duration_between(BetweenUnit::kDays, value(0), value(1));
      if (tail == "inseconds") return duration_between(BetweenUnit::kSeconds, value(0), value(1));
    }
    if (name == "point") return point_from_map(map_arg(0));
    if (name == "point.distance" || name == "distance") return point_distance(value(0), value(1));
    if (name == "point.withinbbox") return point_within_bbox(value(0), value(1), value(2));
    if (name == "tostring") return to_string(value(0));
    fail("unknown function " + name);
  }

  std::string text_;
  const StatementClock& clock_;
  std::size_t at_ = 0;
};

}  // namespace

StatementClock table_clock() {
  StatementClock clock;
  clock.statement = {1592217045, 500000000};  // 2020-06-15T10:30:45.5Z
  clock.transaction = {1592217040, 0};
  clock.realtime = [] { return Instant{1592217046, 0}; };
  return clock;
}

std::string eval_text(const std::string& text, const StatementClock& clock) {
  try {
    return Reader(text, clock).all();
  } catch (const CypherError& e) {
    return e.error_class() + "/" + e.detail() + ": " + e.what();
  }
}

void expect_cases(std::span<const Case> cases, const StatementClock& clock) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    EXPECT_EQ(c.expected, eval_text(c.expression, clock));
  }
}

}  // namespace orvane::testing
