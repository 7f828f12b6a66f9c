#include "app/instance_channel.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include "app/private_socket.h"

namespace clipmoor {

namespace {
constexpr int kReceiveTimeoutMs = 5000;
const QByteArray kReceipt = QByteArrayLiteral("ok\n");

enum class Answer { Nobody, ThisUser, AnotherUser };

// Connects `socket` to the instance socket; who answers, if anyone.
Answer connectToInstance(QLocalSocket& socket, const QString& name, int timeoutMs) {
    if (name.isEmpty()) return Answer::Nobody;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) return Answer::Nobody;
    if (isPeerThisUser(socket.socketDescriptor())) return Answer::ThisUser;
    // Whoever listens there is not us: it gets neither the address nor a say in whether
    // this instance opens its window.
    socket.abort();
    qWarning("Clipmoor: the instance socket %s belongs to another user; ignored", qPrintable(name));
    return Answer::AnotherUser;
}
}  // namespace

InstanceChannel::InstanceChannel(QObject* parent) : QObject(parent) {}

InstanceChannel::~InstanceChannel() {
    if (server_) server_->close();
}

QString InstanceChannel::serverName() {
    const QString folder = privateSocketFolder();
    return folder.isEmpty() ? QString()
                            : QDir(folder).filePath(QStringLiteral("clipmoor-instance"));
}

bool InstanceChannel::sendToRunningInstance(const QString& message, int timeoutMs) {
    QLocalSocket socket;
    if (connectToInstance(socket, serverName(), timeoutMs) != Answer::ThisUser) return false;
    QByteArray bytes = message.toUtf8();
    bytes.replace('\n', ' ');  // one message is one line
    bytes.append('\n');
    socket.write(bytes);
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    QByteArray receipt;
    while (!receipt.contains('\n') && socket.waitForReadyRead(timeoutMs))
        receipt += socket.readAll();
    socket.disconnectFromServer();
    return receipt == kReceipt;
}

bool InstanceChannel::isListening() const {
    return server_ && server_->isListening();
}

InstanceChannel::ListenResult InstanceChannel::listen() {
    if (isListening()) return ListenResult::Listening;
    const QString name = serverName();
    if (name.isEmpty()) {
        qWarning(
            "Clipmoor: no private folder for the instance socket; later starts open "
            "windows of their own");
        return ListenResult::Failed;
    }
    {
        QLocalSocket probe;
        switch (connectToInstance(probe, name, 500)) {
            case Answer::ThisUser:
                probe.disconnectFromServer();
                return ListenResult::AnotherInstanceAnswers;
            case Answer::AnotherUser:
                return ListenResult::Failed;  // never replaced, never used
            case Answer::Nobody:
                break;
        }
    }
    // No socket options: with them the toolkit renames a fresh socket over the path, which
    // would silently take the place of a live instance's socket. The folder is the user's own
    // (checked above), which keeps other users from reaching or replacing the socket.
    auto* server = new QLocalServer(this);
    bool listening = server->listen(name);
    if (!listening && server->serverError() == QAbstractSocket::AddressInUseError) {
        // Nobody answered: a socket file left behind by an instance that died.
        QLocalServer::removeServer(name);
        listening = server->listen(name);
    }
    if (!listening) {
        qWarning("Clipmoor: cannot listen on %s: %s", qPrintable(name),
                 qPrintable(server->errorString()));
        delete server;
        return ListenResult::Failed;
    }
    server_ = server;
    connect(server, &QLocalServer::newConnection, this, &InstanceChannel::acceptConnections);
    return ListenResult::Listening;
}

void InstanceChannel::acceptConnections() {
    while (QLocalSocket* socket = server_ ? server_->nextPendingConnection() : nullptr) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!isPeerThisUser(socket->socketDescriptor())) {
            qWarning("Clipmoor: dropped a connection from another user");
            socket->abort();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        // A start that connects and never finishes its message is dropped.
        QTimer::singleShot(kReceiveTimeoutMs, socket, [socket] { socket->abort(); });
        if (socket->bytesAvailable() > 0) readFrom(socket);
    }
}

void InstanceChannel::readFrom(QLocalSocket* socket) {
    const InstanceMessageRead read = readInstanceMessage(socket->peek(kMaximumMessageBytes + 1));
    if (read.status == InstanceMessageRead::Status::Oversized) {
        qWarning("Clipmoor: dropped an oversized message from another start");
        socket->abort();
    }
    if (read.status != InstanceMessageRead::Status::Complete) return;
    socket->read(read.consumed);
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);  // one message per start
    socket->write(kReceipt);
    socket->disconnectFromServer();
    emit messageReceived(read.message);
}

}  // namespace clipmoor
