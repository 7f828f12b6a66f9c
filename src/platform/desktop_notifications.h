#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace clipmoor {

// The desktop's notification service (org.freedesktop.Notifications on the session bus): shows
// a notification and runs the caller's action when the user clicks it. Nothing blocks: every
// call is asynchronous. Without a session bus, or with nothing that owns the service, nothing
// is shown and nothing is reported. Main thread only.
class DesktopNotifications : public QObject {
    Q_OBJECT

public:
    static constexpr int kCallTimeoutMs = 5000;
    // Notifications whose click is still remembered; older ones are forgotten.
    static constexpr std::size_t kRememberedNotifications = 32;
    // Notifications held while the service's capabilities are asked for.
    static constexpr std::size_t kMaximumWaiting = 32;

    struct Sender {
        QString applicationName;  // "Clipmoor"
        QString iconName;         // the icon's name in the desktop's theme
        QString desktopEntry;     // the desktop file's name without ".desktop"
    };
    struct Notification {
        QString summary;      // one line, never markup
        QString body;         // the detail; escaped when the service reads markup
        QString category;     // a freedesktop category such as "transfer.complete"
        QString actionLabel;  // the label of the default action, where the service shows one
        std::function<void()> activated;  // runs when the user clicks the notification
    };

    explicit DesktopNotifications(Sender sender, QObject* parent = nullptr);
    ~DesktopNotifications() override;

    void notify(Notification notification);

private slots:
    void handleActionInvoked(uint id, const QString& actionKey);
    void handleNotificationClosed(uint id, uint reason);

private:
    void askForCapabilities();
    void send(const Notification& notification);
    void remember(uint id, std::function<void()> activated);

    Sender sender_;
    bool listening_ = false;
    bool asking_ = false;
    std::optional<QStringList> capabilities_;
    std::vector<Notification> waiting_;
    std::deque<std::pair<uint, std::function<void()>>> activations_;
};

}  // namespace clipmoor
