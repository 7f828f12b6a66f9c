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
    // A transfer still running this long after it started fails with URLError::TimedOut, however
    // steadily the server sends; 0 for no limit. Small answers have one (a server that trickles
    // a byte now and then would otherwise hold them for ever); media downloads do not.
    int timeoutIntervalForResource = 0;
    // Answers of data tasks longer than this fail with URLError::DataLengthExceedsMaximum.
    qint64 maximumResponseBodySize = 16 * 1024 * 1024;
    // Where download tasks keep their partial files; created when missing.
    QString temporaryDirectory;
    int maximumRedirects = 10;
    // How often, at most, a running download task flushes its partial file to the disk and
    // reports resume data for the bytes that are there (didCheckpointResumeData); 0 for never.
    int resumeCheckpointIntervalMs = 2000;
};

}  // namespace clipmoor
