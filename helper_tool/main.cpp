// QorPrivilegedHelper: serves the app's requests to start and stop the gateway service.
#include <systemd/sd-daemon.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <thread>

#include "helper_tool/helper_server.h"
#include "platform/linux/system_log.h"

int main() {
    const char* root = std::getenv("ORVANE_SYSTEM_ROOT");
    HelperServer::Options options;
    options.systemRoot = root && *root ? root : "/";
    auto log = std::make_shared<platform::linux_impl::SystemLog>("QorPrivilegedHelper");
    options.log = [log](const std::string& line) { log->write(line); };
    // polkit decides on the real root anyway; this asks it in a sandbox root too, so the gate can
    // be tried there. It only ever adds a check.
    const char* askPolkit = std::getenv("ORVANE_HELPER_ASK_POLKIT");
    if (askPolkit && std::string_view(askPolkit) == "1") {
        options.gate = std::make_shared<PolkitGate>();
    }
    // Started by its socket unit, the helper serves the socket systemd listens on.
    if (sd_listen_fds(1) == 1) options.listenFd = SD_LISTEN_FDS_START;

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    HelperServer server(options);
    if (!server.listen()) return 1;
    std::thread waiter([&] {
        int received = 0;
        sigwait(&signals, &received);
        server.stop();
    });
    server.serve();
    // serve() can also end without a signal; then wake the waiter so it can be joined.
    ::kill(::getpid(), SIGTERM);
    waiter.join();
    return 0;
}
