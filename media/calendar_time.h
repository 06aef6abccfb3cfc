// Recorder times: seconds since 1970-01-01 00:00:00 in which the recorder's
// wall clock counts as UTC (no zone or daylight shift is applied), the
// calendar fields, and the date text of the five supported languages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvix {

struct CalendarTime {
    int32_t year = 1970;
    int32_t month = 1;    // 1-12
    int32_t day = 1;      // 1-31
    int32_t hour = 0;     // 0-23
    int32_t minute = 0;
    int32_t second = 0;
    int32_t weekday = 4;  // 0 = Sunday
};

// Seconds between 1970-01-01 and 2008-01-01, the epoch of raw stream times.
constexpr uint32_t kRawTimeOffset = 1199145600;

// Negative seconds give 1970-01-01 00:00:00 (a Thursday). Pure.
CalendarTime secondsToCalendar(int32_t seconds);

// Full year, month 1-12. Computed in unsigned 32-bit arithmetic, so dates
// before 1970 wrap. Pure.
uint32_t calendarToSeconds(int year, int month, int day, int hour, int minute, int second);

// Windows language identifiers with a date format of their own; any other
// value gets the numeric year-first format.
constexpr uint16_t kLanguageEnglishUs = 0x0409;
constexpr uint16_t kLanguageFrench = 0x040C;
constexpr uint16_t kLanguageJapanese = 0x0411;
constexpr uint16_t kLanguageKorean = 0x0412;

// Writes the date text (at most 31 characters, cut to fit `capacity`
// including the terminating zero) and returns its length.
size_t formatDateTime(const CalendarTime& time, uint16_t language, char16_t* out, size_t capacity);
std::u16string formatDateTime(const CalendarTime& time, uint16_t language);

}  // namespace orvix
