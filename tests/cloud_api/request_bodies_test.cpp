#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "cloud_api/orvane_request_bodies.h"

namespace {

using nlohmann::json;

json roundTrip(const json& body) {
    auto serialized = orvane_bodies::serialize(body);
    EXPECT_TRUE(serialized.bytes) << serialized.errorDescription;
    return json::parse(serialized.bytes.value_or("null"));
}

TEST(StorageCreationBody, HasExactlyTheDesignedKeysAndTypes) {
    const json body = roundTrip(orvane_bodies::storageCreationBody("Media", "/Volumes/Media"));
    EXPECT_EQ(body.size(), 4u);
    EXPECT_EQ(body["name"], "Media");
    EXPECT_EQ(body["purpose"], "FILES");
    EXPECT_EQ(body["method"], "FILE");

    const json expected = json::parse(R"({
        "growing_files_threshold": 10, "scan_interval_seconds": 5,
        "mount_point": "/Volumes/Media", "allow_access_outside_scan_directories": false,
        "local_keyframe_creation": true, "local_proxy_creation": true, "upload_files": false,
        "remote_path": "", "read": true, "write": true, "delete": false, "scan": true,
        "enable_collection_directory_mapping": true, "filename_is_external_id": false,
        "sidecar_metadata_required": false, "aggregate_identical_files": true,
        "enable_directory_assets": false, "title_includes_extension": true})");
    // json equality compares types too: 10 is not "10", "" is not null.
    EXPECT_EQ(body["settings"], expected);
}

TEST(OtherBodies, AnUpdateTouchesOnlyNameAndMountPointAndAnApplicationNamesItsUser) {
    EXPECT_EQ(roundTrip(orvane_bodies::storageUpdateBody("N", "/p")),
              json::parse(R"({"name":"N","settings":{"mount_point":"/p"}})"));
    EXPECT_EQ(roundTrip(orvane_bodies::applicationCreationBody("Media", "u1")),
              json::parse(R"({"name":"Media","default_user_id":"u1"})"));
}

TEST(BodySerialization, IsCompactAndRefusesWhatJsonCannotCarry) {
    EXPECT_EQ(orvane_bodies::serialize(json{{"a", 1}}).bytes, R"({"a":1})");

    auto badText = orvane_bodies::serialize(orvane_bodies::storageUpdateBody("\xff\xfe", "/p"));
    EXPECT_FALSE(badText.bytes);
    EXPECT_FALSE(badText.errorDescription.empty());

    auto notFinite = orvane_bodies::serialize(json{{"x", std::numeric_limits<double>::infinity()}});
    EXPECT_FALSE(notFinite.bytes);
    // The description of an unserialisable body still renders.
    EXPECT_NE(orvane_bodies::describe(json{{"name", "\xff"}}).find("name"), std::string::npos);
}

}  // namespace
