// The resume data reader: anything it accepts encodes to data it accepts again, with the same
// fields, and encoding is stable from then on (decode -> encode -> decode -> encode).
#include <QByteArray>

#include "fuzz_check.h"
#include "platform/http/resume_data.h"

using namespace clipmoor;

namespace {
bool sameFields(const ResumeData& a, const ResumeData& b) {
    return a.url == b.url && a.partialFile == b.partialFile && a.bytesOnDisk == b.bytesOnDisk &&
           a.entityTag == b.entityTag && a.lastModified == b.lastModified &&
           a.expectedTotal == b.expectedTotal;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<ResumeData> decoded = ResumeData::decode(bytes);
    if (!decoded) return 0;

    FUZZ_CHECK(decoded->bytesOnDisk >= 0 && decoded->expectedTotal >= -1);
    FUZZ_CHECK(!decoded->entityTag.isEmpty() || !decoded->lastModified.isEmpty());
    FUZZ_CHECK(decoded->url.scheme() == u"http" || decoded->url.scheme() == u"https");

    const QByteArray encoded = decoded->encode();
    const std::optional<ResumeData> again = ResumeData::decode(encoded);
    FUZZ_CHECK(again);
    FUZZ_CHECK(sameFields(*decoded, *again));
    FUZZ_CHECK(again->encode() == encoded);
    return 0;
}
