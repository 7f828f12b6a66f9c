#pragma once

#include <QString>

#include <optional>

#include "platform/error.h"

namespace clipmoor {

// Moves a file to `destination`, which must not exist yet. Works across file systems: the
// bytes are then copied into a hidden file beside the destination, flushed, and put in place
// without ever replacing an existing file; the source is removed last. On failure nothing is
// left at the destination and the source is untouched. Errors are in the POSIX domain
// (EEXIST when the destination is taken).
std::optional<Error> moveFile(const QString& source, const QString& destination);

// Makes `path` a folder that only its owner can enter: every missing folder along the path is
// created with mode 0700, and an existing last folder of this user that others may enter is
// narrowed to 0700 (one of another user is left as it is). Errors are in the POSIX domain
// (EEXIST when something else, or a dangling link, takes a folder's place).
std::optional<Error> makePrivateFolder(const QString& path);

// Size of the file at `path`, or none when there is no such file.
std::optional<qint64> fileSize(const QString& path);

}  // namespace clipmoor
