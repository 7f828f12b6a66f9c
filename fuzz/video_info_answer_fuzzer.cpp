// The information answer and its stream maps, checked against a plain reading of the same
// rules: every entry becomes a dictionary, a later one replaces an earlier one of the same
// "itag", and the filter keeps the offered ones. The parser must agree with it, except that it
// keeps only a bounded number of keys that merely read as an offered number.
#include <QByteArray>
#include <QStringList>

#include <cstdlib>

#include "extractor/form_parser.h"
#include "extractor/video_info_answer.h"
#include "extractor/vx_youtube_extractor.h"
#include "fuzz_check.h"

namespace {

using namespace clipmoor;

bool isExactOfferedItag(const QString& itag) {
    return itag == u"18" || itag == u"22" || itag == u"36" || itag == u"140";
}

// The answer as the plain rules read it; none for the refusal (its reason in `refusal`).
std::optional<StreamMap> referenceParse(const QByteArray& body, QString* refusal) {
    const QHash<QString, QString> answer = dictionaryFromQueryString(QString::fromLatin1(body));
    if (answer.value("status") == QLatin1String("fail")) {
        *refusal = answer.value("reason", QStringLiteral("The site gave no reason."));
        return std::nullopt;
    }
    QStringList entries;
    for (const char* key : {"url_encoded_fmt_stream_map", "adaptive_fmts"})
        if (answer.contains(key)) entries += answer.value(key).split(u',');
    StreamMap streams;
    for (const QString& entry : entries) {
        StreamDictionary stream = dictionaryFromQueryString(entry);
        if (!stream.contains("itag")) continue;
        for (const char* key : {"title", "author"}) {
            if (answer.contains(key))
                stream.insert(key, answer.value(key));
            else
                stream.remove(key);
        }
        stream.insert("id", "fuzz");
        const QString itag = stream.value("itag");
        streams.insert(itag, stream);
    }
    return VXYouTubeExtractor::filterVideoListToMP4Only(streams);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto [videos, error] = VXYouTubeExtractor::parseVideoInfoAnswer(body, "fuzz");
    FUZZ_CHECK(videos.has_value() != error.has_value());

    bool ascii = true;
    for (const char c : body) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (!ascii) {
        FUZZ_CHECK(error && error->code() == VXYouTubeExtractorError::UnreadableAnswer);
        return 0;
    }

    QString refusal;
    const std::optional<StreamMap> expected = referenceParse(body, &refusal);
    if (!expected) {
        FUZZ_CHECK(error && error->code() == VXYouTubeExtractorError::Refused);
        FUZZ_CHECK(error->failureReason() == refusal);
        return 0;
    }
    FUZZ_CHECK(videos);

    qsizetype oddKeys = 0;
    for (auto it = expected->cbegin(); it != expected->cend(); ++it)
        if (!isExactOfferedItag(it.key())) ++oddKeys;
    if (oddKeys <= 16) {
        FUZZ_CHECK(*videos == *expected);
        return 0;
    }
    // Past the bound: what is kept is right, and no exact offered stream is missing.
    for (auto it = videos->cbegin(); it != videos->cend(); ++it)
        FUZZ_CHECK(expected->value(it.key()) == it.value());
    for (auto it = expected->cbegin(); it != expected->cend(); ++it)
        if (isExactOfferedItag(it.key())) FUZZ_CHECK(videos->contains(it.key()));
    return 0;
}
