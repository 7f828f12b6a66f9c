#include "platform/http/curl_error.h"

#include "platform/http/url_error.h"

namespace clipmoor {

namespace {
qint64 urlErrorCode(CURLcode code) {
    switch (code) {
        case CURLE_UNSUPPORTED_PROTOCOL:
            return URLError::UnsupportedURL;
        case CURLE_URL_MALFORMAT:
            return URLError::BadURL;
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_RESOLVE_HOST:
            return URLError::CannotFindHost;
        case CURLE_COULDNT_CONNECT:
            return URLError::CannotConnectToHost;
        case CURLE_OPERATION_TIMEDOUT:
            return URLError::TimedOut;
        case CURLE_TOO_MANY_REDIRECTS:
            return URLError::HTTPTooManyRedirects;
        case CURLE_PARTIAL_FILE:
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return URLError::NetworkConnectionLost;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return URLError::ServerCertificateUntrusted;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
            return URLError::SecureConnectionFailed;
        case CURLE_FILESIZE_EXCEEDED:
            return URLError::DataLengthExceedsMaximum;
        case CURLE_WRITE_ERROR:
            return URLError::CannotWriteToFile;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING:
        case CURLE_RANGE_ERROR:
            return URLError::BadServerResponse;
        default:
            return -1;  // unknown
    }
}
}  // namespace

Error errorFromCurlCode(CURLcode code, const char* detail) {
    QString description = QString::fromUtf8(curl_easy_strerror(code));
    if (detail && *detail) description += QStringLiteral(": ") + QString::fromUtf8(detail);
    return Error(kURLErrorDomain, urlErrorCode(code),
                 {{kLocalizedDescriptionKey, description}, {"CURLcode", static_cast<int>(code)}});
}

}  // namespace clipmoor
