#include "crash_generations.h"

#include "download/clipmoor_model.h"

namespace clipmoor::test::crash {

namespace {

QString nameOf(int number) {
    return QStringLiteral("record-%1").arg(number);
}

// Resume data that differs with every generation and record, from 1 byte to a few pages, so
// saves rewrite overflow pages too.
QByteArray resumeDataOf(int generation, int number) {
    const int size = 1 + (generation * 7919 + number * 104729) % 6000;
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((generation + number + i) & 0xff);
    return bytes;
}

}  // namespace

bool readRecords(ManagedObjectContext& context, Records* records, QString* failure) {
    Error error;
    const auto fetched =
        context.executeFetchRequest(FetchRequest(QString::fromLatin1(kVideoEntityName)), &error);
    if (!fetched) {
        *failure = error.debugDescription();
        return false;
    }
    records->clear();
    for (const auto& object : *fetched) {
        auto video = std::dynamic_pointer_cast<Video>(object);
        bool numbered = false;
        const int number =
            video ? video->fileName().section(QLatin1Char('-'), 1).toInt(&numbered) : 0;
        if (!numbered || records->count(number)) {
            *failure = QStringLiteral("a record without a number of its own: \"%1\"")
                           .arg(video ? video->fileName() : QString());
            return false;
        }
        records->emplace(number, std::move(video));
    }
    return true;
}

int generationOf(const Records& records) {
    return records.empty() ? 0 : records.rbegin()->first;
}

void advance(ManagedObjectContext& context, Records& records, int generation) {
    auto added =
        context.insertNewObjectForEntityForName<Video>(QString::fromLatin1(kVideoEntityName));
    added->setFileName(nameOf(generation));
    added->setTotalBytesExpected(generation);
    records.emplace(generation, added);
    const auto oldest = records.find(generation - kWindow);
    if (oldest != records.end()) {
        context.deleteObject(oldest->second);
        records.erase(oldest);
    }
    for (auto& [number, video] : records) {
        video->setTotalBytesWritten(generation);
        video->setResumeData(resumeDataOf(generation, number));
    }
}

QString differenceFrom(const Records& records, int generation) {
    const int first = std::max(1, generation - kWindow + 1);
    const int expectedCount = generation - first + 1;
    if (static_cast<int>(records.size()) != expectedCount)
        return QStringLiteral("%1 records instead of %2").arg(records.size()).arg(expectedCount);
    for (const auto& [number, video] : records) {
        const auto differs = [&](const char* what) {
            return QStringLiteral("record %1: %2 is not that of generation %3")
                .arg(number)
                .arg(QLatin1String(what))
                .arg(generation);
        };
        if (number < first || number > generation) return differs("its number");
        if (video->totalBytesExpected() != number) return differs("totalBytesExpected");
        if (video->totalBytesWritten() != generation) return differs("totalBytesWritten");
        if (video->resumeData() != resumeDataOf(generation, number)) return differs("resumeData");
    }
    return {};
}

}  // namespace clipmoor::test::crash
