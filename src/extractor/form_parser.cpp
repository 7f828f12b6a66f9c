#include "extractor/form_parser.h"

#include "platform/percent_encoding.h"

namespace clipmoor {

QHash<QString, QString> dictionaryFromQueryString(QStringView text) {
    QHash<QString, QString> result;
    forEachFormPair(text, [&result](QStringView key, QStringView encodedValue) {
        if (std::optional<QString> value = decodingFormValue(encodedValue)) {
            result.insert(key.toString(), std::move(*value));
        } else {
            result.remove(key.toString());
        }
    });
    return result;
}

}  // namespace clipmoor
