#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace clipmoor::test {

class FaultServer;

// One request as nginx logged it.
struct AccessLogEntry {
    int status = 0;
    QString host;     // the Host header ("www.youtube.com")
    QString range;    // the Range header, empty when there was none
    QString ifRange;  // the If-Range header, empty when there was none ("\"6b15-927c0\"")
    QString request;  // the request line as it arrived: "GET /get_video_info?... HTTP/2.0"

    // The path and query of the request line, exactly as sent: "/get_video_info?...".
    QString target() const { return request.section(QLatin1Char(' '), 1, 1); }
};

// A local copy of the video site: a real nginx on free loopback ports, serving HTTPS (HTTP/2 or
// HTTP/1.1, as the client offers) for the site's host names with a throw-away certificate
// authority made at build time, plain HTTP/1.1 on port 80, and a small fault server of our own
// for what nginx cannot do. The routes are in nginx.conf.in; the methods below build their
// addresses.
//
// The transfer layer reads CLIPMOOR_CONNECT_TO and CLIPMOOR_CA_BUNDLE once, when its engine
// starts; so call TestSite::shared() on the main thread before the first transfer of the process.
// nginx ends with the test process. A missing nginx, certificate or free port ends the process
// with a message.
class TestSite {
public:
    static TestSite& shared();
    ~TestSite();

    // The site's answer files and thumbnail in the source tree.
    static QString sourceDirectory();

    QUrl mainHostUrl(const QString& pathAndQuery) const {
        return QUrl("https://www.youtube.com" + pathAndQuery);
    }
    // The answer file the information endpoint sends for `videoID`.
    static QByteArray videoInfoAnswer(const QString& videoID);

    // A media file of `size` bytes of deterministic content, served under /media/<name>; made
    // now unless it already exists with that size. The files that answer files point at exist
    // from the start (site/media.txt).
    QUrl mediaFile(const QString& name, qint64 size);
    QUrl mediaUrl(const QString& name) const { return mainHostUrl("/media/" + name); }
    QUrl slowMediaUrl(const QString& name, qint64 bytesPerSecond) const {
        return mainHostUrl(QString("/slow/media/%1?rate=%2").arg(name).arg(bytesPerSecond));
    }
    // Slow until setFullSpeed(true).
    QUrl switchableMediaUrl(const QString& name, qint64 bytesPerSecond) const {
        return mainHostUrl(QString("/switchable/media/%1?rate=%2").arg(name).arg(bytesPerSecond));
    }
    void setFullSpeed(bool fullSpeed);
    QUrl redirectToMediaUrl(const QString& name) const {
        return mainHostUrl("/redirect/media/" + name);
    }
    // A 302 to "http://www.youtube.com/media/NAME": plain HTTP, whatever the request came over.
    QUrl insecureRedirectToMediaUrl(const QString& name) const {
        return mainHostUrl("/redirect/insecure/media/" + name);
    }
    QString mediaPath(const QString& name) const;
    // Gives the file new content (and a new ETag and Last-Modified), e.g. between two requests.
    void replaceMediaFile(const QString& name, qint64 size);
    // Hex-encoded; empty if unreadable.
    QByteArray sha256OfMedia(const QString& name) const { return sha256OfFile(mediaPath(name)); }
    static QByteArray sha256OfFile(const QString& path);

    QUrl statusUrl(int status) const { return mainHostUrl(QString("/status/%1").arg(status)); }
    static QByteArray statusBody(int status) {
        return "status " + QByteArray::number(status) + " from the test site\n";
    }
    QUrl redirectToFtpUrl() const { return mainHostUrl("/redirect/ftp"); }
    QUrl redirectToFileUrl() const { return mainHostUrl("/redirect/file"); }
    QUrl redirectLoopUrl() const { return mainHostUrl("/redirect/loop"); }

    // A host whose certificate comes from an authority that is not in the bundle, and a host
    // served with the site's own certificate, which does not name it.
    QUrl untrustedHostUrl(const QString& pathAndQuery) const;
    QUrl mismatchedHostUrl(const QString& pathAndQuery) const;

    // The process-wide fault server (plain HTTP on loopback), started on first use.
    FaultServer& faultServer();

    // What nginx logged so far, oldest first. nginx writes a line once it has sent the whole
    // answer, which may be a moment after the client has it: wait with waitUntil when needed.
    QList<AccessLogEntry> accessLog() const;
    QStringList accessLogRequests() const;  // the request lines alone ("GET /... HTTP/2.0")
    void clearAccessLog();

    // Points the site's hosts at a closed loopback port unless CLIPMOOR_CONNECT_TO is already
    // set, and drops proxy settings, so a transfer started before the site can never leave the
    // machine. The test mains call it first thing; TestSite::shared() replaces the mapping with
    // the real one.
    static void keepSiteHostsOffTheNetwork();

private:
    TestSite();
    struct Impl;
    Impl* impl_;
};

}  // namespace clipmoor::test
