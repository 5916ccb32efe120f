// The clock calls of the Glk API. Universal time is computed here, on the
// proleptic Gregorian calendar, so that it needs no time zone; local time
// comes from the C library.
#include "glk/glk_api.h"

#include <chrono>
#include <ctime>

namespace {

long long floor_div(long long a, long long b) {
    long long q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

long long floor_mod(long long a, long long b) {
    return a - floor_div(a, b) * b;
}

// Days since 1970-01-01 (after Howard Hinnant's days_from_civil).
long long days_from_civil(long long year, long long month, long long day) {
    year -= month <= 2;
    long long era = floor_div(year, 400);
    long long year_of_era = year - era * 400;
    long long day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    long long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

void civil_from_days(long long days, long long& year, long long& month, long long& day) {
    days += 719468;
    long long era = floor_div(days, 146097);
    long long day_of_era = days - era * 146097;
    long long year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    long long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    long long mp = (5 * day_of_year + 2) / 153;
    day = day_of_year - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = year_of_era + era * 400 + (month <= 2);
}

long long seconds_of(const glktimeval_t* time) {
    return static_cast<long long>(
        (static_cast<unsigned long long>(static_cast<glui32>(time->high_sec)) << 32) |
        time->low_sec);
}

void set_seconds(glktimeval_t* time, long long seconds, long long microseconds) {
    seconds += floor_div(microseconds, 1000000);
    time->high_sec = static_cast<glsi32>(seconds >> 32);
    time->low_sec = static_cast<glui32>(seconds);
    time->microsec = static_cast<glsi32>(floor_mod(microseconds, 1000000));
}

void utc_date(long long seconds, glsi32 microsec, glkdate_t* date) {
    long long days = floor_div(seconds, 86400), rest = floor_mod(seconds, 86400);
    long long year, month, day;
    civil_from_days(days, year, month, day);
    *date = {static_cast<glsi32>(year),
             static_cast<glsi32>(month),
             static_cast<glsi32>(day),
             static_cast<glsi32>(floor_mod(days + 4, 7)), // 1970-01-01 was a Thursday
             static_cast<glsi32>(rest / 3600),
             static_cast<glsi32>(rest / 60 % 60),
             static_cast<glsi32>(rest % 60),
             microsec};
}

void local_date(long long seconds, glsi32 microsec, glkdate_t* date) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm* local = std::localtime(&t);
    if (!local) {
        utc_date(seconds, microsec, date);
        return;
    }
    *date = {local->tm_year + 1900, local->tm_mon + 1, local->tm_mday, local->tm_wday,
             local->tm_hour,        local->tm_min,     local->tm_sec,  microsec};
}

// Fields may be out of their ranges; they carry into the next larger one.
long long utc_seconds(const glkdate_t* date) {
    long long month0 = static_cast<long long>(date->month) - 1;
    long long year = date->year + floor_div(month0, 12);
    long long days = days_from_civil(year, floor_mod(month0, 12) + 1, 1) + date->day - 1;
    return days * 86400 + date->hour * 3600LL + date->minute * 60LL + date->second;
}

// -1 when the C library cannot say.
long long local_seconds(const glkdate_t* date) {
    std::tm fields{};
    fields.tm_year = date->year - 1900;
    fields.tm_mon = date->month - 1;
    fields.tm_mday = date->day;
    fields.tm_hour = date->hour;
    fields.tm_min = date->minute;
    fields.tm_sec = date->second;
    fields.tm_isdst = -1;
    return static_cast<long long>(std::mktime(&fields));
}

glsi32 simple(long long seconds, glui32 factor) {
    return factor ? static_cast<glsi32>(floor_div(seconds, factor)) : 0;
}

} // namespace

void glk_current_time(glktimeval_t* time) {
    using namespace std::chrono;
    long long micro = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    if (time)
        set_seconds(time, 0, micro);
}

glsi32 glk_current_simple_time(glui32 factor) {
    using namespace std::chrono;
    return simple(duration_cast<seconds>(system_clock::now().time_since_epoch()).count(), factor);
}

void glk_time_to_date_utc(glktimeval_t* time, glkdate_t* date) {
    if (time && date)
        utc_date(seconds_of(time), time->microsec, date);
}

void glk_time_to_date_local(glktimeval_t* time, glkdate_t* date) {
    if (time && date)
        local_date(seconds_of(time), time->microsec, date);
}

void glk_simple_time_to_date_utc(glsi32 time, glui32 factor, glkdate_t* date) {
    if (date)
        utc_date(static_cast<long long>(time) * factor, 0, date);
}

void glk_simple_time_to_date_local(glsi32 time, glui32 factor, glkdate_t* date) {
    if (date)
        local_date(static_cast<long long>(time) * factor, 0, date);
}

void glk_date_to_time_utc(glkdate_t* date, glktimeval_t* time) {
    if (date && time)
        set_seconds(time, utc_seconds(date), date->microsec);
}

void glk_date_to_time_local(glkdate_t* date, glktimeval_t* time) {
    if (!date || !time)
        return;
    long long seconds = local_seconds(date);
    if (seconds == -1) {
        time->high_sec = -1;
        time->low_sec = 0xFFFFFFFF;
        time->microsec = 0;
        return;
    }
    set_seconds(time, seconds, date->microsec);
}

glsi32 glk_date_to_simple_time_utc(glkdate_t* date, glui32 factor) {
    return date ? simple(utc_seconds(date), factor) : 0;
}

glsi32 glk_date_to_simple_time_local(glkdate_t* date, glui32 factor) {
    if (!date)
        return 0;
    long long seconds = local_seconds(date);
    return seconds == -1 ? -1 : simple(seconds, factor);
}
