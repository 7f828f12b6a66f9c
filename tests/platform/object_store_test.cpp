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

class ObjectStoreTest : public testing::Test {
protected:
    QString storePath() const { return dir_.filePath(fileName_); }

    // A fresh context on the store file; null (with `error` set) when the store is refused.
    std::unique_ptr<ManagedObjectContext> open(
        Error* error = nullptr, std::shared_ptr<const ManagedObjectModel> model = makeModel()) {
        auto coordinator = std::make_shared<PersistentStoreCoordinator>(model);
        Error failure;
        if (!coordinator->addPersistentStore(NSSQLiteStoreType, QUrl::fromLocalFile(storePath()),
                                             error ? error : &failure)) {
            if (!error) ADD_FAILURE() << failure.debugDescription().toStdString();
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

    // A store of the test model holding one record, then changed behind the store's back.
    void storeThenRun(const char* sql) {
        {
            const auto context = open();
            ASSERT_TRUE(context);
            context->insertNewObjectForEntityForName("Clip");
            ASSERT_TRUE(context->save(nullptr));
        }
        runSql(storePath(), sql);
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
    const QVariantMap values{{"title", "first"},
                             {"rank", QVariant::fromValue<qint64>(5'000'000'000)},
                             {"state", -3},
                             {"audio", true},
                             {"resume", QByteArray("\0resume", 7)},
                             {"added", QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC)},
                             {"score", 0.25}};
    ObjectID clipID;
    {
        auto context = open();
        ASSERT_TRUE(context);
        auto clip = context->insertNewObjectForEntityForName<Clip>("Clip");
        for (auto value = values.begin(); value != values.end(); ++value)
            clip->setValue(value.value(), value.key());
        insertClip(*context, "second", "Trailer")->setValue("Studio \u00e9", "studio");
        clipID = clip->objectID();
        ASSERT_FALSE(clipID.isNull());
        EXPECT_EQ(context->existingObjectWithID(clipID, nullptr), clip);
        Error error;
        ASSERT_TRUE(context->save(&error)) << error.debugDescription().toStdString();
        EXPECT_EQ(context->existingObjectWithID(clipID, nullptr), clip);
        EXPECT_EQ(clip->inserts, 1);
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
    const auto clip =
        std::dynamic_pointer_cast<Clip>(context->existingObjectWithID(clipID, nullptr));
    ASSERT_TRUE(clip);
    for (auto value = values.begin(); value != values.end(); ++value)
        EXPECT_EQ(clip->valueForKey(value.key()), value.value()) << value.key().toStdString();
    EXPECT_EQ(clip->rank(), 5'000'000'000);
    records = fetch(*context, FetchRequest("Clip"));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], clip);  // one live object per record, awoken once
    EXPECT_EQ(clip->fetches, 1);
    const auto trailer = std::dynamic_pointer_cast<Clip>(records[1]);
    EXPECT_EQ(trailer->entity()->name(), "Trailer");
    EXPECT_EQ(trailer->valueForKey("studio").toString(), "Studio \u00e9");
    EXPECT_EQ(trailer->title(), "changed");
    // Never set: no value, and the integer reading is 0.
    EXPECT_FALSE(trailer->valueForKey("rank").isValid());
    EXPECT_EQ(trailer->rank(), 0);

    // A saved deletion ends the identity, and the newest record's key is never handed out again.
    const ObjectID trailerID = trailer->objectID();
    context->deleteObject(trailer);
    EXPECT_EQ(trailer->deletions, 1);
    ASSERT_TRUE(context->save(nullptr));
    EXPECT_EQ(trailer->managedObjectContext(), nullptr);
    Error error;
    EXPECT_FALSE(context->existingObjectWithID(trailerID, &error));
    EXPECT_EQ(error.code(), kManagedObjectReferentialIntegrityError);
    context = open();
    EXPECT_GT(insertClip(*context, "y")->objectID().primaryKey(), trailerID.primaryKey());
    EXPECT_FALSE(context->existingObjectWithID(trailerID, nullptr));
}

TEST_F(ObjectStoreTest, ForeignFileIsReportedWithItsCauseAndLeftByteIdentical) {
    const auto bytes = [this](const QByteArray& content) {
        return [this, content] {
            QFile file(storePath());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        };
    };
    const auto storeThen = [this](const char* statements) {
        return [this, statements] { storeThenRun(statements); };
    };
    const struct {
        const char* name;
        std::function<void()> make;
        qint64 code;
    } cases[] = {
        {"garbage", bytes(QByteArray(3000, 'x') + "not a database"), kFileReadCorruptFileError},
        {"damaged header", bytes(QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\xff')),
         kFileReadCorruptFileError},
        {"another program's database",
         [this] {
             runSql(storePath(), "CREATE TABLE notes(body TEXT); INSERT INTO notes VALUES('x');");
         },
         kPersistentStoreIncompatibleVersionHashError},
        {"store of another model", [this] { ASSERT_TRUE(open(nullptr, makeModel(true))); },
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
        ASSERT_NO_FATAL_FAILURE(c.make());
        const QByteArray before = readFile(storePath());
        Error error;
        EXPECT_FALSE(open(&error));
        EXPECT_TRUE(error.is(kCocoaErrorDomain, c.code)) << error.debugDescription().toStdString();
        EXPECT_FALSE(error.localizedDescription().isEmpty());
        EXPECT_EQ(readFile(storePath()), before);
    }
}

TEST_F(ObjectStoreTest, TheLastFreeKeyIsHandedOutOnceAndNeverWrapsAround) {
    storeThenRun(
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

TEST_F(ObjectStoreTest, BusyFileFailsOpeningAndSavingWithItsCauseAndLosesNoChange) {
    const auto expectBusy = [](const Error& error, qint64 code) {
        EXPECT_EQ(error.code(), code);
        ASSERT_TRUE(error.underlyingError());
        EXPECT_EQ(error.underlyingError()->code() & 0xff, SQLITE_BUSY);
    };
    sqlite3* other = nullptr;
    runSql(storePath(), "PRAGMA journal_mode=DELETE; BEGIN EXCLUSIVE; CREATE TABLE t(x);", &other);
    Error error;
    EXPECT_FALSE(open(&error));
    expectBusy(error, kPersistentStoreOpenError);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    // The rolled-back file is empty again, so it becomes a new store.
    auto context = open();
    ASSERT_TRUE(context);
    auto kept = insertClip(*context, "kept");
    ASSERT_TRUE(context->save(nullptr));
    insertClip(*context, "new");
    kept->setTitle("changed");

    sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    EXPECT_FALSE(context->save(&error));
    expectBusy(error, kPersistentStoreSaveError);
    EXPECT_TRUE(kept->isUpdated());
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    ASSERT_TRUE(context->save(&error)) << error.debugDescription().toStdString();
    EXPECT_EQ(titles(fetch(*open(), FetchRequest("Clip"))), QStringList({"changed", "new"}));
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
    // The record in memory and the changes pending are left alone.
    EXPECT_EQ(saved->rank(), 0);
    EXPECT_EQ(saved->changedValues(), QVariantMap({{"title", "changed in memory"}}));
    EXPECT_EQ(context->insertedObjects(), ManagedObjectSet({unsaved}));
    EXPECT_EQ(context->deletedObjects(), ManagedObjectSet({deleted}));
    EXPECT_EQ(stored(), QStringList({"foreign  ", "saved 42 abc", "deleted  "}));
    // Saving them does not undo what was written.
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
    const auto set = [&](const char* key) {
        return received[0].userInfo.value(key).value<ManagedObjectSet>();
    };
    EXPECT_EQ(set(NSInsertedObjectsKey), ManagedObjectSet({d}));
    EXPECT_EQ(set(NSUpdatedObjectsKey), ManagedObjectSet({a}));
    EXPECT_EQ(set(NSDeletedObjectsKey), ManagedObjectSet({b, c}));
    EXPECT_EQ(changesOfA, QVariantMap({{"title", "a"}}));

    // The next turn's change brings a notification of its own, with only its own change.
    a->setValue(7, "rank");
    QCoreApplication::processEvents();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(changesOfA.keys(), QStringList({"rank"}));
}

// "gone" is deleted and "n" inserted after the save, neither saved. Store order is insertion order.
TEST_F(ObjectStoreTest, FetchSelectsOrdersAndLimitsOnAStoreInMemory) {
    auto coordinator = std::make_shared<PersistentStoreCoordinator>(makeModel());
    ASSERT_TRUE(coordinator->addPersistentStore(NSInMemoryStoreType, {}, nullptr));
    auto context = std::make_unique<ManagedObjectContext>();
    context->setPersistentStoreCoordinator(coordinator);
    const struct {
        QString title;
        QVariant rank;
        QString entity = "Clip";
    } stored[] = {{"c", 3},   {"a", 1}, {"t1", 2, "Trailer"}, {"b", {}}, {"t2", 2, "Trailer"},
                  {"gone", 9}};
    for (const auto& r : stored)
        if (auto clip = insertClip(*context, r.title, r.entity); r.rank.isValid())
            clip->setValue(r.rank, "rank");
    context->insertNewObjectForEntityForName("Tag")->setValue("tag", "label");
    ASSERT_TRUE(context->save(nullptr));
    context->deleteObject(fetch(*context, FetchRequest("Clip")).back());  // "gone"
    insertClip(*context, "n")->setValue(0, "rank");

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

}  // namespace
}  // namespace clipmoor

#include "object_store_test.moc"
