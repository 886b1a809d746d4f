#include "helper_interface/helper_authorization.h"
#include "helper_interface/helper_protocol.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "platform/linux/file_rights_store.h"
#include "platform/linux/polkit_action_rights.h"
#include "platform/testing/memory_authorization.h"
#include "platform/testing/test_platform.h"
#include "tests/service_management/test_files.h"

namespace {

using nlohmann::json;
using platform::parseMethodEncoding;
using platform::testing::MemoryAuthorization;
using platform::testing::TestPlatform;
using service_management_test::readAll;

constexpr char kRightName[] =
    "com.velmora.QorPrivilegedHelper.runQorLaunchctlWithSubcommand:authData:completion:";
const json kRule = {{"class", "user"}, {"group", "admin"}, {"version", 1}};
// What installing the helper asks for.
constexpr platform::AuthorizationFlags kInstall = platform::kAuthorizationFlagInteractionAllowed |
                                                  platform::kAuthorizationFlagExtendRights |
                                                  platform::kAuthorizationFlagPreAuthorize;

class HelperAuthorizationTest : public ::testing::Test {
protected:
    TestPlatform platform;
    MemoryAuthorization* store = platform.authorization.get();
};

// The table itself is not restated here: what it holds is checked by what it writes.
TEST_F(HelperAuthorizationTest, StoredDefinitionsAreRewrittenExactlyWhenOutdated) {
    const std::vector<std::pair<const char*, std::optional<json>>> cases = {
        {"missing", std::nullopt},
        {"version one", json{{"class", "user"}, {"version", 1}}},
        {"version zero", json{{"class", "user"}, {"version", 0}}},
        {"no version", json{{"rule", {"authenticate-admin"}}}},
        {"version as fraction", json{{"version", 1.5}}},
        {"not a dictionary", json("authenticate-admin")},
    };
    for (const auto& [name, stored] : cases) {
        SCOPED_TRACE(name);
        store->rights.clear();
        store->writes.clear();
        if (stored) store->rights[kRightName] = *stored;
        HelperAuthorization::updateRightsInDatabase();
        if (std::string(name) == "version one") {
            EXPECT_TRUE(store->writes.empty());
            continue;
        }
        ASSERT_EQ(store->writes.size(), 1u);
        EXPECT_EQ(store->writes[0].name, kRightName);
        EXPECT_EQ(store->writes[0].rule, kRule);
        EXPECT_EQ(store->writes[0].description,
                  "QorPrivilegedHelper wants to run the command /bin/launchctl");
    }
    EXPECT_TRUE(platform.log->lines().empty());
}

// A failed creation's text is compared where the app logs it, in the app's helper tests.
TEST_F(HelperAuthorizationTest, FailuresThrowOrLogAsTheyShould) {
    store->createGivesNoReference = true;
    EXPECT_THROW(HelperAuthorization::updateRightsInDatabase(), HelperAuthorizationError);
    EXPECT_TRUE(store->writes.empty());

    store->createGivesNoReference = false;
    store->setStatus = platform::errAuthorizationDenied;
    EXPECT_NO_THROW(HelperAuthorization::updateRightsInDatabase());
    EXPECT_EQ(platform.log->lines(),
              std::vector<std::string>{
                  "AuthorizationRightSet or Get failed with error: The authorization was denied."});
}

TEST(FileRightsStore, KeepsRightsPrivatelyAcrossLaunchesAndNeverOverwritesACorruptFile) {
    using namespace platform;
    platform::testing::TempDir dir;
    const auto file = dir.path() / "rights.json";
    linux_impl::FileRightsStore store(file);
    std::shared_ptr<AuthorizationReference> reference;
    ASSERT_EQ(store.create(reference), errAuthorizationSuccess);
    std::optional<json> definition;
    EXPECT_EQ(store.rightGet(kRightName, definition), errAuthorizationDenied);
    ASSERT_EQ(store.rightSet(*reference, kRightName, kRule, "p"), errAuthorizationSuccess);
    ASSERT_EQ(store.rightSet(*reference, "named", "allow", "p"), errAuthorizationSuccess);
    EXPECT_EQ(store.rightSet(*reference, "bad", 7, "p"), errAuthorizationInvalidSet);
    EXPECT_EQ(store.rightSet(AuthorizationReference(), "named", "deny", "p"),
              errAuthorizationInvalidRef);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);

    // The next launch reads both rights from the same file.
    linux_impl::FileRightsStore again(file);
    ASSERT_EQ(again.rightGet(kRightName, definition), errAuthorizationSuccess);
    EXPECT_EQ(definition, kRule);
    ASSERT_EQ(again.rightGet("named", definition), errAuthorizationSuccess);
    EXPECT_EQ(definition, (json{{"rule", {"allow"}}}));

    std::ofstream(file) << "{ not json";
    EXPECT_EQ(again.rightGet("named", definition), errAuthorizationInternal);
    EXPECT_EQ(again.rightSet(*reference, "named", "allow", "p"), errAuthorizationInternal);
    EXPECT_EQ(readAll(file), "{ not json");
}

// Answers as scripted and counts how often it was asked.
struct ScriptedPrompt : platform::AdministratorPrompt {
    platform::AuthorizationStatus askForRights(const std::vector<std::string>&) override {
        ++asked;
        return answer;
    }
    platform::AuthorizationStatus answer = platform::errAuthorizationSuccess;
    int asked = 0;
};

TEST(FileRightsStore, ExtendingRightsAsksTheAdministratorOnlyWhenAllowedTo) {
    using namespace platform;
    struct Case {
        const char* name;
        bool withPrompt;
        AuthorizationStatus answer;
        AuthorizationFlags flags;
        AuthorizationStatus status;
        int asked;
    };
    const std::vector<Case> cases = {
        {"granted", true, errAuthorizationSuccess, kInstall, errAuthorizationSuccess, 1},
        {"cancelled", true, errAuthorizationCanceled, kInstall, errAuthorizationCanceled, 1},
        {"no interaction allowed", true, errAuthorizationSuccess, kAuthorizationFlagExtendRights,
         errAuthorizationInteractionNotAllowed, 0},
        {"not extending", true, errAuthorizationSuccess, kAuthorizationFlagInteractionAllowed,
         errAuthorizationDenied, 0},
        {"nobody to ask", false, errAuthorizationSuccess, kInstall,
         errAuthorizationInteractionNotAllowed, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::testing::TempDir dir;
        auto prompt = std::make_shared<ScriptedPrompt>();
        prompt->answer = c.answer;
        linux_impl::FileRightsStore store(dir.path() / "rights.json",
                                          c.withPrompt ? prompt : nullptr);
        std::shared_ptr<AuthorizationReference> reference;
        EXPECT_EQ(store.createWithRights({{kSMRightBlessPrivilegedHelper, std::nullopt}}, c.flags,
                                         reference),
                  c.status);
        EXPECT_EQ(prompt->asked, c.asked);
        EXPECT_EQ(reference != nullptr, c.status == errAuthorizationSuccess);
        EXPECT_TRUE(!reference || reference->holdsRight(kSMRightBlessPrivilegedHelper));
    }
}

// Where the package installed the right as a polkit action, start-up only reads it.
TEST(PolkitActionRights, ThePackagesActionIsReadAndNeverWritten) {
    using namespace platform;
    const std::string action = "com.velmora.qorprivilegedhelper.runqorlaunchctlwithsubcommand";
    const auto policy = [](const std::string& body) {
        return "<?xml version=\"1.0\"?>\n<!DOCTYPE policyconfig PUBLIC \"-//freedesktop//DTD "
               "PolicyKit Policy Configuration 1.0//EN\" \"policyconfig.dtd\">\n<policyconfig>" +
               body + "</policyconfig>\n";
    };
    struct Case {
        const char* name;
        std::optional<std::string> contents;
        AuthorizationStatus status;
    };
    const std::vector<Case> cases = {
        {"installed", policy("<action id=\"" + action + "\"><defaults/></action>"),
         errAuthorizationSuccess},
        {"no policy file", std::nullopt, errAuthorizationDenied},
        {"only named in a comment", policy("<!-- " + action + " --><action id=\"other\"/>"),
         errAuthorizationDenied},
        {"not a policy", std::string("{ not xml"), errAuthorizationInternal},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::testing::TempDir dir;
        const auto file = dir.path() / "com.velmora.qorprivilegedhelper.policy";
        if (c.contents) std::ofstream(file) << *c.contents;
        linux_impl::PolkitActionRights rights(file);
        std::optional<json> definition;
        EXPECT_EQ(rights.rightGet(kRightName, definition), c.status);
        EXPECT_EQ(definition, c.status == errAuthorizationSuccess
                                  ? std::optional<json>(json{{"action", action}})
                                  : std::nullopt);
        EXPECT_EQ(rights.rightSet(AuthorizationReference(), kRightName, kRule, "p"), c.status);

        // Nothing written: the policy alone, as it was.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}),
                  c.contents ? 1 : 0);
        EXPECT_EQ(readAll(file), c.contents.value_or(""));
    }

    // Blessing a packaged helper only checks it: no administrator is asked for, and the
    // helper's own rights are left to polkit.
    linux_impl::PolkitActionRights rights("/nonexistent.policy");
    std::shared_ptr<AuthorizationReference> reference;
    ASSERT_EQ(rights.createWithRights({{kSMRightBlessPrivilegedHelper, std::nullopt}}, kInstall,
                                      reference),
              errAuthorizationSuccess);
    EXPECT_TRUE(reference->holdsRight(kSMRightBlessPrivilegedHelper));
    EXPECT_EQ(rights.createWithRights({{kRightName, std::nullopt}}, kInstall, reference),
              errAuthorizationDenied);
    EXPECT_EQ(reference, nullptr);
}

TEST(HelperProtocol, MalformedEncodingsAreRejected) {
    for (std::string_view bad :
         {"", "v", "v24", "v24@0", "v24@0:8@", "v24@0:8@\"NSString16", "v24@0:8@\"\"16",
          "v24@0:8@?<v@\"NSString\">16", "v24@0:8@?<v@?@\"NSString\"16", "v24@0:8i16", "v24@0:8v16",
          "v24:0@8"}) {
        EXPECT_FALSE(parseMethodEncoding(bad)) << bad;
    }
    const auto bareId = parseMethodEncoding("@16@0:8");
    ASSERT_TRUE(bareId);
    EXPECT_EQ(bareId->returnType,
              (platform::TypeEncoding{platform::TypeEncoding::Kind::Object, "", {}}));
}

}  // namespace
