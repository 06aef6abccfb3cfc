#include "media/calendar_time.h"

#include "media/text_line.h"

namespace orvix {
namespace {

bool isLeapYear(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

constexpr size_t kDateTextLimit = 31;

}  // namespace

CalendarTime secondsToCalendar(int32_t seconds) {
    CalendarTime t;
    // Before 1970 every field would be clamped to the epoch anyway; the
    // weekday then matches that date instead of the unclamped day count.
    if (seconds < 0) return t;

    int32_t days = seconds / 86400;
    const int32_t rest = seconds % 86400;
    const int32_t totalDays = days;
    t.hour = rest / 3600;
    t.minute = (rest % 3600) / 60;
    t.second = rest % 60;

    t.year = 1970;
    for (;;) {
        const int32_t length = isLeapYear(t.year) ? 366 : 365;
        if (days < length) break;
        days -= length;
        ++t.year;
    }
    const int32_t monthLengths[12] = {31, isLeapYear(t.year) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    t.month = 1;
    while (t.month <= 12 && days >= monthLengths[t.month - 1]) {
        days -= monthLengths[t.month - 1];
        ++t.month;
    }
    t.day = days + 1;
    t.weekday = (totalDays + 4) % 7;

    if (t.hour < 0 || t.hour > 23) t.hour = 0;
    if (t.year < 1970 || t.year > 2038) t.year = 1970;
    if (t.month < 1 || t.month > 12) t.month = 1;
    if (t.minute < 0 || t.minute > 59) t.minute = 0;
    if (t.day < 1 || t.day > 31) t.day = 1;
    if (t.second < 0 || t.second > 59) t.second = 0;
    return t;
}

uint32_t calendarToSeconds(int year, int month, int day, int hour, int minute, int second) {
    // March-based year: February's leap day falls at the end.
    int m = month - 2;
    int y = year;
    if (m <= 0) {
        m += 12;
        y -= 1;
    }
    const uint32_t uy = static_cast<uint32_t>(y);
    const uint32_t um = static_cast<uint32_t>(m);
    const uint32_t days = 365u * uy + uy / 4 - uy / 100 + uy / 400 + (367u * um) / 12 + static_cast<uint32_t>(day) -
                          719499u;
    return ((days * 24u + static_cast<uint32_t>(hour)) * 60u + static_cast<uint32_t>(minute)) * 60u +
           static_cast<uint32_t>(second);
}

size_t formatDateTime(const CalendarTime& t, uint16_t language, char16_t* out, size_t capacity) {
    if (capacity > kDateTextLimit + 1) capacity = kDateTextLimit + 1;
    TextLine line(out, capacity);
    const bool pm = t.hour >= 12 && t.hour <= 23;
    const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    switch (language) {
        case kLanguageEnglishUs:
            line.appendFormat("%d-%d-%d %d:%.2d:%.2d %s", t.month, t.day, t.year, hour12, t.minute, t.second,
                              pm ? "PM" : "AM");
            break;
        case kLanguageFrench:
            line.appendFormat("%d/%d/%d %d h %.2d:%.2d", t.month, t.day, t.year, t.hour, t.minute, t.second);
            break;
        case kLanguageJapanese:
            line.appendFormat("%d/%.2d/%.2d %.2d:%.2d:%.2d", t.year, t.month, t.day, t.hour, t.minute, t.second);
            break;
        case kLanguageKorean:
            line.appendFormat("%d-%.2d-%.2d ", t.year, t.month, t.day);
            line.append(pm ? u"\uC624\uD6C4" : u"\uC624\uC804");  // afternoon / morning
            line.appendFormat(" %d:%.2d:%.2d", hour12, t.minute, t.second);
            break;
        default:
            line.appendFormat("%d:%.2d:%.2d %.2d:%.2d:%.2d", t.year, t.month, t.day, t.hour, t.minute, t.second);
            break;
    }
    return line.length();
}

std::u16string formatDateTime(const CalendarTime& time, uint16_t language) {
    char16_t text[kDateTextLimit + 1];
    const size_t length = formatDateTime(time, language, text, sizeof text / sizeof text[0]);
    return std::u16string(text, length);
}

}  // namespace orvix
