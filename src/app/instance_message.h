#pragma once

#include <QByteArray>
#include <QString>

namespace clipmoor {

// One message of a later start to the running instance: a line of UTF-8 text ended by "\n".
inline constexpr qint64 kMaximumInstanceMessageBytes = 64 * 1024;

struct InstanceMessageRead {
    enum class Status {
        Incomplete,  // no end of line yet: wait for more bytes
        Complete,    // `message` is the first line
        Oversized,   // more than the longest message and still no end of line: drop the sender
    };
    Status status = Status::Incomplete;
    QString message;         // Complete: the line without its "\n", read as UTF-8
    qsizetype consumed = 0;  // Complete: the bytes the line took, its "\n" included
};

// Reads the first message out of the bytes received so far. `received` needs to hold no more
// than kMaximumInstanceMessageBytes + 1 bytes (what a peek of that length gives).
InstanceMessageRead readInstanceMessage(const QByteArray& received);

}  // namespace clipmoor
