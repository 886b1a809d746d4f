// The privileged helper: version check, installation, connection and its output.
#include "app/app_delegate.h"
#include "helper_interface/helper_authorization.h"
#include "helper_interface/helper_protocol.h"
#include "platform/log.h"
#include "platform/translation.h"
#include "platform/ui_tools.h"

namespace {

constexpr char kHelperCopyInBundle[] =
    "Contents/Library/LaunchServices/com.velmora.QorPrivilegedHelper";

}  // namespace

// The object the helper's connection exports: the delegate's AppProtocol side, called on the
// connection's queue.
class AppDelegate::Exported : public AppProtocolHandler {
public:
    explicit Exported(Door door) : door_(std::move(door)) {}
    void logWithStdOut(const std::string& text) override {
        door_([text](AppDelegate& delegate) { delegate.logWithStdOut(text); });
    }
    void logWithStdErr(const std::string& text) override {
        door_([text](AppDelegate& delegate) { delegate.logWithStdErr(text); });
    }

private:
    Door door_;
};

void AppDelegate::checkHelperVersion() {
    platform::assertMainThread(services_.dispatch);
    const auto helperCopy = services_.bundle.bundlePath() / kHelperCopyInBundle;
    const auto info = services_.bundle.infoDictionaryForURL(helperCopy);
    std::optional<std::string> bundledVersion;
    if (info) {
        auto found = info->find("CFBundleShortVersionString");
        if (found != info->end()) bundledVersion = found->second;
    }
    if (bundledVersion) {
        auto helper = helperProxy([this](bool) { helperVersionChecked(false); });
        if (helper) {
            helper->getVersionWithCompletion(
                [door = door(), current = *bundledVersion](const std::string& installed) {
                    door([isCurrent = installed == current](AppDelegate& self) {
                        self.helperVersionChecked(isCurrent);
                    });
                });
            return;
        }
    }
    helperVersionChecked(false);
}

void AppDelegate::helperVersionChecked(bool isCurrent) {
    platform::assertMainThread(services_.dispatch);
    helperIsInstalled_ = isCurrent;
    if (!ensureHelperIsInstalled()) return;
    auto helper = helperProxy(nullptr);
    if (!helper) return;
    helper->createLogDirectoryWithCompletion(
        [door = door()](const std::string& message, std::optional<platform::XpcError> error) {
            if (!error) return;
            door([message, error = *error](AppDelegate&) {
                platform::log("Got error from helper " + error.description());
                // Someone outside the product's group may not make it; told what to do.
                const bool refused =
                    error.description().find(": not authorized") != std::string::npos;
                //: %1 is the helper's message, as it wrote it.
                const auto failed = platform::fillPlaceholders(
                    platform::translate("Alert",
                                        "Failed to create log directory with error message: %1"),
                    {message});
                UiTools::enqueueAlert(
                    platform::translate("Alert", "Failed to create log directory"),
                    failed + (refused ? "\n\n" + platform::translate("Alert", kJoinTheGroup) : ""));
            });
        });
}

bool AppDelegate::ensureHelperIsInstalled() {
    platform::assertMainThread(services_.dispatch);
    const bool installed = helperIsInstalled_;
    platform::log(std::string("ensureHelperIsInstalled(), self.helperIsInstalled: ") +
                  (installed ? "true" : "false"));
    if (installed) return true;
    return installHelper();
}

bool AppDelegate::installHelper() {
    platform::assertMainThread(services_.dispatch);
    if (installing_) {
        platform::log("Install helper: an installation is already in progress");
        return false;
    }
    installing_ = true;
    struct Done {
        explicit Done(bool& installing) : flag(installing) {}
        Done(const Done&) = delete;
        Done& operator=(const Done&) = delete;
        ~Done() { flag = false; }
        bool& flag;
    } done{installing_};
    platform::log("Install helper and update UI");
    const auto failedWithError = [this](const std::string& description,
                                        const std::string& localizedDescription) {
        platform::log("Failed to install helper with error: " + description);
        UiTools::enqueueAlert(platform::translate("Alert", "Failed to get admin access"),
                              localizedDescription);
        helperIsInstalled_ = false;
        return false;
    };
    const auto failedWithoutError = [this] {
        platform::log("Failed install helper with unknown error.");
        UiTools::enqueueAlert(platform::translate("Alert", "Failed to get admin access"),
                              platform::translate("Alert", "Unknown error"));
        helperIsInstalled_ = false;
        return false;
    };

    std::shared_ptr<platform::AuthorizationReference> authorization;
    try {
        authorization = HelperAuthorization::authorizationRef(
            {{platform::kSMRightBlessPrivilegedHelper, std::nullopt}}, {},
            platform::kAuthorizationFlagInteractionAllowed |
                platform::kAuthorizationFlagExtendRights |
                platform::kAuthorizationFlagPreAuthorize);
    } catch (const HelperAuthorizationError& error) {
        // The platform's English text, marked for translation where it is written.
        return failedWithError(error.what(), platform::translate("Alert", error.what()));
    }
    if (!authorization) return failedWithoutError();

    std::optional<platform::ServiceManagementError> error;
    const bool blessed = services_.serviceManagement.jobBless(platform::kSMDomainSystemLaunchd,
                                                              std::string(kHelperMachServiceName),
                                                              *authorization, error);
    if (!blessed) {
        if (error) {
            return failedWithError(error->description(), error->shownDescription.empty()
                                                             ? error->localizedDescription
                                                             : error->shownDescription);
        }
        return failedWithoutError();
    }
    std::shared_ptr<platform::XpcConnection> previous;
    previous.swap(currentHelperConnection_);
    // The next request connects to the new helper.
    if (previous) previous->invalidate();
    platform::log("Helper installed successfully.");
    helperIsInstalled_ = true;
    ++installations_;
    return true;
}

std::shared_ptr<platform::XpcConnection> AppDelegate::helperConnection() {
    platform::assertMainThread(services_.dispatch);
    if (currentHelperConnection_) return currentHelperConnection_;
    auto connection = services_.connector.connectToMachService(std::string(kHelperMachServiceName),
                                                               kXPCConnectionPrivileged);
    if (!connection) return nullptr;
    connection->setExportedInterface(AppProtocol);
    connection->setExportedObject(exportAppProtocol(std::make_shared<Exported>(door())));
    connection->setRemoteInterface(HelperProtocol);
    // Held weakly: the connection owns its handler. Only this very connection is forgotten, so
    // a late handler of a replaced one never drops its successor.
    std::weak_ptr<platform::XpcConnection> weak = connection;
    connection->setInvalidationHandler([weak, door = door()] {
        if (auto ended = weak.lock()) ended->setInvalidationHandler(nullptr);
        door([weak](AppDelegate& self) {
            if (self.currentHelperConnection_ && self.currentHelperConnection_ == weak.lock()) {
                self.currentHelperConnection_.reset();
            }
        });
    });
    currentHelperConnection_ = connection;
    connection->resume();
    return connection;
}

std::optional<HelperProtocolProxy> AppDelegate::helperProxy(
    std::function<void(bool)> errorHandler) {
    platform::assertMainThread(services_.dispatch);
    auto connection = helperConnection();
    if (!connection) return std::nullopt;
    // Requests still waiting when the app quits fail after the delegate is gone; they are
    // dropped, not logged.
    auto proxy = connection->remoteObjectProxyWithErrorHandler(
        [door = door(), errorHandler = std::move(errorHandler),
         installation = installations_](const platform::XpcError& error) {
            door([errorHandler, error, installation](AppDelegate& self) {
                platform::log("Helper connection was closed with error: " + error.description());
                // No helper answers at all (a removed package): the next request looks for it
                // again instead of taking it for installed. A request sent before the latest
                // installation says nothing of the helper installed since.
                if (error.code == platform::kXpcConnectionInvalid &&
                    installation == self.installations_) {
                    self.helperIsInstalled_ = false;
                }
                if (errorHandler) errorHandler(false);
            });
        });
    if (!proxy) return std::nullopt;
    return HelperProtocolProxy(std::move(proxy));
}

void AppDelegate::logWithStdOut(const std::string& text) {
    platform::assertMainThread(services_.dispatch);
    if (text.empty()) return;
    platform::log("QorPrivilegedHelper - " + text);
}

void AppDelegate::logWithStdErr(const std::string& text) {
    platform::assertMainThread(services_.dispatch);
    if (text.empty()) return;
    // Lines of a failed start or stop say why; keep what fits in an alert.
    constexpr std::size_t kKept = std::size_t{16} * 1024;
    helperErrorText_ += text;
    if (!text.ends_with('\n')) helperErrorText_ += '\n';
    if (helperErrorText_.size() > kKept) helperErrorText_.erase(0, helperErrorText_.size() - kKept);
    platform::log("QorPrivilegedHelper - ERROR - " + text);
}
