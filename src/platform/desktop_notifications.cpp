#include "platform/desktop_notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace clipmoor {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kDefaultAction = QStringLiteral("default");

QDBusMessage serviceCall(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}
}  // namespace

DesktopNotifications::DesktopNotifications(Sender sender, QObject* parent)
    : QObject(parent), sender_(std::move(sender)) {}

DesktopNotifications::~DesktopNotifications() {
    if (!listening_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.disconnect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                   SLOT(handleActionInvoked(uint, QString)));
    bus.disconnect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                   SLOT(handleNotificationClosed(uint, uint)));
}

void DesktopNotifications::notify(Notification notification) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    if (!listening_) {
        // Clicks and closings are signals of the service; they are heard from now on, also
        // from a service that starts later.
        listening_ = bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                                 SLOT(handleActionInvoked(uint, QString))) &&
                     bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"),
                                 this, SLOT(handleNotificationClosed(uint, uint)));
    }
    if (capabilities_) {
        send(notification);
        return;
    }
    if (waiting_.size() < kMaximumWaiting) waiting_.push_back(std::move(notification));
    askForCapabilities();
}

void DesktopNotifications::askForCapabilities() {
    if (asking_) return;
    asking_ = true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto* watcher = new QDBusPendingCallWatcher(
        bus.asyncCall(serviceCall(QStringLiteral("GetCapabilities")), kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                asking_ = false;
                const QDBusPendingReply<QStringList> reply = *finished;
                std::vector<Notification> waiting = std::move(waiting_);
                waiting_.clear();
                // No service: the notifications are dropped, and the next one asks again.
                if (reply.isError()) return;
                capabilities_ = reply.value();
                for (const Notification& notification : waiting) send(notification);
            });
}

void DesktopNotifications::send(const Notification& notification) {
    // A service that reads markup in the body would take a title's "<" or "&" for markup.
    const QString body = capabilities_->contains(QStringLiteral("body-markup"))
                             ? notification.body.toHtmlEscaped()
                             : notification.body;
    QStringList actions;
    if (notification.activated && capabilities_->contains(QStringLiteral("actions")))
        actions = {kDefaultAction, notification.actionLabel};
    QVariantMap hints;
    if (!notification.category.isEmpty())
        hints.insert(QStringLiteral("category"), notification.category);
    if (!sender_.desktopEntry.isEmpty())
        hints.insert(QStringLiteral("desktop-entry"), sender_.desktopEntry);

    QDBusMessage call = serviceCall(QStringLiteral("Notify"));
    call << sender_.applicationName << uint(0) << sender_.iconName << notification.summary << body
         << actions << hints << int(-1);
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, activated = notification.activated](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<uint> reply = *finished;
                if (reply.isError()) {
                    // The service went away: its capabilities are asked again next time.
                    capabilities_.reset();
                    return;
                }
                if (activated) remember(reply.value(), activated);
            });
}

void DesktopNotifications::remember(uint id, std::function<void()> activated) {
    activations_.emplace_back(id, std::move(activated));
    while (activations_.size() > kRememberedNotifications) activations_.pop_front();
}

void DesktopNotifications::handleActionInvoked(uint id, const QString& actionKey) {
    // Every listener on the bus hears every click: the identifier tells ours apart.
    if (actionKey != kDefaultAction) return;
    for (auto it = activations_.begin(); it != activations_.end(); ++it) {
        if (it->first != id) continue;
        const std::function<void()> activated = std::move(it->second);
        activations_.erase(it);
        activated();
        return;
    }
}

void DesktopNotifications::handleNotificationClosed(uint id, uint) {
    for (auto it = activations_.begin(); it != activations_.end(); ++it) {
        if (it->first == id) {
            activations_.erase(it);
            return;
        }
    }
}

}  // namespace clipmoor
