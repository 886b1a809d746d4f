#include <gtest/gtest.h>

#include <string>

#include "cloud_api/orvane_records.h"

namespace {

// A failed decode must always explain itself.
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

TEST(UserDecoding, FollowsTheStrictRulesAndKeepsEveryField) {
    const std::vector<std::pair<const char*, std::optional<OrvaneUser>>> cases = {
        {R"({"id":"u1","email":"a@b","type":"POWER"})",
         OrvaneUser{"u1", "a@b", OrvaneUserType::POWER}},
        {R"({"id":"u1","email":"a@b","type":"BROWSE_ONLY"})",
         OrvaneUser{"u1", "a@b", OrvaneUserType::BROWSE_ONLY}},
        {R"({"id":"u1","email":"a@b","type":"ADMIN"})", std::nullopt},
        {R"({"id":"u1","email":"a@b","type":"power"})", std::nullopt},
        {R"({"id":"u1","email":"a@b","type":1})", std::nullopt},
        {R"({"id":"u1","email":"a@b"})", std::nullopt},
        {R"({"id":"u1","email":null,"type":"POWER"})", std::nullopt},
        {R"(["u1"])", std::nullopt},
        {"not json", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(decode<OrvaneUser>(text), expected);
    }
}

// A good list is read in the wizard's tests, which list existing storages.
TEST(StorageListDecoding, OneBadStorageFailsTheWholeListAndTheErrorSaysWhere) {
    const std::string good = R"({"id":"s1","name":"A","settings":{"mount_point":"/a"}})";
    for (const char* bad :
         {R"({"id":"s2","name":"B","settings":{}})", R"({"id":"s2","name":"B","settings":null})",
          R"({"id":"s2","name":"B","settings":{"mount_point":3}})"}) {
        SCOPED_TRACE(bad);
        DecodingError error;
        EXPECT_FALSE(decodeRecord<OrvaneStorageResponse>(
            R"({"objects":[)" + good + "," + bad + "]}", error));
        EXPECT_NE(error.fullDescription.find("objects[1].settings"), std::string::npos)
            << error.fullDescription;
    }
    EXPECT_FALSE(decode<OrvaneStorageResponse>(R"({"objects":{}})"));
}

TEST(TranscoderDecoding, OnlyAnExplicitTrueIsLocal) {
    // The settings' JSON text, or nullptr for no key, and whether the transcoder is local, or
    // nothing when it does not decode.
    const std::vector<std::pair<const char*, std::optional<bool>>> cases = {
        {nullptr, false},
        {"null", false},
        {"{}", false},
        {R"({"local":null})", false},
        {"[]", std::nullopt},
        {R"({"local":false})", false},
        {R"({"local":1})", std::nullopt},
        {R"({"local":true,"x":1})", true},
    };
    for (const auto& [settings, local] : cases) {
        std::string text = R"({"id":"t","name":"n","type":"FFMPEG")";
        if (settings) text += std::string(R"(,"settings":)") + settings;
        text += "}";
        SCOPED_TRACE(text);
        const auto transcoder = decode<OrvaneTranscoder>(text);
        EXPECT_EQ(transcoder ? std::optional(transcoder->isLocal()) : std::nullopt, local);
    }
    EXPECT_FALSE(decode<OrvaneTranscoder>(R"({"id":"t","name":"n"})")) << "type is required";
}

}  // namespace
