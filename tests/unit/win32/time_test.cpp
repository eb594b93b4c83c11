// Local file time in time zones of the Linux kind (the TZ variable).
#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <cstdint>
#include <string>

namespace {

class TimeZone {
  public:
    explicit TimeZone(const char* zone) {
        const char* old = getenv("TZ");
        hadOld_ = old != nullptr;
        old_ = hadOld_ ? old : "";
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (hadOld_) {
            setenv("TZ", old_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    bool hadOld_;
    std::string old_;
};

int64_t localMinusUtcMinutes(uint64_t utcTicks) {
    FILETIME utc{static_cast<DWORD>(utcTicks), static_cast<DWORD>(utcTicks >> 32)};
    FILETIME local{};
    EXPECT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    uint64_t localTicks = (static_cast<uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
    return (static_cast<int64_t>(localTicks) - static_cast<int64_t>(utcTicks)) / 600000000;
}

const uint64_t kJanuary2026 = 134116992000000000ull;  // 2026-01-01 00:00 UTC
const uint64_t kJuly2026 = 134273376000000000ull;     // 2026-07-01 00:00 UTC

}  // namespace

TEST(Time, LocalFileTimeAddsTheZonesOffset) {
    {
        TimeZone india("IST-5:30");
        EXPECT_EQ(localMinusUtcMinutes(kJanuary2026), 330);
    }
    {
        TimeZone west("XST8");
        EXPECT_EQ(localMinusUtcMinutes(kJanuary2026), -480);
    }
    {
        TimeZone utc("UTC0");
        EXPECT_EQ(localMinusUtcMinutes(kJanuary2026), 0);
    }
}

TEST(Time, LocalFileTimeUsesTheOffsetInForceNowForAnyDate) {
    // Daylight saving time is in force in one of these two months, whatever today is;
    // Windows applies today's offset to both.
    TimeZone newYork("EST5EDT,M3.2.0,M11.1.0");
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    int64_t nowMinutes = local.tm_gmtoff / 60;
    EXPECT_EQ(localMinusUtcMinutes(kJanuary2026), nowMinutes);
    EXPECT_EQ(localMinusUtcMinutes(kJuly2026), nowMinutes);
}

TEST(Time, LocalFileTimeRefusesToLeaveTheRange) {
    TimeZone west("XST8");
    FILETIME first{0, 0};
    FILETIME local{};
    SetLastError(0);
    EXPECT_FALSE(FileTimeToLocalFileTime(&first, &local));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}
