#include <QFile>
#include <QLocalSocket>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <thread>

#include "app/app_delegate.h"
#include "app/vendor_services.h"
#include "main_window/main_view_controller.h"
#include "test_environment.h"

namespace clipmoor {
namespace {

// Runs the real executable as a later start; its exit code, or -1 when it did not end by itself.
int runSecondStart(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral(CLIPMOOR_EXECUTABLE), arguments);
    if (!test::waitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

class InstanceChannelTest : public testing::Test {
protected:
    LocalVendorServices vendorServices;
    AppDelegate delegate{vendorServices};
    QStringList received;
    ObserverToken token = NotificationCenter::defaultCenter().addObserver(
        kClipmoorDidRecieveURLFromBrowserExtensionNotification,
        [this](const Notification& n) { received.append(n.object.toString()); });
};

TEST_F(InstanceChannelTest, SecondStartHandsItsAddressToTheRunningInstanceAndEnds) {
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    EXPECT_EQ(runSecondStart({"clipmoor://url?https://youtu.be/abc"}), 0);
    EXPECT_EQ(runSecondStart({}), 0);  // without an address it only asks for the window
    EXPECT_EQ(received, QStringList({"https://youtu.be/abc"}));
}

TEST_F(InstanceChannelTest, OnlyASocketThatNobodyAnswersOnIsReplaced) {
    {
        InstanceChannel live;
        ASSERT_EQ(live.listen(), InstanceChannel::ListenResult::Listening);
        EXPECT_EQ(InstanceChannel().listen(),
                  InstanceChannel::ListenResult::AnotherInstanceAnswers);
        EXPECT_FALSE(delegate.applicationDidFinishLaunching());
        EXPECT_TRUE(live.isListening());
    }
    // An instance that died leaves its socket file behind.
    const QByteArray path = QFile::encodeName(InstanceChannel::serverName());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, path.constData(), path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);

    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    EXPECT_EQ(runSecondStart({"clipmoor://url?https://youtu.be/after"}), 0);
    EXPECT_EQ(received, QStringList({"https://youtu.be/after"}));
}

TEST_F(InstanceChannelTest, OversizedMessageIsDroppedWithoutAReceipt) {
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    std::atomic<bool> done = false;
    bool receipt = true;
    std::thread client([&] {
        QLocalSocket socket;
        socket.connectToServer(InstanceChannel::serverName());
        if (socket.waitForConnected(5000)) {
            socket.write(QByteArray(InstanceChannel::kMaximumMessageBytes + 4096, 'a'));
            socket.waitForBytesWritten(5000);
            receipt = socket.waitForReadyRead(5000) && socket.readAll() == "ok\n";
        }
        done = true;
    });
    const bool ended = test::waitUntil([&] { return done.load(); }, 20000);
    client.join();
    ASSERT_TRUE(ended);
    EXPECT_FALSE(receipt);
    EXPECT_TRUE(received.isEmpty());
}

}  // namespace
}  // namespace clipmoor
