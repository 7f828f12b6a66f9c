#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

namespace clipmoor {

// Parses form-encoded text ("k=v&k2=v2"). A pair without exactly one "=" is skipped. Keys are
// kept as written; values are percent-decoded as UTF-8 and then "+" becomes a space. A value
// that cannot be decoded removes its key, including an earlier value of the same key.
QHash<QString, QString> dictionaryFromQueryString(QStringView text);

}  // namespace clipmoor
