#include "platform/percent_encoding.h"

#include <array>

namespace clipmoor {

namespace {

constexpr std::array<bool, 128> makeQueryAllowedTable() {
    std::array<bool, 128> table{};
    for (char c = 'a'; c <= 'z'; ++c) table[c] = true;
    for (char c = 'A'; c <= 'Z'; ++c) table[c] = true;
    for (char c = '0'; c <= '9'; ++c) table[c] = true;
    for (char c : std::string_view("-._~!$&'()*+,;=:@/?")) table[c] = true;
    return table;
}
constexpr std::array<bool, 128> kQueryAllowed = makeQueryAllowedTable();

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool isQueryAllowed(char16_t c) {
    return c < 128 && kQueryAllowed[c];
}

QString addingPercentEncodingForQuery(QStringView text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const QByteArray utf8 = text.toUtf8();
    QString out;
    out.reserve(utf8.size());
    for (const char byte : utf8) {
        const auto c = static_cast<unsigned char>(byte);
        if (c < 128 && kQueryAllowed[c]) {
            out.append(QLatin1Char(static_cast<char>(c)));
        } else {
            out.append(QLatin1Char('%'));
            out.append(QLatin1Char(kHex[c >> 4]));
            out.append(QLatin1Char(kHex[c & 0xF]));
        }
    }
    return out;
}

bool isValidUtf8(const char* data, qsizetype size) {
    const auto* s = reinterpret_cast<const unsigned char*>(data);
    qsizetype i = 0;
    while (i < size) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int length;
        char32_t minimum;
        char32_t value;
        if ((c & 0xE0) == 0xC0) {
            length = 2, minimum = 0x80, value = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, minimum = 0x800, value = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, minimum = 0x10000, value = c & 0x07;
        } else {
            return false;
        }
        if (i + length > size) return false;
        for (int k = 1; k < length; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            value = (value << 6) | (s[i + k] & 0x3F);
        }
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

namespace {

// Decodes the %XX escapes of code units that are all below 0x80 (UTF-16 of ASCII text) or
// bytes (UTF-8) in one pass, and reads the result as UTF-8. With `plusAsSpace`, every "+" of
// the result, written or escaped, becomes a space. `nonAscii` is set (and nothing returned)
// when a UTF-16 unit outside ASCII turns up.
template <typename Unit>
std::optional<QString> decodeUnits(const Unit* s, qsizetype size, bool plusAsSpace,
                                   bool* nonAscii = nullptr) {
    QByteArray bytes(size, Qt::Uninitialized);
    char* out = bytes.data();
    unsigned highBits = 0;
    for (qsizetype i = 0; i < size; ++i) {
        unsigned c = s[i];
        if (nonAscii && c >= 0x80) {
            *nonAscii = true;
            return std::nullopt;
        }
        if (c == '%') {
            if (i + 2 >= size) return std::nullopt;  // '%' needs two hex digits after it
            const int high = s[i + 1] < 0x80 ? hexValue(static_cast<char>(s[i + 1])) : -1;
            const int low = s[i + 2] < 0x80 ? hexValue(static_cast<char>(s[i + 2])) : -1;
            if (high < 0 || low < 0) return std::nullopt;
            c = static_cast<unsigned>((high << 4) | low);
            i += 2;
        }
        if (plusAsSpace && c == '+') c = ' ';
        highBits |= c;
        *out++ = static_cast<char>(c);
    }
    bytes.truncate(out - bytes.data());
    if (!(highBits & 0x80)) return QString::fromLatin1(bytes);
    if (!isValidUtf8(bytes.constData(), bytes.size())) return std::nullopt;
    return QString::fromUtf8(bytes);
}

std::optional<QString> decode(QStringView text, bool plusAsSpace) {
    bool nonAscii = false;
    auto decoded = decodeUnits(text.utf16(), text.size(), plusAsSpace, &nonAscii);
    if (!nonAscii) return decoded;
    // Text that is already Unicode: decode its UTF-8 form instead.
    const QByteArray utf8 = text.toUtf8();
    return decodeUnits(reinterpret_cast<const unsigned char*>(utf8.constData()), utf8.size(),
                       plusAsSpace);
}

}  // namespace

std::optional<QString> removingPercentEncoding(QStringView text) {
    return decode(text, false);
}

std::optional<QString> decodingFormValue(QStringView text) {
    return decode(text, true);
}

}  // namespace clipmoor
