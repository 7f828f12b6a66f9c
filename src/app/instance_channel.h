#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include "app/instance_message.h"

class QLocalServer;
class QLocalSocket;

namespace clipmoor {

// Keeps Clipmoor to one running instance per user session. The running instance listens on a
// local socket; a later start hands its argument (an address from the URL scheme, or nothing)
// to it and exits.
class InstanceChannel : public QObject {
    Q_OBJECT

public:
    explicit InstanceChannel(QObject* parent = nullptr);
    ~InstanceChannel() override;

    // The socket's path, in a folder only this user can enter (see privateSocketFolder());
    // empty when there is no such folder, and then there is no channel.
    static QString serverName();

    // Hands `message` to the running instance and waits (briefly) for its receipt; false when
    // no instance of this user answers. Blocks: call it before the event loop runs.
    static bool sendToRunningInstance(const QString& message, int timeoutMs = 3000);

    enum class ListenResult { Listening, AnotherInstanceAnswers, Failed };
    // Starts answering later starts. A socket left behind by an instance that died is
    // replaced; one where another instance answers is left alone. Failed when there is no
    // private folder or the socket there is another user's: this instance then runs alone.
    // Connections from other users are dropped unread.
    ListenResult listen();
    bool isListening() const;

    // The longest message accepted; longer ones are dropped.
    static constexpr qint64 kMaximumMessageBytes = kMaximumInstanceMessageBytes;

signals:
    // A later start handed over `message` (empty when it had no argument).
    void messageReceived(const QString& message);

private:
    void acceptConnections();
    void readFrom(QLocalSocket* socket);

    QPointer<QLocalServer> server_;
};

}  // namespace clipmoor
