#include "test_site.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fault_server.h"
#include "test_environment.h"

namespace clipmoor::test {

namespace {

// The site's host names, as the application writes them.
const QStringList kSiteHosts = {QStringLiteral("www.youtube.com"), QStringLiteral("youtu.be"),
                                QStringLiteral("i.ytimg.com"), QStringLiteral("vimeo.com")};
const QString kUntrustedHost = QStringLiteral(CLIPMOOR_TEST_UNTRUSTED_HOST);
const QString kMismatchedHost = QStringLiteral("wrong-name.clipmoor.test");
const QString kTlsFolder = QStringLiteral(CLIPMOOR_TEST_TLS_DIR);
constexpr int kStartAttempts = 5;
constexpr int kStartTimeoutMs = 15'000;

// Where CMake found nginx, or where it is now (installed since the build was configured).
QString findNginx() {
    const QString built = QStringLiteral(CLIPMOOR_NGINX_EXECUTABLE);
    const QString found =
        QFileInfo(built).isExecutable()
            ? built
            : QStandardPaths::findExecutable("nginx", {"/usr/sbin", "/usr/local/sbin"});
    if (found.isEmpty())
        failSetup(
            "nginx is not installed; the tests need it (scripts/install-deps.sh test installs it)");
    return found;
}

QString readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// nginx logs an empty field as "-".
QString logField(const QByteArray& field) {
    return field == "-" ? QString() : QString::fromUtf8(field);
}

// libcurl would send the site's host names to a proxy named in the environment, past the
// connect-to mapping and off the machine.
void dropProxySettings() {
    for (const char* name :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
}

QStringList siteHostsAt(quint16 https, quint16 http) {
    QStringList entries;
    for (const QString& host : kSiteHosts) {
        entries << QStringLiteral("%1:443:127.0.0.1:%2").arg(host).arg(https)
                << QStringLiteral("%1:80:127.0.0.1:%2").arg(host).arg(http);
    }
    return entries;
}

sockaddr_in loopback(quint16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

bool accepts(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    const bool connected =
        fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
    return connected;
}

// The content of media files: a pseudo-random stream seeded with the file's name and how often
// it was replaced, so two runs (and two test processes) serve the same bytes for the same name.
QRandomGenerator contentStream(QByteArrayView name, quint32 generation) {
    std::vector<quint32> seed(name.begin(), name.end());
    seed.push_back(generation);
    return QRandomGenerator(seed.data(), seed.data() + seed.size());
}

// The next `length` bytes of `stream`; only a last call may ask for part of a 4-byte word.
QByteArray nextContent(QRandomGenerator& stream, qint64 length) {
    QByteArray bytes(length, Qt::Uninitialized);
    for (qint64 i = 0; i < length; i += 4) {
        const quint32 word = stream.generate();
        std::memcpy(bytes.data() + i, &word, std::min<qint64>(4, length - i));
    }
    return bytes;
}

}  // namespace

struct TestSite::Impl {
    QTemporaryDir work{QDir::tempPath() + "/clipmoor-site-XXXXXX"};
    std::mutex mediaMutex;
    QHash<QString, quint32> generations;  // of replaced media files
    QString nginx;
    quint16 ports[3] = {};  // HTTPS, plain HTTP, the untrusted host's HTTPS
    pid_t pid = -1;

    ~Impl() {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);  // nginx's fast shutdown
        ::waitpid(pid, nullptr, 0);
    }
    QString accessLogPath() const { return work.path() + "/access.log"; }

    // Where the media file of `name` lives; ends the process for a name that is not plain.
    QString mediaPath(const QString& name) const {
        static const QRegularExpression plainName(R"(^[A-Za-z0-9_-][A-Za-z0-9._-]*$)");
        if (!plainName.match(name).hasMatch())
            failSetup(QStringLiteral("\"%1\" is not a plain media file name").arg(name));
        return work.path() + "/media/" + name;
    }
    // Writes the file in one step (an answer under way keeps sending the old bytes), at least a
    // second later than `previousMtime` so that the validators nginx sends change with it.
    void writeMedia(const QString& name, qint64 size, quint32 generation, qint64 previousMtime) {
        const QString target = mediaPath(name);
        QSaveFile file(target);
        file.open(QIODevice::WriteOnly);  // a failure here or in a write fails the commit
        constexpr qint64 kChunkSize = 256 * 1024;
        QRandomGenerator stream = contentStream(name.toUtf8(), generation);
        for (qint64 offset = 0; file.isOpen() && offset < size; offset += kChunkSize)
            file.write(nextContent(stream, std::min(kChunkSize, size - offset)));
        if (!file.commit())
            failSetup(QStringLiteral("cannot write %1: %2").arg(target, file.errorString()));
        const qint64 mtime = std::max<qint64>(std::time(nullptr), previousMtime + 1);
        const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
        if (::utimensat(AT_FDCWD, QFile::encodeName(target).constData(), times, 0) != 0)
            failSetup(QStringLiteral("cannot set the time of %1").arg(target));
    }
    void ensureMedia(const QString& name, qint64 size) {
        std::lock_guard lock(mediaMutex);
        const QFileInfo info(mediaPath(name));
        if (!info.exists() || info.size() != size) writeMedia(name, size, generations[name], 0);
    }
    QString errorLog() const {
        const QString log = readFile(work.path() + "/error.log");
        return log.isEmpty() ? QStringLiteral("(nginx wrote nothing)") : log;
    }

    // Three distinct ports that were free a moment ago: bound together, read back, released.
    void pickFreePorts() {
        int sockets[3];
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
    }

    // Fills nginx.conf.in's @NAME@ placeholders (with free ports) and runs nginx in the
    // foreground; tries other ports when one was taken in the meantime. A configuration nginx
    // refuses ends the test process with nginx's own error log.
    void startNginx(const QString& site) {
        const QString configurationTemplate = readFile(CLIPMOOR_TEST_NGINX_TEMPLATE);
        if (configurationTemplate.isEmpty()) failSetup("cannot read " CLIPMOOR_TEST_NGINX_TEMPLATE);
        QDir().mkpath(work.path() + "/temp");
        for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
            pickFreePorts();
            const QHash<QString, QString> values = {{"SITE", site},
                                                    {"TLS", kTlsFolder},
                                                    {"UNTRUSTED_HOST", kUntrustedHost},
                                                    {"WORK", work.path()},
                                                    {"HTTPS_PORT", QString::number(ports[0])},
                                                    {"HTTP_PORT", QString::number(ports[1])},
                                                    {"UNTRUSTED_PORT", QString::number(ports[2])}};
            QString configuration = configurationTemplate;
            for (auto it = values.cbegin(); it != values.cend(); ++it)
                configuration.replace('@' + it.key() + '@', it.value());
            if (tryStart(configuration)) return;
        }
        failSetup(QStringLiteral("nginx (%1) did not start:\n%2").arg(nginx, errorLog()));
    }

    // False when another process took one of the ports meanwhile.
    bool tryStart(const QString& configuration) {
        const QString configurationPath = work.path() + "/nginx.conf";
        QFile configurationFile(configurationPath);
        if (!configurationFile.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            configurationFile.write(configuration.toUtf8()) < 0)
            failSetup("cannot write " + configurationPath);
        configurationFile.close();
        QFile::remove(work.path() + "/error.log");

        // Everything the child needs is made before fork(): after it, only async-signal-safe
        // calls. The child is told to end when the thread that started it ends, so a crashed
        // test leaves no nginx behind.
        const QByteArray program = QFile::encodeName(nginx);
        const QByteArray prefix = QFile::encodeName(work.path() + '/');
        const QByteArray configurationArgument = QFile::encodeName(configurationPath);
        const QByteArray errorLogArgument = QFile::encodeName(work.path() + "/error.log");
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
        pid = child;

        const QDeadlineTimer deadline(kStartTimeoutMs);
        while (!deadline.hasExpired()) {
            if (::waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = -1;
                if (errorLog().contains("Address already in use")) return false;
                failSetup(QStringLiteral("nginx (%1) did not start:\n%2").arg(nginx, errorLog()));
            }
            if (accepts(ports[0]) && accepts(ports[1]) && accepts(ports[2])) return true;
            QThread::msleep(10);
        }
        failSetup(QStringLiteral("nginx (%1) did not start in time:\n%2").arg(nginx, errorLog()));
    }
};

TestSite& TestSite::shared() {
    static TestSite site;
    return site;
}

TestSite::TestSite() : impl_(new Impl) {
    Impl& d = *impl_;
    if (!d.work.isValid()) failSetup("cannot make a temporary folder");
    if (!QFileInfo::exists(kTlsFolder + "/ca.pem")) {
        failSetup(QStringLiteral("the test certificates are missing from %1: build the target "
                                 "clipmoor_test_certificates (it needs openssl)")
                      .arg(kTlsFolder));
    }
    // The files the answer files point at, from a "NAME SIZE" list ("#" starts a comment).
    const QString site = sourceDirectory();
    const QString manifest = readFile(site + "/media.txt");
    if (manifest.isEmpty()) failSetup(QStringLiteral("the site's data is not in %1").arg(site));
    QDir().mkpath(d.work.path() + "/media");
    static const QRegularExpression entry(R"(^(\S+)\s+(\d+)$)");
    for (const QString& text : manifest.split('\n')) {
        const QString line = text.trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        const auto match = entry.match(line);
        if (!match.hasMatch()) failSetup("bad line in media.txt: " + line);
        d.ensureMedia(match.captured(1), match.captured(2).toLongLong());
    }
    d.nginx = findNginx();
    d.startNginx(site);

    QStringList connectTo = siteHostsAt(d.ports[0], d.ports[1]);
    connectTo << QStringLiteral("%1:443:127.0.0.1:%2").arg(kUntrustedHost).arg(d.ports[2])
              << QStringLiteral("%1:443:127.0.0.1:%2").arg(kMismatchedHost).arg(d.ports[0]);
    qputenv("CLIPMOOR_CONNECT_TO", connectTo.join(',').toUtf8());
    qputenv("CLIPMOOR_CA_BUNDLE", QFile::encodeName(kTlsFolder + "/ca.pem"));
    dropProxySettings();
}

TestSite::~TestSite() {
    delete impl_;
}

void TestSite::keepSiteHostsOffTheNetwork() {
    dropProxySettings();
    if (!qEnvironmentVariableIsEmpty("CLIPMOOR_CONNECT_TO")) return;
    qputenv("CLIPMOOR_CONNECT_TO", siteHostsAt(9, 9).join(',').toUtf8());
}

QString TestSite::sourceDirectory() {
    const QString configured = qEnvironmentVariable("CLIPMOOR_TEST_SITE_ROOT");
    return configured.isEmpty() ? QStringLiteral(CLIPMOOR_TEST_SITE_SOURCE_DIR) : configured;
}

QByteArray TestSite::videoInfoAnswer(const QString& videoID) {
    QFile file(sourceDirectory() + "/video_info/" + videoID + ".txt");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QUrl TestSite::mediaFile(const QString& name, qint64 size) {
    impl_->ensureMedia(name, size);
    return mediaUrl(name);
}

void TestSite::setFullSpeed(bool fullSpeed) {
    QFile marker(impl_->work.path() + "/full-speed");  // nginx looks for it
    if (!fullSpeed) marker.remove();
    if (fullSpeed) marker.open(QIODevice::WriteOnly);
}

QString TestSite::mediaPath(const QString& name) const {
    return impl_->mediaPath(name);
}

void TestSite::replaceMediaFile(const QString& name, qint64 size) {
    std::lock_guard lock(impl_->mediaMutex);
    const qint64 mtime = QFileInfo(mediaPath(name)).lastModified().toSecsSinceEpoch();
    impl_->writeMedia(name, size, ++impl_->generations[name], mtime);
}

QByteArray TestSite::sha256OfFile(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result().toHex()
                                                                 : QByteArray();
}

QByteArray FaultServer::body(qint64 length) {
    QRandomGenerator stream = contentStream("fault-server", 0);
    return nextContent(stream, length);
}

QUrl TestSite::untrustedHostUrl(const QString& pathAndQuery) const {
    return QUrl("https://" + kUntrustedHost + pathAndQuery);
}

QUrl TestSite::mismatchedHostUrl(const QString& pathAndQuery) const {
    return QUrl("https://" + kMismatchedHost + pathAndQuery);
}

FaultServer& TestSite::faultServer() {
    static FaultServer server;
    return server;
}

QList<AccessLogEntry> TestSite::accessLog() const {
    QList<AccessLogEntry> entries;
    QFile file(impl_->accessLogPath());
    if (!file.open(QIODevice::ReadOnly)) return entries;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 5) continue;  // an empty last line, or a line still being written
        entries.append({fields[0].toInt(), logField(fields[1]), logField(fields[2]),
                        logField(fields[3]), logField(fields[4])});
    }
    return entries;
}

QStringList TestSite::accessLogRequests() const {
    QStringList requests;
    for (const AccessLogEntry& entry : accessLog()) requests << entry.request;
    return requests;
}

void TestSite::clearAccessLog() {
    QFile::resize(impl_->accessLogPath(), 0);
}

}  // namespace clipmoor::test
