#pragma once

#include <QHash>
#include <QString>

namespace clipmoor {

// One stream of a video as the site describes it: "itag", "url", "type", "quality",
// "bitrate", ... plus the video's "title", "author" and "id".
using StreamDictionary = QHash<QString, QString>;
// Stream dictionaries keyed by their "itag" text.
using StreamMap = QHash<QString, StreamDictionary>;

}  // namespace clipmoor
