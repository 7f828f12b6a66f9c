#include "fault_server.h"

#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "test_environment.h"

namespace clipmoor::test {

namespace {

constexpr qsizetype kMaximumRequestHead = 16 * 1024;
constexpr int kInputOutputTimeoutMs = 10'000;
constexpr int kMaximumStallMs = 120'000;
constexpr qint64 kMaximumBody = 256 * 1024 * 1024;

}  // namespace

struct FaultServer::Impl {
    int listener = -1;
    int wake = -1;  // eventfd: readable once the server stops
    quint16 port = 0;
    std::thread acceptor;

    mutable std::mutex mutex;
    QStringList requests;
    std::atomic<int> open{0};  // connections being served; their threads touch nothing after
    // Members rather than statics: connections may still be served while the process exits.
    const QRegularExpression route{QStringLiteral(
        R"(^[A-Z]+ /(cut|short|stall|trickle|cutonce)/(\d{1,12})/(\d{1,12}) HTTP/1\.[01]\r\n)")};
    const QRegularExpression range{QStringLiteral(R"(\r\nRange:\s*bytes=(\d{1,12})-\r\n)"),
                                   QRegularExpression::CaseInsensitiveOption};

    void acceptLoop() {
        for (;;) {
            pollfd fds[2] = {{listener, POLLIN, 0}, {wake, POLLIN, 0}};
            if ((::poll(fds, 2, -1) < 0 && errno != EINTR) || fds[1].revents) return;
            const int fd = (fds[0].revents & POLLIN)
                               ? ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)
                               : -1;
            if (fd < 0) continue;
            ++open;
            std::thread([this, fd] {
                serve(fd);
                ::close(fd);
                --open;
            }).detach();
        }
    }

    // Waits for `events` on `fd`; false when the server stops, the wait times out or fails.
    bool waitFor(int fd, short events, int timeoutMs) const {
        pollfd fds[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
        while (::poll(fds, 2, timeoutMs) < 0)
            if (errno != EINTR) return false;
        return !fds[1].revents && (fds[0].revents & events);
    }

    bool sendAll(int fd, const QByteArray& bytes) const {
        for (qsizetype done = 0; done < bytes.size();) {
            if (!waitFor(fd, POLLOUT, kInputOutputTimeoutMs)) return false;
            const ssize_t sent = ::send(fd, bytes.constData() + done,
                                        static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL);
            if (sent < 0 && errno != EINTR && errno != EAGAIN) return false;
            done += std::max<ssize_t>(sent, 0);
        }
        return true;
    }

    void serve(int fd) {
        QByteArray head;
        while (!head.contains("\r\n\r\n")) {
            char buffer[4096];
            if (head.size() > kMaximumRequestHead || !waitFor(fd, POLLIN, kInputOutputTimeoutMs))
                return;
            const ssize_t received = ::recv(fd, buffer, sizeof buffer, 0);
            if (received <= 0) return;
            head.append(buffer, received);
        }
        head.truncate(head.indexOf("\r\n\r\n"));
        {
            std::lock_guard lock(mutex);
            requests.append(QString::fromLatin1(head));
        }
        const QString lines = QString::fromLatin1(head + "\r\n");
        const auto match = route.match(lines);
        const QString fault = match.captured(1);
        const qint64 announced = match.captured(2).toLongLong(),
                     third = match.captured(3).toLongLong();
        if (!match.hasMatch() || announced > kMaximumBody) {
            sendAll(fd,
                    "HTTP/1.1 404 Not Found\r\nContent-Length: 10\r\nConnection: close\r\n\r\n"
                    "not found\n");
            return;
        }
        // "Range: bytes=N-" with N inside the body: the rest from N, whole.
        const auto ranged = range.match(lines);
        const qint64 from = ranged.hasMatch() ? ranged.captured(1).toLongLong() : announced;
        const bool partial = fault == "cutonce" && from < announced;
        const QByteArray size = QByteArray::number(announced);
        const QByteArray answer =
            QByteArray(partial ? "HTTP/1.1 206 Partial Content" : "HTTP/1.1 200 OK") +
            "\r\nContent-Length: " + QByteArray::number(partial ? announced - from : announced) +
            (partial ? "\r\nContent-Range: bytes " + QByteArray::number(from) + "-" +
                           QByteArray::number(announced - 1) + "/" + size
                     : QByteArray()) +
            "\r\nETag: \"fault-" + size +
            "\"\r\nLast-Modified: Mon, 01 Jan 2024 00:00:00 GMT\r\nConnection: close\r\n\r\n";
        if (!sendAll(fd, answer)) return;
        if (partial) {
            sendAll(fd, FaultServer::body(announced).mid(from));
        } else if (fault == "trickle") {
            const qint64 interval = std::clamp<qint64>(third, 1, kMaximumStallMs);
            qint64 waited = 0;
            for (const char byte : FaultServer::body(announced)) {
                pollfd stop{wake, POLLIN, 0};
                if (::poll(&stop, 1, int(interval)) != 0) return;  // stopping (or failed)
                waited += interval;
                if (waited > kMaximumStallMs || ::send(fd, &byte, 1, MSG_NOSIGNAL) != 1) return;
            }
        } else if (sendAll(fd, FaultServer::body(std::min(third, announced)))) {
            if (fault == "cut" || fault == "cutonce") {
                const linger abort{1, 0};  // closing now sends RST instead of FIN
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            }
            // A stall is held until the client leaves or the server stops; what it sends is
            // dropped.
            char sink[1024];
            while (fault == "stall" && waitFor(fd, POLLIN, kMaximumStallMs) &&
                   ::recv(fd, sink, sizeof sink, 0) > 0) {
            }
        }
    }
};

FaultServer::FaultServer() : impl_(std::make_unique<Impl>()) {
    Impl& d = *impl_;
    d.listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    d.wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (d.listener < 0 || d.wake < 0 ||
        ::bind(d.listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(d.listener, 64) != 0 ||
        ::getsockname(d.listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        failSetup(QStringLiteral("the fault server cannot listen: %1").arg(strerror(errno)));
    }
    d.port = ntohs(address.sin_port);
    d.acceptor = std::thread([&d] { d.acceptLoop(); });
}

FaultServer::~FaultServer() {
    Impl& d = *impl_;
    const quint64 one = 1;
    [[maybe_unused]] const auto written = ::write(d.wake, &one, sizeof one);
    d.acceptor.join();
    while (d.open > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::close(d.listener);
    ::close(d.wake);
}

QUrl FaultServer::url(const char* fault, qint64 announced, qint64 third) const {
    return QUrl(QString::asprintf("http://127.0.0.1:%u/%s/%lld/%lld", unsigned(impl_->port), fault,
                                  qlonglong(announced), qlonglong(third)));
}

QStringList FaultServer::requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

int FaultServer::openConnections() const {
    return impl_->open.load();
}

}  // namespace clipmoor::test
