#pragma once

#include <QString>

namespace clipmoor {

struct UrlSessionConfiguration {
    // For the process-wide shared session (information requests, thumbnails).
    static UrlSessionConfiguration defaultSessionConfiguration();
    // Keeps nothing on disk but the partial files of its download tasks.
    static UrlSessionConfiguration ephemeralSessionConfiguration();

    // A transfer that receives nothing for this long fails with URLError::TimedOut.
    int timeoutIntervalForRequest = 60;
    // Answers of data tasks longer than this fail with URLError::DataLengthExceedsMaximum.
    qint64 maximumResponseBodySize = 16 * 1024 * 1024;
    // Where download tasks keep their partial files; created when missing.
    QString temporaryDirectory;
    int maximumRedirects = 10;
};

}  // namespace clipmoor
