#include "platform/object_store/stored_text.h"

#include <algorithm>
#include <cstring>

namespace clipmoor {

void StoredText::reserve(qsizetype bytes, std::size_t slotCount) {
    if (bytes_.size() < used_ + bytes) bytes_.resize(used_ + bytes);
    spans_.resize(std::max(spans_.size(), slotCount), {-1, 0});
}

void StoredText::add(std::size_t slot, QByteArrayView utf8) {
    if (spans_.size() <= slot) spans_.resize(slot + 1, {-1, 0});
    if (spans_[slot].first < 0) ++pending_;
    if (bytes_.size() < used_ + utf8.size())
        bytes_.resize(std::max(2 * bytes_.size(), used_ + utf8.size()));
    std::memcpy(bytes_.data() + used_, utf8.data(), static_cast<std::size_t>(utf8.size()));
    spans_[slot] = {used_, utf8.size()};
    used_ += utf8.size();
}

QString StoredText::take(std::size_t slot) {
    if (!has(slot)) return {};
    const auto [offset, length] = spans_[slot];
    QString text = QString::fromUtf8(QByteArrayView(bytes_.constData() + offset, length));
    spans_[slot].first = -1;
    if (--pending_ == 0) *this = StoredText();  // every text is decoded: the buffer can go
    return text;
}

}  // namespace clipmoor
