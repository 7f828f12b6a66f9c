#pragma once

#include <QString>
#include <QUrl>
#include <QUuid>

#include <memory>

#include "extractor/stream_dictionary.h"

namespace clipmoor {

class Downloader;

// The typed form of one stream dictionary.
class YouTubeVideo {
public:
    YouTubeVideo();
    explicit YouTubeVideo(const StreamDictionary& dictionary);

    QString videoID;
    QString itag;
    QString title;
    QString quality;
    QString type;
    QString subtitle;  // never filled from a dictionary
    QString author;
    QString bitrate;
    QUrl thumbnailURL;  // never filled from a dictionary
    QUrl downloadURL;
    QUuid uuid;
    bool isAudio = false;
    std::shared_ptr<Downloader> downloader;
};

}  // namespace clipmoor
