#include "media/calendar_time.h"

#include <gtest/gtest.h>

namespace orvix {
namespace {

void expectCalendar(const CalendarTime& t, int year, int month, int day, int hour, int minute, int second) {
    EXPECT_EQ(t.year, year);
    EXPECT_EQ(t.month, month);
    EXPECT_EQ(t.day, day);
    EXPECT_EQ(t.hour, hour);
    EXPECT_EQ(t.minute, minute);
    EXPECT_EQ(t.second, second);
}

TEST(SecondsToCalendar, EpochLeapDaysAndTheLargestInput) {
    const CalendarTime epoch = secondsToCalendar(0);
    expectCalendar(epoch, 1970, 1, 1, 0, 0, 0);
    EXPECT_EQ(epoch.weekday, 4);  // Thursday

    // 2000 is divisible by 400, so it has a February 29 (a Tuesday).
    const CalendarTime leap = secondsToCalendar(951782400);
    expectCalendar(leap, 2000, 2, 29, 0, 0, 0);
    EXPECT_EQ(leap.weekday, 2);
    expectCalendar(secondsToCalendar(951782400 + 86400), 2000, 3, 1, 0, 0, 0);
    // 1972-12-31 23:59:59: the last second of a leap year.
    expectCalendar(secondsToCalendar(94694399), 1972, 12, 31, 23, 59, 59);

    const CalendarTime last = secondsToCalendar(2147483647);
    expectCalendar(last, 2038, 1, 19, 3, 14, 7);
    EXPECT_EQ(last.weekday, 2);
}

TEST(SecondsToCalendar, NegativeSecondsGiveTheEpoch) {
    for (int32_t seconds : {-1, -86400, -86400 * 10 - 5, INT32_MIN}) {
        SCOPED_TRACE(seconds);
        const CalendarTime t = secondsToCalendar(seconds);
        expectCalendar(t, 1970, 1, 1, 0, 0, 0);
        EXPECT_EQ(t.weekday, 4);
    }
}

TEST(CalendarToSeconds, KnownDatesAndRoundTrip) {
    EXPECT_EQ(calendarToSeconds(1970, 1, 1, 0, 0, 0), 0u);
    EXPECT_EQ(calendarToSeconds(2008, 1, 1, 0, 0, 0), kRawTimeOffset);
    EXPECT_EQ(calendarToSeconds(2000, 2, 29, 0, 0, 0), 951782400u);
    EXPECT_EQ(calendarToSeconds(2038, 1, 19, 3, 14, 7), 2147483647u);

    for (int32_t seconds : {1, 59, 86399, 68169600, 951868799, 1234567890, 1700000000}) {
        const CalendarTime t = secondsToCalendar(seconds);
        EXPECT_EQ(calendarToSeconds(t.year, t.month, t.day, t.hour, t.minute, t.second),
                  static_cast<uint32_t>(seconds));
    }
}

CalendarTime at(int year, int month, int day, int hour, int minute, int second) {
    CalendarTime t;
    t.year = year;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    return t;
}

TEST(FormatDateTime, TheFiveLanguages) {
    const CalendarTime afternoon = at(2009, 3, 7, 13, 5, 9);
    EXPECT_EQ(formatDateTime(afternoon, kLanguageEnglishUs), u"3-7-2009 1:05:09 PM");
    EXPECT_EQ(formatDateTime(afternoon, kLanguageFrench), u"3/7/2009 13 h 05:09");
    EXPECT_EQ(formatDateTime(afternoon, kLanguageJapanese), u"2009/03/07 13:05:09");
    EXPECT_EQ(formatDateTime(afternoon, kLanguageKorean), u"2009-03-07 \uC624\uD6C4 1:05:09");
    EXPECT_EQ(formatDateTime(afternoon, 0x0407), u"2009:03:07 13:05:09");

    // Midnight half past: hour 12 before noon; noon itself is PM.
    const CalendarTime night = at(2009, 12, 31, 0, 30, 0);
    EXPECT_EQ(formatDateTime(night, kLanguageEnglishUs), u"12-31-2009 12:30:00 AM");
    EXPECT_EQ(formatDateTime(night, kLanguageKorean), u"2009-12-31 \uC624\uC804 12:30:00");
    EXPECT_EQ(formatDateTime(at(2009, 1, 1, 12, 0, 0), kLanguageEnglishUs), u"1-1-2009 12:00:00 PM");
    EXPECT_EQ(formatDateTime(at(2009, 1, 1, 23, 59, 59), kLanguageEnglishUs), u"1-1-2009 11:59:59 PM");
}

TEST(FormatDateTime, NeverWritesPastTheBuffer) {
    // Absurd fields make the longest text; it is cut, and the zero stays inside.
    const CalendarTime wide = at(-2000000000, -2000000000, -2000000000, -2000000000, -2000000000, -2000000000);
    char16_t text[40];
    for (char16_t& ch : text) ch = u'#';
    const size_t length = formatDateTime(wide, 0, text, 32);
    EXPECT_EQ(length, 31u);
    EXPECT_EQ(text[31], 0);
    EXPECT_EQ(text[32], u'#');

    char16_t small[8];
    EXPECT_EQ(formatDateTime(at(2009, 3, 7, 13, 5, 9), kLanguageKorean, small, 8), 7u);
    EXPECT_EQ(std::u16string(small), u"2009-03");
    EXPECT_EQ(formatDateTime(at(2009, 3, 7, 13, 5, 9), kLanguageKorean, small, 0), 0u);
}

}  // namespace
}  // namespace orvix
