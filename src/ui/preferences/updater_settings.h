#pragma once

#include <QDateTime>

#include <optional>

namespace clipmoor {

// The updater's settings as the Update pane shows them.
class UpdaterSettings {
public:
    virtual ~UpdaterSettings() = default;

    virtual bool automaticallyDownloadsUpdates() const = 0;
    virtual void setAutomaticallyDownloadsUpdates(bool automatically) = 0;
    // Seconds between two automatic checks.
    virtual qint64 updateCheckInterval() const = 0;
    virtual void setUpdateCheckInterval(qint64 seconds) = 0;
    // None before the first check.
    virtual std::optional<QDateTime> lastUpdateCheckDate() const = 0;
};

}  // namespace clipmoor
