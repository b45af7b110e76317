// Mathematical functions: abs, ceil, floor, round, sign, sqrt, exp, log,
// log10, e, pi, rand and the trigonometric ones. Integers stay integers
// where Neo4j keeps them (abs, sign); the rest answer floats.
#include <cmath>
#include <random>

#include "query/exec/evaluate.h"
#include "query/cypher_error.h"
#include "query/functions/scalar_functions.h"

namespace orvane {
namespace {

using Kind = CypherValue::Kind;
using Args = std::span<const CypherValue>;

bool number_arg(const CypherValue& v) {
  if (v.is_null()) return false;
  if (!v.is_number()) type_mismatch("Number", v);
  return true;
}

CypherValue abs_of(Args a, ExecContext&) {
  if (!number_arg(a[0])) return {};
  if (a[0].kind() == Kind::kInteger) {
    if (a[0].as_int() == INT64_MIN) {
      throw CypherError("ArithmeticError", "IntegerOverflow", ErrorPhase::kRuntime, "long overflow");
    }
    return a[0].as_int() < 0 ? -a[0].as_int() : a[0].as_int();
  }
  return std::fabs(a[0].as_float());
}

CypherValue sign_of(Args a, ExecContext&) {
  if (!number_arg(a[0])) return {};
  const double x = a[0].as_number();
  return std::int64_t{x > 0 ? 1 : x < 0 ? -1 : 0};
}

template <double (*F)(double)>
CypherValue unary(Args a, ExecContext&) {
  if (!number_arg(a[0])) return {};
  return F(a[0].as_number());
}

double round_half_up(double x) { return std::floor(x + 0.5); }

CypherValue round_of(Args a, ExecContext&) {
  if (!number_arg(a[0])) return {};
  const double x = a[0].as_number();
  if (a.size() == 1) return round_half_up(x);
  if (a[1].kind() != Kind::kInteger) type_mismatch("Integer", a[1]);
  const double scale = std::pow(10.0, static_cast<double>(a[1].as_int()));
  return round_half_up(x * scale) / scale;
}

CypherValue atan2_of(Args a, ExecContext&) {
  if (!number_arg(a[0]) || !number_arg(a[1])) return {};
  return std::atan2(a[0].as_number(), a[1].as_number());
}

CypherValue e_of(Args, ExecContext&) { return M_E; }
CypherValue pi_of(Args, ExecContext&) { return M_PI; }

CypherValue rand_of(Args, ExecContext&) {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}

double cot(double x) { return 1.0 / std::tan(x); }
double degrees(double x) { return x * 180.0 / M_PI; }
double radians(double x) { return x * M_PI / 180.0; }
double ceil_of(double x) { return std::ceil(x); }
double floor_of(double x) { return std::floor(x); }
double sqrt_of(double x) { return std::sqrt(x); }
double exp_of(double x) { return std::exp(x); }
double log_of(double x) { return std::log(x); }
double log10_of(double x) { return std::log10(x); }
double sin_of(double x) { return std::sin(x); }
double cos_of(double x) { return std::cos(x); }
double tan_of(double x) { return std::tan(x); }
double asin_of(double x) { return std::asin(x); }
double acos_of(double x) { return std::acos(x); }
double atan_of(double x) { return std::atan(x); }

const ScalarFunction kFunctions[] = {
    {"abs", 1, 1, abs_of},
    {"sign", 1, 1, sign_of},
    {"ceil", 1, 1, unary<ceil_of>},
    {"floor", 1, 1, unary<floor_of>},
    {"round", 1, 2, round_of},
    {"sqrt", 1, 1, unary<sqrt_of>},
    {"exp", 1, 1, unary<exp_of>},
    {"log", 1, 1, unary<log_of>},
    {"log10", 1, 1, unary<log10_of>},
    {"sin", 1, 1, unary<sin_of>},
    {"cos", 1, 1, unary<cos_of>},
    {"tan", 1, 1, unary<tan_of>},
    {"cot", 1, 1, unary<cot>},
    {"asin", 1, 1, unary<asin_of>},
    {"acos", 1, 1, unary<acos_of>},
    {"atan", 1, 1, unary<atan_of>},
    {"atan2", 2, 2, atan2_of},
    {"degrees", 1, 1, unary<degrees>},
    {"radians", 1, 1, unary<radians>},
    {"e", 0, 0, e_of},
    {"pi", 0, 0, pi_of},
    {"rand", 0, 0, rand_of, false},
};

}  // namespace

std::span<const ScalarFunction> math_functions() { return kFunctions; }

}  // namespace orvane
