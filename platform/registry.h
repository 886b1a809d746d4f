#pragma once

#include <memory>

#include "platform/alert.h"
#include "platform/bundle.h"
#include "platform/clock.h"
#include "platform/dispatch.h"
#include "platform/file_system.h"
#include "platform/log.h"
#include "platform/process_runner.h"
#include "platform/system_paths.h"
#include "platform/user_defaults.h"

namespace platform {

class UrlSession;
class RandomSource;
class Workspace;
class Clipboard;
class Authorization;
class DistributedNotificationCenter;
class Translator;

// The services that stateless classes reach the platform through. The composition root installs
// them once, before any other thread starts; tests install their own for the length of one test.
// A class with state is given what it uses in its constructor instead.
struct Services {
    std::shared_ptr<Log> log;
    std::shared_ptr<Dispatch> dispatch;
    std::shared_ptr<ProcessRunner> processes;
    std::shared_ptr<SystemPaths> paths;
    std::shared_ptr<FileSystem> files;
    std::shared_ptr<Clock> clock;
    std::shared_ptr<AlertPresenter> alerts;
    std::shared_ptr<UserDefaults> defaults;
    std::shared_ptr<Bundle> mainBundle;
    std::shared_ptr<UrlSession> urlSession;
    std::shared_ptr<RandomSource> random;
    std::shared_ptr<Workspace> workspace;
    std::shared_ptr<Clipboard> clipboard;
    std::shared_ptr<Authorization> authorization;
    // Absent without a runtime folder to post in.
    std::shared_ptr<DistributedNotificationCenter> notifications;
    // Absent: every text is English. Read through platform::translate.
    std::shared_ptr<Translator> translator;
};

const Services& services();
void installServices(Services services);

// Installs services for the lifetime of the object and restores the previous ones afterwards.
class ScopedServices {
public:
    explicit ScopedServices(Services services);
    ~ScopedServices();
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;

private:
    Services previous_;
};

// The installed service of a kind; aborts with a clear message when none is installed, since
// that is a wiring fault in the composition root or a test fixture.
Log& logger();
Dispatch& dispatch();
ProcessRunner& processes();
SystemPaths& paths();
FileSystem& files();
Clock& clock();
AlertPresenter& alerts();
UserDefaults& defaults();
Bundle& mainBundle();
UrlSession& urlSession();
RandomSource& random();
Workspace& workspace();
Clipboard& clipboard();
Authorization& authorization();
DistributedNotificationCenter& notifications();

}  // namespace platform
