// Which clipboard texts the main window takes into its address field when it becomes active.
#include <gtest/gtest.h>

#include "main_window/clipboard_address_pickup.h"
#include "platform/user_defaults.h"
#include "test_environment.h"

namespace clipmoor {
namespace {

TEST(ClipboardAddressPickupTest, TakesEachDistinctVideoAddressOnceAndOnlyWhenTurnedOn) {
    struct Step {
        const char* what;
        std::optional<bool> preferenceOn;  // none: never chosen
        QString clipboard;
        QString field;
        std::optional<QString> pickedUp;
    };
    const QString watch = "https://www.youtube.com/watch?v=AllStreams1";
    const QString shortLink = "https://youtu.be/SomeStreams";
    const Step steps[] = {
        {"preference never chosen", std::nullopt, watch, "", std::nullopt},
        {"preference off", false, watch, "", std::nullopt},
        {"a watch address", true, watch, "", watch},
        {"the same address again", true, watch, "", std::nullopt},
        {"a short link around white space", true, "  " + shortLink + "\n", "", shortLink},
        {"a watch page without a video", true, "https://www.youtube.com/watch?feature=x", "",
         std::nullopt},
        {"another host", true, "https://example.com/watch?v=AllStreams1", "", std::nullopt},
        {"an endless text", true, "https://youtu.be/" + QString(3000, 'a'), "", std::nullopt},
        {"what the field holds already", true, "https://youtu.be/Held", "https://youtu.be/Held",
         std::nullopt},
        {"that address once the field is emptied", true, "https://youtu.be/Held", "", std::nullopt},
        {"an earlier address after another one", true, watch, "", watch},
        {"a new address with the preference off again", false, "https://youtu.be/Later", "",
         std::nullopt},
    };
    UserDefaults& defaults = UserDefaults::standard();
    ClipboardAddressPickup pickup(defaults);
    for (const Step& step : steps) {
        if (step.preferenceOn)
            defaults.setValue(*step.preferenceOn, "ClipmoorPicksUpClipboardAddresses");
        else
            defaults.removeValueForKey("ClipmoorPicksUpClipboardAddresses");
        EXPECT_EQ(pickup.addressToPickUp(step.clipboard, step.field), step.pickedUp) << step.what;
    }
}

}  // namespace
}  // namespace clipmoor
