// The object store against real SQLite files: persistence, refusal of foreign files, failed
// saves, change notifications, fetch semantics and record identities.
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <limits>

#include "platform/notification_center.h"
#include "platform/object_store/managed_object_context.h"
#include "platform/object_store/object_store_error.h"

namespace clipmoor {
namespace {

// A record class with hooks that count their calls.
class Clip : public ManagedObject {
    Q_OBJECT
    Q_PROPERTY(QString title READ title WRITE setTitle NOTIFY titleChanged)

public:
    using ManagedObject::ManagedObject;
    QString title() const { return stringValue("title"); }
    void setTitle(const QString& title) { setValue(title, "title"); }
    qint64 rank() const { return integerValue("rank"); }
    int inserts = 0, fetches = 0, deletions = 0;

signals:
    void titleChanged();

protected:
    void awakeFromInsert() override { ++inserts; }
    void awakeFromFetch() override { ++fetches; }
    void prepareForDeletion() override {
        ++deletions;
        managedObjectContext()->deleteObject(shared_from_this());  // must not recurse
    }
};

std::shared_ptr<const ManagedObjectModel> makeModel(bool withExtraAttribute = false) {
    std::vector<AttributeDescription> clip{
        {"title", AttributeType::String},    {"rank", AttributeType::Integer64},
        {"state", AttributeType::Integer16}, {"audio", AttributeType::Boolean},
        {"resume", AttributeType::Binary},   {"added", AttributeType::Date},
        {"score", AttributeType::Double}};
    if (withExtraAttribute) clip.push_back({"extra", AttributeType::String});
    return ManagedObjectModel::create(
        "TestModel",
        {{"Clip", {}, clip, managedObjectClass<Clip>()},
         {"Trailer", "Clip", {{"studio", AttributeType::String}}, managedObjectClass<Clip>()},
         {"Tag", {}, {{"label", AttributeType::String}}, {}}});
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void runSql(const QString& path, const char* sql, sqlite3** keepOpen = nullptr) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    if (keepOpen)
        *keepOpen = db;
    else
        sqlite3_close(db);
}

// A store of the test model holding one record, then changed behind the store's back.
void makeStoreThenRun(const QString& path, const char* sql) {
    {
        auto coordinator = std::make_shared<PersistentStoreCoordinator>(makeModel());
        ASSERT_TRUE(
            coordinator->addPersistentStore(NSSQLiteStoreType, QUrl::fromLocalFile(path), nullptr));
        ManagedObjectContext context;
        context.setPersistentStoreCoordinator(coordinator);
        context.insertNewObjectForEntityForName("Clip");
        ASSERT_TRUE(context.save(nullptr));
    }
    runSql(path, sql);
}

class ObjectStoreTest : public testing::Test {
protected:
    QString storePath() const { return dir_.filePath(fileName_); }

    // A fresh context on the store file; null (with `error` set) when the store is refused.
    std::unique_ptr<ManagedObjectContext> open(
        Error* error = nullptr, std::shared_ptr<const ManagedObjectModel> model = makeModel()) {
        auto coordinator = std::make_shared<PersistentStoreCoordinator>(model);
        Error failure;
        if (!coordinator->addPersistentStore(NSSQLiteStoreType, QUrl::fromLocalFile(storePath()),
                                             &failure)) {
            if (error)
                *error = failure;
            else
                ADD_FAILURE() << failure.debugDescription().toStdString();
            return nullptr;
        }
        auto context = std::make_unique<ManagedObjectContext>();
        context->setPersistentStoreCoordinator(coordinator);
        return context;
    }

    std::vector<std::shared_ptr<ManagedObject>> fetch(ManagedObjectContext& context,
                                                      FetchRequest request) {
        Error error;
        auto result = context.executeFetchRequest(request, &error);
        EXPECT_TRUE(result) << error.debugDescription().toStdString();
        return result.value_or(std::vector<std::shared_ptr<ManagedObject>>{});
    }

    std::shared_ptr<Clip> insertClip(ManagedObjectContext& context, const QString& title,
                                     const QString& entity = "Clip") {
        auto clip = context.insertNewObjectForEntityForName<Clip>(entity);
        clip->setTitle(title);
        return clip;
    }

    QTemporaryDir dir_;
    QString fileName_ = "Test.storedata";
};

QStringList titles(const std::vector<std::shared_ptr<ManagedObject>>& records) {
    QStringList result;
    for (const auto& record : records) result << record->valueForKey("title").toString();
    return result;
}

TEST_F(ObjectStoreTest, RecordsSurviveReopeningWithValuesTypesAndIdentities) {
    const QDateTime added = QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC);
    ObjectID clipID, trailerID;
    {
        auto context = open();
        ASSERT_TRUE(context);
        auto clip = insertClip(*context, "first");
        clip->setValue(QVariant::fromValue<qint64>(5'000'000'000), "rank");
        clip->setValue(-3, "state");
        clip->setValue(true, "audio");
        clip->setValue(QByteArray("\0resume", 7), "resume");
        clip->setValue(added, "added");
        clip->setValue(0.25, "score");
        auto trailer = insertClip(*context, "second", "Trailer");
        trailer->setValue("Studio \u00e9", "studio");
        clipID = clip->objectID();
        trailerID = trailer->objectID();
        Error error;
        ASSERT_TRUE(context->save(&error)) << error.debugDescription().toStdString();
        EXPECT_FALSE(context->hasChanges());
    }
    // Texts read back stay undecoded until first read: one changed before it was ever read still
    // reports its old value, and the others save as they were.
    auto context = open();
    ASSERT_TRUE(context);
    auto records = fetch(*context, FetchRequest("Clip"));
    ASSERT_EQ(records.size(), 2u);
    records[1]->setValue("changed", "title");
    EXPECT_EQ(records[1]->changedValuesForCurrentEvent(), QVariantMap({{"title", "second"}}));
    ASSERT_TRUE(context->save(nullptr));
    context = open();
    records = fetch(*context, FetchRequest("Clip"));
    ASSERT_EQ(records.size(), 2u);
    const auto clip = std::dynamic_pointer_cast<Clip>(records[0]);
    ASSERT_TRUE(clip);
    EXPECT_EQ(clip->objectID(), clipID);
    EXPECT_EQ(clip->title(), "first");
    EXPECT_EQ(clip->rank(), 5'000'000'000);
    EXPECT_EQ(clip->valueForKey("state").toInt(), -3);
    EXPECT_EQ(clip->valueForKey("audio").toBool(), true);
    EXPECT_EQ(clip->valueForKey("resume").toByteArray(), QByteArray("\0resume", 7));
    EXPECT_EQ(clip->valueForKey("added").toDateTime(), added);
    EXPECT_EQ(clip->valueForKey("score").toDouble(), 0.25);
    EXPECT_EQ(clip->fetches, 1);
    EXPECT_EQ(records[1]->objectID(), trailerID);
    EXPECT_EQ(records[1]->entity()->name(), "Trailer");
    EXPECT_EQ(records[1]->valueForKey("studio").toString(), "Studio \u00e9");
    EXPECT_EQ(records[1]->valueForKey("title").toString(), "changed");
    // Never set: no value, and the integer reading is 0.
    EXPECT_FALSE(records[1]->valueForKey("rank").isValid());
    EXPECT_EQ(std::dynamic_pointer_cast<Clip>(records[1])->rank(), 0);
}

TEST_F(ObjectStoreTest, ForeignFileIsReportedWithItsCauseAndLeftByteIdentical) {
    const auto bytes = [](const QByteArray& content) {
        return [content](const QString& path) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        };
    };
    const auto sql = [](const char* statements) {
        return [statements](const QString& path) { runSql(path, statements); };
    };
    // A store of the test model holding one record, changed behind the store's back.
    const auto storeThen = [](const char* statements) {
        return [statements](const QString& path) { makeStoreThenRun(path, statements); };
    };
    const struct {
        const char* name;
        std::function<void(const QString& path)> make;
        qint64 code;
    } cases[] = {
        {"garbage", bytes(QByteArray(3000, 'x') + "not a database"), kFileReadCorruptFileError},
        {"damaged header", bytes(QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\xff')),
         kFileReadCorruptFileError},
        {"another program's database",
         sql("CREATE TABLE notes(body TEXT); INSERT INTO notes VALUES('x');"),
         kPersistentStoreIncompatibleVersionHashError},
        {"store of another model",
         [](const QString& path) {
             auto coordinator = std::make_shared<PersistentStoreCoordinator>(makeModel(true));
             ASSERT_TRUE(coordinator->addPersistentStore(NSSQLiteStoreType,
                                                         QUrl::fromLocalFile(path), nullptr));
         },
         kPersistentStoreIncompatibleVersionHashError},
        // No key would be left for a new record.
        {"key high-water mark at the largest key",
         storeThen("UPDATE clipmoor_store_metadata SET value = 9223372036854775807 "
                   "WHERE key = 'primary_key_high_water';"),
         kFileReadCorruptFileError},
        {"record at the largest key", storeThen("UPDATE Clip SET _pk = 9223372036854775807;"),
         kFileReadCorruptFileError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fileName_ = QString::fromUtf8(c.name) + ".storedata";
        ASSERT_NO_FATAL_FAILURE(c.make(storePath()));
        const QByteArray before = readFile(storePath());
        Error error;
        EXPECT_FALSE(open(&error));
        EXPECT_TRUE(error.is(kCocoaErrorDomain, c.code)) << error.debugDescription().toStdString();
        EXPECT_FALSE(error.localizedDescription().isEmpty());
        EXPECT_EQ(readFile(storePath()), before);
    }
}

TEST_F(ObjectStoreTest, TheLastFreeKeyIsHandedOutOnceAndNeverWrapsAround) {
    makeStoreThenRun(storePath(),
                     "UPDATE clipmoor_store_metadata SET value = 9223372036854775806 WHERE key = "
                     "'primary_key_high_water';");
    auto context = open();
    ASSERT_TRUE(context);
    const auto last = insertClip(*context, "last");
    ASSERT_TRUE(last);
    EXPECT_EQ(last->objectID().primaryKey(), std::numeric_limits<qint64>::max());
    EXPECT_FALSE(context->insertNewObjectForEntityForName("Clip"));
    Error error;
    EXPECT_TRUE(context->save(&error)) << error.debugDescription().toStdString();
    EXPECT_EQ(fetch(*context, FetchRequest("Clip")).size(), 2u);
}

TEST_F(ObjectStoreTest, LockedFileIsReportedAsAnOpenFailureAndOpensOnceReleased) {
    sqlite3* other = nullptr;
    runSql(storePath(), "PRAGMA journal_mode=DELETE; BEGIN EXCLUSIVE; CREATE TABLE t(x);", &other);
    Error error;
    EXPECT_FALSE(open(&error));
    EXPECT_EQ(error.code(), kPersistentStoreOpenError);
    ASSERT_TRUE(error.underlyingError());
    EXPECT_EQ(error.underlyingError()->code() & 0xff, SQLITE_BUSY);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(open());  // the rolled-back file is empty again, so it becomes a new store
}

TEST_F(ObjectStoreTest, FailedSaveKeepsChangesPendingAndALaterSaveWritesThem) {
    auto context = open();
    ASSERT_TRUE(context);
    auto kept = insertClip(*context, "kept");
    ASSERT_TRUE(context->save(nullptr));
    insertClip(*context, "new");
    kept->setTitle("changed");

    sqlite3* other = nullptr;
    runSql(storePath(), "BEGIN IMMEDIATE", &other);
    Error error;
    EXPECT_FALSE(context->save(&error));
    EXPECT_EQ(error.code(), kPersistentStoreSaveError);
    ASSERT_TRUE(error.underlyingError());
    EXPECT_EQ(error.underlyingError()->code() & 0xff, SQLITE_BUSY);
    EXPECT_TRUE(context->hasChanges());
    EXPECT_EQ(context->insertedObjects().size(), 1);
    EXPECT_TRUE(kept->isUpdated());
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    ASSERT_TRUE(context->save(&error)) << error.debugDescription().toStdString();
    context.reset();
    auto reopened = open();
    EXPECT_EQ(titles(fetch(*reopened, FetchRequest("Clip"))), QStringList({"changed", "new"}));
}

TEST_F(ObjectStoreTest, WritingValuesToTheStoreRefusesWhatItCannotWriteAndLeavesChangesPending) {
    auto other = open();
    ASSERT_TRUE(other);
    auto foreign = insertClip(*other, "foreign");
    ASSERT_TRUE(other->save(nullptr));
    auto context = open();
    auto saved = insertClip(*context, "saved");
    auto deleted = insertClip(*context, "deleted");
    ASSERT_TRUE(context->save(nullptr));
    context->deleteObject(deleted);
    auto unsaved = insertClip(*context, "unsaved");
    saved->setTitle("changed in memory");

    const auto stored = [&] {
        QStringList rows;
        const auto reader = open();
        for (const auto& record : fetch(*reader, FetchRequest("Clip")))
            rows << QStringLiteral("%1 %2 %3")
                        .arg(record->valueForKey("title").toString(),
                             record->valueForKey("rank").toString(),
                             record->valueForKey("resume").toString());
        return rows;
    };
    const struct {
        const char* name;
        std::shared_ptr<Clip> record;
        QVariantMap values;
    } refused[] = {
        {"never saved", unsaved, {{"rank", 1}}},
        {"deletion pending", deleted, {{"rank", 1}}},
        {"record of another context", foreign, {{"rank", 1}}},
        {"unknown attribute", saved, {{"rank", 1}, {"nonsense", 1}}},
        {"value the attribute cannot hold", saved, {{"state", 1 << 20}}},
    };
    for (const auto& c : refused) {
        Error error;
        EXPECT_FALSE(context->writeValuesToStore(*c.record, c.values, &error)) << c.name;
        EXPECT_TRUE(error.isValid()) << c.name;
    }
    EXPECT_EQ(stored(), QStringList({"foreign  ", "saved  ", "deleted  "}));
    Error error;
    ASSERT_TRUE(
        context->writeValuesToStore(*saved, {{"rank", 42}, {"resume", QByteArray("abc")}}, &error))
        << error.debugDescription().toStdString();
    EXPECT_EQ(context->insertedObjects().size(), 1);
    EXPECT_EQ(context->deletedObjects().size(), 1);
    EXPECT_EQ(saved->changedValues().keys(), QStringList({"title"}));
    EXPECT_EQ(saved->rank(), 0);  // the record in memory is left alone

    EXPECT_EQ(stored(), QStringList({"foreign  ", "saved 42 abc", "deleted  "}));
    ASSERT_TRUE(context->save(&error)) << error.debugDescription().toStdString();
    EXPECT_EQ(stored(), QStringList({"foreign  ", "changed in memory 42 abc", "unsaved  "}));
}

TEST_F(ObjectStoreTest, OnlyRealChangesArePendingAndTheirNotificationComesOncePerTurn) {
    auto context = open();
    ASSERT_TRUE(context);
    auto a = insertClip(*context, "a"), b = insertClip(*context, "b"),
         c = insertClip(*context, "c");
    ASSERT_TRUE(context->save(nullptr));
    QCoreApplication::processEvents();
    // Assigning the same value signals but changes nothing; what the record cannot hold, or an
    // unknown key, is refused.
    QSignalSpy keys(a.get(), &ManagedObject::valueChanged);
    QSignalSpy titleSignals(a.get(), &Clip::titleChanged);
    a->setTitle("a");
    EXPECT_FALSE(a->setValue(70000, "state"));  // beyond a 16-bit attribute
    EXPECT_FALSE(a->setValue(1, "noSuchKey"));
    EXPECT_EQ(keys.count(), 1);
    EXPECT_EQ(titleSignals.count(), 1);
    EXPECT_FALSE(a->valueForKey("state").isValid());
    EXPECT_FALSE(context->hasChanges());

    std::vector<Notification> received;
    QVariantMap changesOfA;
    const ObserverToken token = NotificationCenter::defaultCenter().addObserver(
        NSManagedObjectContextObjectsDidChangeNotification,
        [&](const Notification& n) {
            received.push_back(n);
            changesOfA = a->changedValuesForCurrentEvent();
        },
        context.get());

    auto d = insertClip(*context, "d");
    d->setTitle("d2");  // inserted and changed: reported as inserted only
    a->setTitle("a2");
    a->setTitle("a3");  // the event keeps the value from before the first change
    context->deleteObject(b);
    c->setTitle("c2");
    context->deleteObject(c);  // changed and deleted: reported as deleted only
    auto e = insertClip(*context, "e");
    context->deleteObject(e);       // never reported: inserted and dropped in the same turn
    EXPECT_TRUE(received.empty());  // nothing before the turn ends

    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    ASSERT_EQ(received.size(), 1u);
    const Notification& n = received[0];
    EXPECT_EQ(n.object.value<QObject*>(), context.get());
    const auto set = [&](const char* key) {
        return n.userInfo.value(key).value<ManagedObjectSet>();
    };
    EXPECT_EQ(set(NSInsertedObjectsKey), ManagedObjectSet({d}));
    EXPECT_EQ(set(NSUpdatedObjectsKey), ManagedObjectSet({a}));
    EXPECT_EQ(set(NSDeletedObjectsKey), ManagedObjectSet({b, c}));
    EXPECT_TRUE(n.userInfo.contains(NSRefreshedObjectsKey));
    EXPECT_TRUE(set(NSInvalidatedObjectsKey).isEmpty());
    EXPECT_EQ(changesOfA, QVariantMap({{"title", "a"}}));
    EXPECT_TRUE(a->changedValuesForCurrentEvent().isEmpty());

    a->setValue(7, "rank");
    QCoreApplication::processEvents();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1].userInfo.value(NSUpdatedObjectsKey).value<ManagedObjectSet>(),
              ManagedObjectSet({a}));
    EXPECT_EQ(changesOfA.keys(), QStringList({"rank"}));
}

// Stored: c(rank 3), a(1), t1 (Trailer, 2), b (no rank), t2 (Trailer, 2), gone (deleted,
// not saved); pending: n (rank 0, not saved). Store order is insertion order.
TEST_F(ObjectStoreTest, FetchSelectsOrdersAndLimitsOnAStoreInMemory) {
    auto coordinator = std::make_shared<PersistentStoreCoordinator>(makeModel());
    ASSERT_TRUE(coordinator->addPersistentStore(NSInMemoryStoreType, {}, nullptr));
    auto context = std::make_unique<ManagedObjectContext>();
    context->setPersistentStoreCoordinator(coordinator);
    const auto add = [&](const QString& title, std::optional<int> rank, const QString& entity) {
        auto clip = insertClip(*context, title, entity);
        if (rank) clip->setValue(*rank, "rank");
        return clip;
    };
    add("c", 3, "Clip");
    add("a", 1, "Clip");
    add("t1", 2, "Trailer");
    add("b", std::nullopt, "Clip");
    add("t2", 2, "Trailer");
    auto gone = add("gone", 9, "Clip");
    context->insertNewObjectForEntityForName("Tag")->setValue("tag", "label");
    ASSERT_TRUE(context->save(nullptr));
    context->deleteObject(gone);
    add("n", 0, "Clip");

    const auto run = [&](const QString& entity, std::optional<Predicate> predicate,
                         std::vector<SortDescriptor> sort, quint64 limit = 0) {
        FetchRequest request(entity);
        request.setPredicate(predicate);
        request.setSortDescriptors(sort);
        request.setFetchLimit(limit);
        return titles(fetch(*context, request)).join(' ');
    };
    // Store order with pending inserts, without pending deletes.
    EXPECT_EQ(run("Clip", {}, {}), "c a t1 b t2 n");
    EXPECT_EQ(run("Trailer", {}, {}), "t1 t2");
    EXPECT_EQ(run("Clip", Predicate::keyPathEquals("rank", 2), {}), "t1 t2");
    // Ascending: missing values first, ties in store order.
    EXPECT_EQ(run("Clip", {}, {SortDescriptor("rank")}), "b n a t1 t2 c");
    EXPECT_EQ(run("Clip", {}, {SortDescriptor("rank", false), SortDescriptor("title", false)}),
              "c t2 t1 a n b");
    EXPECT_EQ(run("Clip", {}, {SortDescriptor("title")}, 2), "a b");
}

TEST_F(ObjectStoreTest, IdentitiesResolveAcrossSavesButNotAfterASavedDeletion) {
    auto context = open();
    auto clip = insertClip(*context, "x");
    const ObjectID id = clip->objectID();
    EXPECT_FALSE(id.isNull());
    EXPECT_EQ(context->existingObjectWithID(id, nullptr), clip);
    ASSERT_TRUE(context->save(nullptr));
    EXPECT_EQ(clip->objectID(), id);
    EXPECT_EQ(context->existingObjectWithID(id, nullptr), clip);
    EXPECT_EQ(fetch(*context, FetchRequest("Clip")).front(), clip);  // one live object

    context.reset();
    clip.reset();
    context = open();
    auto resolved = std::dynamic_pointer_cast<Clip>(context->existingObjectWithID(id, nullptr));
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->title(), "x");
    EXPECT_EQ(resolved->fetches, 1);

    context->deleteObject(resolved);
    EXPECT_EQ(resolved->deletions, 1);
    ASSERT_TRUE(context->save(nullptr));
    EXPECT_EQ(resolved->managedObjectContext(), nullptr);
    Error error;
    EXPECT_FALSE(context->existingObjectWithID(id, &error));
    EXPECT_EQ(error.code(), kManagedObjectReferentialIntegrityError);

    // The deleted record was the newest; its key is still never handed out again.
    context.reset();
    context = open();
    auto next = insertClip(*context, "y");
    EXPECT_GT(next->objectID().primaryKey(), id.primaryKey());
    EXPECT_EQ(next->inserts, 1);
    EXPECT_FALSE(context->existingObjectWithID(id, nullptr));
}

}  // namespace
}  // namespace clipmoor

#include "object_store_test.moc"
