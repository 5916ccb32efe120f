// The clock calls: universal time on the calendar, and local time both ways.
#include "glk/glk_api.h"
#include "support.h"

namespace tw::glk {
namespace {

TEST(GlkDateTime, UniversalTimeFollowsTheCalendarAndCarriesOverflow) {
    glkdate_t leap{2000, 2, 29, 0, 12, 34, 56, 7};
    glktimeval_t time;
    glk_date_to_time_utc(&leap, &time);
    EXPECT_EQ(std::tuple(time.high_sec, time.low_sec, time.microsec), std::tuple(0, 951827696u, 7));
    glkdate_t back;
    glk_time_to_date_utc(&time, &back);
    EXPECT_EQ(back.weekday, 2); // a Tuesday
    EXPECT_EQ(back.day, 29);

    glkdate_t overflowing{1999, 14, 1, 0, 0, 0, 0, 2000000}; // February 2000, 2 s in
    glk_date_to_time_utc(&overflowing, &time);
    glk_time_to_date_utc(&time, &back);
    EXPECT_EQ(std::tuple(back.year, back.month, back.second, back.microsec), std::tuple(2000, 2, 2, 0));

    glkdate_t before{1969, 12, 31, 0, 23, 59, 59, 0};
    glk_date_to_time_utc(&before, &time);
    EXPECT_EQ(time.high_sec, -1);
    EXPECT_EQ(time.low_sec, 0xFFFFFFFFu);
    EXPECT_EQ(glk_date_to_simple_time_utc(&before, 60), -1); // rounded down, not to zero
    glk_simple_time_to_date_utc(-1, 60, &back);
    EXPECT_EQ(back.minute, 59);
    EXPECT_EQ(back.second, 0);
}

TEST(GlkDateTime, LocalTimeGoesBothWays) {
    glkdate_t date{2021, 6, 15, 0, 9, 30, 0, 0};
    glktimeval_t time;
    glk_date_to_time_local(&date, &time);
    glkdate_t back;
    glk_time_to_date_local(&time, &back);
    EXPECT_EQ(std::tuple(back.year, back.month, back.day, back.hour, back.minute, back.weekday),
              std::tuple(2021, 6, 15, 9, 30, 2));
}

} // namespace
} // namespace tw::glk
