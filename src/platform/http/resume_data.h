#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace clipmoor {

// What a paused download needs to continue: Clipmoor's own small, versioned format.
struct ResumeData {
    static constexpr int kVersion = 1;
    static constexpr qsizetype kMaximumEncodedSize = 64 * 1024;

    QUrl url;             // the address the download was started with
    QString partialFile;  // absolute path of the bytes received so far
    qint64 bytesOnDisk = 0;
    QByteArray entityTag;  // strong ETag of the answer, if it had one
    QByteArray lastModified;
    qint64 expectedTotal = -1;  // -1 when the server did not say

    QByteArray encode() const;
    // None for anything that is not complete, well-formed resume data of a known version.
    static std::optional<ResumeData> decode(const QByteArray& data);
};

}  // namespace clipmoor
