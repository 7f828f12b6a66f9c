#pragma once

#include <QString>
#include <QStringList>

namespace clipmoor {

// Where the browser extension that sends pages to Clipmoor is installed, and how the user is
// shown it: the folder opens in the file manager together with a page that explains how to
// load it into the browser.
class BrowserExtensionInstaller {
public:
    // The folders looked at, first match wins: beside the executable (an installed or a built
    // copy), then the data folders of the desktop.
    static QStringList candidateFolders();
    // The installed extension's folder; empty when there is none.
    static QString extensionFolder();
    static constexpr const char* kInstructionsPage = "how-to-install.html";

    // Opens the folder and its instructions with the desktop's handlers. A missing folder opens
    // nothing (the reason is logged); returns whether the folder was found.
    static bool showExtension();
};

}  // namespace clipmoor
