// The whole setup with real processes: the wizard and the app's delegate in this process, the
// development service on a loopback port, the system's headless browser signing in as the POWER
// user, and the helper tool blessed and run under the sandbox's service manager. Prints where the
// run's time went.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "app/app_delegate.h"
#include "platform/linux/curl_url_session.h"
#include "platform/linux/launchd_job_blesser.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/unix_xpc_connector.h"
#include "platform/testing/memory_wizard_window.h"
#include "platform/testing/random_sequence.h"
#include "platform/testing/recording_status_bar.h"
#include "platform/testing/test_platform.h"
#include "platform/testing/workspace_recording.h"
#include "platform/workspace.h"
#include "tests/service_management/test_files.h"
#include "tools/dev-service/dev_service.h"
#include "wizard/setup_wizard_view_controller.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using service_management_test::readAll;
using service_management_test::writeAll;
using Clock = std::chrono::steady_clock;

constexpr char kConfig[] = "/Library/Application Support/Velmora/OrvaneStorageGateway/config.ini";
constexpr char kHelperLabel[] = "com.velmora.QorPrivilegedHelper";

double secondsOf(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The real session, noting when each request went out and when its reply came back.
class TimedSession : public platform::UrlSession {
  public:
    struct Span {
        std::string url;
        Clock::time_point start, end;
    };
    explicit TimedSession(std::shared_ptr<platform::UrlSession> inner) : inner_(std::move(inner)) {}
    void dataTask(const platform::UrlRequest& request,
                  platform::DataTaskCompletion completion) override {
        auto span = std::make_shared<Span>(Span{request.url, Clock::now(), {}});
        inner_->dataTask(request, [this, span, completion = std::move(completion)](
                                      auto data, auto response, auto error) {
            span->end = Clock::now();
            {
                std::lock_guard lock(mutex_);
                spans_.push_back(*span);
            }
            completion(std::move(data), std::move(response), std::move(error));
        });
    }
    bool isValidURL(const std::string& text) const override { return inner_->isValidURL(text); }
    std::vector<Span> spans() const {
        std::lock_guard lock(mutex_);
        return spans_;
    }

  private:
    std::shared_ptr<platform::UrlSession> inner_;
    mutable std::mutex mutex_;
    std::vector<Span> spans_;
};

// The person at the computer: the system's browser, headless, opens the page on a thread of its
// own (as a desktop would) and authorizes it as the POWER user.
class HeadlessBrowser : public platform::testing::RecordingWorkspace {
  public:
    ~HeadlessBrowser() override { wait(); }
    bool openURL(const std::string& url) override {
        if (thread_.joinable()) return false;
        thread_ = std::thread([this, url] {
            const auto result = platform::linux_impl::PosixProcessRunner().run(
                ORVANE_NODE, {ORVANE_E2E_DIR "/sign_in_browser.mjs", url, "power@orvane.test"},
                90s);
            output_ = result.startError.value_or(result.output);
            const auto line = output_.find("authorized at ");
            long long ms = 0;
            if (result.status == 0 && line != std::string::npos &&
                std::sscanf(output_.c_str() + line, "authorized at %lld", &ms) == 1) {
                // The browser's wall clock, carried over to this process's steady one.
                const auto ago =
                    std::chrono::system_clock::now() -
                    std::chrono::system_clock::time_point(std::chrono::milliseconds(ms));
                authorizedAt_ = Clock::now() - std::chrono::duration_cast<Clock::duration>(ago);
            }
        });
        return true;
    }
    // Both wait for the browser to have quit: the setup may well finish before it has.
    std::optional<Clock::time_point> authorizedAt() {
        wait();
        return authorizedAt_;
    }
    std::string output() {
        wait();
        return output_;
    }

  private:
    void wait() {
        if (thread_.joinable()) thread_.join();
    }
    std::thread thread_;
    std::string output_;
    std::optional<Clock::time_point> authorizedAt_;
};

class NoName : public platform::ComputerName {
  public:
    std::optional<std::string> localizedName() const override { return std::nullopt; }
};

class SetupEndToEnd : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(service.start());
        platform.services.urlSession = session;
        platform.services.workspace = browser;
        platform.services.processes = runner;
        platform.services.random = std::make_shared<platform::testing::SequenceRandom>();
        platform.reinstall();
        writeAll(platform.resolve("/bin/launchctl"), readAll(ORVANE_SANDBOX_LAUNCHCTL), 0755);
        writeAll(platform.bundle->bundlePath() / "Contents/Library/LaunchServices" / kHelperLabel,
                 readAll(ORVANE_HELPER_PROGRAM), 0755);
        platform.application->applicationDelegate = &delegate;
        window.setContent(controller);
    }
    void TearDown() override {
        if (window.visible) window.performClose();
        platform.application->applicationDelegate = nullptr;
        // The helper runs as the sandbox's job; it goes with the test.
        runner->run(platform.resolve("/bin/launchctl").string(),
                    {"bootout", std::string("system/") + kHelperLabel}, 10s);
        platform.services.urlSession.reset();
        platform.reinstall();
        service.stop();
    }

    // Lets virtual time follow real time while the processes and the service work, until `done`.
    bool run(const std::function<bool()>& done) {
        const auto deadline = Clock::now() + 60s;
        for (auto last = Clock::now(); Clock::now() < deadline;) {
            const auto now = Clock::now();
            platform.dispatch->advance(now - last);
            last = now;
            if (platform.dispatch->pumpUntil(done, 5ms)) return true;
        }
        return false;
    }
    std::string step() { return window.setupStepTabView.selectedIdentifier().value_or(""); }
    bool next(const std::string& until) {
        controller->mainNextButtonClick();
        return run([&] { return step() == until; });
    }
    // "METHOD path" of the API requests the service received, sign-in polls left out.
    std::vector<std::string> apiRequests() const {
        std::vector<std::string> requests;
        for (const auto& entry : service.journal()) {
            if (entry.path.starts_with("/API/") &&
                entry.path.find("/external/auth/") == std::string::npos) {
                requests.push_back(entry.method + " " + entry.target);
            }
        }
        return requests;
    }

    platform::testing::TestPlatform platform;
    orvane_dev::DevService service;
    std::shared_ptr<platform::linux_impl::PosixProcessRunner> runner =
        std::make_shared<platform::linux_impl::PosixProcessRunner>();
    std::shared_ptr<TimedSession> session =
        std::make_shared<TimedSession>(std::make_shared<platform::linux_impl::CurlUrlSession>(
            platform.dispatch->makeSerialQueue("url-session"),
            platform::linux_impl::CurlUrlSession::Options{}));
    std::shared_ptr<HeadlessBrowser> browser = std::make_shared<HeadlessBrowser>();
    platform::linux_impl::UnixXpcConnector connector{platform.paths, platform.dispatch};
    platform::linux_impl::LaunchdJobBlesser blesser{platform.paths, runner,
                                                    platform.bundle->bundlePath()};
    platform::testing::RecordingStatusBar statusBar;
    AppDelegate delegate{
        statusBar, *platform.dispatch,   *platform.defaults, *platform.bundle, connector,
        blesser,   *platform.application};
    platform::testing::MemoryWizardWindow window;
    NoName computerName;
    std::shared_ptr<SetupWizardViewController> controller =
        std::make_shared<SetupWizardViewController>(window, *platform.application, computerName,
                                                    *platform.dispatch);
};

TEST_P(SetupEndToEnd, SignsInWritesTheConfigurationAndRestartsTheGateway) {
    const bool newStorage = GetParam();
    const std::string url = service.baseURL();
    // A new storage starts from a configuration with no credential; an existing one reuses a
    // valid credential of the POWER user.
    std::string appId, token;
    if (!newStorage) {
        const auto credential = service.issueCredentials("POWER");
        appId = credential["app_id"];
        token = credential["token"];
    }
    const std::string before =
        "[main]\n" + (newStorage ? "" : "app-id = " + appId + "\nauth-token = " + token + "\n") +
        "orvane-url = " + url + "\n";
    platform.writeFile(kConfig, before);
    const fs::path folder = platform.root.path() / "media";
    fs::create_directories(folder);

    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(run([&] { return platform.log->contains("Helper installed successfully."); }));
    service.clearJournal();
    fs::remove(platform.resolve("/var/log/launchctl.log"));
    window.makeKeyAndOrderFront();

    const auto started = Clock::now();
    ASSERT_TRUE(next("newOrExisting")) << browser->output();
    window.newQorRadioButton.controlState =
        newStorage ? platform::ControlState::On : platform::ControlState::Off;
    ASSERT_TRUE(next(newStorage ? "newQorSetup" : "chooseExistingQor"));
    if (newStorage) window.newQorPathTextField.setStringValue(folder.string());
    ASSERT_TRUE(next("finish"));
    const auto finished = Clock::now();
    controller->mainNextButtonClick();
    ASSERT_TRUE(
        run([&] { return platform.log->contains("QOR start: launchctl command exit code: 0"); }));
    const auto ended = Clock::now();

    // The requests, in order, and what they made.
    const auto state = service.state();
    const std::string storageId = controller->chosenStorageId().value_or("?");
    std::vector<std::string> expected = {"GET /API/users/v1/users/current/"};
    const std::string list = "GET /API/files/v1/storages/?sort=name,asc&method=FILE&per_page=100";
    if (newStorage) {
        for (const auto& [id, app] : state.applications) {
            if (app["name"] == "New QOR") appId = id;
        }
        for (const auto& [value, owner] : state.tokens) {
            if (owner.appId == appId) token = value;
        }
        const std::string storage = "/API/files/v1/storages/" + storageId + "/";
        expected.insert(expected.end(),
                        {"POST /API/files/v1/storages/", "GET /API/files/v1/transcoders/",
                         "PUT " + storage + "transcoders/transcoder-imagemagick/",
                         "PUT " + storage + "transcoders/transcoder-ffmpeg/",
                         "POST /API/auth/v1/apps/", "POST /API/auth/v1/apps/" + appId + "/token/"});
    } else {
        EXPECT_EQ(storageId, "storage-archive");  // the first by name
        expected.insert(expected.end(), {list, "GET /API/auth/v1/apps/" + appId + "/", list});
        // The second list is the token's test, sent as the configured credential.
        EXPECT_EQ(service.journal().back().header("Auth-Token"), token);
    }
    EXPECT_EQ(apiRequests(), expected);
    EXPECT_FALSE(token.empty());

    const fs::path backups = platform.resolve(
        "/Library/Application Support/Velmora/OrvaneStorageGateway/Data/ConfigBackups");
    ASSERT_EQ(std::distance(fs::directory_iterator(backups), fs::directory_iterator()), 1);
    EXPECT_EQ(readAll(fs::directory_iterator(backups)->path()), before);
    EXPECT_EQ(readAll(platform.resolve(kConfig)),
              "[main]\n\napp-id = " + appId + "\nstorage-id = " + storageId +
                  "\norvane-url = " + url + "\nauth-token = " + token +
                  "\nsleep-time = 5\nmax-transcoding-jobs = 2\n"
                  "log-filename = /Library/Logs/Velmora/OrvaneStorageGateway/default.log\n"
                  "image_magick_config = /Library/Application "
                  "Support/Velmora/OrvaneStorageGateway/image_magick_config\n"
                  "forbidden-dirs = /;//;/System/*;/etc/*;/dev/*;/cores/*;/bin/*;/sbin/*;/usr/*;"
                  "/boot/*;/lib/*;/proc/*;/root/*;/run/*;/sys/*\n");

    // What the helper asked of the service manager for the gateway, status checks aside.
    std::vector<std::string> asked;
    std::istringstream launchctl(readAll(platform.resolve("/var/log/launchctl.log")));
    for (std::string line; std::getline(launchctl, line);) {
        if (!line.starts_with("print ")) asked.push_back(line.substr(0, line.find(' ')));
    }
    // Start-up may first have set the boot state ("enable"); the restart is what follows.
    ASSERT_GE(asked.size(), 3u);
    EXPECT_LE(asked.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(asked.end() - 3, asked.end()),
              (std::vector<std::string>{"bootout", "enable", "bootstrap"}));
    EXPECT_EQ(readAll(platform.resolve("/var/run/gateway.state")), "running\n");
    EXPECT_EQ(window.closes, 1);
    EXPECT_TRUE(platform.alerts->shown().empty());

    // Where the time went. The browser stands in for the person; until it has authorized, the
    // polls cost nothing. After that the wait for the next poll is the rhythm's, requests are the
    // service's, and the rest (the helper and the service manager among it) is ours.
    const auto authorized = browser->authorizedAt();
    ASSERT_TRUE(authorized) << browser->output();
    Clock::duration onService{}, toPoll{};
    int requests = 0;
    for (const auto& span : session->spans()) {
        if (span.start < *authorized) continue;
        ++requests;
        if (span.url.find("/external/auth/") != std::string::npos && toPoll == Clock::duration{}) {
            toPoll = span.start - *authorized;
        }
        onService += span.end - span.start;
    }
    const auto restart = ended - finished;
    std::printf(
        "[ timing ] %s storage: whole run %.3f s = browser %.3f s + poll rhythm %.3f s + "
        "service %.3f s (%d requests) + our code %.3f s (Finish to the gateway restarted: %.3f "
        "s)\n",
        newStorage ? "new" : "existing", secondsOf(ended - started),
        secondsOf(*authorized - started), secondsOf(toPoll), secondsOf(onService), requests,
        secondsOf(ended - *authorized - toPoll - onService), secondsOf(restart));
}

INSTANTIATE_TEST_SUITE_P(Storage, SetupEndToEnd, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "New" : "Existing"; });

}  // namespace
