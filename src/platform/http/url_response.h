#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>

namespace clipmoor {

// The final HTTP answer of a transfer (after redirects): status and headers.
struct UrlResponse {
    QUrl url;
    int statusCode = 0;
    QList<QPair<QByteArray, QByteArray>> headers;
    qint64 expectedContentLength = -1;  // -1 when the server did not say

    // The value of the first header of that name (case-insensitive), or empty.
    QByteArray headerValue(QByteArrayView name) const;
};

}  // namespace clipmoor
