#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QFile>
#include <QProcess>
#include <QVariantMap>

#include <gtest/gtest.h>

#include "test_environment.h"

namespace clipmoor::test {

// A dbus-daemon of the test's own that activates no services, made this process's session bus
// (start it before the session bus is first used), or the bus that `addressVariable` names:
// DBUS_SYSTEM_BUS_ADDRESS makes it stand in for the system bus.
class PrivateSessionBus {
public:
    explicit PrivateSessionBus(const char* addressVariable = "DBUS_SESSION_BUS_ADDRESS") {
        QFile config(privateHome() + "/session-bus.conf");
        EXPECT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(
            R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>
  <policy context="default"><allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/><allow own="*"/></policy></busconfig>)");
        config.close();
        daemon_.start("dbus-daemon", {"--config-file=" + config.fileName(), "--nofork",
                                      "--nopidfile", "--print-address=1"});
        EXPECT_TRUE(daemon_.waitForStarted() && daemon_.waitForReadyRead(10000))
            << "dbus-daemon does not start (scripts/install-deps.sh test installs it)";
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        qputenv(addressVariable, address_.toUtf8());
    }
    ~PrivateSessionBus() {
        daemon_.terminate();
        daemon_.waitForFinished();
    }
    const QString& address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

// Our own org.freedesktop.Notifications: records every Notify call (answering 1, 2, ...),
// tells its capabilities, and plays the user's click on a notification.
class FakeNotificationService : public QDBusVirtualObject {
public:
    struct Call {
        QString applicationName, icon, summary, body;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
        uint id = 0;
    };
    static inline const QString kName = "org.freedesktop.Notifications";
    static inline const QString kPath = "/org/freedesktop/Notifications";

    explicit FakeNotificationService(const QString& busAddress,
                                     QStringList capabilities = {"body", "body-markup", "actions"})
        : capabilities_(std::move(capabilities)) {
        QDBusConnection bus = QDBusConnection::connectToBus(busAddress, kConnection);
        EXPECT_TRUE(bus.registerVirtualObject(kPath, this) && bus.registerService(kName));
    }
    ~FakeNotificationService() override {
        QDBusConnection bus(kConnection);
        bus.unregisterService(kName);
        bus.unregisterObject(kPath);
        QDBusConnection::disconnectFromBus(kConnection);
    }

    // The user clicks notification `id`: its default action, then it closes.
    void click(uint id) {
        QDBusConnection bus(kConnection);
        bus.send(QDBusMessage::createSignal(kPath, kName, "ActionInvoked")
                 << id << QString("default"));
        bus.send(QDBusMessage::createSignal(kPath, kName, "NotificationClosed") << id << 2u);
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        const QList<QVariant> args = message.arguments();
        if (message.member() == "GetCapabilities") {
            bus.send(message.createReply(capabilities_));
        } else if (message.member() == "Notify" && args.size() == 8) {
            calls.append({args[0].toString(), args[2].toString(), args[3].toString(),
                          args[4].toString(), qdbus_cast<QStringList>(args[5]),
                          qdbus_cast<QVariantMap>(args[6]), args[7].toInt(),
                          uint(calls.size() + 1)});
            bus.send(message.createReply(QVariant::fromValue(calls.last().id)));
        } else {
            bus.send(message.createErrorReply(QDBusError::UnknownMethod, message.member()));
        }
        return true;
    }

    QList<Call> calls;

private:
    static inline const QString kConnection = "fake-notification-service";
    QStringList capabilities_;
};

}  // namespace clipmoor::test
