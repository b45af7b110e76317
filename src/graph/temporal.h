// Neo4j's temporal and spatial value types and their text forms.
//
// Each type is a small struct of integers in the units Neo4j itself keeps
// (days, nanoseconds of the day, seconds and nanoseconds, offset seconds),
// so that values compare, hash and sort without parsing, and the text forms
// are the ones Neo4j prints (ISO 8601 as Java's ISO formatters write it:
// seconds always, the fraction with as few digits as it needs, "Z" for a
// zero offset, a sign and more digits for years outside 0000 … 9999).
//
// Zone ids are kept as written with the offset they had at the instant;
// the graph store never resolves them. The query library does, where
// Cypher's functions need it (query/time_zones.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane {

inline constexpr std::int64_t kNanosPerSecond = 1000000000;
inline constexpr std::int64_t kSecondsPerDay = 86400;
inline constexpr std::int64_t kNanosPerDay = kSecondsPerDay * kNanosPerSecond;

struct Date {
  std::int64_t days = 0;  // since 1970-01-01
  friend bool operator==(const Date&, const Date&) = default;
};

struct LocalTime {
  std::int64_t nanos = 0;  // of the day, 0 … kNanosPerDay - 1
  friend bool operator==(const LocalTime&, const LocalTime&) = default;
};

struct Time {
  std::int64_t nanos = 0;           // local nanoseconds of the day
  std::int32_t offset_seconds = 0;  // east of UTC, -64800 … 64800
  friend bool operator==(const Time&, const Time&) = default;
};

struct LocalDateTime {
  std::int64_t seconds = 0;  // local seconds since 1970-01-01T00:00
  std::int32_t nanos = 0;    // 0 … 999999999
  friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

struct DateTime {
  std::int64_t seconds = 0;         // UTC seconds since the epoch
  std::int32_t nanos = 0;           // 0 … 999999999
  std::int32_t offset_seconds = 0;  // the offset at that instant
  std::string zone;                 // zone id such as "Europe/Paris"; "" for a plain offset
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

struct Duration {
  std::int64_t months = 0;
  std::int64_t days = 0;
  std::int64_t seconds = 0;
  std::int32_t nanos = 0;  // 0 … 999999999, added to seconds
  friend bool operator==(const Duration&, const Duration&) = default;
};

struct Point {
  std::int32_t srid = 7203;  // 7203 cartesian, 9157 cartesian-3d, 4326 WGS-84, 4979 WGS-84-3d
  double x = 0, y = 0, z = 0;
  bool has_z() const { return srid == 9157 || srid == 4979; }
  friend bool operator==(const Point&, const Point&) = default;
};

// Calendar arithmetic (proleptic Gregorian): days since 1970-01-01 of a
// civil date, and back. Valid for every year Neo4j accepts.
std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day);
void civil_from_days(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day);

// Text forms. Each parse_* accepts exactly what its format_* writes plus the
// shorter forms Neo4j accepts (time without seconds, offsets "+HH",
// "+HHMM", "+HH:MM:SS"), and throws std::runtime_error "invalid TYPE: TEXT"
// for anything else, including dates that do not exist.
std::string format_date(const Date& value);
std::string format_local_time(const LocalTime& value);
std::string format_time(const Time& value);
std::string format_local_date_time(const LocalDateTime& value);
std::string format_date_time(const DateTime& value);  // "…+01:00[Europe/Paris]" with a zone
std::string format_duration(const Duration& value);   // "P1Y2M3DT4H5M6.5S", "PT0S"
std::string format_offset(std::int32_t offset_seconds);  // "Z", "+01:00", "-05:30:15"
// "SRID=4326;POINT (x y)" or "SRID=4979;POINT Z (x y z)", each number in its
// shortest form that reads back to the same double.
std::string format_point(const Point& value);

Date parse_date(std::string_view text);
LocalTime parse_local_time(std::string_view text);
Time parse_time(std::string_view text);
LocalDateTime parse_local_date_time(std::string_view text);
DateTime parse_date_time(std::string_view text);
Duration parse_duration(std::string_view text);
Point parse_point(std::string_view text);

// The shortest decimal text of `value` that reads back to the same double,
// with ".0" added to a whole number ("1.0", "1e+16", "0.1").
std::string shortest_double(double value);

}  // namespace orvane
