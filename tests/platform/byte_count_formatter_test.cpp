// File-style byte counts: decimal units, the precision of each unit, the locale's separator.
#include <gtest/gtest.h>

#include <limits>

#include "platform/byte_count_formatter.h"

namespace clipmoor::test {
namespace {

TEST(ByteCountFormatterTest, RendersDecimalUnitsWithEachUnitsPrecision) {
    struct Case {
        qint64 bytes;
        const char* english;
        const char* german;
    };
    const Case cases[] = {
        {-5, "0 bytes", "0 bytes"},
        {0, "0 bytes", "0 bytes"},
        {1, "1 byte", "1 byte"},
        {999, "999 bytes", "999 bytes"},
        {1000, "1 KB", "1 KB"},
        {5000, "5 KB", "5 KB"},
        {10000, "10 KB", "10 KB"},
        {2500, "3 KB", "3 KB"},  // halves round up
        {999499, "999 KB", "999 KB"},
        {999999, "1 MB", "1 MB"},  // rounding reaches the next unit
        {1500000, "1.5 MB", "1,5 MB"},
        {2000000, "2 MB", "2 MB"},
        {2250000000, "2.25 GB", "2,25 GB"},
        {2200000000, "2.2 GB", "2,2 GB"},
        {2050000000, "2.05 GB", "2,05 GB"},
        {3000000000000, "3 TB", "3 TB"},
        {std::numeric_limits<qint64>::max(), "9.22 EB", "9,22 EB"},
    };
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    for (const Case& c : cases) {
        EXPECT_EQ(stringFromByteCount(c.bytes, english), c.english) << c.bytes;
        EXPECT_EQ(stringFromByteCount(c.bytes, german), c.german) << c.bytes;
    }
    // A locale with digits of its own writes them, also in the padded fraction.
    EXPECT_EQ(stringFromByteCount(2050000000, QLocale(QLocale::Arabic, QLocale::Egypt)),
              QString::fromUtf8("٢٫٠٥ GB"));
}

}  // namespace
}  // namespace clipmoor::test
