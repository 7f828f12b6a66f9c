#include "extractor/vx_youtube_extractor.h"

#include <QLocale>
#include <QUrl>

#include "extractor/site_endpoints.h"
#include "extractor/video_info_answer.h"
#include "platform/http/url_error.h"
#include "platform/http/url_session.h"
#include "platform/http/url_session_data_task.h"
#include "platform/main_queue.h"
#include "platform/percent_encoding.h"

namespace clipmoor {

namespace {

Error extractorError(qint64 code, const QString& reason) {
    return Error::withFailureReason(kVXYouTubeExtractorErrorDomain, code, reason);
}

Error errorStatusError(int status) {
    return Error(kURLErrorDomain, URLError::BadServerResponse,
                 {{kLocalizedDescriptionKey,
                   QStringLiteral("The site answered with the error status %1.").arg(status)},
                  {kHTTPStatusCodeErrorKey, status}});
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
        const auto itag = stream.constFind("itag");
        if (itag != stream.constEnd() && isOfferedItag(*itag)) filtered.insert(*itag, stream);
    }
    return filtered;
}

std::pair<std::optional<StreamMap>, std::optional<Error>> VXYouTubeExtractor::parseVideoInfoAnswer(
    const QByteArray& body, const QString& identifier) {
    return clipmoor::parseVideoInfoAnswer(body, identifier);
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
                 const QByteArray& body, const std::optional<UrlResponse>& response,
                 const std::optional<Error>& transportError) {
            // Runs on the shared session's callback thread. An error page is no answer, whatever
            // its body says: it fails the lookup as a transport error does.
            std::optional<Error> failure = transportError;
            if (!failure && response && response->statusCode >= 400)
                failure = errorStatusError(response->statusCode);
            if (failure) {
                dispatchToMain([completion, error = *failure] { completion(std::nullopt, error); });
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
