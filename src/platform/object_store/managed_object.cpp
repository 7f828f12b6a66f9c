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

ManagedObject::ManagedObject(const ManagedObjectInit& init) : entity_(init.entity()) {}

ManagedObject::~ManagedObject() = default;

ManagedObjectContext* ManagedObject::managedObjectContext() const {
    return context_.data();
}

bool ManagedObject::isKindOfEntity(const EntityDescription& entity) const {
    return entity_ && entity_->isKindOfEntity(entity);
}

QVariant ManagedObject::valueForKey(const QString& key) const {
    if (entity_ && entity_->attributeNamed(key)) return values_.value(key);
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
    const AttributeDescription* attribute = entity_ ? entity_->attributeNamed(key) : nullptr;
    if (!attribute) {
        const int index = metaObject()->indexOfProperty(key.toUtf8().constData());
        if (index < 0 || !metaObject()->property(index).isWritable()) {
            qWarning("Clipmoor: %s has no key \"%s\"", metaObject()->className(), qPrintable(key));
            return false;
        }
        return metaObject()->property(index).write(this, value);
    }
    QVariant stored;
    if (!attribute->normalise(value, &stored)) {
        qWarning("Clipmoor: \"%s\" cannot hold a value of type %s", qPrintable(key),
                 value.metaType().name());
        return false;
    }
    const QVariant old = values_.value(key);
    const bool changed = old.isValid() != stored.isValid() || old != stored;
    if (stored.isValid())
        values_.insert(key, stored);
    else
        values_.remove(key);
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
    for (const QString& key : changedKeys_) result.insert(key, values_.value(key));
    return result;
}

QVariantMap ManagedObject::changedValuesForCurrentEvent() const {
    QVariantMap result = eventChanges_;
    for (auto it = postedEventChanges_.begin(); it != postedEventChanges_.end(); ++it)
        result.insert(it.key(), it.value());
    return result;
}

}  // namespace clipmoor
