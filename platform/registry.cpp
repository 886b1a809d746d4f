#include "platform/registry.h"

#include <cstdio>
#include <cstdlib>

#include "platform/authorization.h"
#include "platform/clipboard.h"
#include "platform/distributed_notifications.h"
#include "platform/random_source.h"
#include "platform/url_session.h"
#include "platform/workspace.h"

namespace platform {
namespace {

Services& current() {
    // Never destroyed: worker threads that are still finishing when the process exits may log.
    static auto* installed = new Services;
    return *installed;
}

template <class T>
T& require(const std::shared_ptr<T>& service, const char* name) {
    if (!service) {
        std::fprintf(stderr, "no %s service is installed\n", name);
        std::abort();
    }
    return *service;
}

}  // namespace

const Services& services() { return current(); }
void installServices(Services services) { current() = std::move(services); }

ScopedServices::ScopedServices(Services services) : previous_(current()) {
    current() = std::move(services);
}
ScopedServices::~ScopedServices() { current() = std::move(previous_); }

Log& logger() { return require(current().log, "log"); }
Dispatch& dispatch() { return require(current().dispatch, "dispatch"); }
ProcessRunner& processes() { return require(current().processes, "process"); }
SystemPaths& paths() { return require(current().paths, "system path"); }
FileSystem& files() { return require(current().files, "file system"); }
Clock& clock() { return require(current().clock, "clock"); }
AlertPresenter& alerts() { return require(current().alerts, "alert"); }
UserDefaults& defaults() { return require(current().defaults, "user defaults"); }
Bundle& mainBundle() { return require(current().mainBundle, "bundle"); }
UrlSession& urlSession() { return require(current().urlSession, "URL session"); }
RandomSource& random() { return require(current().random, "random source"); }
Workspace& workspace() { return require(current().workspace, "workspace"); }
Clipboard& clipboard() { return require(current().clipboard, "clipboard"); }
Authorization& authorization() { return require(current().authorization, "authorization"); }
DistributedNotificationCenter& notifications() {
    return require(current().notifications, "distributed notification");
}

void log(std::string_view line) { logger().write(line); }

}  // namespace platform
