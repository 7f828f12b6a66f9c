#include "download/clipmoor_model.h"

#include <QCoreApplication>

#include "download/video.h"
#include "platform/main_queue.h"

namespace clipmoor {

namespace {

// A record is a main-thread QObject, but an operation's callback thread may briefly hold the
// last reference (while it calls the record as its delegate): then the deletion is handed to
// the main thread.
void destroyOnMainThread(Video* video) {
    QCoreApplication* const app = QCoreApplication::instance();
    if (!app || isMainThread()) {
        delete video;
        return;
    }
    QMetaObject::invokeMethod(
        app, [video] { delete video; }, Qt::QueuedConnection);
}

std::shared_ptr<ManagedObject> makeVideo(const ManagedObjectInit& init) {
    return std::shared_ptr<Video>(new Video(init), destroyOnMainThread);
}

}  // namespace

std::shared_ptr<const ManagedObjectModel> loadClipmoorModel() {
    static const std::shared_ptr<const ManagedObjectModel> model = [] {
        using Type = AttributeType;
        const std::vector<AttributeDescription> attributes{
            {QStringLiteral("videoID"), Type::String},
            {QStringLiteral("itag"), Type::String},
            {QStringLiteral("title"), Type::String},
            {QStringLiteral("quality"), Type::String},
            {QStringLiteral("type"), Type::String},
            {QStringLiteral("subtitle"), Type::String},
            {QStringLiteral("authorName"), Type::String},
            {QStringLiteral("bitrate"), Type::String},
            {QStringLiteral("downloadURL"), Type::String},
            {QStringLiteral("uuidString"), Type::String},
            {QStringLiteral("isAudio"), Type::Boolean},
            {QStringLiteral("fileName"), Type::String},
            {QStringLiteral("fileExtension"), Type::String},
            {QStringLiteral("resumeData"), Type::Binary},
            {QStringLiteral("totalBytesExpected"), Type::Integer64},
            {QStringLiteral("totalBytesWritten"), Type::Integer64},
            {QStringLiteral("downloadState"), Type::Integer16},
        };
        Error error;
        auto built = ManagedObjectModel::create(
            QString::fromLatin1(kClipmoorModelName),
            {{QString::fromLatin1(kVideoEntityName), {}, attributes, makeVideo}}, &error);
        Q_ASSERT_X(built, "loadClipmoorModel", qPrintable(error.debugDescription()));
        // Record identities travel as notification objects (QVariant::fromValue(objectID)).
        qRegisterMetaType<ObjectID>("clipmoor::ObjectID");
        return built;
    }();
    return model;
}

}  // namespace clipmoor
