// The running instance's reader of what a later start sends, fed the bytes of one connection
// in pieces of any size, as a socket may deliver them.
#include <QByteArray>

#include "app/instance_message.h"
#include "fuzz_check.h"

using namespace clipmoor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype newline = bytes.indexOf('\n');
    // The first byte picks how much arrives at a time; the reader sees what a peek returns.
    const qsizetype step = bytes.isEmpty() ? 1 : 1 + static_cast<unsigned char>(bytes[0]) * 97;
    for (qsizetype arrived = 0;; arrived = std::min(arrived + step, bytes.size())) {
        const QByteArray peeked =
            bytes.left(std::min<qsizetype>(arrived, kMaximumInstanceMessageBytes + 1));
        const InstanceMessageRead read = readInstanceMessage(peeked);
        const bool lineArrived = newline >= 0 && newline < arrived;
        switch (read.status) {
            case InstanceMessageRead::Status::Complete:
                FUZZ_CHECK(lineArrived && newline <= kMaximumInstanceMessageBytes);
                FUZZ_CHECK(read.consumed == newline + 1);
                FUZZ_CHECK(read.message == QString::fromUtf8(bytes.left(newline)));
                return 0;
            case InstanceMessageRead::Status::Oversized:
                FUZZ_CHECK(arrived > kMaximumInstanceMessageBytes);
                FUZZ_CHECK(newline < 0 || newline > kMaximumInstanceMessageBytes);
                return 0;
            case InstanceMessageRead::Status::Incomplete:
                FUZZ_CHECK(!lineArrived && arrived <= kMaximumInstanceMessageBytes);
                break;
        }
        if (arrived == bytes.size()) return 0;
    }
}
