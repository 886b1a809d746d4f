// orvane-dev-service --port N [--state FILE] [--storage NAME=MOUNTPOINT]...: a local development
// instance of the Orvane service.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "tools/dev-service/dev_service.h"

int main(int argc, char** argv) {
    const auto usage = [] {
        std::fprintf(stderr,
                     "usage: orvane-dev-service --port N [--state FILE] [--host ADDRESS] "
                     "[--storage NAME=MOUNTPOINT]...\n");
        return 2;
    };
    orvane_dev::DevService::Options options;
    // FILE storages to offer, by name; an empty mount point makes one without any.
    std::vector<std::pair<std::string, std::string>> storages;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc) {
            options.port = std::atoi(argv[++i]);
        } else if (arg == "--state" && i + 1 < argc) {
            options.statePath = argv[++i];
        } else if (arg == "--host" && i + 1 < argc) {
            options.host = argv[++i];
        } else if (arg == "--storage" && i + 1 < argc) {
            const std::string value = argv[++i];
            const auto equals = value.find('=');
            if (equals == std::string::npos || equals == 0) return usage();
            storages.emplace_back(value.substr(0, equals), value.substr(equals + 1));
        } else {
            return usage();
        }
    }
    // Wait for the stop signal synchronously instead of in a handler.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    orvane_dev::DevService service(options);
    if (!service.start()) {
        std::fprintf(stderr, "orvane-dev-service: cannot listen on %s port %d or read the state\n",
                     options.host.c_str(), options.port);
        return 1;
    }
    // Added once: a state file kept from an earlier start already has them, maybe changed since.
    for (const auto& [name, mountPoint] : storages) {
        const auto existing = service.state().storages;
        const auto has = [&](const char* key, const std::string& value) {
            return std::any_of(existing.begin(), existing.end(),
                               [&](const auto& s) { return s.value(key, "") == value; });
        };
        if (has("name", name)) continue;
        std::size_t n = existing.size() + 1;
        while (has("id", "storage-" + std::to_string(n))) ++n;
        service.addStorage(
            orvane_dev::DevState::fileStorage("storage-" + std::to_string(n), name, mountPoint));
    }
    std::printf("orvane-dev-service listening on %s\n", service.baseURL().c_str());
    std::fflush(stdout);
    int received = 0;
    sigwait(&signals, &received);
    service.stop();
    return 0;
}
