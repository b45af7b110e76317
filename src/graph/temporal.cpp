// Temporal and spatial text forms. The calendar conversion is the
// era-based algorithm for the proleptic Gregorian calendar (exact for every
// 64-bit day count a 32-bit year reaches); parsing walks the text once with
// a cursor and checks every field's range, so a value either reads back
// exactly or is refused with the text that failed.
#include "graph/temporal.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace orvane {
namespace {

constexpr std::int64_t kMaxYear = 999999999;  // Neo4j's range: -999,999,999 … +999,999,999

[[noreturn]] void invalid(const char* type, std::string_view text) {
  throw std::runtime_error(std::string("invalid ") + type + ": " + std::string(text));
}

bool leap(std::int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

unsigned days_in_month(std::int64_t year, unsigned month) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && leap(year) ? 29 : kDays[month - 1];
}

// Floor division and modulo for a positive divisor.
std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }
std::int64_t floor_mod(std::int64_t a, std::int64_t b) { return a - floor_div(a, b) * b; }

std::string pad(std::int64_t value, int width) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  return digits;
}

// ".123" for the fraction of a second, with as few digits as it needs; ""
// for zero.
std::string fraction(std::int64_t nanos) {
  if (nanos == 0) return "";
  std::string digits = pad(nanos, 9);
  while (digits.back() == '0') digits.pop_back();
  return "." + digits;
}

std::string format_civil(std::int64_t days) {
  std::int64_t year = 0;
  unsigned month = 0, day = 0;
  civil_from_days(days, year, month, day);
  std::string out = year > 9999 ? "+" + std::to_string(year) : year < 0 ? "-" + pad(-year, 4) : pad(year, 4);
  return out + "-" + pad(month, 2) + "-" + pad(day, 2);
}

std::string format_clock(std::int64_t nanos_of_day) {
  const std::int64_t seconds = nanos_of_day / kNanosPerSecond;
  return pad(seconds / 3600, 2) + ":" + pad(seconds / 60 % 60, 2) + ":" + pad(seconds % 60, 2) +
         fraction(nanos_of_day % kNanosPerSecond);
}

// A cursor over the text being parsed; every reader returns false (and
// leaves the position unspecified) when the text does not continue as
// expected.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  bool done() const { return at_ == text_.size(); }
  bool peek(char c) const { return at_ < text_.size() && text_[at_] == c; }
  bool take(char c) {
    if (!peek(c)) return false;
    ++at_;
    return true;
  }
  // Exactly `count` digits (or at least `count` when `more` is set).
  bool digits(int count, std::int64_t& out, bool more = false) {
    out = 0;
    int taken = 0;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9' && (more || taken < count)) {
      if (out > kMaxYear) return false;
      out = out * 10 + (text_[at_++] - '0');
      ++taken;
    }
    return taken >= count;
  }
  // A fraction after the decimal point: one to nine digits, as nanoseconds.
  bool nanos(std::int64_t& out) {
    out = 0;
    int taken = 0;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
      if (++taken > 9) return false;
      out = out * 10 + (text_[at_++] - '0');
    }
    for (int i = taken; i < 9; ++i) out *= 10;
    return taken > 0;
  }
  std::string_view rest() const { return text_.substr(at_); }
  void skip(std::size_t n) { at_ += n; }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

bool read_date(Cursor& c, std::int64_t& days) {
  const bool negative = c.take('-');
  const bool signed_year = negative || c.take('+');
  std::int64_t year = 0, month = 0, day = 0;
  if (!c.digits(4, year, signed_year) || year > kMaxYear) return false;
  if (negative) year = -year;
  if (!c.take('-') || !c.digits(2, month) || !c.take('-') || !c.digits(2, day)) return false;
  if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, static_cast<unsigned>(month))) return false;
  days = days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  return true;
}

bool read_clock(Cursor& c, std::int64_t& nanos_of_day) {
  std::int64_t hour = 0, minute = 0, second = 0, nanos = 0;
  if (!c.digits(2, hour) || !c.take(':') || !c.digits(2, minute)) return false;
  if (c.take(':')) {
    if (!c.digits(2, second)) return false;
    if ((c.peek('.') || c.peek(',')) && (c.skip(1), !c.nanos(nanos))) return false;
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  nanos_of_day = ((hour * 60 + minute) * 60 + second) * kNanosPerSecond + nanos;
  return true;
}

// "Z", or a sign with HH, HHMM, HH:MM or HH:MM:SS; at most 18 hours.
bool read_offset(Cursor& c, std::int32_t& offset) {
  if (c.take('Z') || c.take('z')) {
    offset = 0;
    return true;
  }
  const bool negative = c.take('-');
  if (!negative && !c.take('+')) return false;
  std::int64_t hours = 0, minutes = 0, seconds = 0;
  if (!c.digits(2, hours)) return false;
  const bool colon = c.take(':');
  if (colon || (!c.done() && !c.peek('['))) {
    if (!c.digits(2, minutes)) return false;
    if (colon && c.take(':') && !c.digits(2, seconds)) return false;
  }
  if (minutes > 59 || seconds > 59) return false;
  const std::int64_t total = hours * 3600 + minutes * 60 + seconds;
  if (total > 18 * 3600) return false;
  offset = static_cast<std::int32_t>(negative ? -total : total);
  return true;
}

// "[Zone/Id]": letters, digits and "/_-+".
bool read_zone(Cursor& c, std::string& zone) {
  if (!c.take('[')) return false;
  const std::string_view rest = c.rest();
  const std::size_t close = rest.find(']');
  if (close == 0 || close == std::string_view::npos) return false;
  for (const char ch : rest.substr(0, close)) {
    const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
                       ch == '/' || ch == '_' || ch == '-' || ch == '+';
    if (!plain) return false;
  }
  zone = std::string(rest.substr(0, close));
  c.skip(close + 1);
  return true;
}

bool read_double(Cursor& c, double& out) {
  const std::string_view rest = c.rest();
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), out);
  if (error != std::errc() || !std::isfinite(out)) return false;
  c.skip(static_cast<std::size_t>(end - rest.data()));
  return true;
}

// One signed duration component "12", "-3" or "4.5" (a fraction only where
// `fraction_allowed`), followed by its unit letter.
bool read_component(Cursor& c, std::int64_t& whole, std::int64_t& nanos, bool fraction_allowed) {
  const bool negative = c.take('-');
  if (!negative) c.take('+');
  if (!c.digits(1, whole, true)) return false;
  nanos = 0;
  if ((c.peek('.') || c.peek(',')) && fraction_allowed) {
    c.skip(1);
    if (!c.nanos(nanos)) return false;
  }
  if (negative) {
    whole = -whole;
    nanos = -nanos;
  }
  return true;
}

}  // namespace

std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = floor_div(year, 400);
  const std::int64_t yoe = year - era * 400;
  const std::int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civil_from_days(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day) {
  days += 719468;
  const std::int64_t era = floor_div(days, 146097);
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

std::string format_offset(std::int32_t offset_seconds) {
  if (offset_seconds == 0) return "Z";
  const std::int64_t magnitude = std::abs(static_cast<std::int64_t>(offset_seconds));
  std::string out = (offset_seconds < 0 ? "-" : "+") + pad(magnitude / 3600, 2) + ":" + pad(magnitude / 60 % 60, 2);
  if (magnitude % 60 != 0) out += ":" + pad(magnitude % 60, 2);
  return out;
}

std::string format_date(const Date& value) { return format_civil(value.days); }

std::string format_local_time(const LocalTime& value) { return format_clock(value.nanos); }

std::string format_time(const Time& value) { return format_clock(value.nanos) + format_offset(value.offset_seconds); }

std::string format_local_date_time(const LocalDateTime& value) {
  const std::int64_t days = floor_div(value.seconds, kSecondsPerDay);
  return format_civil(days) + "T" +
         format_clock(floor_mod(value.seconds, kSecondsPerDay) * kNanosPerSecond + value.nanos);
}

std::string format_date_time(const DateTime& value) {
  const LocalDateTime local{value.seconds + value.offset_seconds, value.nanos};
  std::string out = format_local_date_time(local) + format_offset(value.offset_seconds);
  if (!value.zone.empty()) out += "[" + value.zone + "]";
  return out;
}

std::string format_duration(const Duration& value) {
  if (value.months == 0 && value.days == 0 && value.seconds == 0 && value.nanos == 0) return "PT0S";
  std::string out = "P";
  if (value.months / 12 != 0) out += std::to_string(value.months / 12) + "Y";
  if (value.months % 12 != 0) out += std::to_string(value.months % 12) + "M";
  if (value.days != 0) out += std::to_string(value.days) + "D";
  if (value.seconds == 0 && value.nanos == 0) return out;
  out += "T";
  // The seconds and nanoseconds as one signed quantity, split into units
  // that each carry the sign.
  std::int64_t seconds = value.seconds;
  std::int64_t nanos = value.nanos;
  const bool negative = seconds < 0;
  if (negative && nanos > 0) {
    seconds += 1;
    nanos = kNanosPerSecond - nanos;
  }
  if (seconds / 3600 != 0) out += std::to_string(seconds / 3600) + "H";
  if (seconds / 60 % 60 != 0) out += std::to_string(seconds / 60 % 60) + "M";
  const std::int64_t rest = seconds % 60;
  if (rest != 0 || nanos != 0) {
    out += (negative && rest == 0 ? "-" : "") + std::to_string(rest) + fraction(nanos) + "S";
  }
  return out;
}

std::string shortest_double(double value) {
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string out(buffer, error == std::errc() ? end : buffer);
  if (out.find_first_of(".eninf") == std::string::npos) out += ".0";
  return out;
}

std::string format_point(const Point& value) {
  std::string out = "SRID=" + std::to_string(value.srid) + ";POINT " + (value.has_z() ? "Z (" : "(");
  out += shortest_double(value.x) + " " + shortest_double(value.y);
  if (value.has_z()) out += " " + shortest_double(value.z);
  return out + ")";
}

Date parse_date(std::string_view text) {
  Cursor c(text);
  Date out;
  if (!read_date(c, out.days) || !c.done()) invalid("date", text);
  return out;
}

LocalTime parse_local_time(std::string_view text) {
  Cursor c(text);
  LocalTime out;
  if (!read_clock(c, out.nanos) || !c.done()) invalid("local time", text);
  return out;
}

Time parse_time(std::string_view text) {
  Cursor c(text);
  Time out;
  if (!read_clock(c, out.nanos) || !read_offset(c, out.offset_seconds) || !c.done()) invalid("time", text);
  return out;
}

LocalDateTime parse_local_date_time(std::string_view text) {
  Cursor c(text);
  std::int64_t days = 0, nanos = 0;
  if (!read_date(c, days) || !(c.take('T') || c.take('t')) || !read_clock(c, nanos) || !c.done()) {
    invalid("local datetime", text);
  }
  return {days * kSecondsPerDay + nanos / kNanosPerSecond, static_cast<std::int32_t>(nanos % kNanosPerSecond)};
}

DateTime parse_date_time(std::string_view text) {
  Cursor c(text);
  std::int64_t days = 0, nanos = 0;
  DateTime out;
  // A zone id alone cannot be turned into an offset without a time-zone
  // database, so the offset is required.
  if (!read_date(c, days) || !(c.take('T') || c.take('t')) || !read_clock(c, nanos) ||
      !read_offset(c, out.offset_seconds) || (!c.done() && !read_zone(c, out.zone)) || !c.done()) {
    invalid("datetime", text);
  }
  out.seconds = days * kSecondsPerDay + nanos / kNanosPerSecond - out.offset_seconds;
  out.nanos = static_cast<std::int32_t>(nanos % kNanosPerSecond);
  return out;
}

Duration parse_duration(std::string_view text) {
  Cursor c(text);
  if (!c.take('P') && !c.take('p')) invalid("duration", text);
  __int128 months = 0, days = 0, nanos = 0;
  bool time = false, any = false;
  while (!c.done()) {
    if (!time && (c.take('T') || c.take('t'))) {
      time = true;
      if (c.done()) invalid("duration", text);
      continue;
    }
    std::int64_t whole = 0, part = 0;
    if (!read_component(c, whole, part, time)) invalid("duration", text);
    any = true;
    if (c.done()) invalid("duration", text);
    const char unit = c.rest()[0];
    c.skip(1);
    if (!time && unit == 'Y') {
      months += static_cast<__int128>(whole) * 12;
    } else if (!time && unit == 'M') {
      months += whole;
    } else if (!time && unit == 'W') {
      days += static_cast<__int128>(whole) * 7;
    } else if (!time && unit == 'D') {
      days += whole;
    } else if (time && unit == 'H' && part == 0) {
      nanos += static_cast<__int128>(whole) * 3600 * kNanosPerSecond;
    } else if (time && unit == 'M' && part == 0) {
      nanos += static_cast<__int128>(whole) * 60 * kNanosPerSecond;
    } else if (time && unit == 'S') {
      nanos += static_cast<__int128>(whole) * kNanosPerSecond + part;
    } else {
      invalid("duration", text);
    }
  }
  constexpr __int128 kLimit = static_cast<__int128>(INT64_MAX);
  const __int128 seconds = nanos >= 0 ? nanos / kNanosPerSecond : -((-nanos + kNanosPerSecond - 1) / kNanosPerSecond);
  if (!any || months > kLimit || months < -kLimit || days > kLimit || days < -kLimit || seconds > kLimit ||
      seconds < -kLimit) {
    invalid("duration", text);
  }
  return {static_cast<std::int64_t>(months), static_cast<std::int64_t>(days), static_cast<std::int64_t>(seconds),
          static_cast<std::int32_t>(nanos - seconds * kNanosPerSecond)};
}

Point parse_point(std::string_view text) {
  Cursor c(text);
  Point out;
  std::int64_t srid = 0;
  if (!c.rest().starts_with("SRID=")) invalid("point", text);
  c.skip(5);
  if (!c.digits(1, srid, true) || !c.take(';')) invalid("point", text);
  out.srid = static_cast<std::int32_t>(srid);
  if (srid != 7203 && srid != 9157 && srid != 4326 && srid != 4979) invalid("point", text);
  const std::string_view head = out.has_z() ? "POINT Z (" : "POINT (";
  if (!c.rest().starts_with(head)) invalid("point", text);
  c.skip(head.size());
  if (!read_double(c, out.x) || !c.take(' ') || !read_double(c, out.y)) invalid("point", text);
  if (out.has_z() && (!c.take(' ') || !read_double(c, out.z))) invalid("point", text);
  if (!c.take(')') || !c.done()) invalid("point", text);
  return out;
}

}  // namespace orvane
