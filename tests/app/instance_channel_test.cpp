#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>

#include <gtest/gtest.h>

#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "app/app_delegate.h"
#include "app/private_socket.h"
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

// Playing another local user takes root (CI and the development machines run tests as root).
#define SKIP_UNLESS_ROOT() \
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user"

sockaddr_un socketAddress(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, native.constData(), native.size());
    return address;
}

// A process of another user (nobody): `body` runs in a forked child, with only system calls, and
// tells the parent what happened through `report` (a pipe). With `reachesEveryFile` it keeps root's
// file access, as though every folder let it in, while the user it runs as (what a socket peer
// sees) is still nobody.
class OtherUserProcess {
public:
    OtherUserProcess(const std::function<void(int report)>& body, bool reachesEveryFile) {
        const passwd* nobody = getpwnam("nobody");
        uid_ = nobody ? nobody->pw_uid : 65534;
        const gid_t gid = nobody ? nobody->pw_gid : 65534;
        if (::pipe(pipe_) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(pipe_[0]);
            // Only this thread exists in the child: the raw calls change it alone.
            const uid_t saved = reachesEveryFile ? 0 : uid_;
            if (::syscall(SYS_setresgid, gid, gid, gid) != 0 ||
                ::syscall(SYS_setresuid, uid_, uid_, saved) != 0)
                ::_exit(2);
            if (reachesEveryFile) ::syscall(SYS_setfsuid, 0);
            body(pipe_[1]);
            ::_exit(0);
        }
        ::close(pipe_[1]);
    }
    ~OtherUserProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(pipe_[0]);
    }
    // Every byte the child has reported within `timeoutMs`, up to the first `count`.
    QByteArray reported(int count, int timeoutMs) {
        QByteArray bytes;
        pollfd entry{pipe_[0], POLLIN, 0};
        char c;
        while (bytes.size() < count && ::poll(&entry, 1, timeoutMs) == 1 &&
               ::read(pipe_[0], &c, 1) == 1)
            bytes += c;
        return bytes;
    }

private:
    uid_t uid_ = 65534;
    pid_t pid_ = -1;
    int pipe_[2] = {-1, -1};
};

class InstanceChannelTest : public testing::Test {
protected:
    LocalVendorServices vendorServices;
    AppDelegate delegate{vendorServices};
    QStringList received;
    ObserverToken token = NotificationCenter::defaultCenter().addObserver(
        kClipmoorDidRecieveURLFromBrowserExtensionNotification,
        [this](const Notification& n) { received.append(n.object.toString()); });
};

TEST_F(InstanceChannelTest, ALaterStartHandsItsAddressOverAndOnlyADeadSocketIsReplaced) {
    {
        InstanceChannel live;
        ASSERT_EQ(live.listen(), InstanceChannel::ListenResult::Listening);
        EXPECT_EQ(InstanceChannel().listen(),
                  InstanceChannel::ListenResult::AnotherInstanceAnswers);
        EXPECT_FALSE(delegate.applicationDidFinishLaunching());
        EXPECT_TRUE(live.isListening());
    }
    // An instance that died leaves its socket file behind.
    const sockaddr_un address = socketAddress(InstanceChannel::serverName());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);

    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    EXPECT_EQ(runSecondStart({"clipmoor://url?https://youtu.be/abc"}), 0);
    EXPECT_EQ(runSecondStart({}), 0);  // without an address it only asks for the window
    EXPECT_EQ(received, QStringList({"https://youtu.be/abc"}));
}

TEST_F(InstanceChannelTest, TheSocketLivesOnlyInAFolderThisUserAloneCanEnter) {
    SKIP_UNLESS_ROOT();
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTemp = qgetenv("TMPDIR");
    const QString temp = test::privateHome() + "/tmp";
    const QString fallback = temp + QStringLiteral("/clipmoor-%1").arg(::geteuid());
    const QString elsewhere = test::privateHome() + "/elsewhere";
    const passwd* nobody = getpwnam("nobody");
    const uid_t otherUser = nobody ? nobody->pw_uid : 65534;

    const uid_t me = ::geteuid();
    struct Case {
        const char* name;
        QString runtime;  // XDG_RUNTIME_DIR, unset when empty
        QString made;     // a folder made beforehand, with this mode and owner
        mode_t mode;
        uid_t owner;
        bool linkedAsFallback;  // the fallback's name is a link to the folder made
        QString folder;         // where the socket must be; empty: nowhere
    };
    const Case cases[] = {
        {"no runtime folder: a private one is made", {}, {}, 0, me, false, fallback},
        {"a runtime folder others may enter is passed over", elsewhere, elsewhere, 0755, me, false,
         fallback},
        {"the runtime folder when it is private", elsewhere, elsewhere, 0700, me, false, elsewhere},
        {"our folder left open to others", {}, fallback, 0711, me, false, {}},
        {"the name taken by another user", {}, fallback, 0700, otherUser, false, {}},
        {"a link in the folder's place", {}, elsewhere, 0700, me, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(temp).removeRecursively();
        QDir(elsewhere).removeRecursively();
        QDir().mkpath(temp);
        qputenv("TMPDIR", QFile::encodeName(temp));
        if (c.runtime.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(c.runtime));
        if (!c.made.isEmpty()) {
            QDir().mkpath(c.made);
            ::chmod(QFile::encodeName(c.made).constData(), c.mode);
            ::chown(QFile::encodeName(c.made).constData(), c.owner, -1);
        }
        if (c.linkedAsFallback) QFile::link(c.made, fallback);

        const QString name = InstanceChannel::serverName();
        InstanceChannel channel;
        if (c.folder.isEmpty()) {
            EXPECT_TRUE(name.isEmpty()) << name.toStdString();
            EXPECT_EQ(channel.listen(), InstanceChannel::ListenResult::Failed);
        } else {
            EXPECT_EQ(QFileInfo(name).path().toStdString(), c.folder.toStdString());
            EXPECT_TRUE(isPrivateFolder(c.folder));
            EXPECT_EQ(channel.listen(), InstanceChannel::ListenResult::Listening);
        }
    }
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    qputenv("TMPDIR", savedTemp);
}

TEST_F(InstanceChannelTest, AnotherUsersSocketGetsNoAddressAndThisStartRunsAlone) {
    SKIP_UNLESS_ROOT();
    const QString path = InstanceChannel::serverName();
    ASSERT_FALSE(path.isEmpty());
    // Another user listens; the child allocates nothing, so the address is made before the fork.
    const sockaddr_un address = socketAddress(path);
    OtherUserProcess server(
        [&](int report) {
            const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)))
                ::_exit(3);
            ::listen(listener, 8);
            ::write(report, "L", 1);
            for (;;) {
                const int connection = ::accept(listener, nullptr, nullptr);
                if (connection < 0) ::_exit(4);
                char byte;
                if (::read(connection, &byte, 1) == 1) ::write(report, "M", 1);
                ::close(connection);
            }
        },
        true);
    ASSERT_EQ(server.reported(1, 20000), "L");

    EXPECT_FALSE(InstanceChannel::sendToRunningInstance("clipmoor://url?https://youtu.be/secret"));
    EXPECT_EQ(InstanceChannel().listen(), InstanceChannel::ListenResult::Failed);
    EXPECT_TRUE(delegate.applicationDidFinishLaunching());
    EXPECT_EQ(server.reported(1, 500), "") << "the other user read a message";
}

TEST_F(InstanceChannelTest, AConnectionFromAnotherUserIsDroppedUnread) {
    SKIP_UNLESS_ROOT();
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    const sockaddr_un address = socketAddress(InstanceChannel::serverName());
    OtherUserProcess client(
        [&](int report) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
                ::_exit(3);
            ::write(report, "C", 1);
            const char message[] = "clipmoor://url?https://youtu.be/x\n";
            ::write(fd, message, sizeof(message) - 1);
            char receipt[3];
            if (::read(fd, receipt, sizeof(receipt)) > 0) ::write(report, "R", 1);
            ::write(report, "E", 1);
        },
        true);
    QByteArray reported;
    ASSERT_TRUE(test::waitUntil([&] {
        reported += client.reported(1, 0);
        return reported.endsWith('E');
    }));
    EXPECT_EQ(reported, "CE") << "the other user's connection was not refused";
    test::spinEventLoop(100);
    EXPECT_TRUE(received.isEmpty());
}

TEST_F(InstanceChannelTest, OversizedMessageIsDroppedWithoutAReceipt) {
    ASSERT_TRUE(delegate.applicationDidFinishLaunching());
    QLocalSocket socket;
    socket.connectToServer(InstanceChannel::serverName());
    socket.write(QByteArray(InstanceChannel::kMaximumMessageBytes + 4096, 'a'));
    EXPECT_TRUE(test::waitUntil([&] { return socket.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(socket.readAll(), "");
    EXPECT_TRUE(received.isEmpty());
}

}  // namespace
}  // namespace clipmoor
