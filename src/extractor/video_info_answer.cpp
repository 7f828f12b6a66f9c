#include "extractor/video_info_answer.h"

#include <limits>

#include "extractor/form_parser.h"
#include "extractor/vx_youtube_extractor.h"
#include "platform/percent_encoding.h"

namespace clipmoor {

namespace {

// Keys such as "018" or "18abc" read as an offered number and are kept under their own text,
// but no real answer has them; a hostile one could name a million. Past this many, further
// such keys are dropped (the exact numbers "18", "22", "36" and "140" always have room).
constexpr qsizetype kMaximumOddItagKeys = 16;

// The answer's keys that the lookup reads; every other key is skipped without decoding it.
struct AnswerFields {
    std::optional<QString> status;
    std::optional<QString> reason;
    std::optional<QString> title;
    std::optional<QString> author;
    std::optional<QString> mainStreams;      // "url_encoded_fmt_stream_map"
    std::optional<QString> adaptiveStreams;  // "adaptive_fmts"

    std::optional<QString>* field(QStringView key) {
        if (key == u"status") return &status;
        if (key == u"reason") return &reason;
        if (key == u"title") return &title;
        if (key == u"author") return &author;
        if (key == u"url_encoded_fmt_stream_map") return &mainStreams;
        if (key == u"adaptive_fmts") return &adaptiveStreams;
        return nullptr;
    }
};

// The same values dictionaryFromQueryString would give for these keys: the last pair wins,
// and a value that cannot be decoded removes the key.
AnswerFields readAnswerFields(const QByteArray& body) {
    const QString text = QString::fromLatin1(body);
    AnswerFields fields;
    forEachFormPair(text, [&fields](QStringView key, QStringView value) {
        if (std::optional<QString>* field = fields.field(key)) *field = decodingFormValue(value);
    });
    return fields;
}

bool isExactOfferedItag(QStringView itag) {
    return itag == u"18" || itag == u"22" || itag == u"36" || itag == u"140";
}

// The entry's "itag" when it is offered, as the entry's dictionary would hold it; none
// otherwise. Only the last "itag" pair counts: it replaces or, if undecodable, removes the
// earlier ones.
std::optional<QString> offeredItagOf(QStringView entry) {
    std::optional<QStringView> encoded;
    forEachFormPair(entry, [&encoded](QStringView key, QStringView value) {
        if (key == u"itag") encoded = value;
    });
    if (!encoded) return std::nullopt;
    // Without "%" or "+" the value decodes to itself: look before copying anything.
    if (!encoded->contains(u'%') && !encoded->contains(u'+'))
        return isOfferedItag(*encoded) ? std::optional<QString>(encoded->toString()) : std::nullopt;
    std::optional<QString> decoded = decodingFormValue(*encoded);
    if (!decoded || !isOfferedItag(*decoded)) return std::nullopt;
    return decoded;
}

// Picks, for every offered itag, the last entry that carries it. The views point into the
// stream-map texts, which must outlive the result.
class StreamEntryChoice {
public:
    void consider(const std::optional<QString>& streamMap) {
        if (!streamMap) return;  // no key: no entries
        const QStringView entries(*streamMap);
        qsizetype start = 0;
        while (start <= entries.size()) {
            qsizetype end = entries.indexOf(u',', start);
            if (end < 0) end = entries.size();
            considerEntry(entries.mid(start, end - start));
            start = end + 1;
        }
    }

    const QHash<QString, QStringView>& chosen() const { return chosen_; }

private:
    void considerEntry(QStringView entry) {
        std::optional<QString> itag = offeredItagOf(entry);
        if (!itag) return;  // not offered, or nothing to key it by
        const auto existing = chosen_.find(*itag);
        if (existing != chosen_.end()) {
            *existing = entry;  // a later entry replaces an earlier one
        } else if (isExactOfferedItag(*itag)) {
            chosen_.insert(std::move(*itag), entry);
        } else if (oddKeys_ < kMaximumOddItagKeys) {
            ++oddKeys_;
            chosen_.insert(std::move(*itag), entry);
        }
    }

    QHash<QString, QStringView> chosen_;
    qsizetype oddKeys_ = 0;
};

Error extractorError(qint64 code, const QString& reason) {
    return Error::withFailureReason(kVXYouTubeExtractorErrorDomain, code, reason);
}

bool isAscii(const QByteArray& bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) > 0x7F) return false;
    return true;
}

}  // namespace

qint64 integerValue(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    qint64 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        if (value > (std::numeric_limits<qint64>::max() - 9) / 10) break;  // saturate
        value = value * 10 + (text[i].unicode() - u'0');
    }
    return negative ? -value : value;
}

bool isOfferedItag(QStringView itag) {
    switch (integerValue(itag)) {
        case 18:
        case 22:
        case 36:
        case 140:
            return true;
        default:
            return false;
    }
}

std::pair<std::optional<StreamMap>, std::optional<Error>> parseVideoInfoAnswer(
    const QByteArray& body, const QString& identifier) {
    if (!isAscii(body)) {
        return {std::nullopt, extractorError(VXYouTubeExtractorError::UnreadableAnswer,
                                             "The site's answer is not plain text.")};
    }
    const AnswerFields answer = readAnswerFields(body);
    if (answer.status && *answer.status == QLatin1String("fail")) {
        return {std::nullopt,
                extractorError(VXYouTubeExtractorError::Refused,
                               answer.reason.value_or(QStringLiteral("The site gave no reason.")))};
    }

    // The adaptive entries come after the main ones, so they win for the same itag.
    StreamEntryChoice choice;
    choice.consider(answer.mainStreams);
    choice.consider(answer.adaptiveStreams);

    StreamMap streams;
    for (auto chosen = choice.chosen().cbegin(); chosen != choice.chosen().cend(); ++chosen) {
        StreamDictionary stream = dictionaryFromQueryString(chosen.value());
        if (answer.title)
            stream.insert("title", *answer.title);
        else
            stream.remove("title");
        if (answer.author)
            stream.insert("author", *answer.author);
        else
            stream.remove("author");
        stream.insert("id", identifier);
        streams.insert(chosen.key(), std::move(stream));
    }
    return {std::move(streams), std::nullopt};
}

}  // namespace clipmoor
