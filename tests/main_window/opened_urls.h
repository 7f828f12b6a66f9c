#pragma once

#include <QDesktopServices>
#include <QObject>
#include <QUrl>

namespace clipmoor::test {

// Receives what the desktop would open for these schemes.
class OpenedUrls : public QObject {
    Q_OBJECT

public:
    explicit OpenedUrls(QStringList schemes) : schemes_(std::move(schemes)) {
        for (const QString& scheme : schemes_)
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~OpenedUrls() override {
        for (const QString& scheme : schemes_) QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls.append(url); }

private:
    QStringList schemes_;
};

}  // namespace clipmoor::test
