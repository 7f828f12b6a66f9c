#include "main_window/address_recognition.h"

#include "extractor/site_endpoints.h"

namespace clipmoor {

std::optional<QString> valueForKey(const QString& name, const std::vector<QueryItem>& items) {
    for (const QueryItem& item : items)
        if (item.name == name) return item.value;
    return std::nullopt;
}

RecognizedAddress recognizeAddress(const QString& text) {
    const std::optional<Url> url = Url::parse(text);
    if (!url || url->scheme().isEmpty() || !url->host()) return {};

    const QString host = *url->host();
    if (host == SiteEndpoints::mainHost())
        return {AddressKind::MainHost, valueForKey(QStringLiteral("v"), url->queryItems())};
    if (host == SiteEndpoints::shortLinkHost())
        return {AddressKind::ShortLink, url->lastPathComponent()};
    if (host == SiteEndpoints::secondVideoSiteHost()) return {AddressKind::SecondVideoSite, {}};
    return {AddressKind::OtherHost, {}};
}

}  // namespace clipmoor
