#include "fault_server.h"

#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <list>
#include <mutex>
#include <optional>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "media_library.h"
#include "setup_failure.h"

namespace clipmoor::test {

namespace {

constexpr int kMaximumConnections = 32;
constexpr qsizetype kMaximumRequestHead = 16 * 1024;
constexpr int kRequestHeadTimeoutMs = 10'000;
constexpr int kSendTimeoutMs = 10'000;
constexpr int kMaximumStallMs = 120'000;
constexpr qint64 kMaximumBody = 256 * 1024 * 1024;

enum class Fault { Cut, Short, Stall, Trickle, CutOnce };

struct Plan {
    Fault fault;
    qint64 announced;
    qint64 sent;  // for Trickle: the milliseconds between two bytes
};

std::optional<Plan> planFor(const QByteArray& target) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^/(cut|short|stall|trickle|cutonce)/(\d{1,12})/(\d{1,12})$)"));
    const auto match = pattern.match(QString::fromLatin1(target));
    if (!match.hasMatch()) return std::nullopt;
    const QString kind = match.captured(1);
    Plan plan{kind == QLatin1String("cut")       ? Fault::Cut
              : kind == QLatin1String("short")   ? Fault::Short
              : kind == QLatin1String("stall")   ? Fault::Stall
              : kind == QLatin1String("cutonce") ? Fault::CutOnce
                                                 : Fault::Trickle,
              match.captured(2).toLongLong(), match.captured(3).toLongLong()};
    if (plan.announced > kMaximumBody) return std::nullopt;
    if (plan.fault == Fault::Trickle)
        plan.sent = std::clamp<qint64>(plan.sent, 1, kMaximumStallMs);
    else
        plan.sent = std::min(plan.sent, plan.announced);
    return plan;
}

// N of a "Range: bytes=N-" header line in a request head; none without one.
std::optional<qint64> rangeStart(const QByteArray& head) {
    static const QRegularExpression pattern(QStringLiteral(R"(\r\nRange:\s*bytes=(\d{1,12})-\r\n)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto match = pattern.match(QString::fromLatin1(head + "\r\n"));
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toLongLong();
}

}  // namespace

struct FaultServer::Impl {
    struct Connection {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    int listener = -1;
    int wake = -1;  // eventfd: readable once the server stops
    quint16 port = 0;
    std::thread acceptor;
    std::list<Connection> connections;  // acceptor thread only, until stop() joins it

    mutable std::mutex mutex;
    QStringList requests;
    std::atomic<int> open{0};

    void acceptLoop();
    void reapFinished();
    void serve(int fd);
    // Waits for `events` on `fd`; false when the server stops, the wait times out, or the peer
    // went away (for a read wait that sees the end of the stream).
    bool waitFor(int fd, short events, int timeoutMs) const;
    bool sendAll(int fd, const QByteArray& bytes) const;
    // Sends the body one byte every `intervalMs` until it is all out, the client goes away, the
    // server stops or the stall limit is reached.
    void trickle(int fd, const QByteArray& body, qint64 intervalMs) const;
    std::optional<QByteArray> readRequestHead(int fd) const;
    // The head of every answer but the 404: `length` bytes of a body of `announced` bytes.
    static QByteArray headers(const char* status, qint64 length, qint64 announced,
                              const QByteArray& extra) {
        return QByteArray("HTTP/1.1 ") + status +
               "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
               QByteArray::number(length) + "\r\n" + extra + "ETag: \"fault-" +
               QByteArray::number(announced) +
               "\"\r\nLast-Modified: Mon, 01 Jan 2024 00:00:00 GMT\r\n"
               "Accept-Ranges: bytes\r\nConnection: close\r\n\r\n";
    }
};

FaultServer::FaultServer() : impl_(std::make_unique<Impl>()) {}

FaultServer::~FaultServer() {
    stop();
}

void FaultServer::start() {
    if (impl_->acceptor.joinable()) return;
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

void FaultServer::stop() {
    Impl& d = *impl_;
    if (!d.acceptor.joinable()) return;
    const quint64 one = 1;
    [[maybe_unused]] const auto written = ::write(d.wake, &one, sizeof one);
    d.acceptor.join();
    for (Impl::Connection& connection : d.connections) connection.thread.join();
    d.connections.clear();
    ::close(std::exchange(d.listener, -1));
    ::close(std::exchange(d.wake, -1));
}

QUrl FaultServer::url(const char* fault, qint64 announced, qint64 third) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1/%2/%3/%4")
                    .arg(impl_->port)
                    .arg(QLatin1String(fault))
                    .arg(announced)
                    .arg(third));
}

QStringList FaultServer::requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

int FaultServer::openConnections() const {
    return impl_->open.load();
}

QByteArray FaultServer::body(qint64 length) {
    return MediaLibrary::content("fault-server", 0, 0, length);
}

void FaultServer::Impl::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listener, POLLIN, 0}, {wake, POLLIN, 0}};
        if (::poll(fds, 2, 1000) < 0 && errno != EINTR) return;
        if (fds[1].revents) return;
        reapFinished();
        if (!(fds[0].revents & POLLIN)) continue;
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        if (static_cast<int>(connections.size()) >= kMaximumConnections) {
            ::close(fd);
            continue;
        }
        Connection& connection = connections.emplace_back();
        connection.fd = fd;
        ++open;
        connection.thread = std::thread([this, &connection] {
            serve(connection.fd);
            --open;
            connection.done = true;
        });
    }
}

void FaultServer::Impl::reapFinished() {
    for (auto it = connections.begin(); it != connections.end();) {
        if (!it->done) {
            ++it;
            continue;
        }
        it->thread.join();
        it = connections.erase(it);
    }
}

bool FaultServer::Impl::waitFor(int fd, short events, int timeoutMs) const {
    pollfd fds[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
    int result;
    do {
        result = ::poll(fds, 2, timeoutMs);
    } while (result < 0 && errno == EINTR);
    if (result <= 0 || fds[1].revents) return false;
    return (fds[0].revents & events) != 0;
}

bool FaultServer::Impl::sendAll(int fd, const QByteArray& bytes) const {
    qsizetype done = 0;
    while (done < bytes.size()) {
        if (!waitFor(fd, POLLOUT, kSendTimeoutMs)) return false;
        const ssize_t result = ::send(fd, bytes.constData() + done,
                                      static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL);
        if (result < 0 && errno != EINTR && errno != EAGAIN) return false;
        if (result > 0) done += result;
    }
    return true;
}

void FaultServer::Impl::trickle(int fd, const QByteArray& body, qint64 intervalMs) const {
    qint64 waited = 0;
    for (const char byte : body) {
        pollfd stop{wake, POLLIN, 0};
        if (::poll(&stop, 1, static_cast<int>(intervalMs)) != 0) return;  // stopping (or failed)
        waited += intervalMs;
        if (waited > kMaximumStallMs || ::send(fd, &byte, 1, MSG_NOSIGNAL) != 1) return;
    }
}

std::optional<QByteArray> FaultServer::Impl::readRequestHead(int fd) const {
    QByteArray head;
    while (!head.contains("\r\n\r\n")) {
        if (head.size() > kMaximumRequestHead || !waitFor(fd, POLLIN, kRequestHeadTimeoutMs))
            return std::nullopt;
        char buffer[4096];
        const ssize_t received = ::recv(fd, buffer, sizeof buffer, 0);
        if (received <= 0) return std::nullopt;
        head.append(buffer, received);
    }
    return head.left(head.indexOf("\r\n\r\n"));
}

void FaultServer::Impl::serve(int fd) {
    const std::optional<QByteArray> head = readRequestHead(fd);
    if (head) {
        {
            std::lock_guard lock(mutex);
            requests.append(QString::fromLatin1(*head));
        }
        const QList<QByteArray> requestLine = head->left(head->indexOf("\r\n")).split(' ');
        const auto plan = requestLine.size() == 3 ? planFor(requestLine[1]) : std::nullopt;
        if (!plan) {
            sendAll(fd,
                    "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\n"
                    "Content-Length: 10\r\nConnection: close\r\n\r\nnot found\n");
        } else if (const auto from = rangeStart(*head);
                   plan->fault == Fault::CutOnce && from && *from < plan->announced) {
            const QByteArray range = QByteArray::number(*from) + "-" +
                                     QByteArray::number(plan->announced - 1) + "/" +
                                     QByteArray::number(plan->announced);
            if (sendAll(fd, headers("206 Partial Content", plan->announced - *from, plan->announced,
                                    "Content-Range: bytes " + range + "\r\n")))
                sendAll(fd, FaultServer::body(plan->announced).mid(*from));
        } else {
            const QByteArray headers =
                Impl::headers("200 OK", plan->announced, plan->announced, {});
            if (plan->fault == Fault::Trickle) {
                if (sendAll(fd, headers))
                    trickle(fd, FaultServer::body(plan->announced), plan->sent);
                ::close(fd);
                return;
            }
            const bool sent = sendAll(fd, headers) && sendAll(fd, FaultServer::body(plan->sent));
            if (sent && (plan->fault == Fault::Cut || plan->fault == Fault::CutOnce)) {
                const linger abort{1, 0};  // closing now sends RST instead of FIN
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            } else if (sent && plan->fault == Fault::Stall) {
                // Hold the connection until the client leaves or the server stops; anything
                // the client still sends is read and dropped.
                char sink[1024];
                while (waitFor(fd, POLLIN, kMaximumStallMs) &&
                       ::recv(fd, sink, sizeof sink, 0) > 0) {
                }
            }
        }
    }
    ::close(fd);
}

}  // namespace clipmoor::test
