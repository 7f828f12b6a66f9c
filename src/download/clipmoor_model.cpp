#include "download/clipmoor_model.h"

#include "download/video.h"

namespace clipmoor {

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
            {{QString::fromLatin1(kVideoEntityName), {}, attributes, managedObjectClass<Video>()}},
            &error);
        Q_ASSERT_X(built, "loadClipmoorModel", qPrintable(error.debugDescription()));
        return built;
    }();
    return model;
}

}  // namespace clipmoor
