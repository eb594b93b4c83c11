#include "stand-ins/isapihost/http/http_date.h"

#include <cstdio>
#include <cstring>

namespace isapihost {
namespace {

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int monthIndex(const char* name) {
    for (int i = 0; i < 12; ++i) {
        if (strcmp(name, kMonths[i]) == 0) {
            return i;
        }
    }
    return -1;
}

bool toTime(int year, int month, int day, int hour, int minute, int second, time_t* when) {
    if (month < 0 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return false;
    }
    struct tm fields {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    *when = timegm(&fields);
    return *when != static_cast<time_t>(-1);
}

}  // namespace

std::string httpDate(time_t when) {
    struct tm fields {};
    gmtime_r(&when, &fields);
    // Written by hand: strftime's day and month names follow the locale.
    char text[64];
    snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[fields.tm_wday % 7],
             fields.tm_mday, kMonths[fields.tm_mon % 12], fields.tm_year + 1900, fields.tm_hour,
             fields.tm_min, fields.tm_sec);
    return text;
}

const std::string& httpDateNow() {
    thread_local time_t formattedSecond = -1;
    thread_local std::string formatted;
    time_t now = time(nullptr);
    if (now != formattedSecond) {
        formatted = httpDate(now);
        formattedSecond = now;
    }
    return formatted;
}

bool parseHttpDate(const std::string& text, time_t* when) {
    char month[4] = {};
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    const char* s = text.c_str();
    // RFC 1123: "Sun, 06 Nov 1994 08:49:37 GMT"
    if (sscanf(s, "%*3[A-Za-z], %2d %3[A-Za-z] %4d %2d:%2d:%2d GMT", &day, month, &year, &hour,
               &minute, &second) == 6) {
        return toTime(year, monthIndex(month), day, hour, minute, second, when);
    }
    // RFC 850: "Sunday, 06-Nov-94 08:49:37 GMT"
    if (sscanf(s, "%*9[A-Za-z], %2d-%3[A-Za-z]-%4d %2d:%2d:%2d GMT", &day, month, &year, &hour,
               &minute, &second) == 6) {
        if (year < 100) {
            year += year < 70 ? 2000 : 1900;
        }
        return toTime(year, monthIndex(month), day, hour, minute, second, when);
    }
    // asctime: "Sun Nov  6 08:49:37 1994"
    if (sscanf(s, "%*3[A-Za-z] %3[A-Za-z] %2d %2d:%2d:%2d %4d", month, &day, &hour, &minute,
               &second, &year) == 6) {
        return toTime(year, monthIndex(month), day, hour, minute, second, when);
    }
    return false;
}

}  // namespace isapihost
