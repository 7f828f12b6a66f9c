#include <QFile>
#include <QLocalSocket>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <thread>

#include "app/app_delegate.h"
#include "app/instance_channel.h"
#include "app/vendor_services.h"
#include "main_window/main_view_controller.h"
#include "platform/notification_center.h"
#include "test_environment.h"

namespace clipmoor {
namespace {

// Runs the real executable as a later start and waits for it to end; its exit code, or -1 when
// it did not end on its own.
int runSecondStart(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral(CLIPMOOR_EXECUTABLE), arguments);
    if (!process.waitForStarted(10000)) return -1;
    const bool ended =
        test::waitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000);
    if (!ended) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

class InstanceChannelTest : public testing::Test {
protected:
    void SetUp() override {
        token = NotificationCenter::defaultCenter().addObserver(
            kClipmoorDidRecieveURLFromBrowserExtensionNotification,
            [this](const Notification& notification) {
                received.append(notification.object.toString());
            });
    }
    LocalVendorServices vendorServices;
    AppDelegate delegate{vendorServices};
    QStringList received;
    ObserverToken token;
};

TEST_F(InstanceChannelTest, SecondStartHandsItsAddressToTheRunningInstanceAndEnds) {
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    EXPECT_EQ(runSecondStart({"clipmoor://url?https://youtu.be/abc"}), 0);
    EXPECT_EQ(received, QStringList({"https://youtu.be/abc"}));

    // Without an address a later start only asks for the window.
    EXPECT_EQ(runSecondStart({}), 0);
    EXPECT_EQ(received.size(), 1);
}

TEST_F(InstanceChannelTest, SocketLeftBehindByADeadInstanceIsReplaced) {
    // A socket file that nobody listens on any more.
    const QByteArray path = QFile::encodeName(InstanceChannel::serverName());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(static_cast<size_t>(path.size()), sizeof(address.sun_path));
    memcpy(address.sun_path, path.constData(), path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(QFile::decodeName(path)));

    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    EXPECT_EQ(runSecondStart({"clipmoor://url?https://youtu.be/after"}), 0);
    EXPECT_EQ(received, QStringList({"https://youtu.be/after"}));
}

TEST_F(InstanceChannelTest, LiveInstanceIsLeftAlone) {
    InstanceChannel first;
    ASSERT_EQ(first.listen(), InstanceChannel::ListenResult::Listening);
    InstanceChannel second;
    EXPECT_EQ(second.listen(), InstanceChannel::ListenResult::AnotherInstanceAnswers);
    EXPECT_TRUE(first.isListening());
}

TEST_F(InstanceChannelTest, OversizedMessageIsDroppedWithoutAReceipt) {
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    bool receiptArrived = true;
    bool clientDone = false;
    std::thread client([&] {
        QLocalSocket socket;
        socket.connectToServer(InstanceChannel::serverName());
        if (socket.waitForConnected(5000)) {
            socket.write(QByteArray(InstanceChannel::kMaximumMessageBytes + 4096, 'a'));
            socket.waitForBytesWritten(5000);
            receiptArrived = socket.waitForReadyRead(5000) && socket.readAll() == "ok\n";
        }
        clientDone = true;
    });
    const bool done = test::waitUntil([&] { return clientDone; }, 20000);
    client.join();
    ASSERT_TRUE(done);
    EXPECT_FALSE(receiptArrived);
    EXPECT_TRUE(received.isEmpty());
}

}  // namespace
}  // namespace clipmoor
