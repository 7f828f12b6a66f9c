#pragma once

#include <QObject>
#include <QString>

namespace clipmoor {

// Shows a file in the desktop's file manager: asks whatever owns the freedesktop file-manager
// interface on the session bus to show it selected, and opens its folder with the desktop's
// handler when no file manager answers. Never waits on the main thread.
class FileRevealer {
public:
    static constexpr int kCallTimeoutMs = 5000;

    // `context` ends the wait for an answer if it goes away first.
    static void revealFile(const QString& path, QObject* context);
};

}  // namespace clipmoor
