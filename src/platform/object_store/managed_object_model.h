#pragma once

#include <QHash>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

#include "platform/error.h"

namespace clipmoor {

class ManagedObject;
class ManagedObjectContext;
class ManagedObjectModel;
class EntityDescription;

enum class AttributeType { String, Integer16, Integer32, Integer64, Double, Boolean, Binary, Date };

struct AttributeDescription {
    QString name;
    AttributeType type = AttributeType::String;

    // Brings an assigned value into the attribute's stored form: QString, qlonglong, double,
    // bool, QByteArray or QDateTime, and an invalid variant for "no value" (including a null
    // string or byte array). False when the value cannot be held by the attribute.
    bool normalise(const QVariant& value, QVariant* stored) const;
};

// What a record class's constructor receives. Only a context can make one, so records exist
// only as members of a context, each with its entity.
class ManagedObjectInit {
public:
    const std::shared_ptr<const EntityDescription>& entity() const { return entity_; }

private:
    friend class ManagedObjectContext;
    explicit ManagedObjectInit(std::shared_ptr<const EntityDescription> entity)
        : entity_(std::move(entity)) {}
    std::shared_ptr<const EntityDescription> entity_;
};

// Makes the record object of an entity: its own ManagedObject subclass.
using ManagedObjectFactory =
    std::function<std::shared_ptr<ManagedObject>(const ManagedObjectInit&)>;

template <class RecordClass>
ManagedObjectFactory managedObjectClass() {
    return [](const ManagedObjectInit& init) { return std::make_shared<RecordClass>(init); };
}

// One entity of a model: a name, an optional parent entity whose attributes it inherits, its
// attributes and the class of its records.
class EntityDescription {
public:
    const QString& name() const { return name_; }
    const EntityDescription* superentity() const { return superentity_; }
    const std::vector<const EntityDescription*>& subentities() const { return subentities_; }
    // The top of this entity's family; the whole family shares one table.
    const EntityDescription& rootEntity() const;
    // Inherited attributes first, then the entity's own, in declaration order.
    const std::vector<AttributeDescription>& attributes() const { return attributes_; }
    const AttributeDescription* attributeNamed(const QString& name) const;
    // The attribute's position in attributes(), or -1 when the entity has none of that name.
    int attributeIndex(const QString& name) const { return attributeIndexes_.value(name, -1); }
    // True for this entity and each of its descendants.
    bool isKindOfEntity(const EntityDescription& entity) const;
    // This entity followed by all its descendants.
    std::vector<const EntityDescription*> selfAndDescendants() const;
    const ManagedObjectModel& managedObjectModel() const { return *model_; }

    // The entity of that name in the context's model, or none.
    static std::shared_ptr<const EntityDescription> entityForName(
        const QString& name, const ManagedObjectContext& context);

private:
    friend class ManagedObjectModel;
    friend class ManagedObjectContext;
    std::shared_ptr<ManagedObject> makeObject(const ManagedObjectInit& init) const;

    QString name_;
    const EntityDescription* superentity_ = nullptr;
    std::vector<const EntityDescription*> subentities_;
    std::vector<AttributeDescription> attributes_;
    QHash<QString, int> attributeIndexes_;
    ManagedObjectFactory factory_;
    const ManagedObjectModel* model_ = nullptr;
};

// The description of what a store holds, written in code. Its version hash is stamped into
// the store file; a file with another stamp is not opened.
class ManagedObjectModel : public std::enable_shared_from_this<ManagedObjectModel> {
public:
    struct EntityDefinition {
        QString name;
        QString superentityName;  // empty for a top entity; must be defined earlier
        std::vector<AttributeDescription> attributes;
        ManagedObjectFactory factory;  // empty: plain ManagedObject records
    };

    // Checks the definitions (names are identifiers, entity names start with a capital,
    // attribute names with a small letter, nothing is defined twice, parents exist) and
    // builds the model; none plus an error when they are not sound.
    static std::shared_ptr<const ManagedObjectModel> create(const QString& name,
                                                            std::vector<EntityDefinition> entities,
                                                            Error* error = nullptr);

    const QString& name() const { return name_; }
    std::vector<std::shared_ptr<const EntityDescription>> entities() const;
    std::shared_ptr<const EntityDescription> entityNamed(const QString& name) const;
    // Stable over runs; changes whenever an entity, a parent, an attribute name or an
    // attribute type changes.
    const QString& versionHash() const { return versionHash_; }

private:
    struct Key {};

public:
    ManagedObjectModel(Key, QString name) : name_(std::move(name)) {}

private:
    QString name_;
    std::vector<std::unique_ptr<EntityDescription>> entities_;
    QString versionHash_;
};

}  // namespace clipmoor
