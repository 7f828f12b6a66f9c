#include "platform/byte_count_formatter.h"

#include <array>
#include <cmath>

namespace clipmoor {

namespace {

struct Unit {
    const char* name;
    int decimals;
};

// KB and up; a qint64 ends in the exabytes.
constexpr std::array<Unit, 6> kUnits{{
    {"KB", 0},
    {"MB", 1},
    {"GB", 2},
    {"TB", 2},
    {"PB", 2},
    {"EB", 2},
}};

// `value` as the text it rounds to with `decimals` digits would read.
double roundedTo(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

}  // namespace

QString stringFromByteCount(qint64 byteCount, const QLocale& locale) {
    if (byteCount <= 0) return QStringLiteral("0 bytes");
    if (byteCount == 1) return locale.toString(1) + QStringLiteral(" byte");
    if (byteCount < 1000) return locale.toString(byteCount) + QStringLiteral(" bytes");

    std::size_t unit = 0;
    qint64 scale = 1000;
    while (unit + 1 < kUnits.size() && byteCount / scale >= 1000) {
        scale *= 1000;
        ++unit;
    }
    double value = double(byteCount) / double(scale);
    // Rounding may reach the next unit: 999,999 bytes read "1 MB", not "1000 KB".
    if (unit + 1 < kUnits.size() && roundedTo(value, kUnits[unit].decimals) >= 1000.0) {
        value /= 1000.0;
        ++unit;
    }
    const int decimals = kUnits[unit].decimals;
    QString number = locale.toString(value, 'f', decimals);
    if (decimals > 0) {
        const QString zero = locale.zeroDigit();
        while (number.endsWith(zero)) number.chop(zero.size());
        const QString point = locale.decimalPoint();
        if (number.endsWith(point)) number.chop(point.size());
    }
    return number + QLatin1Char(' ') + QLatin1String(kUnits[unit].name);
}

QString stringFromByteCount(qint64 byteCount) {
    static const QLocale userLocale;
    return stringFromByteCount(byteCount, userLocale);
}

}  // namespace clipmoor
