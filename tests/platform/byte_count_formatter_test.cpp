// File-style byte counts: decimal units, the precision of each unit, the locale's separator.
#include <gtest/gtest.h>

#include <limits>

#include "platform/byte_count_formatter.h"

namespace clipmoor::test {
namespace {

TEST(ByteCountFormatterTest, RendersDecimalUnitsWithEachUnitsPrecision) {
    const struct {
        qint64 bytes;
        const char* english;
    } cases[] = {
        {-5, "0 bytes"},         {1, "1 byte"},
        {999, "999 bytes"},      {1000, "1 KB"},
        {2500, "3 KB"},                             // halves round up
        {999499, "999 KB"},      {999999, "1 MB"},  // rounding reaches the next unit
        {1500000, "1.5 MB"},     {2000000, "2 MB"},
        {2250000000, "2.25 GB"}, {2050000000, "2.05 GB"},
        {3000000000000, "3 TB"}, {std::numeric_limits<qint64>::max(), "9.22 EB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(stringFromByteCount(c.bytes, QLocale(QLocale::English)), c.english) << c.bytes;
    // The locale's separator, and its own digits where it has them, also in the padded fraction.
    EXPECT_EQ(stringFromByteCount(2200000000, QLocale(QLocale::German)), "2,2 GB");
    EXPECT_EQ(stringFromByteCount(2050000000, QLocale(QLocale::Arabic, QLocale::Egypt)),
              QString::fromUtf8("٢٫٠٥ GB"));
}

}  // namespace
}  // namespace clipmoor::test
