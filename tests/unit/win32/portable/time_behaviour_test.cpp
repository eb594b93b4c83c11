// FILETIME arithmetic as Windows does it: 100-ns ticks since 1601-01-01 UTC.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>

namespace {

SYSTEMTIME makeTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                    WORD milliseconds) {
    SYSTEMTIME t{};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    t.wMilliseconds = milliseconds;
    return t;
}

uint64_t ticksOf(const FILETIME& f) {
    return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

FILETIME fileTimeOf(uint64_t ticks) {
    FILETIME f;
    f.dwLowDateTime = static_cast<DWORD>(ticks);
    f.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return f;
}

}  // namespace

TEST(TimeBehaviour, ConvertsCalendarTimesToTicksAndBack) {
    struct Case {
        SYSTEMTIME time;
        uint64_t ticks;
        WORD dayOfWeek;
    } cases[] = {
        {makeTime(1601, 1, 1, 0, 0, 0, 0), 0, 1},                      // a Monday
        {makeTime(1970, 1, 1, 0, 0, 0, 0), 116444736000000000ull, 4},  // a Thursday
        {makeTime(2000, 2, 29, 23, 59, 59, 999), 125963423999990000ull, 2},
        {makeTime(2026, 12, 6, 1, 49, 33, 0), 134409953730000000ull, 0},  // a Sunday
    };
    for (const Case& c : cases) {
        FILETIME f{};
        ASSERT_TRUE(SystemTimeToFileTime(&c.time, &f)) << c.time.wYear;
        EXPECT_EQ(ticksOf(f), c.ticks) << c.time.wYear;

        SYSTEMTIME back{};
        ASSERT_TRUE(FileTimeToSystemTime(&f, &back));
        EXPECT_EQ(back.wYear, c.time.wYear);
        EXPECT_EQ(back.wMonth, c.time.wMonth);
        EXPECT_EQ(back.wDay, c.time.wDay);
        EXPECT_EQ(back.wHour, c.time.wHour);
        EXPECT_EQ(back.wMinute, c.time.wMinute);
        EXPECT_EQ(back.wSecond, c.time.wSecond);
        EXPECT_EQ(back.wMilliseconds, c.time.wMilliseconds);
        EXPECT_EQ(back.wDayOfWeek, c.dayOfWeek) << c.time.wYear;
    }
}

TEST(TimeBehaviour, RefusesTimesThatDoNotExist) {
    SYSTEMTIME april31 = makeTime(2026, 4, 31, 0, 0, 0, 0);
    SYSTEMTIME month13 = makeTime(2026, 13, 1, 0, 0, 0, 0);
    SYSTEMTIME hour24 = makeTime(2026, 1, 1, 24, 0, 0, 0);
    for (const SYSTEMTIME& t : {april31, month13, hour24}) {
        FILETIME f{};
        SetLastError(0);
        EXPECT_FALSE(SystemTimeToFileTime(&t, &f)) << t.wYear << "-" << t.wMonth << "-" << t.wDay;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    FILETIME negative = fileTimeOf(0x8000000000000000ull);
    SYSTEMTIME t{};
    EXPECT_FALSE(FileTimeToSystemTime(&negative, &t));
}

TEST(TimeBehaviour, SystemTimeIsTheCurrentUtcTime) {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    FILETIME f{};
    ASSERT_TRUE(SystemTimeToFileTime(&now, &f));
    auto unixMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
    int64_t systemMs = static_cast<int64_t>((ticksOf(f) - 116444736000000000ull) / 10000);
    EXPECT_LT(std::llabs(systemMs - unixMs), 2000);
}
