#include <gtest/gtest.h>

#include "main_window/address_recognition.h"

namespace clipmoor {
namespace {

struct RecognitionCase {
    const char* name;
    QString address;
    AddressKind kind;
    std::optional<QString> videoID;
};

void PrintTo(const RecognitionCase& c, std::ostream* out) {
    *out << c.name;
}

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

INSTANTIATE_TEST_SUITE_P(
    Table, AddressRecognitionTest,
    testing::Values(
        RecognitionCase{"WatchAddress", "https://www.youtube.com/watch?v=abc", Main, "abc"},
        RecognitionCase{"TwoVItemsTakeTheFirst", "https://www.youtube.com/watch?v=one&v=two", Main,
                        "one"},
        RecognitionCase{"NoVItem", "https://www.youtube.com/watch?feature=share", Main,
                        std::nullopt},
        RecognitionCase{"CapitalVIsAnotherName", "https://www.youtube.com/watch?V=abc", Main,
                        std::nullopt},
        RecognitionCase{"EmptyV", "https://www.youtube.com/watch?v=", Main, QString("")},
        RecognitionCase{"SchemeIsNotChecked", "ftp://www.youtube.com/watch?v=abc", Main, "abc"},
        RecognitionCase{"ShortLinkWithQuery", "https://youtu.be/dQw4w9WgXcQ?t=42", Short,
                        "dQw4w9WgXcQ"},
        RecognitionCase{"ShortLinkWithoutPath", "https://youtu.be", Short, QString("")},
        RecognitionCase{"SecondVideoSite", "https://vimeo.com/76979871",
                        AddressKind::SecondVideoSite, std::nullopt},
        RecognitionCase{"MainHostInCapitals", "https://WWW.YOUTUBE.COM/watch?v=abc", Other,
                        std::nullopt},
        RecognitionCase{"DomainWithoutWww", "https://youtube.com/watch?v=abc", Other, std::nullopt},
        RecognitionCase{"WithoutScheme", "youtu.be/dQw4w9WgXcQ", NotAUrl, std::nullopt},
        RecognitionCase{"SchemeWithoutHost", "mailto:someone@example.com", NotAUrl, std::nullopt},
        RecognitionCase{"Unparsable", " https://www.youtube.com/watch?v=abc", NotAUrl,
                        std::nullopt}),
    [](const testing::TestParamInfo<RecognitionCase>& info) { return info.param.name; });

}  // namespace
}  // namespace clipmoor
