#pragma once

#include <QByteArray>
#include <QStringList>
#include <QUrl>

#include <memory>

namespace clipmoor::test {

// A small plain-HTTP server on loopback for the faults nginx cannot be made to produce. Every
// answer is "200 OK" with a Content-Length of `announced` bytes, a strong ETag and
// "Connection: close"; the body is `body(announced)`, of which only the first `sent` bytes go out.
//
//   /cut/ANNOUNCED/SENT     sends SENT bytes, then resets the connection (RST)
//   /short/ANNOUNCED/SENT   sends SENT bytes, then closes the connection normally (FIN)
//   /stall/ANNOUNCED/SENT   sends SENT bytes (0: only the headers), then sends nothing more until
//                           the client goes away or the server stops
//   /trickle/ANNOUNCED/MS   sends one byte every MS milliseconds, never silent for long, until
//                           the body is out, the client goes away or the server stops
//   /cutonce/ANNOUNCED/SENT like /cut, but a request with "Range: bytes=N-" (N below ANNOUNCED)
//                           gets "206 Partial Content" with the rest of the body from N, whole
//   anything else           404 with a short body
//
// Bounded: request heads of at most 16 KiB, stalls of at most two minutes. Listens on a free
// loopback port from construction (a failure ends the test process with a message) and serves
// on threads of its own; the destructor releases every stalled connection and waits for them.
class FaultServer {
public:
    FaultServer();
    ~FaultServer();

    QUrl cutConnectionUrl(qint64 announced, qint64 sent) const {
        return url("cut", announced, sent);
    }
    QUrl cutOnceUrl(qint64 announced, qint64 sent) const { return url("cutonce", announced, sent); }
    QUrl shortBodyUrl(qint64 announced, qint64 sent) const { return url("short", announced, sent); }
    QUrl stallUrl(qint64 announced, qint64 sent = 0) const { return url("stall", announced, sent); }
    QUrl trickleUrl(qint64 announced, qint64 ms) const { return url("trickle", announced, ms); }

    // Request heads received so far (request line and headers, CRLF-separated), oldest first.
    QStringList requests() const;
    // Number of connections being served at this moment (a stalled one counts until released).
    int openConnections() const;

    // The first `length` bytes of every body this server sends (made as the site's media are).
    static QByteArray body(qint64 length);

private:
    QUrl url(const char* fault, qint64 announced, qint64 third) const;

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace clipmoor::test
