// orvane-dev-service --port N [--state FILE]: a local development instance of the Orvane service.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/dev-service/dev_service.h"

int main(int argc, char** argv) {
    orvane_dev::DevService::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc) {
            options.port = std::atoi(argv[++i]);
        } else if (arg == "--state" && i + 1 < argc) {
            options.statePath = argv[++i];
        } else if (arg == "--host" && i + 1 < argc) {
            options.host = argv[++i];
        } else {
            std::fprintf(stderr, "usage: orvane-dev-service --port N [--state FILE] [--host ADDRESS]\n");
            return 2;
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
    std::printf("orvane-dev-service listening on %s\n", service.baseURL().c_str());
    std::fflush(stdout);
    int received = 0;
    sigwait(&signals, &received);
    service.stop();
    return 0;
}
