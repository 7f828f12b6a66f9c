// "Show in Folder" against a real session bus: a private dbus-daemon, and a small file-manager
// stand-in of ours that owns the freedesktop name and records what it is asked to show.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDesktopServices>
#include <QMenu>
#include <QProcess>

#include "download_list_fixture.h"

namespace clipmoor {
namespace {

class FileManagerStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QList<QPair<QStringList, QString>> calls;

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId) {
        calls.append({uris, startupId});
    }
};

class OpenedFolders : public QObject {
    Q_OBJECT

public:
    OpenedFolders() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~OpenedFolders() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls.append(url); }
};

class RevealInFolderTest : public test::DownloadListFixture {
protected:
    static void SetUpTestSuite() {
        test::DownloadListFixture::SetUpTestSuite();
        daemon = new QProcess;
        daemon->start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        ASSERT_TRUE(daemon->waitForStarted()) << "dbus-daemon is missing";
        ASSERT_TRUE(daemon->waitForReadyRead(10000));
        address = QString::fromUtf8(daemon->readLine()).trimmed();
        // Read by Qt when the session bus is first used, which is after this.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }
    static void TearDownTestSuite() {
        daemon->terminate();
        daemon->waitForFinished();
        delete daemon;
    }
    void SetUp() override {
        test::DownloadListFixture::SetUp();
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
        video = addRecord("Finished clip(medium)", 2, "Missing0001");
        path = writeFile("Finished clip(medium).mp4", 100);
        ASSERT_NE(rowView(0), nullptr);
    }
    QAction* showInFolderItem() {
        rowView(0)->rightMouseDown(rowView(0)->mapToGlobal(QPoint(5, 5)));
        QAction* item = rowView(0)->menu()->actions().value(0);
        rowView(0)->menu()->close();
        return item;
    }

    static inline QProcess* daemon = nullptr;
    static inline QString address;
    std::shared_ptr<Video> video;
    QString path;
};

TEST_F(RevealInFolderTest, TheFileManagerIsAskedToShowTheFile) {
    FileManagerStandIn fileManager;
    QDBusConnection bus = QDBusConnection::connectToBus(address, "file-manager");
    ASSERT_TRUE(bus.registerObject("/org/freedesktop/FileManager1", &fileManager,
                                   QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService("org.freedesktop.FileManager1"));
    OpenedFolders folders;

    QAction* item = showInFolderItem();
    ASSERT_TRUE(item->isEnabled());
    item->trigger();
    ASSERT_TRUE(test::waitUntil([&] { return !fileManager.calls.isEmpty(); }));
    // One address, percent-encoded as URIs are on the bus.
    ASSERT_EQ(fileManager.calls[0].first.size(), 1);
    const QString uri = fileManager.calls[0].first[0];
    EXPECT_TRUE(uri.startsWith("file:///")) << uri.toStdString();
    EXPECT_TRUE(uri.endsWith("/Finished%20clip(medium).mp4")) << uri.toStdString();
    EXPECT_EQ(QUrl(uri).toLocalFile(), path);
    EXPECT_EQ(fileManager.calls[0].second, "");
    test::spinEventLoop(100);
    EXPECT_TRUE(folders.urls.isEmpty());  // no fallback when the file manager answered

    // A record that is not finished shows nothing.
    video->setDownloadState(4);
    showInFolderItem()->trigger();
    test::spinEventLoop(200);
    EXPECT_EQ(fileManager.calls.size(), 1);
    bus.unregisterService("org.freedesktop.FileManager1");
    QDBusConnection::disconnectFromBus("file-manager");
}

TEST_F(RevealInFolderTest, WithoutAFileManagerTheFolderIsOpened) {
    OpenedFolders folders;
    showInFolderItem()->trigger();
    ASSERT_TRUE(test::waitUntil([&] { return !folders.urls.isEmpty(); }));
    EXPECT_EQ(folders.urls[0], QUrl::fromLocalFile(downloadFolder));
}

}  // namespace
}  // namespace clipmoor

#include "reveal_in_folder_test.moc"
