#include "extractor/youtube_video.h"

#include "platform/url.h"

namespace clipmoor {

YouTubeVideo::YouTubeVideo() : isAudio(false) {}

YouTubeVideo::YouTubeVideo(const StreamDictionary& dictionary) : YouTubeVideo() {
    videoID = dictionary.value("id");
    bitrate = dictionary.value("bitrate");
    itag = dictionary.value("itag");
    title = dictionary.value("title");
    type = dictionary.value("type");
    quality = dictionary.value("quality");
    author = dictionary.value("author");
    uuid = QUuid::createUuid();
    // The address must be a URL as it stands; anything else leaves downloadURL empty.
    const QString url = dictionary.value("url");
    if (Url::parse(url)) downloadURL = QUrl(url, QUrl::StrictMode);
}

}  // namespace clipmoor
