#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>
#include <utility>

#include "extractor/stream_dictionary.h"
#include "platform/error.h"

namespace clipmoor {

// The leading decimal number of a text, as the platform's integerValue reads it: optional white
// space and sign, then digits; 0 when there are none. Saturates instead of overflowing.
qint64 integerValue(QStringView text);

// Whether a stream's "itag" text, read as an integer, is one of the streams the application
// offers: 18, 22, 36 or 140.
bool isOfferedItag(QStringView itag);

// Parses a complete answer of the information endpoint into the offered streams, or the
// site's refusal. Only entries whose "itag" is offered become stream dictionaries, and of
// several entries with the same "itag" only the last one, so the work and the memory follow
// the answer's size, not the number of its entries.
std::pair<std::optional<StreamMap>, std::optional<Error>> parseVideoInfoAnswer(
    const QByteArray& body, const QString& identifier);

}  // namespace clipmoor
