#include "test_site.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

#include "fault_server.h"
#include "media_library.h"
#include "nginx_process.h"
#include "setup_failure.h"

namespace clipmoor::test {

namespace {

// The site's host names, as the application writes them.
const QStringList kSiteHosts = {QStringLiteral("www.youtube.com"), QStringLiteral("youtu.be"),
                                QStringLiteral("i.ytimg.com"), QStringLiteral("vimeo.com")};
const QString kUntrustedHost = QStringLiteral(CLIPMOOR_TEST_UNTRUSTED_HOST);
const QString kMismatchedHost = QStringLiteral("wrong-name.clipmoor.test");

QString certificateFile(const QString& name) {
    return QStringLiteral(CLIPMOOR_TEST_TLS_DIR) + QLatin1Char('/') + name;
}

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

void setEnvironment(const char* name, const QString& value) {
    qputenv(name, QFile::encodeName(value));
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

// The connect-to entries that send ports 443 and 80 of the site's hosts to loopback ports.
QStringList siteHostsAt(quint16 https, quint16 http) {
    QStringList entries;
    for (const QString& host : kSiteHosts) {
        entries << QStringLiteral("%1:443:127.0.0.1:%2").arg(host).arg(https)
                << QStringLiteral("%1:80:127.0.0.1:%2").arg(host).arg(http);
    }
    return entries;
}

}  // namespace

struct TestSite::Impl {
    // Declared in the order they are needed; destroyed the other way round, nginx first.
    QTemporaryDir work{QDir::tempPath() + QStringLiteral("/clipmoor-site-XXXXXX")};
    std::unique_ptr<MediaLibrary> media;
    std::unique_ptr<NginxProcess> nginx;
};

TestSite& TestSite::shared() {
    static TestSite site;
    return site;
}

TestSite::TestSite() : impl_(new Impl) {
    Impl& d = *impl_;
    if (!d.work.isValid()) failSetup(QStringLiteral("cannot make a temporary folder"));
    if (!QFileInfo::exists(certificateFile(QStringLiteral("ca.pem")))) {
        failSetup(QStringLiteral("the test certificates are missing from %1: build the target "
                                 "clipmoor_test_certificates (it needs openssl)")
                      .arg(QStringLiteral(CLIPMOOR_TEST_TLS_DIR)));
    }
    const QString site = sourceDirectory();
    if (!QFileInfo::exists(site + QStringLiteral("/media.txt")))
        failSetup(QStringLiteral("the site's data is not in %1").arg(site));

    d.media = std::make_unique<MediaLibrary>(d.work.path() + QStringLiteral("/media"));
    d.media->ensureFromManifest(site + QStringLiteral("/media.txt"));

    d.nginx = std::make_unique<NginxProcess>(findNginx(), d.work.path());
    d.nginx->start(QStringLiteral(CLIPMOOR_TEST_NGINX_TEMPLATE),
                   {{QStringLiteral("SITE"), site},
                    {QStringLiteral("TLS"), QStringLiteral(CLIPMOOR_TEST_TLS_DIR)},
                    {QStringLiteral("UNTRUSTED_HOST"), kUntrustedHost}});

    const NginxProcess::Ports& ports = d.nginx->ports();
    QStringList connectTo = siteHostsAt(ports.https, ports.http);
    connectTo << QStringLiteral("%1:443:127.0.0.1:%2").arg(kUntrustedHost).arg(ports.untrusted)
              << QStringLiteral("%1:443:127.0.0.1:%2").arg(kMismatchedHost).arg(ports.https);
    setEnvironment("CLIPMOOR_CONNECT_TO", connectTo.join(QLatin1Char(',')));
    setEnvironment("CLIPMOOR_CA_BUNDLE", certificateFile(QStringLiteral("ca.pem")));
    dropProxySettings();
}

TestSite::~TestSite() {
    delete impl_;
}

void TestSite::keepSiteHostsOffTheNetwork() {
    dropProxySettings();
    if (!qEnvironmentVariableIsEmpty("CLIPMOOR_CONNECT_TO")) return;
    setEnvironment("CLIPMOOR_CONNECT_TO", siteHostsAt(9, 9).join(QLatin1Char(',')));
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
    impl_->media->ensure(name, size);
    return mediaUrl(name);
}

void TestSite::setFullSpeed(bool fullSpeed) {
    QFile marker(impl_->work.path() + "/full-speed");  // nginx looks for it
    if (!fullSpeed) marker.remove();
    if (fullSpeed) marker.open(QIODevice::WriteOnly);
}

QString TestSite::mediaPath(const QString& name) const {
    return impl_->media->path(name);
}

void TestSite::replaceMediaFile(const QString& name, qint64 size) {
    impl_->media->replace(name, size);
}

QByteArray TestSite::sha256OfFile(const QString& path) {
    return MediaLibrary::sha256OfFile(path);
}

QUrl TestSite::untrustedHostUrl(const QString& pathAndQuery) const {
    return QUrl(QStringLiteral("https://") + kUntrustedHost + pathAndQuery);
}

QUrl TestSite::mismatchedHostUrl(const QString& pathAndQuery) const {
    return QUrl(QStringLiteral("https://") + kMismatchedHost + pathAndQuery);
}

FaultServer& TestSite::faultServer() {
    static FaultServer server;
    return server;
}

QList<AccessLogEntry> TestSite::accessLog() const {
    QList<AccessLogEntry> entries;
    QFile file(impl_->nginx->accessLogPath());
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
    QFile::resize(impl_->nginx->accessLogPath(), 0);
}

}  // namespace clipmoor::test
