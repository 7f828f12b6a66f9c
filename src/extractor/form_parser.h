#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

namespace clipmoor {

// Calls `visit(key, encodedValue)` for every pair of form-encoded text ("k=v&k2=v2") that has
// exactly one "=", in order. Nothing is copied or decoded: the views point into `text`.
template <typename Visitor>
void forEachFormPair(QStringView text, Visitor&& visit) {
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'&', start);
        if (end < 0) end = text.size();
        const QStringView pair = text.mid(start, end - start);
        start = end + 1;
        const qsizetype equals = pair.indexOf(u'=');
        if (equals < 0 || pair.indexOf(u'=', equals + 1) >= 0) continue;  // not exactly two parts
        visit(pair.left(equals), pair.mid(equals + 1));
    }
}

// Parses form-encoded text ("k=v&k2=v2"). A pair without exactly one "=" is skipped. Keys are
// kept as written; values are percent-decoded as UTF-8 and then "+" becomes a space. A value
// that cannot be decoded removes its key, including an earlier value of the same key.
QHash<QString, QString> dictionaryFromQueryString(QStringView text);

}  // namespace clipmoor
