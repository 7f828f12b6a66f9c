#include "test_environment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace clipmoor::test {

namespace {
std::unique_ptr<QTemporaryDir> gHome;  // removed when the test process ends
}  // namespace

void usePrivateXdgFolders() {
    gHome = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/clipmoor-test-XXXXXX");
    const QString home = gHome->path();
    const auto set = [&](const char* name, const QString& sub) {
        const QString path = sub.isEmpty() ? home : home + "/" + sub;
        QDir().mkpath(path);
        setenv(name, QFile::encodeName(path).constData(), 1);
    };
    set("HOME", "");
    set("XDG_CONFIG_HOME", ".config");
    set("XDG_DATA_HOME", ".local/share");
    set("XDG_CACHE_HOME", ".cache");
    set("XDG_RUNTIME_DIR", "runtime");
    QFile::setPermissions(home + "/runtime",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir().mkpath(home + "/Downloads");
}

QString privateHome() {
    return gHome ? gHome->path() : QString();
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

void spinEventLoop(int milliseconds) {
    waitUntil([] { return false; }, milliseconds);
}

void failSetup(const QString& message) {
    std::fprintf(stderr, "\n*** clipmoor test site: %s\n\n", qPrintable(message));
    std::fflush(stderr);
    std::abort();
}

}  // namespace clipmoor::test
