#pragma once

#include <QLocale>
#include <QString>

namespace clipmoor {

// A byte count as file sizes are shown: decimal units (1 KB = 1,000 bytes) with the precision
// that suits each unit -- none for bytes and KB, one decimal for MB, two from GB on -- trailing
// zeros dropped and the locale's decimal separator: "0 bytes", "1 byte", "5 KB", "1.5 MB",
// "2.25 GB". A negative count renders as "0 bytes". Any thread.
QString stringFromByteCount(qint64 byteCount, const QLocale& locale);

// The same with the user's locale, taken once at the first call so that rendering the counts of
// many records costs no locale look-up.
QString stringFromByteCount(qint64 byteCount);

}  // namespace clipmoor
