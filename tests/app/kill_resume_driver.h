#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QProcess>
#include <QString>

#include <optional>

#include "platform/http/resume_data.h"
#include "test_site.h"

namespace clipmoor::test {

// What one SIGKILL left behind, as the next start of the application finds it.
struct KillCycle {
    qint64 bytesAtKill = 0;  // bytes in the partial file being written when the process died
    bool storeOpened = false;
    int records = 0;
    std::optional<ResumeData> checkpoint;  // the record's resume data in the store file
    qint64 checkpointFileSize = -1;        // of the file the checkpoint names; -1 when missing
    // The byte the next start continues from: the checkpoint's, or 0 without one.
    qint64 resumeOffset() const { return checkpoint ? checkpoint->bytesOnDisk : 0; }
};

// Runs the real application, with the process's private XDG folders, on a store holding one
// download of a large media file that the test site sends at a throttled rate; kills it with
// SIGKILL while the bytes flow, and reads what it left, as the next start would. Main thread.
class KillResumeDriver {
public:
    KillResumeDriver(QString executable, QString mediaName, qint64 size, qint64 bytesPerSecond);
    ~KillResumeDriver();

    // The media file on the site and one queued record for it in a fresh store, as pressing
    // Download would leave them.
    void seed();
    // Starts the application, waits until the download's bytes flow, lets it run `runMs` more,
    // kills it with SIGKILL and reads the store and the partial files. False, with `failure`,
    // when the application did not start, no bytes came or the site did not log the request.
    bool runAndKill(int runMs, KillCycle* cycle, QString* failure);
    // Lifts the throttle, starts the application and waits for the whole file in the download
    // folder; then quits the application with SIGTERM. False, with `failure`, otherwise.
    bool runToEnd(QString* failure);

    // The requests for the media file that the site logged, oldest first.
    QList<AccessLogEntry> mediaRequests() const;
    QString finishedFilePath() const;
    QStringList partialFiles() const;
    const QString& mediaName() const { return mediaName_; }

private:
    bool start(QString* failure);
    // The partial file written last, with its size; empty when there is none.
    std::pair<QString, qint64> newestPartialFile() const;
    void readStore(KillCycle* cycle) const;

    const QString executable_;
    const QString mediaName_;
    const qint64 size_;
    const qint64 bytesPerSecond_;
    QString downloadFolder_;
    QProcess process_;
    QDateTime startedAt_;
    int runs_ = 0;
};

}  // namespace clipmoor::test
