// Local file time in time zones of the Linux kind (the TZ variable).
#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <cstdint>

namespace {

const uint64_t kJanuary2026 = 134116992000000000ull;  // 2026-01-01 00:00 UTC
const uint64_t kJuly2026 = 134273376000000000ull;     // 2026-07-01 00:00 UTC

// Runs in the time zone given, restoring the default one after.
class LocalFileTime : public testing::Test {
  protected:
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
    static void inZone(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }
    // Local minus UTC in minutes; none when the conversion fails.
    static int64_t offsetMinutes(uint64_t utcTicks) {
        FILETIME utc{static_cast<DWORD>(utcTicks), static_cast<DWORD>(utcTicks >> 32)}, local{};
        if (!FileTimeToLocalFileTime(&utc, &local)) {
            return INT64_MIN;
        }
        uint64_t localTicks = (uint64_t(local.dwHighDateTime) << 32) | local.dwLowDateTime;
        return (int64_t(localTicks) - int64_t(utcTicks)) / 600000000;
    }
};

TEST_F(LocalFileTime, AddsTheZonesOffset) {
    const std::pair<const char*, int64_t> cases[] = {
        {"IST-5:30", 330}, {"XST8", -480}, {"UTC0", 0}};
    for (const auto& [zone, minutes] : cases) {
        inZone(zone);
        EXPECT_EQ(offsetMinutes(kJanuary2026), minutes) << zone;
    }
}

TEST_F(LocalFileTime, UsesTheOffsetInForceNowForAnyDate) {
    // Daylight saving time is in force in one of these two months, whatever today is;
    // Windows applies today's offset to both.
    inZone("EST5EDT,M3.2.0,M11.1.0");
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    EXPECT_EQ(offsetMinutes(kJanuary2026), local.tm_gmtoff / 60);
    EXPECT_EQ(offsetMinutes(kJuly2026), local.tm_gmtoff / 60);
}

TEST_F(LocalFileTime, RefusesToLeaveTheRange) {
    inZone("XST8");
    SetLastError(0);
    EXPECT_EQ(offsetMinutes(0), INT64_MIN);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
