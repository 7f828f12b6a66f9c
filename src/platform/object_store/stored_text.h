#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <utility>
#include <vector>

namespace clipmoor {

// Text values of one record as the store file holds them (UTF-8), packed in one buffer and
// decoded one at a time when first read. Reading a long list then costs one buffer per record
// instead of one string per text, and texts that are never read are never decoded.
class StoredText {
public:
    // Room for `bytes` of text in `slotCount` slots, so that adding does not reallocate.
    void reserve(qsizetype bytes, std::size_t slotCount);
    // Keeps `utf8` as the undecoded text of `slot`.
    void add(std::size_t slot, QByteArrayView utf8);

    bool has(std::size_t slot) const { return slot < spans_.size() && spans_[slot].first >= 0; }
    // The slot's text, decoded; the slot no longer has undecoded text afterwards.
    QString take(std::size_t slot);

private:
    QByteArray bytes_;  // the first used_ bytes hold the texts
    qsizetype used_ = 0;
    std::vector<std::pair<qsizetype, qsizetype>> spans_;  // by slot: offset (-1: none), length
    std::size_t pending_ = 0;
};

}  // namespace clipmoor
