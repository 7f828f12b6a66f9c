#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

#include "platform/error.h"

namespace clipmoor {

// The partial files of download tasks: files named "clipmoor-XXXXXX.part" in one private folder.
// Paths that reach us through resume data come from storage and may have been altered, so a
// path counts as one of our partial files only when it passes every check below.

// The folder download tasks of ephemeral sessions keep their partial files in:
// $XDG_CACHE_HOME/Clipmoor/partial.
QString defaultPartialFileFolder();

// True when `name` (a file name, no folder) has the form of our partial files.
bool isPartialFileName(const QString& name);

// Opens `path` for writing when it is one of our partial files in `folder`: the name has our
// form, it lies directly in `folder` (compared after resolving links in the folder's own path),
// and it is a regular file with no other name (no hard link), opened without following a
// symbolic link. Returns the descriptor (close-on-exec), or an error in the POSIX domain; ENOENT
// for a file that is not ours.
std::optional<Error> openPartialFile(const QString& path, const QString& folder, int* descriptor);

// True when `earlier` resume data names a partial file that `later` does not: whoever lets go of
// `earlier` for `later` abandons that file.
bool abandonsPartialFile(const QByteArray& earlier, const QByteArray& later);

// Deletes the partial file that encoded resume data refers to, if it is one of ours in `folder`.
// Anything else (damaged data, a path elsewhere, a link) is left alone. Safe from any thread.
void discardResumeData(const QByteArray& resumeData,
                       const QString& folder = defaultPartialFileFolder());

// Deletes, on a worker thread, the partial files in `folder` that no path of `referencedPaths`
// names and that were last changed before this call, so files of transfers that start meanwhile
// are kept. `done`, if given, runs afterwards with the number of files deleted, on the thread that
// did the work.
void sweepUnreferencedPartialFiles(QSet<QString> referencedPaths,
                                   const QString& folder = defaultPartialFileFolder(),
                                   std::function<void(int removed)> done = {});

}  // namespace clipmoor
