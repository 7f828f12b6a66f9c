#include "nginx_process.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "setup_failure.h"

namespace clipmoor::test {

namespace {

constexpr int kStartAttempts = 5;
constexpr int kStartTimeoutMs = 15'000;

sockaddr_in loopback(quint16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// Three distinct ports that were free a moment ago: bound together, read back, released.
NginxProcess::Ports pickFreePorts() {
    int sockets[3];
    quint16 ports[3];
    for (int i = 0; i < 3; ++i) {
        sockets[i] = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        if (sockets[i] < 0 ||
            ::bind(sockets[i], reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::getsockname(sockets[i], reinterpret_cast<sockaddr*>(&address), &length) != 0)
            failSetup(QStringLiteral("no free loopback port: %1").arg(strerror(errno)));
        ports[i] = ntohs(address.sin_port);
    }
    for (const int fd : sockets) ::close(fd);
    return {ports[0], ports[1], ports[2]};
}

bool accepts(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    const bool connected =
        fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
    return connected;
}

}  // namespace

NginxProcess::NginxProcess(QString executable, QString workFolder)
    : executable_(std::move(executable)), workFolder_(std::move(workFolder)) {}

NginxProcess::~NginxProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);  // nginx's fast shutdown
    ::waitpid(pid_, nullptr, 0);
}

void NginxProcess::start(const QString& templatePath, QHash<QString, QString> values) {
    QFile file(templatePath);
    if (!file.open(QIODevice::ReadOnly))
        failSetup(QStringLiteral("cannot read the nginx configuration %1").arg(templatePath));
    const QString configurationTemplate = QString::fromUtf8(file.readAll());
    QDir().mkpath(workFolder_ + "/temp");
    values["WORK"] = workFolder_;
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        ports_ = pickFreePorts();
        values["HTTPS_PORT"] = QString::number(ports_.https);
        values["HTTP_PORT"] = QString::number(ports_.http);
        values["UNTRUSTED_PORT"] = QString::number(ports_.untrusted);
        QString configuration = configurationTemplate;
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            if (it.value().contains('"') || it.value().contains('$'))
                failSetup(QStringLiteral("cannot put %1 into the nginx configuration").arg(*it));
            configuration.replace('@' + it.key() + '@', it.value());
        }
        if (configuration.contains(QRegularExpression("@[A-Z_]+@")))
            failSetup(QStringLiteral("%1 has a placeholder without a value").arg(templatePath));
        if (tryStart(configuration)) return;
    }
    failSetup(QStringLiteral("nginx (%1) did not start:\n%2").arg(executable_, errorLog()));
}

bool NginxProcess::tryStart(const QString& configuration) {
    const QString configurationPath = workFolder_ + "/nginx.conf";
    QFile configurationFile(configurationPath);
    if (!configurationFile.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        configurationFile.write(configuration.toUtf8()) < 0)
        failSetup("cannot write " + configurationPath);
    configurationFile.close();
    QFile::remove(errorLogPath());

    // Everything the child needs is made before fork(): after it, only async-signal-safe calls.
    const QByteArray program = QFile::encodeName(executable_);
    const QByteArray prefix = QFile::encodeName(workFolder_ + '/');
    const QByteArray configurationArgument = QFile::encodeName(configurationPath);
    const QByteArray errorLogArgument = QFile::encodeName(errorLogPath());
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) _exit(1);              // the test process is already gone
        const int devNull = ::open("/dev/null", O_RDWR);  // nginx reports to its error log
        for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
            ::dup2(devNull, stream);
        ::execl(program.constData(), program.constData(), "-p", prefix.constData(), "-c",
                configurationArgument.constData(), "-e", errorLogArgument.constData(), nullptr);
        _exit(127);
    }
    if (child < 0) failSetup(QStringLiteral("cannot start nginx: %1").arg(strerror(errno)));
    pid_ = child;

    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!deadline.hasExpired()) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            // Another process took one of the ports meanwhile: try others.
            if (errorLog().contains("Address already in use")) return false;
            failSetup(QStringLiteral("nginx (%1) did not start:\n%2").arg(executable_, errorLog()));
        }
        if (accepts(ports_.https) && accepts(ports_.http) && accepts(ports_.untrusted)) return true;
        QThread::msleep(10);
    }
    failSetup(QStringLiteral("nginx (%1) did not start in time:\n%2").arg(executable_, errorLog()));
}

QString NginxProcess::errorLog() const {
    QFile file(errorLogPath());
    const QString log = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : "";
    return log.isEmpty() ? QStringLiteral("(nginx wrote nothing)") : log;
}

}  // namespace clipmoor::test
