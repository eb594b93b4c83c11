// FILETIME arithmetic as Windows does it: 100-ns ticks since 1601-01-01 UTC. That
// GetSystemTime is now, in UTC, shows in the stamps of tests/unit/native/isapi/log.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

namespace {

SYSTEMTIME makeTime(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0,
                    WORD second = 0, WORD milliseconds = 0, WORD dayOfWeek = 0) {
    return SYSTEMTIME{year, month, dayOfWeek, day, hour, minute, second, milliseconds};
}

auto fieldsOf(const SYSTEMTIME& t) {
    return std::make_tuple(t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond,
                           t.wMilliseconds);
}

uint64_t ticksOf(const FILETIME& f) {
    return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

}  // namespace

TEST(TimeBehaviour, ConvertsCalendarTimesToTicksAndBack) {
    const struct {
        SYSTEMTIME time;  // with its day of the week, which the conversion back fills in
        uint64_t ticks;
    } cases[] = {
        {makeTime(1601, 1, 1, 0, 0, 0, 0, 1), 0},
        {makeTime(1970, 1, 1, 0, 0, 0, 0, 4), 116444736000000000ull},
        {makeTime(2000, 2, 29, 23, 59, 59, 999, 2), 125963423999990000ull},
        {makeTime(2026, 12, 6, 1, 49, 33, 0, 0), 134409953730000000ull},
    };
    for (const auto& c : cases) {
        FILETIME f{};
        ASSERT_TRUE(SystemTimeToFileTime(&c.time, &f)) << c.time.wYear;
        EXPECT_EQ(ticksOf(f), c.ticks) << c.time.wYear;
        SYSTEMTIME back{};
        ASSERT_TRUE(FileTimeToSystemTime(&f, &back));
        EXPECT_EQ(fieldsOf(back), fieldsOf(c.time)) << c.time.wYear;
    }
}

TEST(TimeBehaviour, RefusesTimesThatDoNotExist) {
    for (const SYSTEMTIME& t :
         {makeTime(2026, 4, 31), makeTime(2026, 13, 1), makeTime(2026, 1, 1, 24)}) {
        FILETIME f{};
        SetLastError(0);
        EXPECT_FALSE(SystemTimeToFileTime(&t, &f)) << t.wMonth << "-" << t.wDay << " " << t.wHour;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    FILETIME negative{0, 0x80000000u};
    SYSTEMTIME t{};
    EXPECT_FALSE(FileTimeToSystemTime(&negative, &t));
}
