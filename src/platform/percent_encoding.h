#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

namespace clipmoor {

// Characters a URL query may hold as they are: letters, digits and -._~!$&'()*+,;=:@/?
bool isQueryAllowed(char16_t c);

// Percent-encodes every character outside the query-allowed set as its UTF-8 bytes in %XX
// form (upper-case hexadecimal).
QString addingPercentEncodingForQuery(QStringView text);

// Decodes %XX escapes into bytes and reads the result as UTF-8. A malformed escape or bytes
// that are not valid UTF-8 give no value.
std::optional<QString> removingPercentEncoding(QStringView text);
// The same for a value of form-encoded text: after decoding, every "+" becomes a space.
std::optional<QString> decodingFormValue(QStringView text);

// Strict UTF-8 check: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(const char* data, qsizetype size);

}  // namespace clipmoor
