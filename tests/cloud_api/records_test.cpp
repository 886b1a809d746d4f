#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <unordered_set>

#include "cloud_api/orvane_records.h"

namespace {

template <class Record>
std::optional<Record> decode(const std::string& text) {
    DecodingError error;
    auto record = decodeRecord<Record>(text, error);
    if (!record) {
        EXPECT_FALSE(error.localizedDescription.empty()) << text;
        EXPECT_FALSE(error.fullDescription.empty()) << text;
    }
    return record;
}

struct Case {
    const char* name;
    const char* json;
    bool decodes;
};

// Shown by the test runner instead of the case's bytes.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// Test names come from each case's own name field.
constexpr auto byName = [](const auto& info) { return std::string(info.param.name); };

class UserDecoding : public ::testing::TestWithParam<Case> {};

TEST_P(UserDecoding, FollowsTheStrictRules) {
    EXPECT_EQ(decode<OrvaneUser>(GetParam().json).has_value(), GetParam().decodes)
        << GetParam().json;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UserDecoding,
    ::testing::Values(
        Case{"Power", R"({"id":"u1","email":"a@b","type":"POWER"})", true},
        Case{"StandardWithUnknownKey", R"({"id":"u1","email":"a@b","type":"STANDARD","extra":[1,2]})", true},
        Case{"BrowseOnly", R"({"id":"u1","email":"a@b","type":"BROWSE_ONLY"})", true},
        Case{"UnknownRole", R"({"id":"u1","email":"a@b","type":"ADMIN"})", false},
        Case{"LowerCaseRole", R"({"id":"u1","email":"a@b","type":"power"})", false},
        Case{"NumericRole", R"({"id":"u1","email":"a@b","type":1})", false},
        Case{"NullRole", R"({"id":"u1","email":"a@b","type":null})", false},
        Case{"MissingRole", R"({"id":"u1","email":"a@b"})", false},
        Case{"NumericId", R"({"id":7,"email":"a@b","type":"POWER"})", false},
        Case{"NullEmail", R"({"id":"u1","email":null,"type":"POWER"})", false},
        Case{"NotAnObject", R"(["u1"])", false}, Case{"NotJson", "not json", false}, Case{"Empty", "", false}),
    byName);

TEST(RecordDecoding, KeepsEveryField) {
    auto user = decode<OrvaneUser>(R"({"id":"u1","email":"a@b","type":"BROWSE_ONLY"})");
    EXPECT_EQ(user, (OrvaneUser{"u1", "a@b", OrvaneUserType::BROWSE_ONLY}));
    auto credentials = decode<OrvaneCredentials>(R"({"app_id":"A","token":"T","x":1})");
    EXPECT_EQ(credentials, (OrvaneCredentials{"A", "T"}));
    auto application = decode<OrvaneApplication>(R"({"id":"A","default_user_id":"u1"})");
    EXPECT_EQ(application, (OrvaneApplication{"A", "u1"}));
    EXPECT_FALSE(decode<OrvaneApplication>(R"({"id":"A"})"));
    EXPECT_FALSE(decode<OrvaneCredentials>(R"({"app_id":"A","token":5})"));
}

TEST(UserTypeRawValues, RoundTripExactlyAndHashByCase) {
    for (auto type : {OrvaneUserType::POWER, OrvaneUserType::STANDARD, OrvaneUserType::BROWSE_ONLY}) {
        EXPECT_EQ(orvaneUserTypeFromRawValue(rawValue(type)), type);
    }
    EXPECT_EQ(rawValue(OrvaneUserType::BROWSE_ONLY), "BROWSE_ONLY");
    EXPECT_FALSE(orvaneUserTypeFromRawValue("Power"));
    EXPECT_FALSE(orvaneUserTypeFromRawValue("POWER "));
    std::unordered_set<OrvaneUserType> set{OrvaneUserType::POWER, OrvaneUserType::POWER,
                                           OrvaneUserType::STANDARD};
    EXPECT_EQ(set.size(), 2u);
}

TEST(StorageListDecoding, OneStorageWithoutMountPointFailsTheWholeList) {
    const std::string good = R"({"id":"s1","name":"A","settings":{"mount_point":"/a","read":true}})";
    auto list = decode<OrvaneStorageResponse>(R"({"objects":[)" + good + "]}");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->objects.size(), 1u);
    EXPECT_EQ(list->objects[0].settings.mount_point, "/a");

    for (const char* bad : {R"({"id":"s2","name":"B","settings":{}})",
                            R"({"id":"s2","name":"B","settings":{"mount_point":null}})",
                            R"({"id":"s2","name":"B","settings":null})",
                            R"({"id":"s2","name":"B"})",
                            R"({"id":"s2","name":"B","settings":{"mount_point":3}})"}) {
        EXPECT_FALSE(decode<OrvaneStorageResponse>(R"({"objects":[)" + good + "," + bad + "]}"))
            << bad;
    }
    EXPECT_TRUE(decode<OrvaneStorageResponse>(R"({"objects":[]})"));
    EXPECT_FALSE(decode<OrvaneStorageResponse>(R"({"objects":null})"));
    EXPECT_FALSE(decode<OrvaneStorageResponse>(R"({"objects":{}})"));
}

TEST(StorageListDecoding, ErrorNamesTheFailingKeyPath) {
    DecodingError error;
    auto list = decodeRecord<OrvaneStorageResponse>(
        R"({"objects":[{"id":"s1","name":"A","settings":{"mount_point":"/a"}},
                       {"id":"s2","name":"B","settings":{}}]})",
        error);
    EXPECT_FALSE(list);
    EXPECT_NE(error.fullDescription.find("objects[1].settings.mount_point"), std::string::npos)
        << error.fullDescription;
    EXPECT_EQ(error.localizedDescription, "The data could not be read because it is missing.");
}

struct LocalityCase {
    const char* name;
    const char* settings;  // the JSON text after "settings": , or nullptr for no key
    bool decodes;
    bool local;
};

// Shown by the test runner instead of the case's bytes.
void PrintTo(const LocalityCase& c, std::ostream* os) { *os << c.name; }

class TranscoderLocality : public ::testing::TestWithParam<LocalityCase> {};

TEST_P(TranscoderLocality, OnlyAnExplicitTrueIsLocal) {
    std::string text = R"({"id":"t","name":"n","type":"FFMPEG")";
    if (GetParam().settings) text += std::string(R"(,"settings":)") + GetParam().settings;
    text += "}";
    auto transcoder = decode<OrvaneTranscoder>(text);
    ASSERT_EQ(transcoder.has_value(), GetParam().decodes) << text;
    if (transcoder) {
        EXPECT_EQ(transcoder->isLocal(), GetParam().local) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TranscoderLocality,
                         ::testing::Values(LocalityCase{"NoSettings", nullptr, true, false},
                                           LocalityCase{"NullSettings", "null", true, false},
                                           LocalityCase{"EmptySettings", "{}", true, false},
                                           LocalityCase{"NullLocal", R"({"local":null})", true, false},
                                           LocalityCase{"LocalFalse", R"({"local":false})", true, false},
                                           LocalityCase{"LocalTrue", R"({"local":true,"x":1})", true, true},
                                           LocalityCase{"LocalAsString", R"({"local":"true"})", false, false},
                                           LocalityCase{"LocalAsNumber", R"({"local":1})", false, false},
                                           LocalityCase{"SettingsAsList", "[]", false, false}),
                         byName);

TEST(TranscoderListDecoding, RequiresTypeAndKeepsOrder) {
    auto list = decode<OrvaneTranscoderResponse>(
        R"({"objects":[{"id":"1","name":"a","type":"IMAGEMAGICK"},{"id":"2","name":"b","type":"FFMPEG"}]})");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->objects.size(), 2u);
    EXPECT_EQ(list->objects[0].type, "IMAGEMAGICK");
    EXPECT_EQ(list->objects[1].id, "2");
    EXPECT_FALSE(decode<OrvaneTranscoderResponse>(R"({"objects":[{"id":"1","name":"a"}]})"));
}

struct ErrorBodyCase {
    const char* name;
    const char* json;
    bool decodes;
    std::optional<std::vector<std::string>> errors;
};

// Shown by the test runner instead of the case's bytes.
void PrintTo(const ErrorBodyCase& c, std::ostream* os) { *os << c.name; }

class ErrorBodyDecoding : public ::testing::TestWithParam<ErrorBodyCase> {};

TEST_P(ErrorBodyDecoding, ReadsOnlyAListOfStrings) {
    auto body = decode<OrvaneErrorResponse>(GetParam().json);
    ASSERT_EQ(body.has_value(), GetParam().decodes) << GetParam().json;
    if (body) {
        EXPECT_EQ(body->errors, GetParam().errors) << GetParam().json;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ErrorBodyDecoding,
    ::testing::Values(
        ErrorBodyCase{"NullErrors", R"({"errors":null})", true, std::nullopt},
        ErrorBodyCase{"NoErrors", R"({})", true, std::nullopt},
        ErrorBodyCase{"EmptyList", R"({"errors":[]})", true, std::vector<std::string>{}},
        ErrorBodyCase{"TwoMessages", R"({"errors":["a","b"],"code":4})", true, std::vector<std::string>{"a", "b"}},
        ErrorBodyCase{"ErrorsAsString", R"({"errors":"text"})", false, std::nullopt},
        ErrorBodyCase{"NumberInList", R"({"errors":["a",2]})", false, std::nullopt},
        ErrorBodyCase{"NullInList", R"({"errors":["a",null]})", false, std::nullopt},
        ErrorBodyCase{"Html", "<html>Oops</html>", false, std::nullopt}),
    byName);

TEST(ErrorBodyDescription, StaysOnOneLine) {
    EXPECT_EQ(describe(OrvaneErrorResponse{}), "OrvaneErrorResponse(errors: nil)");
    const auto text = describe(OrvaneErrorResponse{std::vector<std::string>{"line\none", "b"}});
    EXPECT_EQ(text, R"(OrvaneErrorResponse(errors: ["line\none", "b"]))");
}

}  // namespace
