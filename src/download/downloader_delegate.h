#pragma once

#include <QByteArray>
#include <QString>

#include "platform/error.h"

namespace clipmoor {

class Downloader;

// What a download operation reports to its owner. Every method is optional: a delegate says
// which ones it implements, and the operation calls only those.
class DownloaderDelegate {
public:
    enum Method : unsigned {
        DidWriteData = 1u << 0,
        DidFinishDownloadingToURL = 1u << 1,
        DidCompleteWithError = 1u << 2,
        DidResumeAtOffset = 1u << 3,
        DidPauseWithResumeData = 1u << 4,
        DidCheckpointResumeData = 1u << 5,
    };

    virtual ~DownloaderDelegate() = default;
    // A combination of Method flags.
    virtual unsigned implementedDownloaderMethods() const = 0;

    // Progress: bytes since the last report, total written, total expected.
    virtual void downloaderDidWriteData(Downloader&, qint64 /*bytesWritten*/,
                                        qint64 /*totalBytesWritten*/,
                                        qint64 /*totalBytesExpectedToWrite*/) {}
    // The whole file is at `location`, valid only until this call returns: move it here.
    virtual void downloaderDidFinishDownloadingToURL(Downloader&, const QString& /*location*/) {}
    // The transfer failed or was cancelled (URLError::Cancelled after a pause). When the bytes
    // received so far are sound, the error's kURLSessionDownloadTaskResumeDataKey holds resume
    // data for them, the delegate's to keep (a later operation continues from it) or to discard.
    virtual void downloaderDidCompleteWithError(Downloader&, const Error&) {}
    virtual void downloaderDidResumeAtOffset(Downloader&, qint64 /*fileOffset*/,
                                             qint64 /*expectedTotalBytes*/) {}
    // A pause produced its resume data (empty when the server cannot resume).
    virtual void downloaderDidPauseWithResumeData(Downloader&, const QByteArray& /*resumeData*/) {}
    // While the transfer runs, at most every two seconds: resume data for the bytes flushed to
    // the disk so far, from which a later operation (also after a crash) can continue. It names
    // the transfer's partial file, which stays while the transfer runs.
    virtual void downloaderDidCheckpointResumeData(Downloader&, const QByteArray& /*resumeData*/) {}
};

}  // namespace clipmoor
