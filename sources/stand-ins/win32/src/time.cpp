// System time and FILETIME conversions.
//
// A FILETIME counts 100-nanosecond intervals since 1601-01-01 00:00 UTC. Calendar
// arithmetic is done here rather than with timegm so that the whole Windows range
// (years 1601 to 30827) converts, independent of the C library's time_t range.
#include <time.h>

#include <cstdint>

#include "stand-ins/win32/src/internal.h"

namespace {

constexpr uint64_t kTicksPerMillisecond = 10000;
constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kTicksPerDay = kTicksPerSecond * 86400;
constexpr uint64_t kLargestFileTime = 0x7FFFFFFFFFFFFFFFull;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kDaysFrom1601To1970 = 134774;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

void civilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    *month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    *year = static_cast<int64_t>(yearOfEra) + era * 400 + (*month <= 2);
}

unsigned daysInMonth(unsigned year, unsigned month) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

uint64_t fromFileTime(const FILETIME* time) {
    return (static_cast<uint64_t>(time->dwHighDateTime) << 32) | time->dwLowDateTime;
}

void toFileTime(uint64_t ticks, LPFILETIME time) {
    time->dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    time->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

}  // namespace

extern "C" {

void WINAPI GetSystemTime(LPSYSTEMTIME systemTime) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    int64_t days = now.tv_sec / 86400;
    int64_t secondOfDay = now.tv_sec % 86400;
    int64_t year = 0;
    unsigned month = 0, day = 0;
    civilFromDays(days, &year, &month, &day);
    systemTime->wYear = static_cast<WORD>(year);
    systemTime->wMonth = static_cast<WORD>(month);
    systemTime->wDay = static_cast<WORD>(day);
    systemTime->wDayOfWeek = static_cast<WORD>((days % 7 + 11) % 7);  // 1970-01-01: Thursday
    systemTime->wHour = static_cast<WORD>(secondOfDay / 3600);
    systemTime->wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
    systemTime->wSecond = static_cast<WORD>(secondOfDay % 60);
    systemTime->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime) {
    STANDIN_INJECTION_POINT("SystemTimeToFileTime", FALSE);
    const SYSTEMTIME& t = *systemTime;
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > daysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 ||
        t.wSecond > 59 || t.wMilliseconds > 999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t days = daysFromCivil(t.wYear, t.wMonth, t.wDay) + kDaysFrom1601To1970;
    uint64_t seconds =
        static_cast<uint64_t>(days) * 86400 + t.wHour * 3600u + t.wMinute * 60u + t.wSecond;
    toFileTime(seconds * kTicksPerSecond + t.wMilliseconds * kTicksPerMillisecond, fileTime);
    return TRUE;
}

// As Windows does, the offset applied is the one in force now, not the one in force at
// the time being converted.
BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime) {
    STANDIN_INJECTION_POINT("FileTimeToLocalFileTime", FALSE);
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    int64_t bias = static_cast<int64_t>(local.tm_gmtoff) * static_cast<int64_t>(kTicksPerSecond);
    uint64_t utc = fromFileTime(fileTime);
    if ((bias < 0 && utc < static_cast<uint64_t>(-bias)) ||
        (bias > 0 && utc > kLargestFileTime - static_cast<uint64_t>(bias))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    toFileTime(static_cast<uint64_t>(static_cast<int64_t>(utc) + bias), localFileTime);
    return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    STANDIN_INJECTION_POINT("FileTimeToSystemTime", FALSE);
    uint64_t ticks = fromFileTime(fileTime);
    if (ticks > kLargestFileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t days = static_cast<int64_t>(ticks / kTicksPerDay);
    uint64_t rest = ticks % kTicksPerDay;
    int64_t year = 0;
    unsigned month = 0, day = 0;
    civilFromDays(days - kDaysFrom1601To1970, &year, &month, &day);
    systemTime->wYear = static_cast<WORD>(year);
    systemTime->wMonth = static_cast<WORD>(month);
    systemTime->wDay = static_cast<WORD>(day);
    systemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01: Monday
    systemTime->wHour = static_cast<WORD>(rest / (3600 * kTicksPerSecond));
    systemTime->wMinute = static_cast<WORD>(rest / (60 * kTicksPerSecond) % 60);
    systemTime->wSecond = static_cast<WORD>(rest / kTicksPerSecond % 60);
    systemTime->wMilliseconds = static_cast<WORD>(rest / kTicksPerMillisecond % 1000);
    return TRUE;
}

}  // extern "C"
