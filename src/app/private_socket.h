#pragma once

#include <QString>
#include <QtGlobal>

namespace clipmoor {

// What keeps a local socket between two starts of the same user private: the folder it lives
// in and the user at the other end.

// True when `path` is a folder (not a link to one) owned by this user that nobody else may
// enter, list or write.
bool isPrivateFolder(const QString& path);

// The folder for this user's sockets: the runtime folder (XDG_RUNTIME_DIR) when it is private,
// else "clipmoor-UID" in the temporary folder, made with mode 0700 if missing. Empty when
// neither passes isPrivateFolder(), for instance when another user made that folder first.
QString privateSocketFolder();

// True when the process at the other end of the connected local socket `descriptor` runs as
// this user (checked with SO_PEERCRED; for a listening peer, as it was when it began to listen).
bool isPeerThisUser(qintptr descriptor);

}  // namespace clipmoor
