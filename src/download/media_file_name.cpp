#include "download/media_file_name.h"

#include <QChar>
#include <QTextBoundaryFinder>

namespace clipmoor {

namespace {

qsizetype utf8Length(const QString& text) {
    return text.toUtf8().size();
}

// The longest prefix of `text` that ends on a grapheme boundary and takes at most `bytes`.
QString prefixWithinBytes(const QString& text, qsizetype bytes) {
    if (bytes <= 0) return {};
    if (utf8Length(text) <= bytes) return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype best = 0;
    qsizetype used = 0;
    qsizetype previous = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype boundary = finder.position();
        used += utf8Length(text.mid(previous, boundary - previous));
        if (used > bytes) break;
        best = boundary;
        previous = boundary;
    }
    return text.left(best);
}

}  // namespace

QString replacingUnsafeFileNameCharacters(const QString& text) {
    QString result = text;
    for (QChar& c : result) {
        const char16_t u = c.unicode();
        if (u == u'/' || u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0)) c = QLatin1Char('-');
    }
    return result;
}

QString mediaFileNameForTitle(const QString& title, const QString& suffix,
                              const QString& extension) {
    const QString cleanTitle = replacingUnsafeFileNameCharacters(title);
    const QString cleanSuffix = replacingUnsafeFileNameCharacters(suffix);
    const qsizetype room = kMaximumFileNameBytes - 1 - utf8Length(extension);
    const qsizetype titleRoom = room - utf8Length(cleanSuffix);
    // A suffix that alone leaves no room is shortened with everything else.
    if (titleRoom < 0) return prefixWithinBytes(cleanTitle + cleanSuffix, room);
    return prefixWithinBytes(cleanTitle, titleRoom) + cleanSuffix;
}

QString cleanedMediaFileName(const QString& fileName, const QString& extension) {
    const QString clean = replacingUnsafeFileNameCharacters(fileName);
    if (utf8Length(clean) + 1 + utf8Length(extension) <= kMaximumFileNameBytes) return clean;
    qsizetype split = clean.size();
    if (clean.endsWith(QLatin1Char(')'))) {
        const qsizetype open = clean.lastIndexOf(QLatin1Char('('));
        if (open > 0) split = open;
    }
    return mediaFileNameForTitle(clean.left(split), clean.mid(split), extension);
}

}  // namespace clipmoor
