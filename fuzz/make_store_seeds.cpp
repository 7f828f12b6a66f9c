// Writes store files made by the object store itself into a folder, as seeds for the store
// file fuzzer: a new empty store, and one holding a few records (one of them since deleted).
#include <QDir>
#include <QFile>
#include <QUrl>

#include <cstdio>

#include "download/clipmoor_model.h"
#include "platform/object_store/persistent_store_coordinator.h"

using namespace clipmoor;

namespace {

bool makeStore(const QString& path, int records) {
    QFile::remove(path);
    const auto model = loadClipmoorModel();
    PersistentStoreCoordinator coordinator(model);
    Error error;
    SqliteStore* store =
        coordinator.addPersistentStore(NSSQLiteStoreType, QUrl::fromLocalFile(path), &error);
    if (!store) return false;
    const auto entity = model->entityNamed(QString::fromLatin1(kVideoEntityName));
    std::vector<StoreWrite> writes;
    for (int i = 0; i < records; ++i) {
        const std::optional<qint64> key = store->allocatePrimaryKey();
        if (!key) return false;
        writes.push_back(
            {StoreWrite::Kind::Insert,
             entity.get(),
             *key,
             {{QStringLiteral("title"), QStringLiteral("Video %1").arg(i)},
              {QStringLiteral("itag"), QStringLiteral("18")},
              {QStringLiteral("resumeData"), QByteArray("{\"format\":\"x\"}")},
              {QStringLiteral("totalBytesExpected"), QVariant::fromValue<qint64>(1000 * i)},
              {QStringLiteral("downloadState"), QVariant::fromValue<qint16>(i % 5)},
              {QStringLiteral("isAudio"), i % 2 == 0}}});
    }
    if (!store->save(writes, &error)) return false;
    if (records > 1 && !store->save({{StoreWrite::Kind::Delete, entity.get(), 1, {}}}, &error))
        return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const bool made = makeStore(folder.filePath("empty.storedata"), 0) &&
                      makeStore(folder.filePath("records.storedata"), 3);
    for (const QString& name : folder.entryList({"*-wal", "*-shm"}, QDir::Files))
        QFile::remove(folder.filePath(name));
    return made ? 0 : 1;
}
