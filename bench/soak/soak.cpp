// A long run in one process: menu refreshes (each a real launchctl status query), round trips to
// the real helper program, and requests to the local cloud service over the real URL session.
// Descriptors, threads and resident memory are taken before the work, after a warm-up (first
// connections, worker threads, libraries) and at the end; the end must match the warm-up for
// descriptors and threads, here and in the helper. Exits non-zero when either grew.
//
//   soak [menu refreshes (10000)] [helper round trips (1000)] [cloud requests (1000)]
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "app/app_delegate.h"
#include "helper_interface/helper_connection.h"
#include "helper_interface/helper_protocol.h"
#include "helper_tool/helper_server.h"
#include "platform/linux/curl_url_session.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/unix_xpc_connector.h"
#include "platform/testing/helper_process.h"
#include "platform/testing/recording_status_bar.h"
#include "platform/testing/test_platform.h"
#include "platform/testing/threaded_connections.h"
#include "tests/app/app_services.h"
#include "tools/dev-service/dev_service.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct Figures {
    long descriptors = 0;
    long threads = 0;
    long rssKiB = 0;
};

long statusField(const std::string& file, const std::string& key) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + key.size());
    }
    return -1;
}

Figures figuresOf(const std::string& pid) {
    Figures f;
    std::error_code ec;
    for (auto it = fs::directory_iterator("/proc/" + pid + "/fd", ec);
         !ec && it != fs::directory_iterator(); it.increment(ec)) {
        ++f.descriptors;
    }
    f.threads = statusField("/proc/" + pid + "/status", "Threads:");
    f.rssKiB = statusField("/proc/" + pid + "/status", "VmRSS:");
    return f;
}

void print(const char* who, const char* when, const Figures& f) {
    std::printf("%-7s %-8s descriptors %4ld  threads %3ld  RSS %7.1f MiB\n", who, when,
                f.descriptors, f.threads, static_cast<double>(f.rssKiB) / 1024.0);
}

class Soak {
public:
    Soak() {
        platform.services.processes = std::make_shared<platform::linux_impl::PosixProcessRunner>();
        platform.reinstall();
        platform.writeFile(
            "/bin/launchctl",
            "#!/bin/sh\n[ \"$1\" = print ] && printf 'state = running\\n\\tactive count = 1\\n'\n"
            "exit 0\n");
        ::chmod(platform.resolve("/bin/launchctl").c_str(), 0755);
        fs::create_directories(platform.resolve("/var/run"));
        // A configured gateway, as on a person's machine: the menu then reads a complete
        // config.ini.
        platform.writeCompleteConfig();
    }
    ~Soak() {
        session.reset();
        platform.services.urlSession.reset();
        platform.reinstall();
        service.stop();
        if (helper > 0) {
            ::kill(helper, SIGTERM);
            ::waitpid(helper, nullptr, 0);
        }
    }

    bool start() {
        helper =
            platform::testing::startHelperProcess(ORVANE_HELPER_PROGRAM, platform.root.path(),
                                                  HelperServer::socketPath(platform.root.path()));
        if (helper < 0) return false;
        if (!service.start()) return false;
        session =
            std::make_shared<platform::linux_impl::CurlUrlSession>(threaded.makeSerialQueue("url"));
        delegate.setupStatusBarMenu();
        return true;
    }

    bool refreshMenu() {
        delegate.updateMenu();
        // The test log keeps every line it is given; that memory is not the app's.
        platform.log->clear();
        return delegate.qorStatus() == QorStatus::Running;
    }

    // A fresh connection each time, as after the helper was replaced; every tenth also runs
    // launchctl through the helper.
    bool helperRoundTrip(int i) {
        auto connection = connector.connectToMachService(std::string(kHelperMachServiceName),
                                                         platform::XpcConnector::kPrivileged);
        connection->setRemoteInterface(HelperProtocol);
        connection->resume();
        auto answered = std::make_shared<std::promise<bool>>();
        HelperProtocolProxy proxy(connection->remoteObjectProxyWithErrorHandler(
            [answered](const platform::XpcError&) { answered->set_value(false); }));
        if (i % 10 == 0) {
            proxy.runQorLaunchctlWithSubcommand(
                "enable", [answered](std::int64_t code) { answered->set_value(code == 0); });
        } else {
            proxy.getVersionWithCompletion([answered](const std::string& version) {
                answered->set_value(version == HelperServer::version());
            });
        }
        auto future = answered->get_future();
        const bool ok = future.wait_for(10s) == std::future_status::ready && future.get();
        connection->invalidate();
        return ok;
    }

    bool cloudRequest() {
        platform::UrlRequest request;
        request.url = service.baseURL() + "API/users/v1/users/current/";
        auto answered = std::make_shared<std::promise<bool>>();
        session->dataTask(request, [answered](auto, auto response, auto error) {
            answered->set_value(response && !error);
        });
        auto future = answered->get_future();
        const bool ok = future.wait_for(10s) == std::future_status::ready && future.get();
        // The stand-in service keeps every request it saw; that memory is not the app's.
        service.clearJournal();
        return ok;
    }

    pid_t helper = -1;

private:
    platform::testing::TestPlatform platform;
    platform::testing::ThreadedConnections threaded{*platform.dispatch};
    platform::linux_impl::UnixXpcConnector connector{
        platform.paths, std::shared_ptr<platform::Dispatch>(&threaded, [](auto*) {})};
    platform::testing::RecordingStatusBar statusBar;
    AppDelegate delegate{
        app_test::appServices(platform, statusBar, connector, *platform.serviceManagement)};
    orvane_dev::DevService service;
    std::shared_ptr<platform::linux_impl::CurlUrlSession> session;
};

}  // namespace

int main(int argc, char** argv) {
    const int refreshes = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int roundTrips = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int requests = argc > 3 ? std::atoi(argv[3]) : 1000;
    constexpr int kWarmUp = 20;

    Soak soak;
    const Figures start = figuresOf("self");
    if (!soak.start()) {
        std::fprintf(stderr, "soak: could not start the helper or the cloud service\n");
        return 2;
    }
    const std::string helperPid = std::to_string(soak.helper);
    int failures = 0;
    auto run = [&](int count, const std::function<bool(int)>& once) {
        for (int i = 0; i < count; ++i) failures += once(i) ? 0 : 1;
    };
    const auto each = [&](int refreshCount, int tripCount, int requestCount) {
        run(refreshCount, [&](int) { return soak.refreshMenu(); });
        run(tripCount, [&](int i) { return soak.helperRoundTrip(i); });
        run(requestCount, [&](int) { return soak.cloudRequest(); });
    };

    each(kWarmUp, kWarmUp, kWarmUp);
    const Figures warm = figuresOf("self"), helperWarm = figuresOf(helperPid);
    const auto began = std::chrono::steady_clock::now();
    each(refreshes, roundTrips, requests);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    // Let connection threads that are winding down finish before counting.
    std::this_thread::sleep_for(500ms);
    const Figures end = figuresOf("self"), helperEnd = figuresOf(helperPid);

    std::printf(
        "%d menu refreshes, %d helper round trips, %d cloud requests in %.1f s; %d failed\n",
        refreshes, roundTrips, requests, seconds, failures);
    print("app", "start", start);
    print("app", "warm", warm);
    print("app", "end", end);
    print("helper", "warm", helperWarm);
    print("helper", "end", helperEnd);
    const bool grew = end.descriptors > warm.descriptors || end.threads > warm.threads ||
                      helperEnd.descriptors > helperWarm.descriptors ||
                      helperEnd.threads > helperWarm.threads;
    if (grew) std::printf("descriptors or threads grew\n");
    return failures == 0 && !grew ? 0 : 1;
}
