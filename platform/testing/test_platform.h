#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

#include "platform/linux/posix_file_system.h"
#include "platform/linux/rooted_system_paths.h"
#include "platform/registry.h"
#include "platform/testing/doubles.h"
#include "platform/testing/local_notification_center.h"
#include "platform/testing/loopback_xpc.h"
#include "platform/testing/memory_authorization.h"
#include "platform/testing/recording_application.h"
#include "platform/testing/recording_log.h"
#include "platform/testing/recording_service_management.h"
#include "platform/testing/recording_service_state_watcher.h"
#include "platform/testing/virtual_dispatch.h"
#include "platform/testing/workspace_recording.h"

namespace platform::testing {

// A fresh folder that is removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Polls `done`, which another thread or process brings about, until it holds; false once
// `deadline` of real time has passed. Only for work outside the virtual clock.
bool eventually(const std::function<bool()>& done,
                std::chrono::milliseconds deadline = std::chrono::seconds(10));

// A whole platform for one test: doubles for time, log, alerts, defaults, the bundle, rights,
// helper connections (no service registered), blessing, the workspace, the clipboard and
// notifications, and the real file system below a temporary system root. Installed in the
// registry while it lives.
class TestPlatform {
public:
    static constexpr std::string_view kConfigIni =
        "/Library/Application Support/Velmora/OrvaneStorageGateway/config.ini";

    TestPlatform();
    ~TestPlatform();

    // The file at a system path ("/Library/...") inside this test's root.
    std::filesystem::path resolve(std::string_view systemPath) const {
        return paths->resolve(systemPath);
    }
    void writeFile(std::string_view systemPath, const std::string& contents) const;
    // The app's config.ini: its file below the root, and writing it whole.
    std::filesystem::path configFile() const { return resolve(kConfigIni); }
    void writeConfig(const std::string& contents) const { writeFile(kConfigIni, contents); }
    // A config.ini with every key set, as on a machine that has been set up.
    void writeCompleteConfig(const std::string& orvaneUrl = "https://orvane.example/") const;

    TempDir root;
    std::shared_ptr<RecordingLog> log = std::make_shared<RecordingLog>();
    std::shared_ptr<VirtualDispatch> dispatch = std::make_shared<VirtualDispatch>();
    std::shared_ptr<ScriptedProcessRunner> processes = std::make_shared<ScriptedProcessRunner>();
    std::shared_ptr<linux_impl::RootedSystemPaths> paths =
        std::make_shared<linux_impl::RootedSystemPaths>(root.path());
    std::shared_ptr<linux_impl::PosixFileSystem> files =
        std::make_shared<linux_impl::PosixFileSystem>();
    std::shared_ptr<FixedClock> clock =
        std::make_shared<FixedClock>(LocalDateTime{2024, 3, 5, 14, 7, 9, 500000000});
    std::shared_ptr<RecordingAlerts> alerts = std::make_shared<RecordingAlerts>(*dispatch);
    std::shared_ptr<MemoryUserDefaults> defaults = std::make_shared<MemoryUserDefaults>();
    std::shared_ptr<FakeBundle> bundle = std::make_shared<FakeBundle>(root.path() / "Test.app");
    std::shared_ptr<MemoryAuthorization> authorization = std::make_shared<MemoryAuthorization>();
    std::shared_ptr<LoopbackXpc> xpc = std::make_shared<LoopbackXpc>(dispatch);
    std::shared_ptr<RecordingServiceManagement> serviceManagement =
        std::make_shared<RecordingServiceManagement>();
    // Not a registry service: the delegate and the wizard take it in their constructors.
    std::shared_ptr<RecordingApplication> application = std::make_shared<RecordingApplication>();
    std::shared_ptr<RecordingWorkspace> workspace = std::make_shared<RecordingWorkspace>();
    std::shared_ptr<RecordingClipboard> clipboard = std::make_shared<RecordingClipboard>();
    std::shared_ptr<LocalNotificationCenter> notifications =
        std::make_shared<LocalNotificationCenter>();
    std::shared_ptr<RecordingServiceStateWatcher> serviceStates =
        std::make_shared<RecordingServiceStateWatcher>();
    std::shared_ptr<RecordingUserNotifications> userNotifications =
        std::make_shared<RecordingUserNotifications>();
    // Install further services (a URL session, a random source) here before use.
    Services services;

    // Re-installs `services` after a test changed one of them.
    void reinstall();

private:
    std::unique_ptr<ScopedServices> scope_;
};

}  // namespace platform::testing
