#include "store/core_data_controller.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <sys/stat.h>

#include <cerrno>
#include <optional>

#include "platform/file_operations.h"
#include "platform/main_queue.h"

namespace clipmoor {

CoreDataController::CoreDataController(ModelLoader modelLoader, QObject* parent)
    : QObject(parent), modelLoader_(std::move(modelLoader)) {}

CoreDataController::~CoreDataController() = default;

QUrl CoreDataController::applicationDocumentsDirectory() const {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QUrl::fromLocalFile(QDir(base).filePath(QStringLiteral("Clipmoor")));
}

std::shared_ptr<const ManagedObjectModel> CoreDataController::managedObjectModel() {
    if (!managedObjectModel_ && modelLoader_) managedObjectModel_ = modelLoader_();
    return managedObjectModel_;
}

std::shared_ptr<PersistentStoreCoordinator> CoreDataController::persistentStoreCoordinator() {
    Q_ASSERT_X(isMainThread(), "CoreDataController", "used off the main thread");
    if (persistentStoreCoordinator_) return persistentStoreCoordinator_;

    const QString folder = applicationDocumentsDirectory().toLocalFile();
    QString failureReason = QString::fromUtf8(kGenericFailureReason);
    bool shouldFail = false;
    std::optional<Error> pendingError;

    struct stat status {};
    const QByteArray folderPath = QFile::encodeName(folder);
    const int statResult = ::stat(folderPath.constData(), &status);
    const int statError = errno;
    if (statResult == 0) {
        if (!S_ISDIR(status.st_mode)) {
            failureReason = QString::fromUtf8(kFoundAFileFailureReason).arg(folder);
            shouldFail = true;
        } else {
            // The saved list is private: a folder left open to others by an earlier version is
            // narrowed. Failing that is no reason not to open the store.
            makePrivateFolder(folder);
        }
    } else if (statError == ENOENT) {
        pendingError = makePrivateFolder(folder);
    } else {
        pendingError = Error::posix(statError, QStringLiteral("Could not examine %1").arg(folder));
    }

    if (!shouldFail && !pendingError) {
        auto coordinator = std::make_shared<PersistentStoreCoordinator>(managedObjectModel());
        const QUrl url =
            QUrl::fromLocalFile(QDir(folder).filePath(QString::fromLatin1(kStoreFileName)));
        Error storeError;
        if (coordinator->addPersistentStore(NSSQLiteStoreType, url, &storeError))
            persistentStoreCoordinator_ = std::move(coordinator);
        else
            pendingError = storeError;
    }
    if (!shouldFail && !pendingError) return persistentStoreCoordinator_;

    Error error(kErrorDomain, kErrorCode,
                {{kLocalizedDescriptionKey, QString::fromUtf8(kFailedToInitializeDescription)},
                 {kLocalizedFailureReasonErrorKey, failureReason}});
    if (pendingError) error.setUnderlyingError(*pendingError);
    presentError(error);
    return persistentStoreCoordinator_;
}

ManagedObjectContext* CoreDataController::managedObjectContext() {
    if (managedObjectContext_) return managedObjectContext_.get();
    auto coordinator = persistentStoreCoordinator();
    if (!coordinator) return nullptr;
    managedObjectContext_ =
        std::make_unique<ManagedObjectContext>(ManagedObjectContext::MainQueueConcurrencyType);
    managedObjectContext_->setPersistentStoreCoordinator(std::move(coordinator));
    return managedObjectContext_.get();
}

void CoreDataController::saveAction(QObject*) {
    // Each question asks for the context anew, so while the store cannot be opened each one
    // brings the failure report again.
    ManagedObjectContext* context = managedObjectContext();
    if (!context || !context->commitEditing())
        qWarning("%s:%s unable to commit editing before saving",
                 qPrintable(QString::fromLatin1(metaObject()->className()).section("::", -1)),
                 "saveAction:");
    context = managedObjectContext();
    if (!context || !context->hasChanges()) return;
    Error error;
    if (!context->save(&error)) presentError(error);
}

QObject* CoreDataController::windowWillReturnUndoManager(QObject*) {
    return nullptr;
}

void CoreDataController::presentError(const Error& error) {
    if (errorPresenter_)
        errorPresenter_(error);
    else
        qWarning("Clipmoor: %s", qPrintable(error.debugDescription()));
}

}  // namespace clipmoor
