#include "extractor/form_parser.h"

#include "platform/percent_encoding.h"

namespace clipmoor {

QHash<QString, QString> dictionaryFromQueryString(QStringView text) {
    QHash<QString, QString> result;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'&', start);
        if (end < 0) end = text.size();
        const QStringView pair = text.mid(start, end - start);
        start = end + 1;

        const qsizetype equals = pair.indexOf(u'=');
        if (equals < 0 || pair.indexOf(u'=', equals + 1) >= 0) continue;  // not exactly two parts
        const QString key = pair.left(equals).toString();
        if (std::optional<QString> value = decodingFormValue(pair.mid(equals + 1))) {
            result.insert(key, std::move(*value));
        } else {
            result.remove(key);
        }
    }
    return result;
}

}  // namespace clipmoor
