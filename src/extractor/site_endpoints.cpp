#include "extractor/site_endpoints.h"

namespace clipmoor::SiteEndpoints {

QString mainHost() {
    return QString::fromUtf16(kMainHost);
}
QString shortLinkHost() {
    return QString::fromUtf16(kShortLinkHost);
}
QString imageHost() {
    return QString::fromUtf16(kImageHost);
}
QString secondVideoSiteHost() {
    return QString::fromUtf16(kSecondVideoSiteHost);
}

QString videoInfoBaseAddress() {
    return QStringLiteral("https://") + mainHost() + QStringLiteral("/get_video_info");
}

QUrl watchPageURL(const QString& videoID) {
    return QUrl(QStringLiteral("https://") + mainHost() + QStringLiteral("/watch?v=") + videoID);
}

QUrl thumbnailURL(const QString& videoID) {
    return QUrl(QStringLiteral("https://%1/vi/%2/hqdefault.jpg").arg(imageHost(), videoID));
}

}  // namespace clipmoor::SiteEndpoints
