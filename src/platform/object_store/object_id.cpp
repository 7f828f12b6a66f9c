#include "platform/object_store/object_id.h"

namespace clipmoor {

QUrl ObjectID::URIRepresentation() const {
    QUrl url;
    url.setScheme(QStringLiteral("x-clipmoor-store"));
    url.setHost(storeIdentifier_);
    url.setPath(QStringLiteral("/%1/p%2").arg(entityName_).arg(primaryKey_));
    return url;
}

QDebug operator<<(QDebug debug, const ObjectID& id) {
    QDebugStateSaver saver(debug);
    debug.noquote() << id.URIRepresentation().toString();
    return debug;
}

}  // namespace clipmoor
