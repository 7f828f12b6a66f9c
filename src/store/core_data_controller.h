#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

#include "platform/error.h"
#include "platform/object_store/managed_object_context.h"

namespace clipmoor {

// The application's persistence stack: the data model, the coordinator with the one store file
// "Clipmoor.storedata" in the application's data folder, and the main-thread context through
// which every record is created, fetched, changed, deleted and saved. Main thread only.
//
// The model comes from the loader given at construction, so this class does not depend on the
// record classes. Failures the user must see go to the error presenter (by default a log line);
// the user interface sets one that shows a modal alert with the description and the reason.
class CoreDataController : public QObject {
    Q_OBJECT

public:
    using ModelLoader = std::function<std::shared_ptr<const ManagedObjectModel>()>;
    using ErrorPresenter = std::function<void(const Error&)>;

    static constexpr const char* kErrorDomain = "YOUR_ERROR_DOMAIN";
    static constexpr qint64 kErrorCode = 9999;
    static constexpr const char* kStoreFileName = "Clipmoor.storedata";
    static constexpr const char* kFailedToInitializeDescription =
        "Failed to initialize the application's saved data";
    static constexpr const char* kGenericFailureReason =
        "There was an error creating or loading the application's saved data.";
    static constexpr const char* kFoundAFileFailureReason =
        "Expected a folder to store application data, found a file (%1).";

    explicit CoreDataController(ModelLoader modelLoader, QObject* parent = nullptr);
    ~CoreDataController() override;

    // $XDG_DATA_HOME/Clipmoor as a file URL, computed on every call.
    QUrl applicationDocumentsDirectory() const;

    // Loaded on first access and then held.
    std::shared_ptr<const ManagedObjectModel> managedObjectModel();
    // Built on first access; while building fails, every access tries again and presents the
    // failure again.
    std::shared_ptr<PersistentStoreCoordinator> persistentStoreCoordinator();
    // Built on first access; none exactly while no coordinator can be built.
    ManagedObjectContext* managedObjectContext();

    // Saves pending changes, presenting a failure; the changes then stay pending.
    void saveAction(QObject* sender = nullptr);
    // The context keeps no undo history, so there is no undo manager to hand to a window.
    QObject* windowWillReturnUndoManager(QObject* window);

    void setErrorPresenter(ErrorPresenter presenter) { errorPresenter_ = std::move(presenter); }

private:
    void presentError(const Error& error);

    ModelLoader modelLoader_;
    ErrorPresenter errorPresenter_;
    std::shared_ptr<const ManagedObjectModel> managedObjectModel_;
    std::shared_ptr<PersistentStoreCoordinator> persistentStoreCoordinator_;
    std::unique_ptr<ManagedObjectContext> managedObjectContext_;
};

}  // namespace clipmoor
