#include "platform/http/url_response.h"

namespace clipmoor {

QByteArray UrlResponse::headerValue(QByteArrayView name) const {
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

}  // namespace clipmoor
