#pragma once

#include <QString>

#include <map>
#include <memory>

#include "download/clipmoor_model.h"
#include "download/video.h"
#include "platform/object_store/managed_object_context.h"

// What the crash test's writer keeps in the store. After save number g (a "generation") the
// store holds exactly the records numbered max(1, g - kWindow + 1) to g: each save inserts
// record g, deletes record g - kWindow and rewrites the byte count and resume data of all the
// others. Any mix of two generations, a lost record or a half-written one is told apart from
// every whole generation.
namespace clipmoor::test::crash {

inline constexpr int kWindow = 12;

// The writer's records by number.
using Records = std::map<int, std::shared_ptr<Video>>;

// Resume data that differs with every generation and record, from 1 byte to a few pages, so
// saves rewrite overflow pages too.
inline QByteArray resumeDataOf(int generation, int number) {
    const int size = 1 + (generation * 7919 + number * 104729) % 6000;
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((generation + number + i) & 0xff);
    return bytes;
}

// The records of the context's store by number. A failed fetch, or a record without a number of
// its own, is described in `failure`.
inline Records readRecords(ManagedObjectContext& context, QString* failure) {
    Error error;
    const auto fetched = context.executeFetchRequest(FetchRequest(kVideoEntityName), &error);
    if (!fetched) *failure = error.debugDescription();
    Records records;
    for (const auto& object : fetched.value_or(std::vector<std::shared_ptr<ManagedObject>>{})) {
        auto video = std::dynamic_pointer_cast<Video>(object);
        bool numbered = false;
        const int number = video ? video->fileName().section('-', 1).toInt(&numbered) : 0;
        if (!numbered || !records.emplace(number, video).second)
            *failure = "a record without a number of its own: " + (video ? video->fileName() : "");
    }
    return records;
}

// Makes the changes that turn generation `generation` - 1 into `generation`.
inline void advance(ManagedObjectContext& context, Records& records, int generation) {
    auto added = context.insertNewObjectForEntityForName<Video>(kVideoEntityName);
    added->setFileName(QStringLiteral("record-%1").arg(generation));
    added->setTotalBytesExpected(generation);
    records.emplace(generation, added);
    if (const auto oldest = records.find(generation - kWindow); oldest != records.end()) {
        context.deleteObject(oldest->second);
        records.erase(oldest);
    }
    for (auto& [number, video] : records) {
        video->setTotalBytesWritten(generation);
        video->setResumeData(resumeDataOf(generation, number));
    }
}

// One record's fields as the test compares them.
inline QString describe(int number, qint64 expected, qint64 written, const QByteArray& resumeData) {
    return QString::asprintf("#%d %lld/%lld %zx; ", number, written, expected, qHash(resumeData));
}

// Empty when the records are exactly generation `generation`; otherwise both as text.
inline QString differenceFrom(const Records& records, int generation) {
    QString expected, found;
    for (int number = std::max(1, generation - kWindow + 1); number <= generation; ++number)
        expected += describe(number, number, generation, resumeDataOf(generation, number));
    for (const auto& [number, video] : records)
        found += describe(number, video->totalBytesExpected(), video->totalBytesWritten(),
                          video->resumeData());
    return found == expected ? QString() : "found " + found + "instead of " + expected;
}

}  // namespace clipmoor::test::crash
