// Arithmetic and comparison: the openCypher cases for text round trips,
// comparison and duration arithmetic, then month ends, midnight, mixed
// types and errors.
#include <gtest/gtest.h>

#include "query/function_eval.h"

namespace orvane {
namespace {

using testing::Case;
using testing::expect_cases;

const Case kRoundTrips[] = {
    // Should serialize date
    {"toString(date({year: 1984, month: 10, day: 11})), date(toString(date({year: 1984, month: 10, day: 11}))) = date({year: 1984, month: 10, day: 11})", "'1984-10-11' | true"},
    // Should serialize local time
    {"toString(localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123})), localtime(toString(localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123}))) = localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123})", "'12:31:14.645876123' | true"},
    // Should serialize time
    {"toString(time({hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: '+01:00'})), time(toString(time({hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: '+01:00'}))) = time({hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: '+01:00'})", "'12:31:14.645876123+01:00' | true"},
    // Should serialize local date time
    {"toString(localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123})), localdatetime(toString(localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}))) = localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123})", "'1984-10-11T12:31:14.645876123' | true"},
    // Should serialize date time
    {"toString(datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: '+01:00'})), datetime(toString(datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: '+01:00'}))) = datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: '+01:00'})", "'1984-10-11T12:31:14.645876123+01:00' | true"},
    // Should serialize duration
    {"toString(duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 1})), duration(toString(duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 1}))) = duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 1})", "'P12Y5M14DT16H13M10.000000001S' | true"},
    {"toString(duration({years: 12, months: 5, days: -14, hours: 16})), duration(toString(duration({years: 12, months: 5, days: -14, hours: 16}))) = duration({years: 12, months: 5, days: -14, hours: 16})", "'P12Y5M-14DT16H' | true"},
    {"toString(duration({minutes: 12, seconds: -60})), duration(toString(duration({minutes: 12, seconds: -60}))) = duration({minutes: 12, seconds: -60})", "'PT11M' | true"},
    {"toString(duration({seconds: 2, milliseconds: -1})), duration(toString(duration({seconds: 2, milliseconds: -1}))) = duration({seconds: 2, milliseconds: -1})", "'PT1.999S' | true"},
    {"toString(duration({seconds: -2, milliseconds: 1})), duration(toString(duration({seconds: -2, milliseconds: 1}))) = duration({seconds: -2, milliseconds: 1})", "'PT-1.999S' | true"},
    {"toString(duration({seconds: -2, milliseconds: -1})), duration(toString(duration({seconds: -2, milliseconds: -1}))) = duration({seconds: -2, milliseconds: -1})", "'PT-2.001S' | true"},
    {"toString(duration({days: 1, milliseconds: 1})), duration(toString(duration({days: 1, milliseconds: 1}))) = duration({days: 1, milliseconds: 1})", "'P1DT0.001S' | true"},
    {"toString(duration({days: 1, milliseconds: -1})), duration(toString(duration({days: 1, milliseconds: -1}))) = duration({days: 1, milliseconds: -1})", "'P1DT-0.001S' | true"},
    {"toString(duration({seconds: 60, milliseconds: -1})), duration(toString(duration({seconds: 60, milliseconds: -1}))) = duration({seconds: 60, milliseconds: -1})", "'PT59.999S' | true"},
    {"toString(duration({seconds: -60, milliseconds: 1})), duration(toString(duration({seconds: -60, milliseconds: 1}))) = duration({seconds: -60, milliseconds: 1})", "'PT-59.999S' | true"},
    {"toString(duration({seconds: -60, milliseconds: -1})), duration(toString(duration({seconds: -60, milliseconds: -1}))) = duration({seconds: -60, milliseconds: -1})", "'PT-1M-0.001S' | true"},
    // Should serialize timezones correctly
    {"toString(datetime({year: 2017, month: 8, day: 8, hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: 'Europe/Stockholm'}))", "'2017-08-08T12:31:14.645876123+02:00[Europe/Stockholm]'"},
};


const Case kComparisons[] = {
    // Should compare dates
    {"date({year: 1980, month: 12, day: 24}) > date({year: 1984, month: 10, day: 11}), date({year: 1980, month: 12, day: 24}) < date({year: 1984, month: 10, day: 11}), date({year: 1980, month: 12, day: 24}) >= date({year: 1984, month: 10, day: 11}), date({year: 1980, month: 12, day: 24}) <= date({year: 1984, month: 10, day: 11}), date({year: 1980, month: 12, day: 24}) = date({year: 1984, month: 10, day: 11})", "false | true | false | true | false"},
    {"date({year: 1984, month: 10, day: 11}) > date({year: 1984, month: 10, day: 11}), date({year: 1984, month: 10, day: 11}) < date({year: 1984, month: 10, day: 11}), date({year: 1984, month: 10, day: 11}) >= date({year: 1984, month: 10, day: 11}), date({year: 1984, month: 10, day: 11}) <= date({year: 1984, month: 10, day: 11}), date({year: 1984, month: 10, day: 11}) = date({year: 1984, month: 10, day: 11})", "false | false | true | true | true"},
    // Should compare local times
    {"localtime({hour: 10, minute: 35}) > localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123}), localtime({hour: 10, minute: 35}) < localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123}), localtime({hour: 10, minute: 35}) >= localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123}), localtime({hour: 10, minute: 35}) <= localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123}), localtime({hour: 10, minute: 35}) = localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123})", "false | true | false | true | false"},
    {"localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123}) > localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123}), localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123}) < localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123}), localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123}) >= localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123}), localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123}) <= localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123}), localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123}) = localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123})", "false | false | true | true | true"},
    // Should compare times
    {"time({hour: 10, minute: 0, timezone: '+01:00'}) > time({hour: 9, minute: 35, second: 14, nanosecond: 645876123, timezone: '+00:00'}), time({hour: 10, minute: 0, timezone: '+01:00'}) < time({hour: 9, minute: 35, second: 14, nanosecond: 645876123, timezone: '+00:00'}), time({hour: 10, minute: 0, timezone: '+01:00'}) >= time({hour: 9, minute: 35, second: 14, nanosecond: 645876123, timezone: '+00:00'}), time({hour: 10, minute: 0, timezone: '+01:00'}) <= time({hour: 9, minute: 35, second: 14, nanosecond: 645876123, timezone: '+00:00'}), time({hour: 10, minute: 0, timezone: '+01:00'}) = time({hour: 9, minute: 35, second: 14, nanosecond: 645876123, timezone: '+00:00'})", "false | true | false | true | false"},
    {"time({hour: 9, minute: 35, second: 14, nanosecond: 645876123, timezone: '+00:00'}) > time({hour: 9, minute: 35, second: 14, nanosecond: 645876123, timezone: '+00:00'}), time({hour: 9, minute: 35, second: 14, nanosecond: 645876123, timezone: '+00:00'}) < time({hour: 9, minute: 35, second: 14, nanosecond: 645876123, timezone: '+00:00'}), time({hour: 9, minute: 35, second: 14, nanosecond: 645876123, timezone: '+00:00'}) >= time({hour: 9, minute: 35, second: 14, nanosecond: 645876123, timezone: '+00:00'}), time({hour: 9, minute: 35, second: 14, nanosecond: 645876123, timezone: '+00:00'}) <= time({hour: 9, minute: 35, second: 14, nanosecond: 645876123, timezone: '+00:00'}), time({hour: 9, minute: 35, second: 14, nanosecond: 645876123, timezone: '+00:00'}) = time({hour: 9, minute: 35, second: 14, nanosecond: 645876123, timezone: '+00:00'})", "false | false | true | true | true"},
    // Should compare local date times
    {"localdatetime({year: 1980, month: 12, day: 11, hour: 12, minute: 31, second: 14}) > localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), localdatetime({year: 1980, month: 12, day: 11, hour: 12, minute: 31, second: 14}) < localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), localdatetime({year: 1980, month: 12, day: 11, hour: 12, minute: 31, second: 14}) >= localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), localdatetime({year: 1980, month: 12, day: 11, hour: 12, minute: 31, second: 14}) <= localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), localdatetime({year: 1980, month: 12, day: 11, hour: 12, minute: 31, second: 14}) = localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123})", "false | true | false | true | false"},
    {"localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}) > localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}) < localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}) >= localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}) <= localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}) = localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123})", "false | false | true | true | true"},
    // Should compare date times
    {"datetime({year: 1980, month: 12, day: 11, hour: 12, minute: 31, second: 14, timezone: '+00:00'}) > datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, timezone: '+05:00'}), datetime({year: 1980, month: 12, day: 11, hour: 12, minute: 31, second: 14, timezone: '+00:00'}) < datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, timezone: '+05:00'}), datetime({year: 1980, month: 12, day: 11, hour: 12, minute: 31, second: 14, timezone: '+00:00'}) >= datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, timezone: '+05:00'}), datetime({year: 1980, month: 12, day: 11, hour: 12, minute: 31, second: 14, timezone: '+00:00'}) <= datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, timezone: '+05:00'}), datetime({year: 1980, month: 12, day: 11, hour: 12, minute: 31, second: 14, timezone: '+00:00'}) = datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, timezone: '+05:00'})", "false | true | false | true | false"},
    {"datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, timezone: '+05:00'}) > datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, timezone: '+05:00'}), datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, timezone: '+05:00'}) < datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, timezone: '+05:00'}), datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, timezone: '+05:00'}) >= datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, timezone: '+05:00'}), datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, timezone: '+05:00'}) <= datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, timezone: '+05:00'}), datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, timezone: '+05:00'}) = datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, timezone: '+05:00'})", "false | false | true | true | true"},
    // Should compare durations for equality
    {"duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70}) = date({year: 1984, month: 10, day: 11})", "false"},
    {"duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70}) = localtime({hour: 12, minute: 31, second: 14, nanosecond: 645876123})", "false"},
    {"duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70}) = time({hour: 9, minute: 35, second: 14, nanosecond: 645876123, timezone: '+00:00'})", "false"},
    {"duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70}) = localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123})", "false"},
    {"duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70}) = datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, timezone: '+05:00'})", "false"},
    {"duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70}) = duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70})", "true"},
    {"duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70}) = duration({years: 12, months: 5, days: 14, hours: 16, minutes: 13, seconds: 10})", "true"},
    {"duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70}) = duration({years: 12, months: 5, days: 13, hours: 40, minutes: 13, seconds: 10})", "false"},
};


const Case kArithmetic[] = {
    // Should add or subtract duration to or from date
    {"date({year: 1984, month: 10, day: 11}) + duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 2}), date({year: 1984, month: 10, day: 11}) - duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 2})", "'1997-03-25' | '1972-04-27'"},
    {"date({year: 1984, month: 10, day: 11}) + duration({months: 1, days: -14, hours: 16, minutes: -12, seconds: 70}), date({year: 1984, month: 10, day: 11}) - duration({months: 1, days: -14, hours: 16, minutes: -12, seconds: 70})", "'1984-10-28' | '1984-09-25'"},
    {"date({year: 1984, month: 10, day: 11}) + duration({years: 12.5, months: 5.5, days: 14.5, hours: 16.5, minutes: 12.5, seconds: 70.5, nanoseconds: 3}), date({year: 1984, month: 10, day: 11}) - duration({years: 12.5, months: 5.5, days: 14.5, hours: 16.5, minutes: 12.5, seconds: 70.5, nanoseconds: 3})", "'1997-10-11' | '1971-10-12'"},
    // Should add or subtract duration to or from local time
    {"localtime({hour: 12, minute: 31, second: 14, nanosecond: 1}) + duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 2}), localtime({hour: 12, minute: 31, second: 14, nanosecond: 1}) - duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 2})", "'04:44:24.000000003' | '20:18:03.999999999'"},
    {"localtime({hour: 12, minute: 31, second: 14, nanosecond: 1}) + duration({months: 1, days: -14, hours: 16, minutes: -12, seconds: 70}), localtime({hour: 12, minute: 31, second: 14, nanosecond: 1}) - duration({months: 1, days: -14, hours: 16, minutes: -12, seconds: 70})", "'04:20:24.000000001' | '20:42:04.000000001'"},
    {"localtime({hour: 12, minute: 31, second: 14, nanosecond: 1}) + duration({years: 12.5, months: 5.5, days: 14.5, hours: 16.5, minutes: 12.5, seconds: 70.5, nanoseconds: 3}), localtime({hour: 12, minute: 31, second: 14, nanosecond: 1}) - duration({years: 12.5, months: 5.5, days: 14.5, hours: 16.5, minutes: 12.5, seconds: 70.5, nanoseconds: 3})", "'22:29:27.500000004' | '02:33:00.499999998'"},
    // Should add or subtract duration to or from time
    {"time({hour: 12, minute: 31, second: 14, nanosecond: 1, timezone: '+01:00'}) + duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 2}), time({hour: 12, minute: 31, second: 14, nanosecond: 1, timezone: '+01:00'}) - duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 2})", "'04:44:24.000000003+01:00' | '20:18:03.999999999+01:00'"},
    {"time({hour: 12, minute: 31, second: 14, nanosecond: 1, timezone: '+01:00'}) + duration({months: 1, days: -14, hours: 16, minutes: -12, seconds: 70}), time({hour: 12, minute: 31, second: 14, nanosecond: 1, timezone: '+01:00'}) - duration({months: 1, days: -14, hours: 16, minutes: -12, seconds: 70})", "'04:20:24.000000001+01:00' | '20:42:04.000000001+01:00'"},
    {"time({hour: 12, minute: 31, second: 14, nanosecond: 1, timezone: '+01:00'}) + duration({years: 12.5, months: 5.5, days: 14.5, hours: 16.5, minutes: 12.5, seconds: 70.5, nanoseconds: 3}), time({hour: 12, minute: 31, second: 14, nanosecond: 1, timezone: '+01:00'}) - duration({years: 12.5, months: 5.5, days: 14.5, hours: 16.5, minutes: 12.5, seconds: 70.5, nanoseconds: 3})", "'22:29:27.500000004+01:00' | '02:33:00.499999998+01:00'"},
    // Should add or subtract duration to or from local date time
    {"localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 1}) + duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 2}), localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 1}) - duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 2})", "'1997-03-26T04:44:24.000000003' | '1972-04-26T20:18:03.999999999'"},
    {"localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 1}) + duration({months: 1, days: -14, hours: 16, minutes: -12, seconds: 70}), localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 1}) - duration({months: 1, days: -14, hours: 16, minutes: -12, seconds: 70})", "'1984-10-29T04:20:24.000000001' | '1984-09-24T20:42:04.000000001'"},
    {"localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 1}) + duration({years: 12.5, months: 5.5, days: 14.5, hours: 16.5, minutes: 12.5, seconds: 70.5, nanoseconds: 3}), localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 1}) - duration({years: 12.5, months: 5.5, days: 14.5, hours: 16.5, minutes: 12.5, seconds: 70.5, nanoseconds: 3})", "'1997-10-11T22:29:27.500000004' | '1971-10-12T02:33:00.499999998'"},
    // Should add or subtract duration to or from date time
    {"datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 1, timezone: '+01:00'}) + duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 2}), datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 1, timezone: '+01:00'}) - duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 2})", "'1997-03-26T04:44:24.000000003+01:00' | '1972-04-26T20:18:03.999999999+01:00'"},
    {"datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 1, timezone: '+01:00'}) + duration({months: 1, days: -14, hours: 16, minutes: -12, seconds: 70}), datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 1, timezone: '+01:00'}) - duration({months: 1, days: -14, hours: 16, minutes: -12, seconds: 70})", "'1984-10-29T04:20:24.000000001+01:00' | '1984-09-24T20:42:04.000000001+01:00'"},
    {"datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 1, timezone: '+01:00'}) + duration({years: 12.5, months: 5.5, days: 14.5, hours: 16.5, minutes: 12.5, seconds: 70.5, nanoseconds: 3}), datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 1, timezone: '+01:00'}) - duration({years: 12.5, months: 5.5, days: 14.5, hours: 16.5, minutes: 12.5, seconds: 70.5, nanoseconds: 3})", "'1997-10-11T22:29:27.500000004+01:00' | '1971-10-12T02:33:00.499999998+01:00'"},
    // Should multiply or divide durations by numbers
    {"duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 1}) * 1, duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 1}) / 1", "'P12Y5M14DT16H13M10.000000001S' | 'P12Y5M14DT16H13M10.000000001S'"},
    {"duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 1}) * 2, duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 1}) / 2", "'P24Y10M28DT32H26M20.000000002S' | 'P6Y2M22DT13H21M8S'"},
    {"duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 1}) * 0.5, duration({years: 12, months: 5, days: 14, hours: 16, minutes: 12, seconds: 70, nanoseconds: 1}) / 0.5", "'P6Y2M22DT13H21M8S' | 'P24Y10M28DT32H26M20.000000002S'"},
};


const Case kMore[] = {
    {"date('2020-01-31') + duration('P1M'), date('2020-03-31') - duration('P1M')", "'2020-02-29' | '2020-02-29'"},
    {"duration('P1D') + date('2020-01-31')", "'2020-02-01'"},
    {"localtime('23:00') + duration('PT2H')", "'01:00'"},
    {"duration('PT1H') * 1.5, 2 * duration('P1M'), duration('P1Y') / 12, duration('P1D') / 0.5", "'PT1H30M' | 'P2M' | 'P1M' | 'P2D'"},
    {"duration('PT9223372036854775807S') * 2", "ArgumentError/InvalidArgumentValue: Duration is out of the supported range"},
    {"date('+999999999-12-31') + duration('P1D')", "ArgumentError/InvalidArgumentValue: Date is out of the supported range"},
    {"duration('P1D') / 0", "ArgumentError/InvalidArgumentValue: / by zero"},
    {"date('2020-01-01') + date('2020-01-01')", "TypeError/InvalidArgumentType: Type mismatch: cannot add Date and Date"},
    {"date('2020-01-01') - duration('P1D'), duration('P1D') - duration('PT1H')", "'2019-12-31' | 'P1DT-1H'"},
    {"date('2020-01-01') < localdatetime('2020-01-01T00:00'), date('2020-01-01') = localdatetime('2020-01-01T00:00')", "null | false"},
    {"duration('P1D') < duration('P2D'), duration('P1D') = duration('PT24H')", "null | false"},
    {"time('12:00+01:00') < time('11:30Z'), time('12:00+01:00') = time('11:00Z'), datetime('2020-01-01T01:00+01:00') = datetime('2020-01-01T00:00Z'), datetime('2020-01-01T01:00+01:00') < datetime('2020-01-01T00:30Z')", "true | false | false | true"},
};

TEST(TemporalArithmetic, TextRoundTrips) { expect_cases(kRoundTrips); }
TEST(TemporalArithmetic, Comparisons) { expect_cases(kComparisons); }
TEST(TemporalArithmetic, AddSubtractMultiplyDivide) { expect_cases(kArithmetic); }
TEST(TemporalArithmetic, EdgesAndErrors) { expect_cases(kMore); }

}  // namespace
}  // namespace orvane
