#include "platform/object_store/managed_object_model.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>
#include <limits>

#include "platform/object_store/managed_object.h"
#include "platform/object_store/object_store_error.h"

namespace clipmoor {

namespace {

bool isIdentifier(const QString& name, bool capital) {
    static const QRegularExpression entityPattern(QStringLiteral("^[A-Z][A-Za-z0-9_]*$"));
    static const QRegularExpression attributePattern(QStringLiteral("^[a-z][A-Za-z0-9_]*$"));
    return (capital ? entityPattern : attributePattern).match(name).hasMatch();
}

bool normaliseInteger(const QVariant& value, qint64 min, qint64 max, QVariant* stored) {
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!ok || number < min || number > max) return false;
    *stored = QVariant::fromValue(number);
    return true;
}

QString typeName(AttributeType type) {
    switch (type) {
        case AttributeType::String:
            return QStringLiteral("string");
        case AttributeType::Integer16:
            return QStringLiteral("int16");
        case AttributeType::Integer32:
            return QStringLiteral("int32");
        case AttributeType::Integer64:
            return QStringLiteral("int64");
        case AttributeType::Double:
            return QStringLiteral("double");
        case AttributeType::Boolean:
            return QStringLiteral("bool");
        case AttributeType::Binary:
            return QStringLiteral("binary");
        case AttributeType::Date:
            return QStringLiteral("date");
    }
    return {};
}

}  // namespace

bool AttributeDescription::normalise(const QVariant& value, QVariant* stored) const {
    if (!value.isValid()) {
        *stored = QVariant();
        return true;
    }
    switch (type) {
        case AttributeType::String: {
            if (!value.canConvert<QString>()) return false;
            const QString text = value.toString();
            *stored = text.isNull() ? QVariant() : QVariant(text);
            return true;
        }
        case AttributeType::Integer16:
            return normaliseInteger(value, std::numeric_limits<qint16>::min(),
                                    std::numeric_limits<qint16>::max(), stored);
        case AttributeType::Integer32:
            return normaliseInteger(value, std::numeric_limits<qint32>::min(),
                                    std::numeric_limits<qint32>::max(), stored);
        case AttributeType::Integer64:
            return normaliseInteger(value, std::numeric_limits<qint64>::min(),
                                    std::numeric_limits<qint64>::max(), stored);
        case AttributeType::Double: {
            bool ok = false;
            const double number = value.toDouble(&ok);
            if (!ok) return false;
            *stored = number;
            return true;
        }
        case AttributeType::Boolean:
            if (!value.canConvert<bool>()) return false;
            *stored = value.toBool();
            return true;
        case AttributeType::Binary: {
            if (value.metaType().id() != QMetaType::QByteArray) return false;
            const QByteArray bytes = value.toByteArray();
            *stored = bytes.isNull() ? QVariant() : QVariant(bytes);
            return true;
        }
        case AttributeType::Date: {
            if (value.metaType().id() != QMetaType::QDateTime) return false;
            const QDateTime date = value.toDateTime();
            *stored = date.isValid() ? QVariant(date) : QVariant();
            return true;
        }
    }
    return false;
}

const EntityDescription& EntityDescription::rootEntity() const {
    const EntityDescription* entity = this;
    while (entity->superentity_) entity = entity->superentity_;
    return *entity;
}

const AttributeDescription* EntityDescription::attributeNamed(const QString& name) const {
    const int index = attributeIndex(name);
    return index < 0 ? nullptr : &attributes_[static_cast<std::size_t>(index)];
}

bool EntityDescription::isKindOfEntity(const EntityDescription& entity) const {
    // Compared by name: entity names are unique within a model, and the same model may be
    // loaded more than once.
    for (const EntityDescription* e = this; e; e = e->superentity_)
        if (e->name_ == entity.name_) return true;
    return false;
}

std::vector<const EntityDescription*> EntityDescription::selfAndDescendants() const {
    std::vector<const EntityDescription*> result{this};
    for (std::size_t i = 0; i < result.size(); ++i)
        for (const EntityDescription* sub : result[i]->subentities_) result.push_back(sub);
    return result;
}

std::shared_ptr<ManagedObject> EntityDescription::makeObject(const ManagedObjectInit& init) const {
    if (factory_) return factory_(init);
    return std::make_shared<ManagedObject>(init);
}

std::shared_ptr<const ManagedObjectModel> ManagedObjectModel::create(
    const QString& name, std::vector<EntityDefinition> definitions, Error* error) {
    const auto fail = [&](const QString& reason) {
        setError(error, objectStoreError(kCoreDataError,
                                         QStringLiteral("The data model is not valid."), reason));
        return nullptr;
    };
    auto model = std::make_shared<ManagedObjectModel>(Key{}, name);
    for (EntityDefinition& definition : definitions) {
        if (!isIdentifier(definition.name, true))
            return fail(QStringLiteral("Bad entity name \"%1\".").arg(definition.name));
        if (model->entityNamed(definition.name))
            return fail(QStringLiteral("Entity \"%1\" is defined twice.").arg(definition.name));
        auto entity = std::make_unique<EntityDescription>();
        entity->name_ = definition.name;
        entity->model_ = model.get();
        entity->factory_ = std::move(definition.factory);
        if (!definition.superentityName.isEmpty()) {
            auto parent = model->entityNamed(definition.superentityName);
            if (!parent)
                return fail(QStringLiteral("Entity \"%1\" names an unknown parent \"%2\".")
                                .arg(definition.name, definition.superentityName));
            entity->superentity_ = parent.get();
            entity->attributes_ = parent->attributes_;
            entity->attributeIndexes_ = parent->attributeIndexes_;
        }
        for (const AttributeDescription& attribute : definition.attributes) {
            if (!isIdentifier(attribute.name, false) || entity->attributeNamed(attribute.name))
                return fail(QStringLiteral("Bad or repeated attribute \"%1\" in \"%2\".")
                                .arg(attribute.name, definition.name));
            entity->attributeIndexes_.insert(attribute.name,
                                             static_cast<int>(entity->attributes_.size()));
            entity->attributes_.push_back(attribute);
        }
        model->entities_.push_back(std::move(entity));
    }
    // Parents are linked to their children once every entity exists. Sub-entities may not
    // repeat an attribute of an entity elsewhere in their family: the family shares a table.
    for (const auto& parent : model->entities_)
        for (const auto& entity : model->entities_)
            if (entity->superentity_ == parent.get()) parent->subentities_.push_back(entity.get());
    for (const auto& entity : model->entities_) {
        if (entity->superentity_) continue;
        std::vector<std::pair<QString, AttributeType>> columns;
        for (const EntityDescription* member : entity->selfAndDescendants()) {
            for (const AttributeDescription& attribute : member->attributes_) {
                auto same = std::find_if(columns.begin(), columns.end(),
                                         [&](const auto& c) { return c.first == attribute.name; });
                if (same == columns.end())
                    columns.emplace_back(attribute.name, attribute.type);
                else if (same->second != attribute.type)
                    return fail(QStringLiteral("Attribute \"%1\" has two types in the \"%2\" "
                                               "family.")
                                    .arg(attribute.name, entity->name_));
            }
        }
    }

    QStringList canonical;
    for (const auto& entity : model->entities_) {
        QStringList attributes;
        for (const AttributeDescription& attribute : entity->attributes_)
            attributes << attribute.name + QLatin1Char(':') + typeName(attribute.type);
        attributes.sort();
        canonical << entity->name_ + QLatin1Char('<') +
                         (entity->superentity_ ? entity->superentity_->name_ : QString()) +
                         QLatin1Char('{') + attributes.join(QLatin1Char(',')) + QLatin1Char('}');
    }
    canonical.sort();
    model->versionHash_ =
        QString::fromLatin1(QCryptographicHash::hash(canonical.join(QLatin1Char(';')).toUtf8(),
                                                     QCryptographicHash::Sha256)
                                .toHex());
    return model;
}

std::vector<std::shared_ptr<const EntityDescription>> ManagedObjectModel::entities() const {
    std::vector<std::shared_ptr<const EntityDescription>> result;
    for (const auto& entity : entities_) result.emplace_back(shared_from_this(), entity.get());
    return result;
}

std::shared_ptr<const EntityDescription> ManagedObjectModel::entityNamed(
    const QString& name) const {
    for (const auto& entity : entities_)
        // Shares ownership of the whole model, so an entity never outlives its model.
        if (entity->name_ == name)
            return std::shared_ptr<const EntityDescription>(shared_from_this(), entity.get());
    return nullptr;
}

}  // namespace clipmoor
