// Reading temporal values from text in every ISO 8601 form Neo4j accepts.
//
//   date           YYYY | YYYY-MM | YYYYMM | YYYY-MM-DD | YYYYMMDD
//                  | YYYY-Www | YYYYWww | YYYY-Www-D | YYYYWwwD      (week date)
//                  | YYYY-DDD | YYYYDDD                             (ordinal date)
//                  | YYYY-Qq | YYYYQq | YYYY-Qq-DD | YYYYQqDD        (quarter date)
//                  a year beyond 0000 … 9999 has a sign and up to nine digits
//   time           HH | HH:MM | HHMM | HH:MM:SS | HHMMSS, then .fraction or ,fraction
//                  (one to nine digits) after the seconds
//   offset         Z | ±HH | ±HHMM | ±HH:MM | ±HH:MM:SS
//   zone           [Region/City] after the offset, or in place of it
//   localdatetime  date T time (the time may be left out: midnight)
//   datetime       date T time [offset] [zone]
//   duration       P [nY] [nM] [nW] [nD] [T [nH] [nM] [nS]], each n signed and
//                  with an optional fraction that cascades into smaller units,
//                  or P YYYY-MM-DDTHH:MM:SS(.fraction)
//
// Each reader splits the text at its separators first ('T', the offset's
// sign, '['), then reads each piece with a small cursor.
#include <cctype>
#include <cmath>
#include <string>

#include "query/functions/temporal_support.h"
#include "query/functions/time_zones.h"

namespace orvane::temporal_detail {
namespace {

[[noreturn]] void unparsable(const char* type, std::string_view text) {
  invalid_value(std::string("Text cannot be parsed to a ") + type + ": " + std::string(text));
}

bool digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  bool done() const { return at_ == text_.size(); }
  bool take(char c) {
    if (at_ < text_.size() && text_[at_] == c) return ++at_, true;
    return false;
  }
  // The length of the run of digits at the cursor.
  std::size_t digit_run() const {
    std::size_t n = 0;
    while (at_ + n < text_.size() && digit(text_[at_ + n])) ++n;
    return n;
  }
  bool number(std::size_t count, std::int64_t& out) {
    if (digit_run() < count) return false;
    out = 0;
    for (std::size_t i = 0; i < count; ++i) out = out * 10 + (text_[at_++] - '0');
    return true;
  }
  // A fraction's digits as nanoseconds.
  bool fraction(std::int64_t& nanos) {
    const std::size_t n = digit_run();
    if (n == 0 || n > 9) return false;
    std::int64_t value = 0;
    number(n, value);
    for (std::size_t i = n; i < 9; ++i) value *= 10;
    nanos = value;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

bool read_year(Cursor& c, std::int64_t& year) {
  const bool negative = c.take('-');
  if (negative || c.take('+')) {
    const std::size_t n = c.digit_run();
    if (n < 1 || n > 9 || !c.number(n, year)) return false;
    if (negative) year = -year;
    return true;
  }
  return c.number(4, year);
}

bool read_date(std::string_view text, std::int64_t& days) {
  Cursor c(text);
  std::int64_t year = 0, a = 0, b = 0;
  if (!read_year(c, year)) return false;
  if (c.done()) return days = checked_civil(year, 1, 1), true;
  const bool extended = c.take('-');
  if (c.take('W')) {
    if (!c.number(2, a)) return false;
    b = 1;
    if (!c.done() && ((extended && !c.take('-')) || !c.number(1, b))) return false;
    check_field("Year", year, kMinYear, kMaxYear);
    check_field("WeekOfWeekBasedYear", a, 1, weeks_in_week_year(year));
    check_field("DayOfWeek", b, 1, 7);
    days = days_from_week_date(year, a, b);
  } else if (c.take('Q')) {
    if (!c.number(1, a)) return false;
    b = 1;
    if (!c.done() && ((extended && !c.take('-')) || !c.number(2, b))) return false;
    check_field("QuarterOfYear", a, 1, 4);
    check_field("Year", year, kMinYear, kMaxYear);
    const std::int64_t first = first_day_of_quarter(year, static_cast<int>(a));
    const std::int64_t next = a == 4 ? days_from_civil(year + 1, 1, 1) : first_day_of_quarter(year, static_cast<int>(a + 1));
    check_field("DayOfQuarter", b, 1, next - first);
    days = first + b - 1;
  } else {
    const std::size_t run = c.digit_run();
    if (run == 3) {  // ordinal day
      c.number(3, a);
      check_field("Year", year, kMinYear, kMaxYear);
      check_field("DayOfYear", a, 1, is_leap_year(year) ? 366 : 365);
      days = days_from_civil(year, 1, 1) + a - 1;
    } else if (run == 2 || (!extended && run == 4)) {
      c.number(2, a);
      b = 1;
      if (!c.done() && ((extended && !c.take('-')) || !c.number(2, b))) return false;
      days = checked_civil(year, a, b);
    } else {
      return false;
    }
  }
  return c.done();
}

bool read_time(std::string_view text, std::int64_t& nanos_of_day) {
  Cursor c(text);
  std::int64_t hour = 0, minute = 0, second = 0, fraction = 0;
  if (!c.number(2, hour)) return false;
  if (!c.done()) {
    const bool extended = c.take(':');
    if (!c.number(2, minute)) return false;
    if (!c.done()) {
      if (extended && !c.take(':')) return false;
      if (!c.number(2, second)) return false;
      if ((c.take('.') || c.take(',')) && !c.fraction(fraction)) return false;
    }
  }
  if (!c.done()) return false;
  check_field("HourOfDay", hour, 0, 23);
  check_field("MinuteOfHour", minute, 0, 59);
  check_field("SecondOfMinute", second, 0, 59);
  nanos_of_day = hour * kNanosPerHour + minute * kNanosPerMinute + second * kNanosPerSecond + fraction;
  return true;
}

// Splits "time[offset][[zone]]" into its pieces; false when a bracket is
// not closed at the end.
bool split_zone(std::string_view text, std::string_view& clock, std::string_view& offset, std::string_view& zone) {
  zone = {};
  if (const std::size_t open = text.find('['); open != std::string_view::npos) {
    if (text.back() != ']' || open + 2 > text.size() - 1) return false;
    zone = text.substr(open + 1, text.size() - open - 2);
    text = text.substr(0, open);
  }
  const std::size_t sign = text.find_first_of("Zz+-");
  clock = text.substr(0, sign);
  offset = sign == std::string_view::npos ? std::string_view() : text.substr(sign);
  return true;
}

// The date and the time of "dateTtime"; a missing time is midnight.
bool read_date_and_time(std::string_view text, std::int64_t& days, std::int64_t& nanos, std::string_view& rest) {
  const std::size_t t = text.find_first_of("Tt");
  if (!read_date(text.substr(0, t), days)) return false;
  rest = t == std::string_view::npos ? std::string_view() : text.substr(t + 1);
  nanos = 0;
  return true;
}

}  // namespace

std::int64_t parse_date_text(std::string_view text) {
  std::int64_t days = 0;
  if (!read_date(text, days)) unparsable("Date", text);
  return days;
}

std::int64_t parse_local_time_text(std::string_view text) {
  std::int64_t nanos = 0;
  if (!read_time(text, nanos)) unparsable("LocalTime", text);
  return nanos;
}

Time parse_time_text(std::string_view text, const StatementClock& clock) {
  std::string_view clock_text, offset, zone;
  Time out;
  if (!split_zone(text, clock_text, offset, zone) || !zone.empty() || !read_time(clock_text, out.nanos)) {
    unparsable("Time", text);
  }
  if (!offset.empty()) {
    out.offset_seconds = zone_from_text(offset).offset;
  } else {
    out.offset_seconds = zone_at(zone_from_text(clock.default_zone), clock.statement.seconds).offset;
  }
  return out;
}

LocalDateTime parse_local_date_time_text(std::string_view text) {
  std::int64_t days = 0, nanos = 0;
  std::string_view rest;
  if (!read_date_and_time(text, days, nanos, rest) || (!rest.empty() && !read_time(rest, nanos)) ||
      (text.find_first_of("Tt") != std::string_view::npos && rest.empty())) {
    unparsable("LocalDateTime", text);
  }
  return {days * kSecondsPerDay + nanos / kNanosPerSecond, static_cast<std::int32_t>(nanos % kNanosPerSecond)};
}

DateTime parse_date_time_text(std::string_view text, const StatementClock& clock) {
  std::int64_t days = 0, nanos = 0;
  std::string_view rest, clock_text, offset, zone;
  if (!read_date_and_time(text, days, nanos, rest) || !split_zone(rest, clock_text, offset, zone) ||
      (!clock_text.empty() && !read_time(clock_text, nanos))) {
    unparsable("DateTime", text);
  }
  if (zone.empty()) {
    return make_date_time(days, nanos, offset.empty() ? zone_from_text(clock.default_zone) : zone_from_text(offset));
  }
  ZoneChoice named = zone_from_text(zone);
  DateTime out = make_date_time(days, nanos, named);
  if (!offset.empty() && named.named()) {
    // An offset written beside the zone picks the instant where the local
    // time occurs twice, as long as the zone has that offset then.
    const std::int32_t written = zone_from_text(offset).offset;
    const std::int64_t local = out.seconds + out.offset_seconds;
    if (written != out.offset_seconds && time_zone_offset_at(named.id, local - written) == written) {
      out.seconds = local - written;
      out.offset_seconds = written;
    }
  }
  return out;
}

Duration parse_duration_text(std::string_view text) {
  Cursor c(text);
  const bool negative_all = c.take('-');
  if (!c.take('P') && !c.take('p')) unparsable("Duration", text);
  const std::string_view body = text.substr(negative_all ? 2 : 1);
  DurationAmounts amounts;
  // The alternative form: P2012-02-02T14:37:21.545.
  if (body.size() > 4 && digit(body[0]) && body.find('-') == 4) {
    std::int64_t years = 0, months = 0, days = 0, nanos = 0;
    const std::size_t t = body.find_first_of("Tt");
    const std::string_view date_part = body.substr(0, t);
    Cursor dc(date_part);
    if (!dc.number(4, years) || !dc.take('-') || !dc.number(2, months) || !dc.take('-') || !dc.number(2, days) ||
        !dc.done()) {
      unparsable("Duration", text);
    }
    if (t != std::string_view::npos) {
      Cursor tc(body.substr(t + 1));
      std::int64_t h = 0, m = 0, s = 0, f = 0;
      if (!tc.number(2, h) || !tc.take(':') || !tc.number(2, m) || !tc.take(':') || !tc.number(2, s) ||
          ((tc.take('.') || tc.take(',')) && !tc.fraction(f)) || !tc.done()) {
        unparsable("Duration", text);
      }
      nanos = h * kNanosPerHour + m * kNanosPerMinute + s * kNanosPerSecond + f;
    }
    amounts.add(DurationUnit::kMonths, 1, years * 12 + months, 0);
    amounts.add(DurationUnit::kDays, 1, days, 0);
    amounts.add(DurationUnit::kNanos, 1, nanos, 0);
  } else {
    bool time = false, any = false;
    std::size_t at = 0;
    while (at < body.size()) {
      if (!time && (body[at] == 'T' || body[at] == 't')) {
        time = true;
        if (++at == body.size()) unparsable("Duration", text);
        continue;
      }
      // A signed number with an optional fraction, then its unit letter.
      std::size_t end = at;
      if (body[end] == '-' || body[end] == '+') ++end;
      const std::size_t digits_from = end;
      while (end < body.size() && (digit(body[end]) || body[end] == '.' || body[end] == ',')) ++end;
      if (end == digits_from || end == body.size()) unparsable("Duration", text);
      // The whole part exactly, the fraction apart.
      const std::string_view number = body.substr(at, end - at);
      const bool minus = number[0] == '-';
      const std::string_view magnitude = number.substr(number[0] == '-' || number[0] == '+' ? 1 : 0);
      const std::size_t point = magnitude.find_first_of(".,");
      std::int64_t whole = 0;
      for (const char ch : magnitude.substr(0, point)) {
        if (!digit(ch) || whole > (INT64_MAX - (ch - '0')) / 10) unparsable("Duration", text);
        whole = whole * 10 + (ch - '0');
      }
      long double fraction = 0;
      if (point != std::string_view::npos) {
        const std::string_view digits = magnitude.substr(point + 1);
        if (digits.empty() || digits.find_first_of(".,") != std::string_view::npos) unparsable("Duration", text);
        long double scale = 0.1L;
        for (const char ch : digits) fraction += (ch - '0') * scale, scale /= 10;
      }
      if (minus) whole = -whole, fraction = -fraction;
      const char unit = static_cast<char>(std::toupper(static_cast<unsigned char>(body[end])));
      at = end + 1;
      any = true;
      if (!time && unit == 'Y') {
        amounts.add(DurationUnit::kMonths, 12, whole, fraction);
      } else if (!time && unit == 'M') {
        amounts.add(DurationUnit::kMonths, 1, whole, fraction);
      } else if (!time && unit == 'W') {
        amounts.add(DurationUnit::kDays, 7, whole, fraction);
      } else if (!time && unit == 'D') {
        amounts.add(DurationUnit::kDays, 1, whole, fraction);
      } else if (time && unit == 'H') {
        amounts.add(DurationUnit::kNanos, kNanosPerHour, whole, fraction);
      } else if (time && unit == 'M') {
        amounts.add(DurationUnit::kNanos, kNanosPerMinute, whole, fraction);
      } else if (time && unit == 'S') {
        amounts.add(DurationUnit::kNanos, kNanosPerSecond, whole, fraction);
      } else {
        unparsable("Duration", text);
      }
    }
    if (!any) unparsable("Duration", text);
  }
  if (negative_all) {
    amounts.months = -amounts.months, amounts.days = -amounts.days, amounts.nanos = -amounts.nanos;
    amounts.month_fraction = -amounts.month_fraction, amounts.day_fraction = -amounts.day_fraction;
    amounts.nano_fraction = -amounts.nano_fraction;
  }
  return duration_from_amounts(amounts);
}

void DurationAmounts::add(DurationUnit unit, std::int64_t scale, std::int64_t whole, long double fraction) {
  const long double scaled = fraction * static_cast<long double>(scale);
  const long double scaled_whole = std::trunc(scaled);
  const __int128 amount = static_cast<__int128>(whole) * scale + static_cast<__int128>(scaled_whole);
  const long double rest = scaled - scaled_whole;
  switch (unit) {
    case DurationUnit::kMonths:
      months += amount;
      month_fraction += rest;
      break;
    case DurationUnit::kDays:
      days += amount;
      day_fraction += rest;
      break;
    case DurationUnit::kNanos:
      nanos += amount;
      nano_fraction += rest;
      break;
  }
}

Duration duration_from_amounts(const DurationAmounts& amounts) {
  constexpr long double kNanosPerMonth = 2629746.0L * kNanosPerSecond;  // 30.436875 days
  // A month's fraction counts in days and time, as Neo4j splits it.
  const long double month_nanos = amounts.month_fraction * kNanosPerMonth;
  const long double month_days = std::trunc(month_nanos / kNanosPerDay);
  const long double day_fraction = amounts.day_fraction;
  // Neo4j drops what is left below a nanosecond; the small allowance keeps
  // a fraction that is exact in decimal (0.75 of a month is 49.5 seconds
  // past the minute) from losing its last nanosecond to binary rounding.
  const long double raw = std::fmod(month_nanos, static_cast<long double>(kNanosPerDay)) +
                          day_fraction * kNanosPerDay + amounts.nano_fraction;
  const long double fraction_nanos = std::trunc(raw + (raw >= 0 ? 1e-4L : -1e-4L));
  const __int128 months = amounts.months;
  const __int128 days = amounts.days + static_cast<__int128>(month_days);
  const __int128 nanos = amounts.nanos + static_cast<__int128>(fraction_nanos);
  const __int128 seconds = nanos >= 0 ? nanos / kNanosPerSecond : -((-nanos + kNanosPerSecond - 1) / kNanosPerSecond);
  constexpr __int128 kLimit = INT64_MAX;
  if (months > kLimit || months < -kLimit || days > kLimit || days < -kLimit || seconds > kLimit ||
      seconds < -kLimit) {
    invalid_value("Duration is out of the supported range");
  }
  return {static_cast<std::int64_t>(months), static_cast<std::int64_t>(days), static_cast<std::int64_t>(seconds),
          static_cast<std::int32_t>(nanos - seconds * kNanosPerSecond)};
}

}  // namespace orvane::temporal_detail
