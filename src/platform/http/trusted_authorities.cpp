#include "platform/http/trusted_authorities.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <curl/curl.h>

namespace clipmoor {

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

QString systemBundlePath() {
    char* path = nullptr;
    CURL* probe = curl_easy_init();
    curl_easy_getinfo(probe, CURLINFO_CAINFO, &path);
    const QString result =
        path ? QString::fromLocal8Bit(path) : QStringLiteral("/etc/ssl/certs/ca-certificates.crt");
    curl_easy_cleanup(probe);
    return result;
}

}  // namespace

TrustedAuthorities TrustedAuthorities::fromEnvironment() {
    const QString extraPath = QString::fromLocal8Bit(qgetenv("CLIPMOOR_CA_BUNDLE"));
    if (extraPath.isEmpty()) return {};
    const QByteArray extra = readFile(extraPath);
    if (extra.isEmpty()) {
        qWarning("Clipmoor: cannot read CLIPMOOR_CA_BUNDLE %s", qPrintable(extraPath));
        return {};
    }
    const QByteArray combined = readFile(systemBundlePath()) + '\n' + extra;

    // Named after its content, so runs with the same authorities share one file and libcurl
    // can keep the parsed set cached instead of parsing it for every connection.
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/Clipmoor";
    const QString path =
        folder + "/trusted-authorities-" +
        QCryptographicHash::hash(combined, QCryptographicHash::Sha256).toHex().left(16) + ".pem";
    if (readFile(path) == combined) return {path, {}};
    QSaveFile file(path);
    if (QDir().mkpath(folder) && file.open(QIODevice::WriteOnly) &&
        file.write(combined) == combined.size() && file.commit())
        return {path, {}};
    qWarning("Clipmoor: cannot write %s; keeping the authorities in memory", qPrintable(path));
    return {{}, combined};
}

}  // namespace clipmoor
