#include "platform/byte_count_formatter.h"

#include <array>

namespace clipmoor {

namespace {

struct Unit {
    const char* name;
    qint64 size;     // bytes in one unit
    int decimals;    // digits shown after the separator, at most
    qint64 quantum;  // bytes in the last digit shown: size / 10^decimals
};

// KB and up; a qint64 ends in the exabytes.
constexpr std::array<Unit, 6> kUnits{{
    {"KB", 1'000LL, 0, 1'000LL},
    {"MB", 1'000'000LL, 1, 100'000LL},
    {"GB", 1'000'000'000LL, 2, 10'000'000LL},
    {"TB", 1'000'000'000'000LL, 2, 10'000'000'000LL},
    {"PB", 1'000'000'000'000'000LL, 2, 10'000'000'000'000LL},
    {"EB", 1'000'000'000'000'000'000LL, 2, 10'000'000'000'000'000LL},
}};

// The count in quanta of `unit`, rounded half up, in integers (exact, never overflows).
qint64 roundedQuanta(qint64 byteCount, const Unit& unit) {
    const qint64 rest = byteCount % unit.quantum;
    const bool roundUp = rest >= unit.quantum - rest;  // rest >= quantum / 2
    return byteCount / unit.quantum + (roundUp ? 1 : 0);
}

// What rendering needs of a locale, looked up once.
struct Digits {
    explicit Digits(const QLocale& locale)
        : locale(locale),
          point(locale.decimalPoint()),
          zero(locale.zeroDigit()),
          ascii(zero == QLatin1String("0")) {}

    QString number(qint64 value) const {
        return ascii ? QString::number(value) : locale.toString(value);
    }

    QLocale locale;
    QString point;
    QString zero;
    bool ascii;
};

QString render(qint64 byteCount, const Digits& digits) {
    if (byteCount <= 0) return QStringLiteral("0 bytes");
    if (byteCount == 1) return digits.number(1) + QStringLiteral(" byte");
    if (byteCount < 1000) return digits.number(byteCount) + QStringLiteral(" bytes");

    std::size_t index = 0;
    while (index + 1 < kUnits.size() && byteCount / kUnits[index + 1].size > 0) ++index;
    qint64 quanta = roundedQuanta(byteCount, kUnits[index]);
    int decimals = kUnits[index].decimals;
    qint64 scale = kUnits[index].size / kUnits[index].quantum;  // 10^decimals
    // Rounding may reach the next unit: 999,999 bytes read "1 MB", not "1000 KB".
    if (index + 1 < kUnits.size() && quanta >= 1000 * scale) {
        ++index;
        quanta = roundedQuanta(byteCount, kUnits[index]);
        decimals = kUnits[index].decimals;
        scale = kUnits[index].size / kUnits[index].quantum;
    }
    while (decimals > 0 && quanta % 10 == 0) {  // trailing zeros are dropped
        quanta /= 10;
        scale /= 10;
        --decimals;
    }
    QString text = digits.number(quanta / scale);
    if (decimals > 0) {
        const QString fraction = digits.number(quanta % scale);
        text += digits.point;
        for (qsizetype pad = decimals - fraction.size() / digits.zero.size(); pad > 0; --pad)
            text += digits.zero;
        text += fraction;
    }
    return text + QLatin1Char(' ') + QLatin1String(kUnits[index].name);
}

}  // namespace

QString stringFromByteCount(qint64 byteCount, const QLocale& locale) {
    return render(byteCount, Digits(locale));
}

QString stringFromByteCount(qint64 byteCount) {
    static const Digits userDigits{QLocale()};
    return render(byteCount, userDigits);
}

}  // namespace clipmoor
