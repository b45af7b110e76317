"""ISO-8601 text of Neo4j's temporal values, as Neo4j and APOC print them.

Neo4j stores temporals as numbers (values module says which); this module
turns them into the strings APOC's JSON export writes, which follow Java's
ISO formatters:

  | type          | stored as                          | text                           |
  |---------------|------------------------------------|--------------------------------|
  | Date          | epoch day                          | 2015-07-21                     |
  | LocalTime     | nano of day                        | 21:40:32.142                   |
  | Time          | nano of day (local), offset secs   | 21:40:32.142+01:00             |
  | LocalDateTime | epoch second, nano                 | 2015-07-21T21:40:32.142        |
  | DateTime      | epoch second (UTC), nano, offset   | 2015-07-21T21:40:32.142+01:00  |
  | Duration      | months, days, seconds, nanos       | P1Y2M10DT12H45M30.25S          |

Seconds are always printed; the fraction is printed without trailing zeros
and omitted when zero. An offset of zero is "Z". Years outside 0000-9999 get
a sign, as in Java ("+10000-01-01", "-0001-12-31"). Dates are computed with
integer arithmetic (days from civil, proleptic Gregorian) rather than
datetime.date, whose range stops at year 9999 while Neo4j's does not.
"""

NANOS_PER_SECOND = 1_000_000_000
SECONDS_PER_DAY = 86_400
NANOS_PER_DAY = SECONDS_PER_DAY * NANOS_PER_SECOND


def civil_from_days(days):
    """Returns (year, month, day) of the proleptic Gregorian day `days` after 1970-01-01."""
    z = days + 719_468
    era = z // 146_097
    doe = z - era * 146_097
    yoe = (doe - doe // 1460 + doe // 36_524 - doe // 146_096) // 365
    year = yoe + era * 400
    doy = doe - (365 * yoe + yoe // 4 - yoe // 100)
    mp = (5 * doy + 2) // 153
    day = doy - (153 * mp + 2) // 5 + 1
    month = mp + 3 if mp < 10 else mp - 9
    return (year + 1 if month <= 2 else year), month, day


def _year(year):
    if 0 <= year <= 9999:
        return "%04d" % year
    return ("+%d" % year) if year > 9999 else ("-%04d" % -year)


def date_text(epoch_day):
    year, month, day = civil_from_days(epoch_day)
    return "%s-%02d-%02d" % (_year(year), month, day)


def _fraction(nanos):
    return ("." + ("%09d" % nanos).rstrip("0")) if nanos else ""


def time_text(nano_of_day):
    seconds, nanos = divmod(nano_of_day, NANOS_PER_SECOND)
    hours, rest = divmod(seconds, 3600)
    minutes, seconds = divmod(rest, 60)
    return "%02d:%02d:%02d%s" % (hours, minutes, seconds, _fraction(nanos))


def offset_text(offset_seconds):
    if offset_seconds == 0:
        return "Z"
    sign = "+" if offset_seconds > 0 else "-"
    hours, rest = divmod(abs(offset_seconds), 3600)
    minutes, seconds = divmod(rest, 60)
    text = "%s%02d:%02d" % (sign, hours, minutes)
    return text + (":%02d" % seconds if seconds else "")


def local_datetime_text(epoch_second, nanos):
    days, second_of_day = divmod(epoch_second, SECONDS_PER_DAY)
    return "%sT%s" % (date_text(days), time_text(second_of_day * NANOS_PER_SECOND + nanos))


def datetime_text(epoch_second_utc, nanos, offset_seconds):
    return local_datetime_text(epoch_second_utc + offset_seconds, nanos) + offset_text(offset_seconds)


def offset_time_text(local_nano_of_day, offset_seconds):
    return time_text(local_nano_of_day) + offset_text(offset_seconds)


def _quot(a, b):
    """Integer division truncating toward zero, as Java's / does."""
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b > 0) else -q


def duration_text(months, days, seconds, nanos):
    """ISO-8601 duration as Neo4j prints it (components keep their own signs)."""
    if months == 0 and days == 0 and seconds == 0 and nanos == 0:
        return "PT0S"
    out = ["P"]
    for amount, unit in ((_quot(months, 12), "Y"), (months - 12 * _quot(months, 12), "M"), (days, "D")):
        if amount:
            out.append("%d%s" % (amount, unit))
    if seconds or nanos:
        if seconds < 0 < nanos:
            # Neo4j keeps 0 <= nanos < 1e9; print -1.5s, not -2s +0.5s.
            seconds += 1
            nanos = NANOS_PER_SECOND - nanos
            negative_fraction = True
        else:
            negative_fraction = False
        out.append("T")
        hours = _quot(seconds, 3600)
        seconds -= hours * 3600
        minutes = _quot(seconds, 60)
        seconds -= minutes * 60
        if hours:
            out.append("%dH" % hours)
        if minutes:
            out.append("%dM" % minutes)
        if seconds or nanos:
            sign = "-" if (seconds < 0 or negative_fraction) else ""
            out.append("%s%d%sS" % (sign, abs(seconds), _fraction(nanos)))
    return "".join(out)
