// The application's named images: our own drawings, or the desktop theme's matching icon.
#include <QIcon>

#include <gtest/gtest.h>

#include "ui/named_image.h"

namespace clipmoor {
namespace {

TEST(NamedImageTest, EveryNameTheApplicationUsesGivesAnImageAndOthersNone) {
    for (const char* name : {"white-circle-south", "white-circle-play", "white-circle-pause",
                             "white-circle-retry", "Settings", "Update", "clipmoor"}) {
        const QIcon image = namedImage(QString::fromLatin1(name));
        EXPECT_FALSE(image.isNull()) << name;
        EXPECT_FALSE(image.pixmap(32, 32).isNull()) << name;
    }
    EXPECT_TRUE(namedImage(QStringLiteral("no-such-image")).isNull());
}

}  // namespace
}  // namespace clipmoor
