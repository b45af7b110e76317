// Truncation: the openCypher cases for every type and unit, then negative
// years, zones and errors.
#include <gtest/gtest.h>

#include "query/function_eval.h"

namespace orvane {
namespace {

using testing::Case;
using testing::expect_cases;

const Case kTruncations[] = {
    // Should truncate date
    {"date.truncate('millennium', date({year: 2017, month: 10, day: 11}), {day: 2})", "'2000-01-02'"},
    {"date.truncate('century', datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: '+01:00'}), {day: 2})", "'1900-01-02'"},
    {"date.truncate('decade', localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), {})", "'1980-01-01'"},
    {"date.truncate('weekYear', date({year: 1984, month: 2, day: 1}), {})", "'1984-01-02'"},
    {"date.truncate('quarter', localdatetime({year: 1984, month: 11, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), {day: 2})", "'1984-10-02'"},
    {"date.truncate('week', date({year: 1984, month: 10, day: 11}), {dayOfWeek: 2})", "'1984-10-09'"},
    // Should truncate datetime
    {"datetime.truncate('millennium', date({year: 2017, month: 10, day: 11}), {day: 2})", "'2000-01-02T00:00Z'"},
    {"datetime.truncate('century', localdatetime({year: 2017, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), {timezone: 'Europe/Stockholm'})", "'2000-01-01T00:00+01:00[Europe/Stockholm]'"},
    {"datetime.truncate('year', localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), {})", "'1984-01-01T00:00Z'"},
    {"datetime.truncate('quarter', localdatetime({year: 1984, month: 11, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), {timezone: 'Europe/Stockholm'})", "'1984-10-01T00:00+01:00[Europe/Stockholm]'"},
    {"datetime.truncate('week', localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), {timezone: 'Europe/Stockholm'})", "'1984-10-08T00:00+01:00[Europe/Stockholm]'"},
    {"datetime.truncate('minute', datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: '-01:00'}), {nanosecond: 2})", "'1984-10-11T12:31:00.000000002-01:00'"},
    // Should truncate localdatetime
    {"localdatetime.truncate('millennium', date({year: 2017, month: 10, day: 11}), {day: 2})", "'2000-01-02T00:00'"},
    {"localdatetime.truncate('decade', date({year: 1984, month: 10, day: 11}), {day: 2})", "'1980-01-02T00:00'"},
    {"localdatetime.truncate('weekYear', date({year: 1984, month: 2, day: 1}), {day: 5})", "'1984-01-05T00:00'"},
    {"localdatetime.truncate('month', date({year: 1984, month: 10, day: 11}), {})", "'1984-10-01T00:00'"},
    {"localdatetime.truncate('day', date({year: 1984, month: 10, day: 11}), {})", "'1984-10-11T00:00'"},
    {"localdatetime.truncate('minute', localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), {})", "'1984-10-11T12:31'"},
    // Should truncate localtime
    {"localtime.truncate('day', datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: '+01:00'}), {nanosecond: 2})", "'00:00:00.000000002'"},
    {"localtime.truncate('hour', localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), {})", "'12:00'"},
    {"localtime.truncate('minute', localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), {nanosecond: 2})", "'12:31:00.000000002'"},
    {"localtime.truncate('second', localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), {nanosecond: 2})", "'12:31:14.000000002'"},
    {"localtime.truncate('millisecond', datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: '+01:00'}), {})", "'12:31:14.645'"},
    {"localtime.truncate('microsecond', datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: '+01:00'}), {nanosecond: 2})", "'12:31:14.645876002'"},
    // Should truncate time
    {"time.truncate('day', datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: '+01:00'}), {nanosecond: 2})", "'00:00:00.000000002+01:00'"},
    {"time.truncate('hour', localdatetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123}), {timezone: '+01:00'})", "'12:00+01:00'"},
    {"time.truncate('minute', datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: '-01:00'}), {nanosecond: 2})", "'12:31:00.000000002-01:00'"},
    {"time.truncate('second', datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: '+01:00'}), {nanosecond: 2})", "'12:31:14.000000002+01:00'"},
    {"time.truncate('millisecond', datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: '+01:00'}), {nanosecond: 2})", "'12:31:14.645000002+01:00'"},
    {"time.truncate('microsecond', datetime({year: 1984, month: 10, day: 11, hour: 12, minute: 31, second: 14, nanosecond: 645876123, timezone: '+01:00'}), {nanosecond: 2})", "'12:31:14.645876002+01:00'"},
};


const Case kMore[] = {
    {"date.truncate('millennium', date('-1234-05-06')), date.truncate('decade', date('2019-12-31'))", "'-1000-01-01' | '2010-01-01'"},
    {"date.truncate('hour', date('2019-12-31'))", "ArgumentError/InvalidArgumentValue: Cannot truncate a Date to hour"},
    {"localtime.truncate('year', localtime('12:00'))", "ArgumentError/InvalidArgumentValue: Cannot truncate a time to year"},
    {"date.truncate('fortnight', date('2019-12-31'))", "ArgumentError/InvalidArgumentValue: Unsupported unit: fortnight"},
    {"datetime.truncate('day', datetime('2017-03-26T12:00+02:00[Europe/Stockholm]'))", "'2017-03-26T00:00+01:00[Europe/Stockholm]'"},
    {"datetime.truncate('hour', localtime('12:34'))", "ArgumentError/InvalidArgumentValue: Cannot truncate LocalTime to hour"},
};

TEST(TemporalTruncate, EveryTypeAndUnit) { expect_cases(kTruncations); }
TEST(TemporalTruncate, EdgesAndErrors) { expect_cases(kMore); }

}  // namespace
}  // namespace orvane
