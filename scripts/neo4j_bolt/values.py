"""Neo4j property values, as Bolt sends them, turned into JSON values.

to_value() turns a value into the Python values both bridges share
(neo4j_values); to_json() writes that in the plain form (below) or, for
--typed, the typed one, which neo4j_values describes.

In the plain form, plain values map directly (null, booleans, integers,
strings, lists). The rest follow what Neo4j's own JSON export writes, so
that a pulled graph and an exported one read the same:

    Bolt value                         JSON
    float NaN, +inf, -inf              "NaN", "Infinity", "-Infinity" (JSON has no such numbers)
    byte array                         list of signed bytes -128..127, as Neo4j stores them
    Date  D (days)                     "2015-07-21"
    Time  T (nanos, offset)            "21:40:32.142+01:00"
    LocalTime t (nanos)                "21:40:32.142"
    DateTime I (UTC s, nanos, offset)  "2015-07-21T21:40:32.142+01:00"
    DateTimeZoneId i (UTC s, nanos, zone)
                                       "2015-07-21T21:40:32.142+01:00[Europe/London]"
    legacy F / f (local s, ...)        the same strings (Bolt 4.x sends local seconds)
    LocalDateTime d (s, nanos)         "2015-07-21T21:40:32.142"
    Duration E (months, days, s, nanos) "P1Y2M3DT4H5M6.5S"
    Point X (srid, x, y) / Y (+ z)     {"crs","x","y","z"} for Cartesian,
                                       {"crs","latitude","longitude","height"} for WGS-84;
                                       z / height null in 2-D

Strings follow java.time's ISO formats, which Neo4j uses: seconds always
written, a fraction only when non-zero and without trailing zeros, offset
zero as "Z", years outside 0000..9999 with a sign. Dates are computed from
the day count directly, so Neo4j's full year range (far beyond Python's
datetime) is kept. A zone the local time zone database does not know is
written with its UTC instant ("...Z[Zone/Name]"), and a warning names it.
"""

import sys

try:
    from zoneinfo import ZoneInfo, ZoneInfoNotFoundError
except ImportError:  # Python before 3.9: no zone database access
    ZoneInfo = None
    ZoneInfoNotFoundError = Exception

from neo4j_bolt.packstream import Structure
from neo4j_values import Point, Temporal, plain

NANOS_PER_SECOND = 1_000_000_000
SECONDS_PER_DAY = 86_400


class UnsupportedValue(Exception):
    """A value of a kind this module cannot write."""


def civil_from_days(days):
    """(year, month, day) of the proleptic Gregorian date `days` after
    1970-01-01, for any integer (the era-based algorithm of H. Hinnant's
    'chrono-compatible low-level date algorithms')."""
    days += 719468
    era = days // 146097
    day_of_era = days - era * 146097
    year_of_era = (day_of_era - day_of_era // 1460 + day_of_era // 36524 - day_of_era // 146096) // 365
    day_of_year = day_of_era - (365 * year_of_era + year_of_era // 4 - year_of_era // 100)
    month_index = (5 * day_of_year + 2) // 153
    day = day_of_year - (153 * month_index + 2) // 5 + 1
    month = month_index + 3 if month_index < 10 else month_index - 9
    year = year_of_era + era * 400 + (1 if month <= 2 else 0)
    return year, month, day


def format_date(days):
    year, month, day = civil_from_days(days)
    if abs(year) < 1000:
        year_text = ("-%04d" if year < 0 else "%04d") % abs(year)
    else:
        year_text = ("+%d" if year > 9999 else "%d") % year
    return "%s-%02d-%02d" % (year_text, month, day)


def _fraction(nanos):
    """".5", ".000123", ... for 0 < nanos < 1e9; "" for 0."""
    return ("." + ("%09d" % nanos).rstrip("0")) if nanos else ""


def format_time(nanos_of_day):
    seconds, nanos = divmod(nanos_of_day, NANOS_PER_SECOND)
    return "%02d:%02d:%02d%s" % (seconds // 3600, seconds // 60 % 60, seconds % 60, _fraction(nanos))


def format_offset(seconds):
    if seconds == 0:
        return "Z"
    sign = "-" if seconds < 0 else "+"
    hours, rest = divmod(abs(seconds), 3600)
    minutes, secs = divmod(rest, 60)
    return "%s%02d:%02d" % (sign, hours, minutes) + (":%02d" % secs if secs else "")


def format_local_datetime(local_seconds, nanos):
    days, second_of_day = divmod(local_seconds, SECONDS_PER_DAY)
    return format_date(days) + "T" + format_time(second_of_day * NANOS_PER_SECOND + nanos)


def _warn_unknown_zone(zone, seen=set()):
    if zone not in seen:
        seen.add(zone)
        print("pull_neo4j: warning: time zone %s is not in this machine's time zone database; "
              "its date-times are written as UTC instants" % zone, file=sys.stderr)


def _zone(zone):
    if ZoneInfo is None:
        return None
    try:
        return ZoneInfo(zone)
    except (ZoneInfoNotFoundError, ValueError, OSError):
        return None


def _zone_offset_at_utc(tz, utc_seconds):
    import datetime
    # Python's datetime stops at years 1 and 9999; the zone rules at those
    # edges stand for the (unrecorded) rules beyond them.
    clamped = min(max(utc_seconds, -62135596800), 253402214400)
    instant = datetime.datetime.fromtimestamp(clamped, datetime.timezone.utc)
    return int(instant.astimezone(tz).utcoffset().total_seconds())


def _zone_offset_at_local(tz, local_seconds):
    import datetime
    clamped = min(max(local_seconds, -62135596800 + SECONDS_PER_DAY), 253402214400 - SECONDS_PER_DAY)
    local = datetime.datetime(1970, 1, 1) + datetime.timedelta(seconds=clamped)
    return int(local.replace(tzinfo=tz).utcoffset().total_seconds())


def format_zoned(seconds, nanos, zone, seconds_are_utc):
    """A date-time in a named zone; Bolt 5 sends UTC seconds, Bolt 4 local ones."""
    tz = _zone(zone)
    if tz is None:
        _warn_unknown_zone(zone)
        if not seconds_are_utc:
            # The offset is unknown, so the instant is too: keep the local
            # time and the zone, which Neo4j itself accepts as input.
            return format_local_datetime(seconds, nanos) + "[%s]" % zone
        return format_local_datetime(seconds, nanos) + "Z[%s]" % zone
    if seconds_are_utc:
        offset = _zone_offset_at_utc(tz, seconds)
        local = seconds + offset
    else:
        offset = _zone_offset_at_local(tz, seconds)
        local = seconds
    return format_local_datetime(local, nanos) + format_offset(offset) + "[%s]" % zone


def format_duration(months, days, seconds, nanos):
    """ISO-8601 duration as Neo4j writes it: each non-zero unit with its own
    sign, "PT0S" for zero."""
    if not (months or days or seconds or nanos):
        return "PT0S"

    def unit(amount, letter):
        return "%d%s" % (amount, letter) if amount else ""

    years, months = int(months / 12), months - int(months / 12) * 12  # truncating, like Java
    text = "P" + unit(years, "Y") + unit(months, "M") + unit(days, "D")
    total = seconds * NANOS_PER_SECOND + nanos
    if total:
        sign = "-" if total < 0 else ""
        whole, frac = divmod(abs(total), NANOS_PER_SECOND)
        hours, rest = divmod(whole, 3600)
        minutes, secs = divmod(rest, 60)
        text += "T" + (sign + unit(hours, "H") if hours else "") + (sign + unit(minutes, "M") if minutes else "")
        if secs or frac:
            text += "%s%d%sS" % (sign, secs, _fraction(frac))
    return text


def _fields(structure, count, name):
    if len(structure.fields) != count:
        raise UnsupportedValue("%s value with %d fields instead of %d" % (name, len(structure.fields), count))
    return structure.fields


def _structure_value(s):
    tag = chr(s.tag) if s.tag < 128 else ""
    if tag == "D":
        return Temporal("Date", format_date(*_fields(s, 1, "Date")))
    if tag == "T":
        nanos, offset = _fields(s, 2, "Time")
        return Temporal("Time", format_time(nanos) + format_offset(offset))
    if tag == "t":
        return Temporal("LocalTime", format_time(*_fields(s, 1, "LocalTime")))
    if tag in ("I", "F"):
        seconds, nanos, offset = _fields(s, 3, "DateTime")
        local = seconds + offset if tag == "I" else seconds
        return Temporal("OffsetDateTime", format_local_datetime(local, nanos) + format_offset(offset))
    if tag in ("i", "f"):
        seconds, nanos, zone = _fields(s, 3, "DateTime")
        return Temporal("ZonedDateTime", format_zoned(seconds, nanos, zone, seconds_are_utc=(tag == "i")))
    if tag == "d":
        return Temporal("LocalDateTime", format_local_datetime(*_fields(s, 2, "LocalDateTime")))
    if tag == "E":
        return Temporal("Duration", format_duration(*_fields(s, 4, "Duration")))
    if tag == "X":
        srid, x, y = _fields(s, 3, "Point")
        return Point(srid, (x, y))
    if tag == "Y":
        srid, x, y, z = _fields(s, 4, "Point")
        return Point(srid, (x, y, z))
    raise UnsupportedValue("a property value of an unknown Bolt type (structure tag 0x%02X)" % s.tag)


def to_value(value):
    """The neo4j_values value of one Neo4j property value as PackStream
    decoded it. Raises UnsupportedValue for values that cannot be properties
    (nodes, paths, unknown structures), so nothing is written that would not
    read back."""
    if value is None or isinstance(value, (bool, int, float, str, bytes)):
        return value
    if isinstance(value, list):
        return [to_value(item) for item in value]
    if isinstance(value, dict):
        return {key: to_value(item) for key, item in value.items()}
    if isinstance(value, Structure):
        return _structure_value(value)
    raise UnsupportedValue("a property value of type %s" % type(value).__name__)


def to_json(value, form=plain):
    """The JSON value (for json.dumps) of one Neo4j property value, in `form`
    (neo4j_values.plain or neo4j_values.typed); raises as to_value does."""
    return form(to_value(value))
