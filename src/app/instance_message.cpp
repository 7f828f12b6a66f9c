#include "app/instance_message.h"

namespace clipmoor {

InstanceMessageRead readInstanceMessage(const QByteArray& received) {
    const QByteArray window = received.left(kMaximumInstanceMessageBytes + 1);
    const qsizetype end = window.indexOf('\n');
    if (end < 0) {
        return {window.size() > kMaximumInstanceMessageBytes
                    ? InstanceMessageRead::Status::Oversized
                    : InstanceMessageRead::Status::Incomplete,
                {},
                0};
    }
    return {InstanceMessageRead::Status::Complete, QString::fromUtf8(window.left(end)), end + 1};
}

}  // namespace clipmoor
