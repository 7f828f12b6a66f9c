#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <vector>

#include "platform/object_store/managed_object_model.h"
#include "platform/object_store/object_id.h"
#include "platform/object_store/stored_text.h"

namespace clipmoor {

class ManagedObjectContext;

// One record of a context. Records are shared (std::shared_ptr) and observed through Qt
// signals: every assignment of a value emits valueChanged(key), and the NOTIFY signal of a
// Q_PROPERTY of that name when the class declares one. Main thread only.
//
// Stored attributes are read with valueForKey and written with setValue; subclasses add typed
// accessors on top. An attribute that was never set has no value (an invalid QVariant); the
// typed integer reads give 0 for it.
class ManagedObject : public QObject, public std::enable_shared_from_this<ManagedObject> {
    Q_OBJECT

public:
    explicit ManagedObject(const ManagedObjectInit& init);
    ~ManagedObject() override;

    const std::shared_ptr<const EntityDescription>& entity() const { return entity_; }
    bool isKindOfEntity(const EntityDescription& entity) const;
    const ObjectID& objectID() const { return objectID_; }
    // The owning context; none once the record's deletion was saved, or the context is gone.
    ManagedObjectContext* managedObjectContext() const;

    // A stored attribute, or else a Q_PROPERTY of that name; invalid when neither has a value.
    QVariant valueForKey(const QString& key) const;
    // Dotted path: the first key on this record, each further key on the value before it (a
    // QVariantMap entry, a QObject property or another record's key).
    QVariant valueForKeyPath(const QString& keyPath) const;
    // Assigns a stored attribute (converted to its type), or else a writable Q_PROPERTY.
    // False, with nothing changed, for an unknown key or a value the attribute cannot hold.
    bool setValue(const QVariant& value, const QString& key);

    // Attribute name -> new value, for every attribute assigned since the last save.
    QVariantMap changedValues() const;
    // Attribute name -> value before the change, for every attribute changed since the
    // previous change notification of the context (during that notification: the changes it
    // reports).
    QVariantMap changedValuesForCurrentEvent() const;

    bool isInserted() const { return inserted_; }
    bool isUpdated() const { return !inserted_ && !deleted_ && !changedKeys_.isEmpty(); }
    bool isDeleted() const { return deleted_; }
    bool hasChanges() const { return inserted_ || deleted_ || !changedKeys_.isEmpty(); }

signals:
    void valueChanged(const QString& key);

protected:
    // Called by the context: once after insertion, once after a record is read from the
    // store, and once when the record is deleted (before it leaves the context's lists).
    virtual void awakeFromInsert() {}
    virtual void awakeFromFetch() {}
    virtual void prepareForDeletion() {}

    // Typed reads for subclasses' getters.
    QString stringValue(const QString& key) const { return storedValue(key).toString(); }
    qint64 integerValue(const QString& key) const { return storedValue(key).toLongLong(); }
    bool boolValue(const QString& key) const { return storedValue(key).toBool(); }
    QByteArray dataValue(const QString& key) const { return storedValue(key).toByteArray(); }

    // Emits valueChanged and the property's NOTIFY signal for a value that is not stored.
    void notifyValueChanged(const QString& key);

private:
    friend class ManagedObjectContext;

    // The stored attribute's value; an invalid variant when it has none or is no attribute.
    const QVariant& storedValue(const QString& key) const;
    // The value in `slot`, its text decoded first if it is still as the store holds it.
    const QVariant& slotValue(std::size_t slot) const;
    // Attribute name -> value, for every attribute with a value.
    QVariantMap storedValues() const;

    std::shared_ptr<const EntityDescription> entity_;
    QPointer<ManagedObjectContext> context_;
    ObjectID objectID_;
    // One slot per attribute of the entity, in its order; invalid where there is no value.
    // A text read from the store stays in storedText_ until it is first read.
    mutable std::vector<QVariant> values_;
    mutable StoredText storedText_;
    QSet<QString> changedKeys_;       // since the last save
    QVariantMap eventChanges_;        // old values, since the last change notification
    QVariantMap postedEventChanges_;  // the event whose notification is being delivered
    bool inserted_ = false;
    bool deleted_ = false;
};

// The sets of records a change notification carries: each record at most once, in the order
// of its first change.
using ManagedObjectSet = QList<std::shared_ptr<ManagedObject>>;

}  // namespace clipmoor

Q_DECLARE_METATYPE(std::shared_ptr<clipmoor::ManagedObject>)
Q_DECLARE_METATYPE(clipmoor::ManagedObjectSet)
