#pragma once

#include <QDebug>
#include <QHash>
#include <QMetaType>
#include <QString>
#include <QUrl>

namespace clipmoor {

// The identity of one record: which store, which entity, which row. It is permanent from the
// moment the record is inserted, stays the same across saves, is never given to another
// record (not even after a deletion), and can travel as a notification's object to be
// resolved later with ManagedObjectContext::existingObjectWithID.
class ObjectID {
public:
    ObjectID() = default;
    ObjectID(QString storeIdentifier, QString entityName, qint64 primaryKey)
        : storeIdentifier_(std::move(storeIdentifier)),
          entityName_(std::move(entityName)),
          primaryKey_(primaryKey) {}

    bool isNull() const { return primaryKey_ == 0; }
    const QString& storeIdentifier() const { return storeIdentifier_; }
    const QString& entityName() const { return entityName_; }
    qint64 primaryKey() const { return primaryKey_; }

    // "x-clipmoor-store://<store>/<Entity>/p<key>", the form used in log lines.
    QUrl URIRepresentation() const;

    friend bool operator==(const ObjectID& a, const ObjectID& b) {
        return a.primaryKey_ == b.primaryKey_ && a.entityName_ == b.entityName_ &&
               a.storeIdentifier_ == b.storeIdentifier_;
    }
    friend bool operator!=(const ObjectID& a, const ObjectID& b) { return !(a == b); }
    friend bool operator<(const ObjectID& a, const ObjectID& b) {
        if (a.storeIdentifier_ != b.storeIdentifier_)
            return a.storeIdentifier_ < b.storeIdentifier_;
        if (a.primaryKey_ != b.primaryKey_) return a.primaryKey_ < b.primaryKey_;
        return a.entityName_ < b.entityName_;
    }

private:
    QString storeIdentifier_;
    QString entityName_;
    qint64 primaryKey_ = 0;
};

inline size_t qHash(const ObjectID& id, size_t seed = 0) {
    return qHashMulti(seed, id.storeIdentifier(), id.entityName(), id.primaryKey());
}

QDebug operator<<(QDebug debug, const ObjectID& id);

}  // namespace clipmoor

Q_DECLARE_METATYPE(clipmoor::ObjectID)
