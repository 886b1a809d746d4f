// The wizard's logic against the in-memory window, a scripted service and virtual time.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "cloud_api/orvane_requests.h"
#include "platform/testing/memory_wizard_window.h"
#include "platform/testing/random_sequence.h"
#include "platform/testing/test_platform.h"
#include "platform/testing/url_scripted_session.h"
#include "service/qor_tools.h"
#include "wizard/setup_wizard_view_controller.h"

namespace {

using platform::ControlState;
using platform::seconds;
using platform::testing::ScriptedUrlSession;
using Reply = ScriptedUrlSession::Reply;
using namespace platform::testing;

constexpr char kBase[] = "https://orvane.test/";
constexpr char kStorageList[] = "GET API/files/v1/storages/?sort=name,asc&method=FILE&per_page=100";
const std::string kCreate = "POST API/files/v1/storages/";
const std::string kTranscoders = "GET API/files/v1/transcoders/";
const std::string kApp = "GET API/auth/v1/apps/A/";
const std::string kAppToken = "POST API/auth/v1/apps/A/token/";
const std::string kNewApp = "POST API/auth/v1/apps/";
const std::string kNewAppToken = "POST API/auth/v1/apps/N/token/";
constexpr char kNotPower[] =
    "You need to be a power user to set up an orvane Storage Gateway. Click Next to log in as "
    "another user.";
constexpr char kNoCredentials[] =
    "Authentication failed, did not receive orvane credentials. Click Next to try to log in as "
    "another user.";
constexpr char kOpenedHint[] =
    "No browser window? Open the sign-in page again, or copy its address into a browser.";
constexpr char kNotOpenedHint[] =
    "The web browser could not be opened. Copy the sign-in page's address and paste it into a "
    "browser.";
constexpr char kCopiedHint[] =
    "The address is copied. Paste it into a browser's address bar to sign in there.";

std::string user(const std::string& type) {
    return R"({"id": "u1", "email": "p@example.com", "type": ")" + type + R"("})";
}

std::string storageJSON(const std::string& id, const std::string& name, const std::string& mount) {
    return R"({"id": ")" + id + R"(", "name": ")" + name + R"(", "settings": {"mount_point": ")" +
           mount + R"("}})";
}

class NoName : public platform::ComputerName {
public:
    std::optional<std::string> localizedName() const override { return std::nullopt; }
};

class WizardTest : public ::testing::Test {
protected:
    WizardTest() {
        platform.services.urlSession = session;
        platform.services.random = std::make_shared<SequenceRandom>();
        platform.reinstall();
        platform.writeConfig(std::string("orvane-url = ") + kBase + "\n");
        window.setContent(controller);
        session->responder = [this](const platform::UrlRequest& request) {
            if (request.url.find("/external/auth/") != std::string::npos) {
                ++polls;
                return credentialsAfterPolls > 0 && polls >= credentialsAfterPolls
                           ? Reply::http(200, R"({"app_id": "app-1", "token": "tok-secret"})")
                           : Reply::http(404);
            }
            if (request.url.ends_with("users/current/")) return currentUser;
            const std::string key = request.method + " " + request.url.substr(sizeof kBase - 1);
            for (const auto& k : {key + " " + request.value("Auth-Token").value_or(""), key}) {
                if (auto found = routes.find(k); found != routes.end()) return found->second;
            }
            return Reply::http(404);
        };
    }

    void open() {
        window.makeKeyAndOrderFront();
        platform.dispatch->runUntilIdle();
    }
    void next() {
        controller->mainNextButtonClick();
        platform.dispatch->runUntilIdle();
    }
    // Signs in; the first poll answers with credentials.
    void signIn(const std::string& type = "POWER") {
        credentialsAfterPolls = polls + 1;
        currentUser = Reply::http(200, user(type));
        next();
        platform.dispatch->advance(seconds(1));
    }
    // Closes the wizard if it is open, then signs in afresh and fills the new-storage form.
    void toNewStorageForm(const std::string& path = "") {
        if (window.visible) controller->mainCancelButtonClick();
        open();
        signIn();
        next();
        window.newQorPathTextField.text = path;
    }
    // Signs in and picks the only existing storage, "st", up to the finish screen.
    void toExistingStorageFinish() {
        routes[kStorageList] =
            Reply::http(200, R"({"objects": [)" + storageJSON("st", "M", "/m") + "]}");
        open();
        signIn();
        window.newQorRadioButton.controlState = ControlState::Off;
        next();
        next();
    }
    // The service makes the application "N", and a token for it, for whoever asks.
    void routeNewApp() {
        routes[kNewApp] = Reply::http(201, R"({"id": "N", "default_user_id": "u1"})");
        routes[kNewAppToken] = Reply::http(201, R"({"app_id": "N", "token": "new"})");
    }
    std::string mediaFolder() {
        std::filesystem::create_directories(platform.root.path() / "media");
        return (platform.root.path() / "media").string();
    }
    std::vector<std::string> requestLines() const {
        std::vector<std::string> lines;
        for (const auto& request : session->sent()) {
            if (request.url.find("/external/auth/") != std::string::npos) continue;
            if (request.url.ends_with("users/current/")) continue;
            lines.push_back(request.method + " " + request.url.substr(sizeof kBase - 1));
        }
        return lines;
    }
    std::vector<std::string> alertTitles() const {
        std::vector<std::string> titles;
        for (const auto& alert : platform.alerts->shown()) titles.push_back(alert.messageText);
        return titles;
    }
    std::string step() { return std::string(rawValue(controller->getCurrentSetupStep())); }
    // Whether the wizard shows that it works: the spinner turns, Back and Next wait.
    bool busy() const {
        return !window.loadingSpinner.hidden && !window.mainNextButton.enabled &&
               !window.mainPreviousButton.enabled;
    }

    TestPlatform platform;
    std::shared_ptr<ScriptedUrlSession> session =
        std::make_shared<ScriptedUrlSession>(platform.dispatch->makeSerialQueue("url-session"));
    std::shared_ptr<RecordingWorkspace> workspace = platform.workspace;
    MemoryWizardWindow window;
    NoName name;
    std::shared_ptr<SetupWizardViewController> controller =
        std::make_shared<SetupWizardViewController>(window, *platform.application, name,
                                                    *platform.dispatch);
    // Replies by "METHOD path", or "METHOD path token" for one token only.
    std::map<std::string, Reply> routes;
    int polls = 0;
    int credentialsAfterPolls = 0;
    Reply currentUser = Reply::http(200, user("POWER"));
};

TEST_F(WizardTest, EachStepSetsProgressButtonsAndHeaderAndPreviousLeadsBack) {
    using enum SetupStep;
    using enum ControlState;
    struct Case {
        SetupStep step;
        ControlState radio;
        double progress;
        const char* next;
        const char* header;
        SetupStep back;
    };
    const Case cases[] = {
        {initial, On, 0, "Next", "Welcome", initial},
        {newOrExisting, On, 1, "Next", "Choose a storage", initial},
        {newQorSetup, On, 2, "Next", "New storage", newOrExisting},
        {chooseExistingQor, Off, 2, "Next", "Existing storage", newOrExisting},
        {finish, On, 3, "Finish", "Finish", newQorSetup},
        {finish, Off, 3, "Finish", "Finish", chooseExistingQor},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(rawValue(c.step)) + " -> " + std::string(rawValue(c.back)));
        window.mainNextButton.enabled = false;
        controller->selectNewSetupStep(c.step);
        EXPECT_EQ(window.stepProgressIndicator.value, c.progress);
        EXPECT_EQ(window.mainNextButton.titleText, c.next);
        EXPECT_TRUE(window.mainNextButton.enabled);
        EXPECT_EQ(window.mainPreviousButton.enabled, c.step != initial);
        EXPECT_EQ(window.mainHeaderField.text, c.header);

        window.newQorRadioButton.controlState = c.radio;
        window.newQorNameErrorLabel.text = "Name cannot be empty";
        window.newQorPathErrorLabel.text = "Please select a folder to manage";
        controller->mainPreviousButtonClick();
        EXPECT_EQ(step(), rawValue(c.back));
        // Back from the finish screen to the form drops the name error only.
        EXPECT_EQ(window.newQorNameErrorLabel.text.empty(), c.step == finish && c.radio == On);
        EXPECT_FALSE(window.newQorPathErrorLabel.text.empty());
    }
    controller->selectNewSetupStep(finish);
    controller->selectNewSetupStep(invalid);
    EXPECT_EQ(step(), "finish");

    // A missing or unknown tab identifier: neither button does anything.
    for (const std::string identifier : {"", "Initial"}) {
        SCOPED_TRACE(identifier);
        window.setupStepTabView.tabs[1].first = identifier;
        window.setupStepTabView.selected = 1;
        controller->mainNextButtonClick();
        controller->mainPreviousButtonClick();
        EXPECT_EQ(window.setupStepTabView.selected, 1u);
        EXPECT_TRUE(session->sent().empty());
    }
}

TEST_F(WizardTest, ShowingTheWindowReentersOnlyTheFirstStep) {
    // A completed configuration shows the reconfigure text on the next appearance.
    open();
    window.visible = false;
    window.initialLoginErrorTextField.hidden = false;
    platform.writeCompleteConfig(kBase);
    open();
    EXPECT_EQ(window.initialFreshInstallOrReconfigureTabView.selectedIdentifier(), "reconfigure");
    EXPECT_EQ(window.mainHeaderField.text, "Reconfigure");
    EXPECT_TRUE(window.initialLoginErrorTextField.hidden);

    window.visible = false;
    controller->selectNewSetupStep(SetupStep::finish);
    window.mainHeaderField.text = "kept";
    open();
    EXPECT_EQ(step(), "finish");
    EXPECT_EQ(window.mainHeaderField.text, "kept");
}

TEST_F(WizardTest, AFailedSignInSaysWhyAndLeavesNextToTryAgain) {
    const auto expectError = [&](const std::string& text, bool forced) {
        EXPECT_EQ(step(), "initial");
        EXPECT_EQ(window.initialLoginErrorTextField.text, text);
        EXPECT_FALSE(window.initialLoginErrorTextField.hidden);
        EXPECT_TRUE(window.mainNextButton.enabled);
        EXPECT_TRUE(window.loadingSpinner.hidden);
        EXPECT_EQ(controller->nextIsForceLogin(), forced);
    };
    // Without a service URL no browser opens.
    platform.writeConfig("app-id = A\n");
    open();
    next();
    EXPECT_TRUE(workspace->openedURLs().empty());
    expectError("Could not start login, failed to parse orvane Storage Gateway config.ini", false);

    platform.writeConfig(std::string("orvane-url = ") + kBase + "\n");

    // A user who is not a POWER user, or one the service cannot tell: the earlier user stays.
    signIn("POWER");
    controller->mainPreviousButtonClick();
    EXPECT_FALSE(controller->nextIsForceLogin()) << "re-entering the step resets it";
    const std::pair<const char*, Reply> refusals[] = {
        {"STANDARD", Reply::http(200, user("STANDARD"))},
        {"request fails", Reply::failure({platform::UrlError::Kind::timedOut, "Timed out."})},
    };
    for (const auto& [name, reply] : refusals) {
        SCOPED_TRACE(name);
        const bool forced = controller->nextIsForceLogin();
        credentialsAfterPolls = polls + 1;
        currentUser = reply;
        next();
        EXPECT_EQ(workspace->openedURLs().back().find("login?next=/") != std::string::npos, forced);
        platform.dispatch->advance(seconds(1));
        expectError(kNotPower, true);
        EXPECT_EQ(controller->orvaneUser()->type, OrvaneUserType::POWER);
    }
}

// While the poll waits, the step says what for and for how long, counted down by the poll's own
// attempts, and offers its page again or its address while Next waits; however the poll ends,
// all that goes, and the poll with it.
TEST_F(WizardTest, TheSignInStepCountsDownWithThePollUntilItEnds) {
    struct Case {
        const char* name;
        int credentialsAt;  // the poll that brings them; 0: none does
        bool cancel, browserOpens;
        platform::Selector click;
        std::string hint, error;
    };
    const Case cases[] = {
        {"credentials", 41, false, true, "copySignInAddressClick:", kCopiedHint, ""},
        {"the last poll", 0, false, false, "openSignInPageAgainClick:", kNotOpenedHint,
         kNoCredentials},
        {"Cancel", 0, true, true, "openSignInPageAgainClick:", kOpenedHint, ""},
    };
    std::vector<std::string> pages;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (window.visible) controller->mainCancelButtonClick();
        open();
        credentialsAfterPolls = c.credentialsAt ? polls + c.credentialsAt : 0;
        workspace->setAnswer(c.browserOpens);
        next();
        pages.push_back(workspace->openedURLs().back());
        EXPECT_TRUE(pages.back().starts_with(std::string(kBase) + "authenticate/"));
        EXPECT_TRUE(busy() && window.loadingSpinner.animating) << "Next waits for the browser";
        EXPECT_FALSE(window.initialSignInWaitingBox.hidden);
        EXPECT_EQ(window.initialSignInHintTextField.text,
                  c.browserOpens ? kOpenedHint : kNotOpenedHint);
        // The first poll after a second, the 40 others 3 seconds apart.
        for (const auto& [wait, left] :
             {std::pair{0.0, "2:00"}, {4.0, "1:57"}, {60.0, "0:57"}, {54.0, "0:03"}}) {
            platform.dispatch->advance(seconds(wait));
            EXPECT_EQ(window.initialSignInWaitingTextField.text,
                      "Waiting for you to sign in to orvane in your web browser (" +
                          std::string(left) + " left).");
        }
        controller->perform(c.click);
        EXPECT_EQ(window.initialSignInHintTextField.text, c.hint);
        EXPECT_EQ(workspace->openedURLs().back(), pages.back());
        c.cancel ? controller->mainCancelButtonClick() : platform.dispatch->advance(seconds(3));
        EXPECT_TRUE(window.initialSignInWaitingBox.hidden);
        EXPECT_EQ(step(), c.credentialsAt ? "newOrExisting" : "initial");
        EXPECT_EQ(
            window.initialLoginErrorTextField.hidden ? "" : window.initialLoginErrorTextField.text,
            c.error);
        controller->openSignInPageAgainClick();
        controller->copySignInAddressClick();
    }
    platform.dispatch->advance(seconds(30));
    EXPECT_EQ(polls, 41 + 41 + 40) << "no poll after credentials, the last one or Cancel";
    EXPECT_EQ(controller->orvaneCredentials(), (OrvaneCredentials{"app-1", "tok-secret"}))
        << "the first sign-in's, kept by the two that brought none";
    EXPECT_EQ(workspace->openedURLs().size(), 5u) << "three sign-ins, two opened again";
    EXPECT_EQ(platform.clipboard->texts, std::vector<std::string>{pages[0]});
    EXPECT_EQ(platform.application->activations, 2) << "with or without credentials";
    // Neither the sign-in code (in both addresses) nor the token reaches the log.
    for (const auto& line : platform.log->lines()) {
        EXPECT_FALSE(std::regex_search(line, std::regex("[0-9A-F]{64}|tok-secret"))) << line;
    }
}

// A reply arrives on the URL session's queue; one that touches the wizard there, without hopping
// to the main queue, stops the test rather than racing the person at the window.
TEST_F(WizardTest, AReplyThatForgetsToHopToTheMainQueueIsCaught) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    open();
    OrvaneRequests::getStorages(std::nullopt, [this](auto, std::string) {
        controller->selectNewSetupStep(SetupStep::finish);
    });
    EXPECT_DEATH(platform.dispatch->runUntilIdle(),
                 "on the queue \"url-session\": .*selectNewSetupStep");
}

TEST_F(WizardTest, TheFormChecksNameAndFolderBeforeSendingAnything) {
    const std::string dir = mediaFolder();
    const std::string root = platform.root.path().string();
    std::ofstream(root + "/file.txt") << "x";
    std::filesystem::create_directory_symlink(dir, root + "/link");
    struct Case {
        std::string name, path, nameError, pathError;
    };
    const Case cases[] = {
        {"", "", "Name cannot be empty", "Please select a folder to manage"},
        {" ", root + "/missing", "", "Invalid folder, this path does not exist"},
        {"A", root + "/file.txt", "", "Invalid folder, this path is not a folder"},
        {"A", "media", "",
         "Invalid folder, enter the full path of a folder on this computer, starting with /"},
        {"A", root + "/link", "", ""},
    };
    toNewStorageForm();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        window.newQorNameTextField.text = c.name;
        window.newQorPathTextField.text = c.path;
        next();
        EXPECT_EQ(window.newQorNameErrorLabel.text, c.nameError);
        EXPECT_EQ(window.newQorPathErrorLabel.text, c.pathError);
        EXPECT_EQ(requestLines().size(), c.pathError.empty() && c.nameError.empty() ? 1u : 0u);
    }
}

TEST_F(WizardTest, TheFolderChooserOpensAtTheTypedFolderAndFillsInItsChoice) {
    const std::string dir = mediaFolder();
    // A chosen URL, or none ("") when the chooser gave none.
    struct Case {
        std::string typed;
        bool confirmed;
        std::string url, opensAt, path;
    };
    const Case cases[] = {
        {dir, false, "", dir, dir},
        {"media", true, "file:///srv/a%20b", "", "/srv/a b"},
        {dir + "/missing", true, "", "", dir + "/missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        window.newQorPathTextField.text = c.typed;
        window.newQorPathErrorLabel.text = "old error";
        window.folderChoice = {c.confirmed, c.url.empty() ? std::nullopt : std::optional(c.url)};
        controller->newQorChoosePathClicked();
        EXPECT_EQ(window.chooserOptions->directory, c.opensAt);
        EXPECT_EQ(window.newQorPathTextField.text, c.path);
        EXPECT_EQ(window.newQorPathErrorLabel.text.empty(), !c.url.empty());
    }
}

TEST_F(WizardTest, ANewStorageIsCreatedOnceThenUpdatedAndGetsBothLocalTranscoders) {
    const std::string dir = mediaFolder();
    routes[kCreate] = Reply::http(201, storageJSON("st-1", "S", dir));
    routes["PATCH API/files/v1/storages/st-1/"] = Reply::http(200, storageJSON("st-1", "T", dir));
    routes[kTranscoders] = Reply::http(200, R"({"objects": [
        {"id": "f", "name": "F", "type": "FFMPEG", "settings": {"local": true}},
        {"id": "i", "name": "I", "type": "IMAGEMAGICK", "settings": {"local": true}}]})");
    routes["PUT API/files/v1/storages/st-1/transcoders/f/"] = Reply::http(200, "{}");
    routes["PUT API/files/v1/storages/st-1/transcoders/i/"] = Reply::http(200, "{}");
    toNewStorageForm(dir);
    window.finishQorPathWarning.hidden = false;
    controller->mainNextButtonClick();
    controller->mainNextButtonClick();  // pressed again while the storage is being made
    platform.dispatch->runUntilIdle();
    EXPECT_EQ(requestLines().size(), 4u) << "one create, the transcoder list and both set";
    EXPECT_EQ(step(), "finish");
    EXPECT_EQ(window.finishQorNameLabel.text, "New QOR") << "the form's name, not the reply's";
    EXPECT_EQ(window.finishQorPathWidget.value, platform::fileURLWithPath(dir));
    EXPECT_TRUE(window.finishQorPathWarning.hidden);

    controller->mainPreviousButtonClick();
    window.newQorNameTextField.text = "Renamed";
    next();
    EXPECT_EQ(requestLines().back(), "PATCH API/files/v1/storages/st-1/");
    EXPECT_EQ(requestLines().size(), 5u) << "no transcoders on an update";
    EXPECT_EQ(controller->createdOrvaneStorageId(), "st-1");

    // A failed create stays on the form. (Without local transcoders the setup warns and goes on:
    // the openings' test below.)
    routes[kCreate] = Reply::http(400, R"({"errors": ["Name taken"]})");
    toNewStorageForm(dir);
    next();
    EXPECT_EQ(step(), "newQorSetup");
    EXPECT_EQ(alertTitles(), std::vector<std::string>{"Error creating storage"});
}

// The finish screen shows the chosen storage's folder warning; its settings button opens the
// storage's page of the service, or says why it cannot.
TEST_F(WizardTest, ExistingStoragesWarnAboutTheirFoldersAndOpenTheirSettings) {
    const std::string dir = mediaFolder();
    const std::string file = platform.root.path().string() + "/file.txt";
    std::ofstream(file) << "x";
    open();
    signIn();
    window.newQorRadioButton.controlState = ControlState::Off;
    for (const auto& reply : {Reply::http(500), Reply::http(200, R"({"objects": []})")}) {
        routes[kStorageList] = reply;
        next();
        EXPECT_EQ(step(), "newOrExisting");
        EXPECT_TRUE(window.mainNextButton.enabled);
    }

    routes[kStorageList] = Reply::http(200, R"({"objects": [)" + storageJSON("a", "Same", dir) +
                                                "," + storageJSON("b", "Same", "/nowhere") + "," +
                                                storageJSON("c", "File", file) + "," +
                                                storageJSON("d", "None", "") + "]}");
    next();
    ASSERT_EQ(step(), "chooseExistingQor");
    ASSERT_EQ(window.existingQorSelector.items.size(), 4u) << "equal names stay two items";
    EXPECT_EQ(window.existingQorSelector.toolTips,
              (std::vector<std::string>{dir, "/nowhere", file, ""}));
    const std::string warnings[] = {
        "",
        "The selected QOR does not point to a local folder. If this is a network folder make sure "
        "it is mounted\n\nPath: /nowhere",
        "The selected QOR does not points to a file, not a folder.\n\nPath: " + file,
        "The selected QOR does not have a mount point set."};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        window.existingQorSelector.selected = i;
        controller->existingQorListAction();
        EXPECT_EQ(window.existingQorWarningTextField.text, warnings[i]);
        EXPECT_EQ(window.existingQorPathWarning.hidden, warnings[i].empty());
        next();
        EXPECT_EQ(step(), "finish");
        EXPECT_EQ(window.finishQorPathWarning.hidden, warnings[i].empty());
        EXPECT_EQ(window.finishQorPathWarning.tip, warnings[i]);
        const std::string id(1, char('a' + i));
        EXPECT_EQ(controller->chosenStorageId(), id);
        controller->advancedStorageSettingsAction();
        EXPECT_EQ(workspace->openedURLs().back(), kBase + ("admin/storages/" + id + "/settings"));
        controller->mainPreviousButtonClick();
    }
    next();
    platform.writeConfig("[main]\n");
    controller->advancedStorageSettingsAction();
    platform.dispatch->runUntilIdle();
    EXPECT_EQ(alertTitles(),
              (std::vector<std::string>{"Error getting storage list", "No QOR storages found",
                                        "Failed to open Configuration"}));
}

// One row of the credential decision: what config.ini holds, whose the configured application is
// (empty: unknown to the service), and the requests and config.ini that follow.
struct FinishCase {
    const char* name;
    std::string appId, token;
    std::string appOwner;
    std::vector<std::string> requests;
    std::string writtenAppId, writtenToken;
};

class WizardFinishTest : public WizardTest, public ::testing::WithParamInterface<FinishCase> {};

TEST_P(WizardFinishTest, ReusesOrCreatesTheCredentialThenWritesAndCloses) {
    const FinishCase& c = GetParam();
    routes[std::string(kStorageList) + " expired"] = Reply::http(401);
    if (!c.appOwner.empty()) {
        routes[kApp] =
            Reply::http(200, R"({"id": "A", "default_user_id": ")" + c.appOwner + R"("})");
    }
    routeNewApp();
    routes[kAppToken] = Reply::http(201, R"({"app_id": "X", "token": "new"})");
    toExistingStorageFinish();
    ASSERT_EQ(step(), "finish");
    platform.writeConfig("app-id = " + c.appId + "\nauth-token = " + c.token +
                         "\norvane-url = " + kBase + "\n");
    const auto before = requestLines().size();
    controller->mainNextButtonClick();
    controller->mainNextButtonClick();  // a second press while the chain runs
    platform.dispatch->runUntilIdle();
    const auto lines = requestLines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + before, lines.end()), c.requests);
    EXPECT_EQ(QorTools::getAppId(), c.writtenAppId);
    EXPECT_EQ(QorTools::getAuthToken(), c.writtenToken);
    EXPECT_EQ(QorTools::getStorageId(), "st");
    EXPECT_FALSE(window.visible);
    EXPECT_TRUE(platform.log->contains(
        "writeNewConfigStartService, ERROR, failed to restart QOR with app delegate"));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WizardFinishTest,
    ::testing::Values(
        FinishCase{"NoAppId", "", "", "", {kNewApp, kNewAppToken}, "N", "new"},
        FinishCase{"UnknownApp", "A", "T", "", {kApp, kNewApp, kNewAppToken}, "N", "new"},
        FinishCase{"OtherUsersApp", "A", "T", "u2", {kApp, kNewApp, kNewAppToken}, "N", "new"},
        FinishCase{"NoToken", "A", "", "u1", {kApp, kAppToken}, "A", "new"},
        FinishCase{"WorkingToken", "A", "T", "u1", {kApp, kStorageList}, "A", "T"},
        FinishCase{
            "ExpiredToken", "A", "expired", "u1", {kApp, kStorageList, kAppToken}, "A", "new"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WizardTest, AFailedBackupOrWriteClosesNothing) {
    routeNewApp();
    // A token with a line break would add a key of its own to config.ini.
    routes[kNewAppToken] = Reply::http(201, R"({"app_id": "N", "token": "t\nstorage-id = evil"})");
    toExistingStorageFinish();
    const auto backups = platform.resolve(
        "/Library/Application Support/Velmora/OrvaneStorageGateway/Data/ConfigBackups");
    std::filesystem::create_directories(backups.parent_path());
    std::ofstream(backups) << "not a folder";
    next();
    std::filesystem::remove(backups);
    next();
    EXPECT_EQ(alertTitles(), (std::vector<std::string>{"Configuration error",
                                                       "Failed to write new configuration"}));
    EXPECT_EQ(platform.alerts->shown()[0].informativeText,
              "Failed to write backup of current orvane Storage Gateway configuration. Will not "
              "proceed.");
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(step(), "finish");
    EXPECT_EQ(QorTools::getStorageId(), std::nullopt);
    EXPECT_TRUE(window.loadingSpinner.hidden) << "Back and Finish are given back";
    EXPECT_TRUE(window.mainNextButton.enabled && window.mainPreviousButton.enabled);
}

// The application's side of a finished setup.
struct Restarter : platform::ApplicationDelegate, platform::GatewayRestarter {
    void applicationDidFinishLaunching() override {}
    bool perform(const platform::Selector&) override { return false; }
    void restartGatewayWhenHelperIsReady() override { ++restarts; }
    int restarts = 0;
};

// A reply belongs to the opening of the window it was asked in: a close drops what is still on
// its way, and no storage stays in the service unless the config.ini written names it.
class WizardOpeningsTest : public WizardTest, public ::testing::WithParamInterface<int> {};

TEST_P(WizardOpeningsTest, RepliesOfAnEarlierOpeningChangeNothing) {
    const std::string dir = mediaFolder();
    const auto slow = [](Reply reply) {
        reply.latency = seconds(30);
        return reply;
    };
    const std::string kDelete = "DELETE API/files/v1/storages/st-1/";
    routes[kCreate] = Reply::http(201, storageJSON("st-1", "S", dir));
    routeNewApp();
    const Reply newApp = routes[kNewApp];
    struct Case {
        const char* name;
        std::function<void()> script;
        std::vector<std::string> requests;
        std::optional<std::string> written;
        // The warning of the current opening's storage without local transcoders.
        bool warned = true;
    };
    const Case cases[] = {
        {"Finish, close, and a new storage finished by its own Finish",
         [&] {
             routes[kNewApp] = slow(newApp);
             toExistingStorageFinish();
             next();
             toNewStorageForm(dir);
             next();
             platform.dispatch->advance(seconds(60));
             EXPECT_TRUE(window.visible);
             routes[kNewApp] = newApp;
             next();
         },
         {kStorageList, kNewApp, kCreate, kTranscoders, kNewApp, kNewAppToken},
         "st-1"},
        {"A close while Finish runs, then the chain fails",
         [&] {
             routes[kNewApp] = slow(Reply::http(500));
             toNewStorageForm(dir);
             next();
             next();
             EXPECT_TRUE(busy());
             controller->mainCancelButtonClick();
             platform.dispatch->advance(seconds(60));
         },
         {kCreate, kTranscoders, kNewApp, kDelete},
         std::nullopt},
        {"A close during a storage request leaves the next opening free",
         [&] {
             routes[kCreate] = slow(routes[kCreate]);
             toNewStorageForm(dir);
             next();
             toNewStorageForm(dir);
             next();
             platform.dispatch->advance(seconds(60));
             EXPECT_EQ(step(), "finish");
         },
         // The first creation comes after its close: deleted, no transcoders.
         {kCreate, kCreate, kDelete, kTranscoders},
         std::nullopt},
        {"A close during the sign-in poll stops it at its next attempt",
         [&] {
             open();
             next();
             platform.dispatch->advance(seconds(1 + 3));
             controller->mainCancelButtonClick();
             open();
             platform.dispatch->advance(seconds(30));
             EXPECT_EQ(polls, 2);
         },
         {},
         std::nullopt,
         false},
        {"Credentials on their way at the close sign nobody in",
         [&] {
             credentialsAfterPolls = 1;
             session->responder = [inner = session->responder,
                                   slow](const platform::UrlRequest& r) { return slow(inner(r)); };
             open();
             next();
             platform.dispatch->advance(seconds(1.5));
             controller->mainCancelButtonClick();
             open();
             platform.dispatch->advance(seconds(60));
             EXPECT_EQ(polls, 1);
             EXPECT_EQ(step(), "initial");
             EXPECT_FALSE(controller->orvaneCredentials());
         },
         {},
         std::nullopt,
         false},
        {"A close deletes a storage as its creator, even after another sign-in",
         [&] {
             open();
             signIn();
             controller->rememberCreatedStorage("st-9", {"creator-app", "creator-token"});
             controller->mainPreviousButtonClick();
             signIn();
             window.newQorPathTextField.text = "/srv/media";
             window.newQorRadioButton.controlState = ControlState::Off;
             session->responder = [](const platform::UrlRequest&) { return Reply::http(500); };
             controller->mainCancelButtonClick();
             EXPECT_FALSE(controller->createdOrvaneStorageId()) << "cleared before the reply";
             EXPECT_EQ(window.newQorRadioButton.controlState, ControlState::On);
             EXPECT_TRUE(window.newQorPathTextField.text.empty() && window.loadingSpinner.hidden);
             platform.dispatch->runUntilIdle();
             EXPECT_EQ(session->sent().back().value("App-ID"), "creator-app");
             EXPECT_EQ(session->sent().back().value("Auth-Token"), "creator-token");
             EXPECT_TRUE(platform.log->contains("Closing wizard, failed to delete st-9"));
         },
         {"DELETE API/files/v1/storages/st-9/"},
         std::nullopt,
         false},
        {"A storage made, then passed over for an existing one",
         [&] {
             toNewStorageForm(dir);
             next();
             controller->mainPreviousButtonClick();
             controller->mainPreviousButtonClick();
             routes[kStorageList] =
                 Reply::http(200, R"({"objects": [)" + storageJSON("st", "M", "/m") + "]}");
             window.newQorRadioButton.controlState = ControlState::Off;
             next();
             next();
             next();
         },
         {kCreate, kTranscoders, kStorageList, kNewApp, kNewAppToken, kDelete},
         "st"},
    };
    const Case& c = cases[GetParam()];
    SCOPED_TRACE(c.name);
    Restarter restarter;
    platform.application->applicationDelegate = &restarter;
    c.script();
    EXPECT_EQ(requestLines(), c.requests);
    EXPECT_EQ(QorTools::getStorageId(), c.written);
    EXPECT_EQ(restarter.restarts, c.written ? 1 : 0);
    EXPECT_EQ(alertTitles(), c.warned
                                 ? std::vector<std::string>{"Error setting up local transcoders"}
                                 : std::vector<std::string>{})
        << "a closed window raises no alert";
    platform.application->applicationDelegate = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Cases, WizardOpeningsTest, ::testing::Range(0, 7));

}  // namespace
