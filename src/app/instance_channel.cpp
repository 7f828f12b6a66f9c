#include "app/instance_channel.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <unistd.h>

namespace clipmoor {

namespace {
constexpr int kReceiveTimeoutMs = 5000;
const QByteArray kReceipt = QByteArrayLiteral("ok\n");

QString userName() {
    QString name = qEnvironmentVariable("USER");
    if (name.isEmpty()) name = QString::number(getuid());
    // Only characters that are safe in a file name.
    for (QChar& c : name)
        if (!c.isLetterOrNumber() && c != u'-' && c != u'_' && c != u'.') c = u'_';
    return name;
}
}  // namespace

InstanceChannel::InstanceChannel(QObject* parent) : QObject(parent) {}

InstanceChannel::~InstanceChannel() {
    if (server_) server_->close();
}

QString InstanceChannel::serverName() {
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty() && QDir(runtimeDir).exists())
        return QDir(runtimeDir).filePath(QStringLiteral("clipmoor-instance"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("clipmoor-instance-") + userName());
}

bool InstanceChannel::sendToRunningInstance(const QString& message, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(timeoutMs)) return false;
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
    {
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(500)) {
            probe.disconnectFromServer();
            return ListenResult::AnotherInstanceAnswers;
        }
    }
    // No socket options: with them the toolkit renames a fresh socket over the path, which
    // would silently take the place of a live instance's socket. The runtime folder is the
    // user's own, and elsewhere the socket's default permissions keep other users out.
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
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        // A start that connects and never finishes its message is dropped.
        QTimer::singleShot(kReceiveTimeoutMs, socket, [socket] { socket->abort(); });
        if (socket->bytesAvailable() > 0) readFrom(socket);
    }
}

void InstanceChannel::readFrom(QLocalSocket* socket) {
    const qsizetype end = socket->peek(kMaximumMessageBytes + 1).indexOf('\n');
    if (end < 0) {
        if (socket->bytesAvailable() > kMaximumMessageBytes) {
            qWarning("Clipmoor: dropped an oversized message from another start");
            socket->abort();
        }
        return;
    }
    const QString message = QString::fromUtf8(socket->read(end + 1).chopped(1));
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);  // one message per start
    socket->write(kReceipt);
    socket->disconnectFromServer();
    emit messageReceived(message);
}

}  // namespace clipmoor
