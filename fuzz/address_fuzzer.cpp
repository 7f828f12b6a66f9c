// Address recognition and the strict URL parser, on any text: no crash, and the results hold
// together (the parts of an address are taken from the text as written, and recognition
// agrees with the parser).
#include <QString>

#include "extractor/site_endpoints.h"
#include "fuzz_check.h"
#include "main_window/address_recognition.h"
#include "platform/url.h"

using namespace clipmoor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<Url> url = Url::parse(text);
    const RecognizedAddress recognized = recognizeAddress(text);

    if (!url || url->scheme().isEmpty() || !url->host()) {
        FUZZ_CHECK(recognized.kind == AddressKind::NotAUrl);
        FUZZ_CHECK(!recognized.videoID);
    }
    if (!url) return 0;

    FUZZ_CHECK(url->absoluteString() == text);
    FUZZ_CHECK(text.startsWith(url->scheme()));
    if (const std::optional<QString> host = url->host()) {
        FUZZ_CHECK(!host->isEmpty());
        FUZZ_CHECK(text.contains(*host));
        for (const QChar c : *host) FUZZ_CHECK(c != u'/' && c != u'?' && c != u'#' && c != u'@');
    }
    if (const auto port = url->port()) FUZZ_CHECK(*port >= 0 && *port <= 65535);
    FUZZ_CHECK(text.contains(url->path()));

    const QString last = url->lastPathComponent();
    FUZZ_CHECK(last == u"/" || !last.contains(u'/'));
    const std::vector<QueryItem> items = url->queryItems();
    FUZZ_CHECK(url->query() ? items.size() == static_cast<size_t>(url->query()->count(u'&') + 1)
                            : items.empty());

    if (url->scheme().isEmpty() || !url->host()) return 0;
    const QString host = *url->host();
    if (host == SiteEndpoints::mainHost()) {
        FUZZ_CHECK(recognized.kind == AddressKind::MainHost);
        FUZZ_CHECK(recognized.videoID == valueForKey(QStringLiteral("v"), items));
    } else if (host == SiteEndpoints::shortLinkHost()) {
        FUZZ_CHECK(recognized.kind == AddressKind::ShortLink);
        FUZZ_CHECK(recognized.videoID == last);
    } else if (host == SiteEndpoints::secondVideoSiteHost()) {
        FUZZ_CHECK(recognized.kind == AddressKind::SecondVideoSite);
    } else {
        FUZZ_CHECK(recognized.kind == AddressKind::OtherHost);
    }
    return 0;
}
