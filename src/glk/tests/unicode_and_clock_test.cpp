// Case mapping and normalisation, against known strings and against the
// Unicode Character Database's own normalisation tests; and the clock calls:
// universal time on the calendar, and local time both ways.
#include "glk/glk_api.h"
#include "glk/unicode.h"
#include "support.h"

#include <sstream>

namespace tw::glk {
namespace {

TEST(GlkUnicode, CaseMappingsIncludeTheOnesThatChangeLength) {
    EXPECT_EQ(to_upper_case(U"straße ﬁx"), U"STRASSE FIX");
    EXPECT_EQ(to_lower_case(U"ÀÉÎ İ Σ"), U"àéî i\u0307 σ");
    EXPECT_EQ(to_title_case(U"ßtraße", false), U"Sstraße");
    EXPECT_EQ(to_title_case(U"ǆEMAL", true), U"ǅemal");
    EXPECT_EQ(to_title_case(U"éCOLE", false), U"ÉCOLE");
    EXPECT_EQ(glk_char_to_upper(0xE9), 0xC9);
    EXPECT_EQ(glk_char_to_upper(0xDF), 0xDF);
    EXPECT_EQ(glk_char_to_lower(0xD7), 0xD7);
    EXPECT_EQ(glk_char_to_lower('Q'), 'q');
}

TEST(GlkUnicode, BufferCallsCutTheResultButCountAllOfIt) {
    glui32 word[] = {'s', 0xDF, 0};
    EXPECT_EQ(glk_buffer_to_upper_case_uni(word, 2, 2), 3u);
    EXPECT_EQ(std::vector<glui32>(word, word + 3), (std::vector<glui32>{'S', 'S', 0}));
    glui32 decomposed[4] = {0xE9, 'x'};
    EXPECT_EQ(glk_buffer_canon_decompose_uni(decomposed, 4, 1), 2u);
    EXPECT_EQ(decomposed[1], 0x301u);
    EXPECT_EQ(glk_buffer_canon_normalize_uni(decomposed, 4, 2), 1u);
    EXPECT_EQ(decomposed[0], 0xE9u);
}

std::u32string code_points(const std::string& field) {
    std::u32string text;
    std::istringstream hex(field);
    for (unsigned long cp; hex >> std::hex >> cp;)
        text.push_back(static_cast<char32_t>(cp));
    return text;
}

// NormalizationTest.txt: c2 == NFC(c1..c3), c4 == NFC(c4, c5),
// c3 == NFD(c1..c3), c5 == NFD(c4, c5). Hangul, composition exclusions,
// singletons and reordering are among its cases.
TEST(GlkUnicode, NormalisationPassesTheUnicodeConformanceTests) {
    std::istringstream cases(test::read_file(GLK_NORMALIZATION_TEST));
    int checked = 0;
    for (std::string line; std::getline(cases, line);) {
        if (line.empty() || line[0] == '#' || line[0] == '@')
            continue;
        std::vector<std::u32string> c;
        std::istringstream fields(line);
        for (std::string field; c.size() < 5 && std::getline(fields, field, ';');)
            c.push_back(code_points(field));
        ASSERT_EQ(c.size(), 5u) << line;
        for (int i : {0, 1, 2}) {
            ASSERT_EQ(canonical_composition(c[i]), c[1]) << line;
            ASSERT_EQ(canonical_decomposition(c[i]), c[2]) << line;
        }
        for (int i : {3, 4}) {
            ASSERT_EQ(canonical_composition(c[i]), c[3]) << line;
            ASSERT_EQ(canonical_decomposition(c[i]), c[4]) << line;
        }
        ++checked;
    }
    EXPECT_GT(checked, 15000);
}

TEST(GlkDateTime, UniversalTimeFollowsTheCalendarAndCarriesOverflow) {
    glkdate_t leap{2000, 2, 29, 0, 12, 34, 56, 7};
    glktimeval_t time;
    glk_date_to_time_utc(&leap, &time);
    EXPECT_EQ(std::tuple(time.high_sec, time.low_sec, time.microsec), std::tuple(0, 951827696u, 7));
    glkdate_t back;
    glk_time_to_date_utc(&time, &back);
    EXPECT_EQ(std::tuple(back.day, back.weekday), std::tuple(29, 2)); // a Tuesday

    glkdate_t overflowing{1999, 14, 1, 0, 0, 0, 0, 2000000}; // February 2000, 2 s in
    glk_date_to_time_utc(&overflowing, &time);
    glk_time_to_date_utc(&time, &back);
    EXPECT_EQ(std::tuple(back.year, back.month, back.second, back.microsec),
              std::tuple(2000, 2, 2, 0));

    glkdate_t before{1969, 12, 31, 0, 23, 59, 59, 0};
    glk_date_to_time_utc(&before, &time);
    EXPECT_EQ(std::tuple(time.high_sec, time.low_sec), std::tuple(-1, 0xFFFFFFFFu));
    EXPECT_EQ(glk_date_to_simple_time_utc(&before, 60), -1); // rounded down, not to zero
    glk_simple_time_to_date_utc(-1, 60, &back);
    EXPECT_EQ(std::tuple(back.minute, back.second), std::tuple(59, 0));
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
