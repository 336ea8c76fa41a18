#include "base/number_text.h"
#include "trigfile/leading_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

struct Case {
    std::string text;
    double expected;
    friend void PrintTo(const Case& c, std::ostream* os) {
        *os << "\"" << base::printableBytes(c.text) << "\"";
    }
};

class LeadingNumber : public testing::TestWithParam<Case> {};

TEST_P(LeadingNumber, ReadsTheLeadingNumber) {
    const Case& c = GetParam();
    const double got = trigfile::leadingNumber(c.text);
    if (std::isinf(c.expected)) {
        EXPECT_EQ(got, c.expected) << "text \"" << base::printableBytes(c.text) << "\"";
    } else {
        EXPECT_DOUBLE_EQ(got, c.expected) << "text \"" << base::printableBytes(c.text) << "\"";
    }
}

const double inf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(Examples, LeadingNumber,
                         testing::Values(Case{"", 0}, Case{"12abc", 12}, Case{"1 2", 12},
                                         Case{"2.5", 2.5}, Case{"1e3", 1000}, Case{"abc", 0},
                                         Case{"230", 230}, Case{"-5", -5}, Case{"+7", 7}));

INSTANTIATE_TEST_SUITE_P(IgnoredCharacters, LeadingNumber,
                         testing::Values(Case{" \t 4\n2 ", 42}, Case{"12\r\n", 12}, Case{"1\r2", 1},
                                         Case{"- 5", -5}, Case{"1 e 3", 1000}, Case{"\n\n", 0},
                                         Case{std::string("7\0"
                                                          "8",
                                                          3),
                                              7}));

INSTANTIATE_TEST_SUITE_P(
    DecimalForms, LeadingNumber,
    testing::Values(Case{".5", 0.5}, Case{"5.", 5}, Case{"-.25", -0.25}, Case{"1.5e2", 150},
                    Case{"1.5D2", 150}, Case{"2d-1", 0.2}, Case{"1E+2", 100}, Case{"1e", 1},
                    Case{"1e+", 1}, Case{"1e-", 1}, Case{"3ex", 3}, Case{"--5", 0}, Case{"+-5", 0},
                    Case{"+.e3", 0}, Case{".", 0}, Case{"-", 0}, Case{"1.2.3", 1.2},
                    Case{"0012", 12}, Case{"1,000", 1},
                    Case{"\xD9\xA1\xD9\xA2", 0}, // Arabic-Indic digits are not digits here
                    Case{"\xEF\xBC\x91\xEF\xBC\x92", 0})); // nor are full-width ones

INSTANTIATE_TEST_SUITE_P(
    RadixPrefixes, LeadingNumber,
    testing::Values(Case{"&H10", 16}, Case{"&hff", 255}, Case{"&HFFFFFFF", 268435455},
                    Case{"&HFFFFFFFF", 4294967295.0}, Case{"&O17", 15}, Case{"&o7777777", 2097151},
                    Case{"&H", 0}, Case{"&O", 0}, Case{"&O8", 0}, Case{"&H1G", 1},
                    Case{"& H 2 0", 32}, Case{"&X5", 0}, Case{"-&H5", 0},
                    // Too long for 64 bits: no wrap-around into a small number.
                    Case{"&H10000000000000000", 18446744073709551616.0},
                    Case{"&O2000000000000000000000", 18446744073709551616.0},
                    Case{"&H" + std::string(300, 'F'), inf}));

INSTANTIATE_TEST_SUITE_P(HugeAndTinyExponents, LeadingNumber,
                         testing::Values(Case{"1e999", inf}, Case{"-1e999", -inf},
                                         Case{"1e308", 1e308}, Case{"1e-999", 0},
                                         Case{"0e99999", 0}, Case{"0.0001e310", 1e306},
                                         Case{"1000e-310", 1e-307},
                                         Case{"9e99999999999999999999999", inf},
                                         Case{std::string(400, '9'), inf}));

TEST(LeadingNumberSign, NegativeZeroStaysAZero) {
    EXPECT_EQ(trigfile::leadingNumber("-0"), 0.0);
    EXPECT_EQ(trigfile::leadingNumber("-1e-999"), 0.0);
}

} // namespace
