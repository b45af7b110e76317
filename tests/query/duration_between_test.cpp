// duration.between, inMonths, inDays and inSeconds: the openCypher cases,
// then month ends and errors.
#include <gtest/gtest.h>

#include "query/function_eval.h"

namespace orvane {
namespace {

using testing::Case;
using testing::expect_cases;

const Case kBetween[] = {
    // Should split between boundaries correctly
    {"duration.between(localdatetime('2018-01-01T12:00'), localdatetime('2018-01-02T10:00')), duration.between(localdatetime('2018-01-01T12:00'), localdatetime('2018-01-02T10:00')).days, duration.between(localdatetime('2018-01-01T12:00'), localdatetime('2018-01-02T10:00')).seconds, duration.between(localdatetime('2018-01-01T12:00'), localdatetime('2018-01-02T10:00')).nanosecondsOfSecond", "'PT22H' | 0 | 79200 | 0"},
    {"duration.between(localdatetime('2018-01-02T10:00'), localdatetime('2018-01-01T12:00')), duration.between(localdatetime('2018-01-02T10:00'), localdatetime('2018-01-01T12:00')).days, duration.between(localdatetime('2018-01-02T10:00'), localdatetime('2018-01-01T12:00')).seconds, duration.between(localdatetime('2018-01-02T10:00'), localdatetime('2018-01-01T12:00')).nanosecondsOfSecond", "'PT-22H' | 0 | -79200 | 0"},
    {"duration.between(localdatetime('2018-01-01T10:00:00.2'), localdatetime('2018-01-02T10:00:00.1')), duration.between(localdatetime('2018-01-01T10:00:00.2'), localdatetime('2018-01-02T10:00:00.1')).days, duration.between(localdatetime('2018-01-01T10:00:00.2'), localdatetime('2018-01-02T10:00:00.1')).seconds, duration.between(localdatetime('2018-01-01T10:00:00.2'), localdatetime('2018-01-02T10:00:00.1')).nanosecondsOfSecond", "'PT23H59M59.9S' | 0 | 86399 | 900000000"},
    {"duration.between(localdatetime('2018-01-02T10:00:00.1'), localdatetime('2018-01-01T10:00:00.2')), duration.between(localdatetime('2018-01-02T10:00:00.1'), localdatetime('2018-01-01T10:00:00.2')).days, duration.between(localdatetime('2018-01-02T10:00:00.1'), localdatetime('2018-01-01T10:00:00.2')).seconds, duration.between(localdatetime('2018-01-02T10:00:00.1'), localdatetime('2018-01-01T10:00:00.2')).nanosecondsOfSecond", "'PT-23H-59M-59.9S' | 0 | -86400 | 100000000"},
    {"duration.between(datetime('2017-10-28T23:00+02:00[Europe/Stockholm]'), datetime('2017-10-29T04:00+01:00[Europe/Stockholm]')), duration.between(datetime('2017-10-28T23:00+02:00[Europe/Stockholm]'), datetime('2017-10-29T04:00+01:00[Europe/Stockholm]')).days, duration.between(datetime('2017-10-28T23:00+02:00[Europe/Stockholm]'), datetime('2017-10-29T04:00+01:00[Europe/Stockholm]')).seconds, duration.between(datetime('2017-10-28T23:00+02:00[Europe/Stockholm]'), datetime('2017-10-29T04:00+01:00[Europe/Stockholm]')).nanosecondsOfSecond", "'PT6H' | 0 | 21600 | 0"},
    {"duration.between(datetime('2017-10-29T04:00+01:00[Europe/Stockholm]'), datetime('2017-10-28T23:00+02:00[Europe/Stockholm]')), duration.between(datetime('2017-10-29T04:00+01:00[Europe/Stockholm]'), datetime('2017-10-28T23:00+02:00[Europe/Stockholm]')).days, duration.between(datetime('2017-10-29T04:00+01:00[Europe/Stockholm]'), datetime('2017-10-28T23:00+02:00[Europe/Stockholm]')).seconds, duration.between(datetime('2017-10-29T04:00+01:00[Europe/Stockholm]'), datetime('2017-10-28T23:00+02:00[Europe/Stockholm]')).nanosecondsOfSecond", "'PT-6H' | 0 | -21600 | 0"},
    // Should compute duration between two temporals
    {"duration.between(date('1984-10-11'), date('2015-06-24'))", "'P30Y8M13D'"},
    {"duration.between(date('1984-10-11'), localtime('16:30'))", "'PT16H30M'"},
    {"duration.between(localtime('14:30'), localdatetime('2016-07-21T21:45:22.142'))", "'PT7H15M22.142S'"},
    {"duration.between(localtime('14:30'), time('16:30+0100'))", "'PT2H'"},
    {"duration.between(time('14:30'), datetime('2015-07-21T21:40:32.142+0100'))", "'PT6H10M32.142S'"},
    {"duration.between(localdatetime('2015-07-21T21:40:32.142'), date('2015-06-24'))", "'P-27DT-21H-40M-32.142S'"},
    {"duration.between(localdatetime('2015-07-21T21:40:32.142'), localtime('16:30'))", "'PT-5H-10M-32.142S'"},
    {"duration.between(datetime('2014-07-21T21:40:36.143+0200'), localdatetime('2016-07-21T21:45:22.142'))", "'P2YT4M45.999S'"},
    // Should compute duration between two temporals in months
    {"duration.inMonths(date('1984-10-11'), date('2015-06-24'))", "'P30Y8M'"},
    {"duration.inMonths(date('1984-10-11'), datetime('2015-07-21T21:40:32.142+0100'))", "'P30Y9M'"},
    {"duration.inMonths(localtime('14:30'), date('2015-06-24'))", "'PT0S'"},
    {"duration.inMonths(localtime('14:30'), datetime('2015-07-21T21:40:32.142+0100'))", "'PT0S'"},
    {"duration.inMonths(time('14:30'), datetime('2015-07-21T21:40:32.142+0100'))", "'PT0S'"},
    {"duration.inMonths(localdatetime('2015-07-21T21:40:32.142'), datetime('2015-07-21T21:40:32.142+0100'))", "'PT0S'"},
    {"duration.inMonths(localdatetime('2015-07-21T21:40:32.142'), time('16:30+0100'))", "'PT0S'"},
    {"duration.inMonths(datetime('2014-07-21T21:40:36.143+0200'), datetime('2015-07-21T21:40:32.142+0100'))", "'P1Y'"},
    // Should compute duration between two temporals in days
    {"duration.inDays(date('1984-10-11'), date('2015-06-24'))", "'P11213D'"},
    {"duration.inDays(date('1984-10-11'), datetime('2015-07-21T21:40:32.142+0100'))", "'P11240D'"},
    {"duration.inDays(localtime('14:30'), date('2015-06-24'))", "'PT0S'"},
    {"duration.inDays(localtime('14:30'), datetime('2015-07-21T21:40:32.142+0100'))", "'PT0S'"},
    {"duration.inDays(time('14:30'), datetime('2015-07-21T21:40:32.142+0100'))", "'PT0S'"},
    {"duration.inDays(localdatetime('2015-07-21T21:40:32.142'), datetime('2015-07-21T21:40:32.142+0100'))", "'PT0S'"},
    {"duration.inDays(localdatetime('2015-07-21T21:40:32.142'), time('16:30+0100'))", "'PT0S'"},
    {"duration.inDays(datetime('2014-07-21T21:40:36.143+0200'), datetime('2015-07-21T21:40:32.142+0100'))", "'P365D'"},
    // Should compute duration between two temporals in seconds
    {"duration.inSeconds(date('1984-10-11'), date('2015-06-24'))", "'PT269112H'"},
    {"duration.inSeconds(date('1984-10-11'), localtime('16:30'))", "'PT16H30M'"},
    {"duration.inSeconds(localtime('14:30'), localdatetime('2016-07-21T21:45:22.142'))", "'PT7H15M22.142S'"},
    {"duration.inSeconds(localtime('14:30'), time('16:30+0100'))", "'PT2H'"},
    {"duration.inSeconds(time('14:30'), datetime('2015-07-21T21:40:32.142+0100'))", "'PT6H10M32.142S'"},
    {"duration.inSeconds(localdatetime('2015-07-21T21:40:32.142'), date('2015-06-24'))", "'PT-669H-40M-32.142S'"},
    {"duration.inSeconds(localdatetime('2015-07-21T21:40:32.142'), localtime('16:30'))", "'PT-5H-10M-32.142S'"},
    {"duration.inSeconds(datetime('2014-07-21T21:40:36.143+0200'), localdatetime('2016-07-21T21:45:22.142'))", "'PT17544H4M45.999S'"},
    // Should compute duration between if they differ only by a fraction of a second and the first comes after the second.
    {"duration.inSeconds(localdatetime('2014-07-21T21:40:36.143'), localdatetime('2014-07-21T21:40:36.142'))", "'PT-0.001S'"},
    // Should compute negative duration between in big units
    {"duration.inMonths(date('2018-03-11'), date('2016-06-24'))", "'P-1Y-8M'"},
    {"duration.inMonths(date('2018-07-21'), datetime('2016-07-21T21:40:32.142+0100'))", "'P-1Y-11M'"},
    {"duration.inMonths(localdatetime('2018-07-21T21:40:32.142'), date('2016-07-21'))", "'P-2Y'"},
    {"duration.inMonths(datetime('2018-07-21T21:40:36.143+0200'), localdatetime('2016-07-21T21:40:36.143'))", "'P-2Y'"},
    {"duration.inMonths(datetime('2018-07-21T21:40:36.143+0500'), datetime('1984-07-21T22:40:36.143+0200'))", "'P-33Y-11M'"},
    // Should handle durations at daylight saving time day
    {"duration.inSeconds(datetime({year: 2017, month: 10, day: 29, hour: 0, timezone: 'Europe/Stockholm'}), localdatetime({year: 2017, month: 10, day: 29, hour: 4}))", "'PT5H'"},
    {"duration.inSeconds(datetime({year: 2017, month: 10, day: 29, hour: 0, timezone: 'Europe/Stockholm'}), localtime({hour: 4}))", "'PT5H'"},
    {"duration.inSeconds(localdatetime({year: 2017, month: 10, day: 29, hour: 0 }), datetime({year: 2017, month: 10, day: 29, hour: 4, timezone: 'Europe/Stockholm'}))", "'PT5H'"},
    {"duration.inSeconds(localtime({hour: 0 }), datetime({year: 2017, month: 10, day: 29, hour: 4, timezone: 'Europe/Stockholm'}))", "'PT5H'"},
    {"duration.inSeconds(date({year: 2017, month: 10, day: 29}), datetime({year: 2017, month: 10, day: 29, hour: 4, timezone: 'Europe/Stockholm'}))", "'PT5H'"},
    {"duration.inSeconds(datetime({year: 2017, month: 10, day: 29, hour: 0, timezone: 'Europe/Stockholm'}), date({year: 2017, month: 10, day: 30}))", "'PT25H'"},
    // Should handle large durations
    {"duration.between(date('-999999999-01-01'), date('+999999999-12-31'))", "'P1999999998Y11M30D'"},
    // Should handle large durations in seconds
    {"duration.inSeconds(localdatetime('-999999999-01-01'), localdatetime('+999999999-12-31T23:59:59'))", "'PT17531639991215H59M59S'"},
    // Should handle when seconds and subseconds have different signs
    {"duration.inSeconds(localtime('12:34:54.7'), localtime('12:34:54.3'))", "'PT-0.4S'"},
    {"duration.inSeconds(localtime('12:34:54.3'), localtime('12:34:54.7'))", "'PT0.4S'"},
    {"duration.inSeconds(localtime('12:34:54.7'), localtime('12:34:55.3'))", "'PT0.6S'"},
    {"duration.inSeconds(localtime('12:34:54.7'), localtime('12:44:55.3'))", "'PT10M0.6S'"},
    {"duration.inSeconds(localtime('12:34:56'), localtime('12:34:55.7'))", "'PT-0.3S'"},
    {"duration.inSeconds(localtime('12:34:56'), localtime('12:44:55.7'))", "'PT9M59.7S'"},
    {"duration.inSeconds(localtime('12:44:56'), localtime('12:34:55.7'))", "'PT-10M-0.3S'"},
    {"duration.inSeconds(localtime('12:34:56.3'), localtime('12:34:54.7'))", "'PT-1.6S'"},
    // Should compute durations with no difference
    {"duration.inSeconds(localtime(), localtime())", "'PT0S'"},
    {"duration.inSeconds(time(), time())", "'PT0S'"},
    {"duration.inSeconds(date(), date())", "'PT0S'"},
    {"duration.inSeconds(localdatetime(), localdatetime())", "'PT0S'"},
    {"duration.inSeconds(datetime(), datetime())", "'PT0S'"},
    // Should propagate null
    {"duration.between(null, null)", "null"},
    {"duration.inMonths(null, null)", "null"},
    {"duration.inDays(null, null)", "null"},
    {"duration.inSeconds(null, null)", "null"},
};


const Case kMore[] = {
    {"duration.between(date('2020-01-31'), date('2020-03-01')), duration.inDays(datetime('2020-01-01T00:00Z'), datetime('2020-01-02T00:00+01:00'))", "'P1M1D' | 'PT0S'"},
    {"duration.between(date('2020-01-01'), 42)", "TypeError/InvalidArgumentType: Type mismatch: duration.between expected two temporals but was Date and Integer"},
};

TEST(DurationBetween, OpenCypherCases) { expect_cases(kBetween); }
TEST(DurationBetween, EdgesAndErrors) { expect_cases(kMore); }

}  // namespace
}  // namespace orvane
