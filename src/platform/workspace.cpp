#include "platform/workspace.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>

namespace clipmoor {

namespace {
const char* const kConnectionName = "clipmoor-workspace-system-bus";
const char* const kLoginService = "org.freedesktop.login1";
const char* const kLoginPath = "/org/freedesktop/login1";
const char* const kLoginManagerInterface = "org.freedesktop.login1.Manager";
}  // namespace

Workspace& Workspace::sharedWorkspace() {
    // Never destroyed: records may still be disconnecting from it while the process ends.
    static Workspace* const workspace = [] {
        auto* created = new Workspace;
        if (QCoreApplication* app = QCoreApplication::instance())
            created->moveToThread(app->thread());
        return created;
    }();
    return *workspace;
}

bool Workspace::startObservingSystemSleep() {
    if (observing_) return true;
    // A connection of our own rather than the shared system-bus object, so that a bus that
    // was missing can be tried again later.
    const QString name = QString::fromLatin1(kConnectionName);
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
    if (!bus.isConnected()) {
        if (!reportedMissingBus_) {
            reportedMissingBus_ = true;
            qWarning("Clipmoor: no system bus (%s); downloads are not stopped before sleep",
                     qPrintable(bus.lastError().message()));
        }
        QDBusConnection::disconnectFromBus(name);
        return false;
    }
    observing_ =
        bus.connect(QString::fromLatin1(kLoginService), QString::fromLatin1(kLoginPath),
                    QString::fromLatin1(kLoginManagerInterface), QStringLiteral("PrepareForSleep"),
                    this, SLOT(handlePrepareForSleep(bool)));
    if (!observing_) QDBusConnection::disconnectFromBus(name);
    return observing_;
}

void Workspace::handlePrepareForSleep(bool sleeping) {
    if (sleeping)
        emit willSleep();
    else
        emit didWake();
}

}  // namespace clipmoor
