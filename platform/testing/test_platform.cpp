#include "platform/testing/test_platform.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace platform::testing {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

TestPlatform::TestPlatform()
    : log(std::make_shared<RecordingLog>()),
      dispatch(std::make_shared<VirtualDispatch>()),
      processes(std::make_shared<ScriptedProcessRunner>()),
      paths(std::make_shared<linux_impl::RootedSystemPaths>(root.path())),
      files(std::make_shared<linux_impl::PosixFileSystem>()),
      clock(std::make_shared<FixedClock>(LocalDateTime{2024, 3, 5, 14, 7, 9, 500000000})),
      alerts(std::make_shared<RecordingAlerts>(*dispatch)),
      defaults(std::make_shared<MemoryUserDefaults>()),
      bundle(std::make_shared<FakeBundle>(root.path() / "Test.app")),
      authorization(std::make_shared<MemoryAuthorization>()),
      xpc(std::make_shared<LoopbackXpc>(dispatch)),
      serviceManagement(std::make_shared<RecordingServiceManagement>()),
      workspace(std::make_shared<RecordingWorkspace>()),
      notifications(std::make_shared<LocalNotificationCenter>()),
      serviceStates(std::make_shared<RecordingServiceStateWatcher>()) {
    services.log = log;
    services.dispatch = dispatch;
    services.processes = processes;
    services.paths = paths;
    services.files = files;
    services.clock = clock;
    services.alerts = alerts;
    services.defaults = defaults;
    services.mainBundle = bundle;
    services.authorization = authorization;
    services.xpc = xpc;
    services.serviceManagement = serviceManagement;
    services.workspace = workspace;
    services.notifications = notifications;
    services.serviceStates = serviceStates;
    reinstall();
}

TestPlatform::~TestPlatform() = default;

void TestPlatform::reinstall() {
    scope_.reset();
    scope_ = std::make_unique<ScopedServices>(services);
}

void TestPlatform::writeCompleteConfig(const std::string& orvaneUrl) const {
    writeConfig("[main]\napp-id = A\nstorage-id = S\norvane-url = " + orvaneUrl +
                "\nauth-token = T\n");
}

void TestPlatform::writeFile(std::string_view systemPath, const std::string& contents) const {
    const auto file = resolve(systemPath);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace platform::testing
