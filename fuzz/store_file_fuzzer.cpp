// Opening a store file of any content through the object store, as the application does at
// start. A file that is refused stays byte for byte as it was, and nothing is left beside it
// that a later open would apply to it (SQLite may leave an empty write-ahead log and its
// index behind for a file in WAL mode: both are harmless). A file that is accepted can be read
// and written without a memory error.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include "download/clipmoor_model.h"
#include "fuzz_check.h"
#include "platform/object_store/persistent_store_coordinator.h"

using namespace clipmoor;

namespace {

QString workFolder() {
    static QTemporaryDir folder;  // removed at exit
    FUZZ_CHECK(folder.isValid());
    return folder.path();
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString folder = workFolder();
    for (const QString& name : filesIn(folder)) QFile::remove(QDir(folder).filePath(name));
    const QString path = QDir(folder).filePath(QStringLiteral("Clipmoor.storedata"));
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }

    const std::shared_ptr<const ManagedObjectModel> model = loadClipmoorModel();
    {
        PersistentStoreCoordinator coordinator(model);
        Error error;
        SqliteStore* store =
            coordinator.addPersistentStore(NSSQLiteStoreType, QUrl::fromLocalFile(path), &error);
        if (store) {
            const auto entity = model->entityNamed(QString::fromLatin1(kVideoEntityName));
            const std::optional<qint64> key = store->allocatePrimaryKey();
            if (store->fetchRows(*entity, &error) && key) {
                const StoreWrite insert{StoreWrite::Kind::Insert,
                                        entity.get(),
                                        *key,
                                        {{QStringLiteral("title"), QStringLiteral("fuzz")}}};
                store->save({insert}, &error);
            }
            return 0;
        }
        FUZZ_CHECK(error.isValid());
    }
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    FUZZ_CHECK(file.readAll() == bytes);
    for (const QString& name : filesIn(folder)) {
        if (name == u"Clipmoor.storedata" || name == u"Clipmoor.storedata-shm") continue;
        FUZZ_CHECK(name == u"Clipmoor.storedata-wal");
        FUZZ_CHECK(QFileInfo(QDir(folder).filePath(name)).size() == 0);
    }
    return 0;
}
