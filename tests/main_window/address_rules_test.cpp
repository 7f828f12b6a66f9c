// The address row's rules that need no window: what an address is, and which clipboard texts
// the main window takes into its address field when it becomes active.
#include <gtest/gtest.h>

#include "main_window/address_recognition.h"
#include "main_window/clipboard_address_pickup.h"
#include "platform/user_defaults.h"

namespace clipmoor {
namespace {

struct RecognitionCase {
    const char* name;
    QString address;
    AddressKind kind;
    std::optional<QString> videoID;
};

class AddressRecognitionTest : public testing::TestWithParam<RecognitionCase> {};

TEST_P(AddressRecognitionTest, RecognisesTheAddressAsItStands) {
    const RecognitionCase& c = GetParam();
    const RecognizedAddress recognized = recognizeAddress(c.address);
    EXPECT_EQ(recognized.kind, c.kind);
    EXPECT_EQ(recognized.videoID, c.videoID);
}

constexpr auto Main = AddressKind::MainHost;
constexpr auto Short = AddressKind::ShortLink;
constexpr auto Other = AddressKind::OtherHost;
constexpr auto NotAUrl = AddressKind::NotAUrl;

// An identifier of {}: none found.
const RecognitionCase kRecognitionCases[] = {
    {"WatchAddress", "https://www.youtube.com/watch?v=abc", Main, "abc"},
    {"TwoVItemsTakeTheFirst", "https://www.youtube.com/watch?v=one&v=two", Main, "one"},
    {"NoVItem", "https://www.youtube.com/watch?feature=share", Main, {}},
    {"CapitalVIsAnotherName", "https://www.youtube.com/watch?V=abc", Main, {}},
    {"EmptyV", "https://www.youtube.com/watch?v=", Main, QString("")},
    {"SchemeIsNotChecked", "ftp://www.youtube.com/watch?v=abc", Main, "abc"},
    {"ShortLinkWithQuery", "https://youtu.be/dQw4w9WgXcQ?t=42", Short, "dQw4w9WgXcQ"},
    {"ShortLinkWithoutPath", "https://youtu.be", Short, QString("")},
    {"SecondVideoSite", "https://vimeo.com/76979871", AddressKind::SecondVideoSite, {}},
    {"MainHostInCapitals", "https://WWW.YOUTUBE.COM/watch?v=abc", Other, {}},
    {"DomainWithoutWww", "https://youtube.com/watch?v=abc", Other, {}},
    {"WithoutScheme", "youtu.be/dQw4w9WgXcQ", NotAUrl, {}},
    {"SchemeWithoutHost", "mailto:someone@example.com", NotAUrl, {}},
    {"Unparsable", " https://www.youtube.com/watch?v=abc", NotAUrl, {}},
};

INSTANTIATE_TEST_SUITE_P(Table, AddressRecognitionTest, testing::ValuesIn(kRecognitionCases),
                         [](const testing::TestParamInfo<RecognitionCase>& info) {
                             return info.param.name;
                         });

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
