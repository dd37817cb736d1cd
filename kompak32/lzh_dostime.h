// Conversion between the DOS date/time fields of a member header and calendar fields.
#pragma once
#include <cstdint>

struct CalendarTime {
    uint16_t year, month, day, hour, minute, second;
};

// year 1980-2107, second always even; fields are not checked for validity.
CalendarTime CalendarFromDos(uint16_t dosTime, uint16_t dosDate);

// True when the fields name a real local time (month 1-12, a day of that month,
// hour < 24, minute < 60, second < 60). Invalid stamps are not applied to files.
bool IsValidCalendarTime(const CalendarTime &t);

// The DOS fields of a calendar time (seconds rounded down to even, years 1980-2107).
uint16_t DosTimeFromCalendar(const CalendarTime &t);
uint16_t DosDateFromCalendar(const CalendarTime &t);
