#include "common/textconv.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace fenwyd {
namespace {

TEST(LeadingNumber, ReadsTheLeadingNumberOnly) {
    struct Case {
        const char* text;
        double expected;
    };
    const Case cases[] = {
        {"", 0},    {"abc", 0},       {"   ", 0},        {"1999", 1999}, {"  12.5", 12.5},
        {"\t7", 7}, {"-3.25", -3.25}, {"+4", 4},         {".5", 0.5},    {"5.", 5},
        {".", 0},   {"-.", 0},        {"12ab", 12},      {"1.2.3", 1.2}, {"8.95V", 8.95},
        {"1 2", 1}, {"1E3", 1000},    {"2.5e-2", 0.025}, {"1E+2x", 100}, {"3E", 3},
        {"3Ex", 3}, {"3E-", 3},       {"3E+ 1", 3},      {"0012", 12},   {"1,5", 1},
        {"- 5", 0}, {"--5", 0},       {"1e-400", 0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(LeadingNumber(c.text), c.expected) << '"' << c.text << '"';
    }
    EXPECT_TRUE(std::isinf(LeadingNumber("1e400")));
}

TEST(LeadingNumber, SurvivesAnyBytes) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const double v = LeadingNumber(one);
        EXPECT_EQ(v, (b >= '0' && b <= '9') ? b - '0' : 0) << b;
        all += one;
    }
    EXPECT_EQ(LeadingNumber(all), 0);
    EXPECT_DOUBLE_EQ(LeadingNumber(std::string(5000, '9') + "e-5000"), 1.0)
        << "a long digit run scaled back must still parse";
}

TEST(IntegerField, AcceptsOnlyBlankPaddedDigits) {
    struct Case {
        const char* text;
        bool ok;
        int value;
    };
    const Case cases[] = {
        {"0", true, 0},
        {"4", true, 4},
        {" 57 ", true, 57},
        {"007", true, 7},
        {"", false, 0},
        {"  ", false, 0},
        {"-1", false, 0},
        {"+1", false, 0},
        {"1.0", false, 0},
        {"1 2", false, 0},
        {"x", false, 0},
        {"9a", false, 0},
        {"2147483647", true, 2147483647},
        {"2147483648", false, 0},
        {"99999999999999999999", false, 0},
    };
    for (const Case& c : cases) {
        int value = -77;
        EXPECT_EQ(IntegerField(c.text, value), c.ok) << '"' << c.text << '"';
        EXPECT_EQ(value, c.ok ? c.value : -77) << '"' << c.text << '"';
    }
}

TEST(ParseInteger, SignedNumbersWithinTheirBounds) {
    struct Case {
        const char* text;
        long long lo, hi;
        bool ok;
        long long value;
    };
    const Case cases[] = {
        {"-32768", -32768, 32767, true, -32768},
        {"32767", -32768, 32767, true, 32767},
        {"32768", -32768, 32767, false, 0},
        {"-32769", -32768, 32767, false, 0},
        {" +12\t", -32768, 32767, true, 12},
        {"- 1", -32768, 32767, false, 0},
        {"-", -32768, 32767, false, 0},
        {"12-", -32768, 32767, false, 0},
        {"99999999999999999999", -1, 1, false, 0},
    };
    for (const Case& c : cases) {
        long long value = -77;
        EXPECT_EQ(ParseInteger(c.text, c.lo, c.hi, value), c.ok) << '"' << c.text << '"';
        EXPECT_EQ(value, c.ok ? c.value : -77) << '"' << c.text << '"';
    }
}

TEST(Mid, TakesOneBasedFieldsAndCopesWithShortText) {
    struct Case {
        const char* s;
        int first;
        int last;
        const char* expected;
    };
    const Case cases[] = {
        {"0RD1999", 2, 3, "RD"}, {"abcdef", 1, 1, "a"},
        {"abcdef", 6, 6, "f"},   {"abcdef", 5, 9, "ef"},
        {"abcdef", 7, 9, ""},    {"", 1, 3, ""},
        {"abcdef", 0, 3, ""},    {"abcdef", -2, 3, ""},
        {"abcdef", 4, 3, ""},    {"abcdef", 1, 2147483647, "abcdef"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Mid(c.s, c.first, c.last), c.expected) << c.s << ' ' << c.first << ".." << c.last;
    }
}

TEST(FormatSingle, GeneralFormWithSevenDigits) {
    struct Case {
        float v;
        const char* expected;
    };
    const Case cases[] = {
        {1.3f, "1.3"},       {-6.0f, "-6"},
        {17.0f, "17"},       {1999 / 1000.0f, "1.999"},
        {19.0f, "19"},       {0.0f, "0"},
        {-0.0f, "0"},        {2.5f, "2.5"},
        {1.275f, "1.275"},   {199.9f, "199.9"},
        {0.1f, "0.1"},       {1.25f, "1.25"},
        {9999.0f, "9999"},   {1234567.0f, "1234567"},
        {0.0001f, "0.0001"}, {-0.5f, "-0.5"},
        {1.5e7f, "1.5E+07"}, {1e7f, "1E+07"},
        {1e-5f, "1E-05"},    {-2.5e-6f, "-2.5E-06"},
        {3e20f, "3E+20"},    {1.0f / 3.0f, "0.3333333"},
        {32000.0f, "32000"}, {5.0f / 1000, "0.005"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatSingle(c.v), c.expected) << c.expected;
}

TEST(FormatShortest, DoublesInTheSameForm) {
    struct Case {
        double v;
        const char* expected;
    };
    const Case cases[] = {
        {8.95, "8.95"},
        {2.5, "2.5"},
        {0.0, "0"},
        {-0.0, "0"},
        {15.0, "15"},
        {0.1 + 0.2, "0.3"},
        {12345678.0, "1.234568E+07"},
        {-7.25, "-7.25"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatShortest(c.v), c.expected) << c.expected;
}

TEST(FormatSingle, IgnoresACommaDecimalLocale) {
    const char* chosen = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "German_Germany.1252"}) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            chosen = name;
            break;
        }
    }
    if (chosen == nullptr) GTEST_SKIP() << "no comma-decimal locale installed";
    const std::string single = FormatSingle(1.275f);
    const std::string dbl = FormatShortest(8.95);
    const double parsed = LeadingNumber("2.5");
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(single, "1.275");
    EXPECT_EQ(dbl, "8.95");
    EXPECT_EQ(parsed, 2.5);
}

// The data file writer formats numbers by its own short way; it must give the
// very text of the general seven-digit form for every value.
std::string GeneralSeven(float v) {
    if (v == 0) return "0";
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 7);
    std::string out(buf, res.ptr);
    const auto e = out.find('e');
    if (e != std::string::npos) out[e] = 'E';
    return out;
}

TEST(FormatSingle, TheShortWayMatchesTheGeneralForm) {
    // Every reading value: four raw digits over 1, 10, 100 or 1000.
    for (int raw = 0; raw <= 9999; ++raw) {
        for (float div : {1.0f, 10.0f, 100.0f, 1000.0f}) {
            const float v = static_cast<float>(raw) / div;
            ASSERT_EQ(FormatSingle(v), GeneralSeven(v)) << raw << "/" << div;
            ASSERT_EQ(FormatSingle(-v), GeneralSeven(-v)) << raw << "/" << div;
        }
    }
    // Decade edges and carries.
    for (float v : {1e-4f, 9.99999e-5f, 0.1f, 0.099999994f, 9999999.0f, 9999999.5f, 1234567.5f,
                    0.00012345675f, 999999.94f, 99.999995f, 1e7f, 3.4e38f}) {
        ASSERT_EQ(FormatSingle(v), GeneralSeven(v)) << v;
    }
    // Any bit pattern.
    std::mt19937 rng(8200);
    for (int i = 0; i < 300000; ++i) {
        const std::uint32_t bits = rng();
        float v;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isnan(v) || std::isinf(v)) continue;
        ASSERT_EQ(FormatSingle(v), GeneralSeven(v)) << bits;
    }
}

TEST(PrintableText, ControlAndHighBytesAreEscaped) {
    EXPECT_EQ(PrintableText("RD\r"), "RD\\r");
    EXPECT_EQ(PrintableText(std::string("a\0\n\\\xff\x7f", 6)), "a\\x00\\n\\\\\\xff\\x7f");
    EXPECT_EQ(PrintableText("@RD1999E0G NM 15-"), "@RD1999E0G NM 15-");
}

TEST(SingleLine, LineBreaksBecomeBlanks) {
    EXPECT_EQ(SingleLine("a\r\nb\nc\rd"), "a  b c d");
    EXPECT_EQ(SingleLine("C:\\Data"), "C:\\Data");
    EXPECT_EQ(SingleLine(""), "");
}

}  // namespace
}  // namespace fenwyd
