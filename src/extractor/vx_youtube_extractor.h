#pragma once

#include <QString>
#include <QVariantList>

#include <atomic>
#include <functional>
#include <optional>

#include "extractor/stream_dictionary.h"
#include "platform/error.h"

namespace clipmoor {

inline constexpr const char* kVXYouTubeExtractorErrorDomain = "com.halvenmoor.vxyoutubeextractor";

// Error codes of kVXYouTubeExtractorErrorDomain.
namespace VXYouTubeExtractorError {
enum : qint64 {
    InvalidIdentifier = 400,  // the identifier is absent or empty
    NoPlayableContent = 404,  // no request variant is left (attemptType 4)
    Refused = 150,            // the site answered "status" = "fail"
    UnreadableAnswer = 422,   // the answer is not ASCII text
};
}

// Turns a video identifier into the video's downloadable streams by asking the site's
// information endpoint.
class VXYouTubeExtractor {
public:
    // Exactly one of the two is present.
    using Completion = std::function<void(const std::optional<StreamMap>& videos,
                                          const std::optional<Error>& error)>;

    static VXYouTubeExtractor& sharedInstance();

    // Calls `completion` exactly once: on the main thread, except for an absent or empty
    // identifier, which is reported before this call returns.
    void extractVideoForIdentifier(const std::optional<QString>& identifier, Completion completion);

    // Selects the request's "el" parameter: 0 "embedded", 1 "detailpage", 2 "vevo", 3 empty,
    // 4 no request at all (code 404), 5 and above no "el" parameter.
    quint64 attemptType() const { return attemptType_.load(); }
    void setAttemptType(quint64 attemptType) { attemptType_.store(attemptType); }

    // Keeps the streams whose "itag" (read as an integer) is 18, 22, 36 or 140.
    static StreamMap filterVideoListToMP4Only(const StreamMap& videos);
    // Percent-encodes with the query-allowed set: "&", "=", "?" and "/" stay as they are.
    static QString urlEscapeString(const QString& string);
    // Appends "?key=value" for the first pair and "&key=value" for the others, both escaped.
    static QString addQueryStringToUrlString(const QString& urlString,
                                             const QList<QPair<QString, QString>>& parameters);
    // The video formats from best to smallest: 22, 18, 36.
    static QVariantList preferredVideoQualities();
    // The request parameters for an attempt type and identifier, in a fixed order.
    static QList<QPair<QString, QString>> requestParameters(quint64 attemptType,
                                                            const QString& identifier);
    // The language code sent as "hl": worked out once from the user's locale, "en" otherwise.
    static QString hostLanguageCode();

    // Parses a complete answer of the information endpoint (Completion's arguments).
    static std::pair<std::optional<StreamMap>, std::optional<Error>> parseVideoInfoAnswer(
        const QByteArray& body, const QString& identifier);

private:
    VXYouTubeExtractor() = default;
    std::atomic<quint64> attemptType_{0};
};

}  // namespace clipmoor
