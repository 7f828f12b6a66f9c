#pragma once

#include <QtGlobal>

namespace clipmoor {

// Codes of transfer failures, reported in kURLErrorDomain.
namespace URLError {
enum : qint64 {
    Cancelled = -999,
    BadURL = -1000,
    TimedOut = -1001,
    UnsupportedURL = -1002,
    CannotFindHost = -1003,
    CannotConnectToHost = -1004,
    NetworkConnectionLost = -1005,
    HTTPTooManyRedirects = -1007,
    BadServerResponse = -1011,
    RequiresSecureConnection = -1022,  // a secure request was redirected to plain HTTP
    DataLengthExceedsMaximum = -1103,
    SecureConnectionFailed = -1200,
    ServerCertificateUntrusted = -1202,
    CannotCreateFile = -3000,
    CannotOpenFile = -3001,
    CannotWriteToFile = -3003,
    CannotDecodeResumeData = -3008,
};
}  // namespace URLError

class Error;
// The error of a transfer stopped on request.
Error cancelledError();

// User-info key of a download task's failure (or cancellation) that carries resume data for the
// bytes already on disk, when they are sound: resuming from it continues where the transfer
// stopped. Whoever receives the error owns the partial file it names.
inline constexpr const char* kURLSessionDownloadTaskResumeDataKey =
    "NSURLSessionDownloadTaskResumeData";

// User-info key that carries the HTTP status of an answer refused for its status.
inline constexpr const char* kHTTPStatusCodeErrorKey = "HTTPStatusCode";

}  // namespace clipmoor
