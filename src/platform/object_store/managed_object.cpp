#include "platform/object_store/managed_object.h"

#include <QMetaMethod>
#include <QMetaProperty>

#include "platform/main_queue.h"
#include "platform/object_store/managed_object_context.h"

namespace clipmoor {

namespace {

QVariant valueOf(const QVariant& holder, const QString& key) {
    if (holder.metaType() == QMetaType::fromType<QVariantMap>()) return holder.toMap().value(key);
    if (holder.metaType() == QMetaType::fromType<std::shared_ptr<ManagedObject>>()) {
        const auto record = holder.value<std::shared_ptr<ManagedObject>>();
        return record ? record->valueForKey(key) : QVariant();
    }
    if (holder.metaType().flags().testFlag(QMetaType::PointerToQObject)) {
        const QObject* object = holder.value<QObject*>();
        return object ? object->property(key.toUtf8().constData()) : QVariant();
    }
    return {};
}

}  // namespace

ManagedObject::ManagedObject(const ManagedObjectInit& init)
    : entity_(init.entity()), values_(entity_ ? entity_->attributes().size() : 0) {}

ManagedObject::~ManagedObject() = default;

ManagedObjectContext* ManagedObject::managedObjectContext() const {
    return context_.data();
}

bool ManagedObject::isKindOfEntity(const EntityDescription& entity) const {
    return entity_ && entity_->isKindOfEntity(entity);
}

const QVariant& ManagedObject::slotValue(std::size_t slot) const {
    if (storedText_.has(slot)) values_[slot] = storedText_.take(slot);
    return values_[slot];
}

const QVariant& ManagedObject::storedValue(const QString& key) const {
    static const QVariant none;
    const int index = entity_ ? entity_->attributeIndex(key) : -1;
    return index < 0 ? none : slotValue(static_cast<std::size_t>(index));
}

QVariantMap ManagedObject::storedValues() const {
    QVariantMap result;
    for (std::size_t i = 0; i < values_.size(); ++i)
        if (slotValue(i).isValid()) result.insert(entity_->attributes()[i].name, values_[i]);
    return result;
}

QVariant ManagedObject::valueForKey(const QString& key) const {
    if (entity_ && entity_->attributeIndex(key) >= 0) return storedValue(key);
    const int index = metaObject()->indexOfProperty(key.toUtf8().constData());
    if (index < 0) return {};
    return metaObject()->property(index).read(this);
}

QVariant ManagedObject::valueForKeyPath(const QString& keyPath) const {
    const QStringList keys = keyPath.split(QLatin1Char('.'));
    QVariant value = valueForKey(keys.first());
    for (qsizetype i = 1; i < keys.size() && value.isValid(); ++i) value = valueOf(value, keys[i]);
    return value;
}

bool ManagedObject::setValue(const QVariant& value, const QString& key) {
    Q_ASSERT_X(isMainThread(), "ManagedObject", "records belong to the main thread");
    const int index = entity_ ? entity_->attributeIndex(key) : -1;
    if (index < 0) {
        const int index = metaObject()->indexOfProperty(key.toUtf8().constData());
        if (index < 0 || !metaObject()->property(index).isWritable()) {
            qWarning("Clipmoor: %s has no key \"%s\"", metaObject()->className(), qPrintable(key));
            return false;
        }
        return metaObject()->property(index).write(this, value);
    }
    const AttributeDescription& attribute = entity_->attributes()[static_cast<std::size_t>(index)];
    QVariant stored;
    if (!attribute.normalise(value, &stored)) {
        qWarning("Clipmoor: \"%s\" cannot hold a value of type %s", qPrintable(key),
                 value.metaType().name());
        return false;
    }
    const QVariant old = slotValue(static_cast<std::size_t>(index));
    QVariant& slot = values_[static_cast<std::size_t>(index)];
    const bool changed = old.isValid() != stored.isValid() || old != stored;
    slot = std::move(stored);
    if (changed && context_) context_->objectDidChangeValue(*this, key, old);
    notifyValueChanged(key);
    return true;
}

void ManagedObject::notifyValueChanged(const QString& key) {
    emit valueChanged(key);
    const int index = metaObject()->indexOfProperty(key.toUtf8().constData());
    if (index < 0) return;
    const QMetaProperty property = metaObject()->property(index);
    if (property.hasNotifySignal() && property.notifySignal().parameterCount() == 0)
        property.notifySignal().invoke(this, Qt::DirectConnection);
}

QVariantMap ManagedObject::changedValues() const {
    QVariantMap result;
    for (const QString& key : changedKeys_) result.insert(key, storedValue(key));
    return result;
}

QVariantMap ManagedObject::changedValuesForCurrentEvent() const {
    QVariantMap result = eventChanges_;
    for (auto it = postedEventChanges_.begin(); it != postedEventChanges_.end(); ++it)
        result.insert(it.key(), it.value());
    return result;
}

}  // namespace clipmoor
