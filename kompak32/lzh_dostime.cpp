// Conversion between the DOS date/time fields of a member header and calendar fields.
#include "lzh_dostime.h"

CalendarTime CalendarFromDos(uint16_t dosTime, uint16_t dosDate)
{
    CalendarTime t;
    t.year = static_cast<uint16_t>(((dosDate >> 9) & 0x7F) + 1980);
    t.month = static_cast<uint16_t>((dosDate >> 5) & 0x0F);
    t.day = static_cast<uint16_t>(dosDate & 0x1F);
    t.hour = static_cast<uint16_t>((dosTime >> 11) & 0x1F);
    t.minute = static_cast<uint16_t>((dosTime >> 5) & 0x3F);
    t.second = static_cast<uint16_t>((dosTime & 0x1F) * 2);
    return t;
}

static bool IsLeapYear(unsigned y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

bool IsValidCalendarTime(const CalendarTime &t)
{
    static const uint8_t daysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.month < 1 || t.month > 12 || t.day < 1)
        return false;
    unsigned lastDay = daysInMonth[t.month - 1] + (t.month == 2 && IsLeapYear(t.year) ? 1 : 0);
    return t.day <= lastDay && t.hour < 24 && t.minute < 60 && t.second < 60;
}

uint16_t DosTimeFromCalendar(const CalendarTime &t)
{
    return static_cast<uint16_t>(((t.hour & 0x1F) << 11) | ((t.minute & 0x3F) << 5) |
                                 ((t.second / 2) & 0x1F));
}

uint16_t DosDateFromCalendar(const CalendarTime &t)
{
    unsigned year = t.year < 1980 ? 0 : t.year - 1980u;
    if (year > 0x7F)
        year = 0x7F;
    return static_cast<uint16_t>((year << 9) | ((t.month & 0x0F) << 5) | (t.day & 0x1F));
}
