#include "extractor/vx_youtube_extractor.h"

#include <QLocale>
#include <QUrl>

#include "extractor/form_parser.h"
#include "extractor/site_endpoints.h"
#include "platform/http/url_session.h"
#include "platform/http/url_session_data_task.h"
#include "platform/main_queue.h"
#include "platform/percent_encoding.h"

namespace clipmoor {

namespace {

Error extractorError(qint64 code, const QString& reason) {
    return Error::withFailureReason(kVXYouTubeExtractorErrorDomain, code, reason);
}

// The leading decimal number of a text, as a platform integerValue reads it: optional white
// space and sign, then digits; 0 when there are none.
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

bool isAscii(const QByteArray& bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) > 0x7F) return false;
    return true;
}

QStringList streamEntries(const QHash<QString, QString>& answer, const QString& key) {
    const auto found = answer.constFind(key);
    return found == answer.constEnd() ? QStringList() : found->split(u',');
}

}  // namespace

VXYouTubeExtractor& VXYouTubeExtractor::sharedInstance() {
    static VXYouTubeExtractor* extractor = new VXYouTubeExtractor();  // lives for the process
    return *extractor;
}

QString VXYouTubeExtractor::hostLanguageCode() {
    static const QString code = [] {
        const QStringList languages = QLocale::system().uiLanguages();
        if (languages.isEmpty()) return QStringLiteral("en");
        QString first = languages.first();
        first.replace(u'_', u'-');
        if (first.isEmpty() || first == u"C" || first == u"POSIX") return QStringLiteral("en");
        return first;
    }();
    return code;
}

QList<QPair<QString, QString>> VXYouTubeExtractor::requestParameters(quint64 attemptType,
                                                                     const QString& identifier) {
    QList<QPair<QString, QString>> parameters;
    switch (attemptType) {
        case 0:
            parameters.append(QPair<QString, QString>("el", "embedded"));
            break;
        case 1:
            parameters.append(QPair<QString, QString>("el", "detailpage"));
            break;
        case 2:
            parameters.append(QPair<QString, QString>("el", "vevo"));
            break;
        case 3:
            parameters.append(QPair<QString, QString>("el", ""));
            break;
        default:
            break;  // 5 and above send no "el"
    }
    parameters.append(QPair<QString, QString>("video_id", identifier));
    parameters.append(QPair<QString, QString>("ps", "default"));
    parameters.append(QPair<QString, QString>("eurl", ""));
    parameters.append(QPair<QString, QString>("gl", "US"));
    parameters.append(QPair<QString, QString>("hl", hostLanguageCode()));
    return parameters;
}

QString VXYouTubeExtractor::urlEscapeString(const QString& string) {
    return addingPercentEncodingForQuery(string);
}

QString VXYouTubeExtractor::addQueryStringToUrlString(
    const QString& urlString, const QList<QPair<QString, QString>>& parameters) {
    QString result = urlString;
    for (const auto& [key, value] : parameters) {
        result += result.contains(u'?') ? u'&' : u'?';
        result += urlEscapeString(key) + u'=' + urlEscapeString(value);
    }
    return result;
}

QVariantList VXYouTubeExtractor::preferredVideoQualities() {
    return {22, 18, 36};
}

StreamMap VXYouTubeExtractor::filterVideoListToMP4Only(const StreamMap& videos) {
    StreamMap filtered;
    for (const StreamDictionary& stream : videos) {
        switch (integerValue(stream.value("itag"))) {
            case 18:
            case 22:
            case 36:
            case 140:
                filtered.insert(stream.value("itag"), stream);
                break;
            default:
                break;
        }
    }
    return filtered;
}

std::pair<std::optional<StreamMap>, std::optional<Error>> VXYouTubeExtractor::parseVideoInfoAnswer(
    const QByteArray& body, const QString& identifier) {
    if (!isAscii(body)) {
        return {std::nullopt, extractorError(VXYouTubeExtractorError::UnreadableAnswer,
                                             "The site's answer is not plain text.")};
    }
    const QHash<QString, QString> answer = dictionaryFromQueryString(QString::fromLatin1(body));
    QStringList entries = streamEntries(answer, "url_encoded_fmt_stream_map");

    if (answer.value("status") == u"fail") {
        const auto reason = answer.constFind("reason");
        return {std::nullopt, extractorError(VXYouTubeExtractorError::Refused,
                                             reason != answer.constEnd()
                                                 ? *reason
                                                 : QStringLiteral("The site gave no reason."))};
    }

    const auto title = answer.constFind("title");
    const auto author = answer.constFind("author");
    entries += streamEntries(answer, "adaptive_fmts");

    StreamMap streams;
    for (const QString& entry : entries) {
        StreamDictionary stream = dictionaryFromQueryString(entry);
        const auto itag = stream.constFind("itag");
        if (itag == stream.constEnd()) continue;  // nothing to key it by
        const QString key = *itag;
        if (title != answer.constEnd())
            stream.insert("title", *title);
        else
            stream.remove("title");
        if (author != answer.constEnd())
            stream.insert("author", *author);
        else
            stream.remove("author");
        stream.insert("id", identifier);
        streams.insert(key, std::move(stream));
    }
    return {filterVideoListToMP4Only(streams), std::nullopt};
}

void VXYouTubeExtractor::extractVideoForIdentifier(const std::optional<QString>& identifier,
                                                   Completion completion) {
    if (!identifier || identifier->isEmpty()) {
        completion(std::nullopt, extractorError(VXYouTubeExtractorError::InvalidIdentifier,
                                                "Invalid or missing YouTube video identifier"));
        return;
    }
    if (attemptType_.load() == 4) {
        const Error error = extractorError(VXYouTubeExtractorError::NoPlayableContent,
                                           "Unable to find playable content");
        dispatchToMain(
            [completion = std::move(completion), error] { completion(std::nullopt, error); });
        attemptType_.store(1);
        return;
    }

    const QString address = addQueryStringToUrlString(
        SiteEndpoints::videoInfoBaseAddress(), requestParameters(attemptType_.load(), *identifier));
    const QUrl url = QUrl::fromEncoded(address.toLatin1());
    auto task = UrlSession::sharedSession()->dataTask(
        url, [this, completion = std::move(completion), identifier = *identifier](
                 const QByteArray& body, const std::optional<UrlResponse>&,
                 const std::optional<Error>& transportError) {
            // Runs on the shared session's callback thread.
            if (transportError) {
                dispatchToMain(
                    [completion, error = *transportError] { completion(std::nullopt, error); });
                attemptType_.store(0);
                return;
            }
            auto [videos, error] = parseVideoInfoAnswer(body, identifier);
            dispatchToMain([completion, videos = std::move(videos), error = std::move(error)] {
                completion(videos, error);
            });
        });
    task->resume();
}

}  // namespace clipmoor
