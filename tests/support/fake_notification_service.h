#pragma once

#include <QDBusArgument>
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

// A dbus-daemon of the test's own, as the session bus of this process: it reads the address
// when the session bus is first used, so start it before that. It activates no services, so
// nothing but what the test registers answers on it.
class PrivateSessionBus {
public:
    PrivateSessionBus() {
        const QString config = privateHome() + "/session-bus.conf";
        QFile file(config);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)");
        file.close();
        daemon_.start("dbus-daemon",
                      {"--config-file=" + config, "--nofork", "--nopidfile", "--print-address=1"});
        if (!daemon_.waitForStarted() || !daemon_.waitForReadyRead(10000)) {
            ADD_FAILURE()
                << "dbus-daemon does not start (scripts/install-deps.sh test installs it)";
            return;
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
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

// Our own receiver of org.freedesktop.Notifications on a bus: records every Notify call,
// answers with increasing identifiers and the capabilities it is given, and plays the user's
// click on a notification (ActionInvoked, then NotificationClosed).
class FakeNotificationService : public QDBusVirtualObject {
public:
    struct Call {
        QString applicationName;
        uint replacesId = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
        uint id = 0;
    };
    static inline const QString kService = "org.freedesktop.Notifications";
    static inline const QString kPath = "/org/freedesktop/Notifications";

    explicit FakeNotificationService(const QString& busAddress,
                                     QStringList capabilities = {"body", "body-markup", "actions"})
        : connectionName_("fake-notification-service"), capabilities_(std::move(capabilities)) {
        QDBusConnection bus = QDBusConnection::connectToBus(busAddress, connectionName_);
        EXPECT_TRUE(bus.registerVirtualObject(kPath, this));
        EXPECT_TRUE(bus.registerService(kService));
    }
    ~FakeNotificationService() override {
        QDBusConnection bus(connectionName_);
        bus.unregisterService(kService);
        bus.unregisterObject(kPath);
        QDBusConnection::disconnectFromBus(connectionName_);
    }

    QList<Call> calls;

    // The user clicks notification `id` (its default action).
    void click(uint id) {
        QDBusConnection bus(connectionName_);
        QDBusMessage invoked = QDBusMessage::createSignal(kPath, kService, "ActionInvoked");
        invoked << id << QString("default");
        bus.send(invoked);
        QDBusMessage closed = QDBusMessage::createSignal(kPath, kService, "NotificationClosed");
        closed << id << uint(2);
        bus.send(closed);
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != kService) return false;
        const QList<QVariant> args = message.arguments();
        if (message.member() == "GetCapabilities") {
            connection.send(message.createReply(capabilities_));
        } else if (message.member() == "GetServerInformation") {
            connection.send(
                message.createReply(QVariantList{"fake", "clipmoor tests", "1", "1.2"}));
        } else if (message.member() == "Notify" && args.size() == 8) {
            Call call{args[0].toString(),
                      args[1].toUInt(),
                      args[2].toString(),
                      args[3].toString(),
                      args[4].toString(),
                      qdbus_cast<QStringList>(args[5]),
                      qdbus_cast<QVariantMap>(args[6]),
                      args[7].toInt(),
                      uint(calls.size() + 1)};
            calls.append(call);
            connection.send(message.createReply(QVariant::fromValue(call.id)));
        } else {
            connection.send(message.createErrorReply(QDBusError::UnknownMethod, message.member()));
        }
        return true;
    }

private:
    QString connectionName_;
    QStringList capabilities_;
};

}  // namespace clipmoor::test
