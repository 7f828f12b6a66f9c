#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <mutex>

namespace clipmoor::test {

// The test site's media files: deterministic bytes on disk, in one folder that nginx serves.
// A file's content depends only on its name and on how often it was replaced, so two runs (and
// two test processes) serve the same bytes for the same name.
class MediaLibrary {
public:
    explicit MediaLibrary(QString folder);

    // Where the file of `name` lives; ends the process for a name that is not a plain file name.
    QString path(const QString& name) const;

    // Makes the file unless it already exists with `size` bytes.
    void ensure(const QString& name, qint64 size);
    // Gives the file new content of `size` bytes and a later modification time, so the server's
    // validators (ETag, Last-Modified) change even for the same size. The new file takes the
    // old one's place in one step: an answer already under way keeps sending the old bytes.
    void replace(const QString& name, qint64 size);
    // Makes every file of a "NAME SIZE" list (blank lines and "#" comments allowed).
    void ensureFromManifest(const QString& manifestPath);

    // `length` bytes of the content stream of (`seed`, `generation`), starting at `offset`.
    static QByteArray content(QByteArrayView seed, quint64 generation, qint64 offset,
                              qint64 length);
    // Hex-encoded SHA-256 of a file; empty when the file cannot be read.
    static QByteArray sha256OfFile(const QString& path);

private:
    void write(const QString& name, qint64 size, quint64 generation, qint64 minimumMtime);

    const QString folder_;
    std::mutex mutex_;
    QHash<QString, quint64> generations_;
};

}  // namespace clipmoor::test
