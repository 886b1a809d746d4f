#include "platform/testing/test_platform.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

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

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

TestPlatform::TestPlatform()
    : services{.log = log,
               .dispatch = dispatch,
               .processes = processes,
               .paths = paths,
               .files = files,
               .clock = clock,
               .alerts = alerts,
               .defaults = defaults,
               .mainBundle = bundle,
               .urlSession = nullptr,
               .random = nullptr,
               .workspace = workspace,
               .clipboard = clipboard,
               .authorization = authorization,
               .notifications = notifications,
               .translator = nullptr} {
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
