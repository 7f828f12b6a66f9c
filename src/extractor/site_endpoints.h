#pragma once

#include <QString>
#include <QUrl>

namespace clipmoor::SiteEndpoints {

// The site's host names, compared and written exactly as given here.
inline constexpr const char16_t* kMainHost = u"www.youtube.com";
inline constexpr const char16_t* kShortLinkHost = u"youtu.be";
inline constexpr const char16_t* kImageHost = u"i.ytimg.com";
inline constexpr const char16_t* kSecondVideoSiteHost = u"vimeo.com";

QString mainHost();
QString shortLinkHost();
QString imageHost();
QString secondVideoSiteHost();

// "https://" + main host + "/get_video_info"; the query is added by the extractor.
QString videoInfoBaseAddress();
// The watch page: the identifier follows "/watch?v=" as it is, without escaping.
QUrl watchPageURL(const QString& videoID);
// The thumbnail on the image host.
QUrl thumbnailURL(const QString& videoID);

}  // namespace clipmoor::SiteEndpoints
