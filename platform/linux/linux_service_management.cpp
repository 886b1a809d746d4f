#include "platform/linux/linux_service_management.h"
#include "platform/linux/xdg_dirs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <pugixml.hpp>
#include <sstream>
#include <system_error>
#include <vector>

#include "platform/linux/embedded_info.h"
#include "platform/linux/posix_io.h"
#include "platform/linux/rooted_system_paths.h"
#include "platform/translation.h"

namespace platform::linux_impl {
namespace {

namespace fs = std::filesystem;

constexpr char kToolsFolder[] = "/Library/PrivilegedHelperTools";
constexpr char kJobsFolder[] = "/Library/LaunchDaemons";
constexpr char kLaunchctl[] = "/bin/launchctl";
// Root may run it, nobody may change it in place: a replacement comes by rename only.
constexpr mode_t kToolMode = 0544;
constexpr mode_t kJobMode = 0644;
constexpr mode_t kFolderMode = 0755;
// What a person can do about a packaged helper that is missing, stopped or of another version.
constexpr char kReinstallPackage[] = QT_TRANSLATE_NOOP(
    "Alert",
    "The helper tool is not installed or does not match this version of the app. Reinstall the "
    "orvane-storage-gateway package.");
constexpr char kVersionKey[] = "CFBundleShortVersionString";

std::string errnoText(int error) { return std::generic_category().message(error); }

ServiceManagementError failure(long code, const AlertText& text, std::string debug = {}) {
    ServiceManagementError error;
    error.code = code;
    error.localizedDescription = text.english();
    error.shownDescription = text.shown();
    error.debugDescription = std::move(debug);
    return error;
}

// An I/O failure: what we tried on which path, and the system's reason.
struct IoFailure {
    std::string what;
    fs::path path;
    int error;
};

// Creates the missing folders of `dir`, each with kFolderMode regardless of the umask.
std::optional<IoFailure> createFolders(const fs::path& dir) {
    std::vector<fs::path> missing;
    for (fs::path p = dir; !p.empty(); p = p.parent_path()) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return IoFailure{"create the folder", p, ENOTDIR};
            break;
        }
        if (errno != ENOENT) return IoFailure{"look at the folder", p, errno};
        missing.push_back(p);
        if (p == p.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), kFolderMode) != 0 && errno != EEXIST) {
            return IoFailure{"create the folder", *it, errno};
        }
        if (::chmod(it->c_str(), kFolderMode) != 0)
            return IoFailure{"create the folder", *it, errno};
    }
    return std::nullopt;
}

// Replaces `target` in one step with a file of `mode` that `fill` writes.
std::optional<IoFailure> replaceWith(const fs::path& target, mode_t mode,
                                     const std::function<int(int fd)>& fill) {
    const int error = replaceAtomically(target, [&](int fd) {
        if (::fchmod(fd, mode) != 0) return errno;
        return fill(fd);
    });
    if (error) return IoFailure{"write", target, error};
    return std::nullopt;
}

std::optional<std::string> infoEntry(const std::optional<std::map<std::string, std::string>>& info,
                                     const char* key) {
    if (!info) return std::nullopt;
    const auto found = info->find(key);
    if (found == info->end()) return std::nullopt;
    return found->second;
}

// A launchd-style job definition, as the sandbox's launchctl reads it.
std::string jobDefinition(const std::string& label, const fs::path& program) {
    pugi::xml_document doc;
    auto declaration = doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    auto plist = doc.append_child("plist");
    plist.append_attribute("version") = "1.0";
    auto dict = plist.append_child("dict");
    const auto entry = [](pugi::xml_node parent, const char* key) {
        parent.append_child("key").text() = key;
        return parent;
    };
    entry(dict, "Label").append_child("string").text() = label.c_str();
    auto services = entry(dict, "MachServices").append_child("dict");
    entry(services, label.c_str()).append_child("true");
    entry(dict, "Program").append_child("string").text() = program.c_str();
    entry(dict, "RunAtLoad").append_child("true");
    std::ostringstream xml;
    doc.save(xml, "\t", pugi::format_default, pugi::encoding_utf8);
    return xml.str();
}

}  // namespace

LinuxServiceManagement::LinuxServiceManagement(std::shared_ptr<SystemPaths> paths,
                                               std::shared_ptr<ProcessRunner> processes,
                                               std::filesystem::path bundlePath,
                                               InstallationKind installation,
                                               std::chrono::milliseconds launchctlTimeout)
    : paths_(std::move(paths)),
      processes_(std::move(processes)),
      bundlePath_(std::move(bundlePath)),
      installation_(installation),
      timeout_(launchctlTimeout),
      autostart_(bundlePath_, xdgConfigHome() / "autostart") {}

bool LinuxServiceManagement::loginItemSetEnabled(const std::string& identifier, bool enabled) {
    return autostart_.setEnabled(identifier, enabled);
}

bool LinuxServiceManagement::jobBless(std::string_view domain, const std::string& label,
                                      const AuthorizationReference& authorization,
                                      std::optional<ServiceManagementError>& error) {
    error.reset();
    auto fail = [&](ServiceManagementError e) {
        error = std::move(e);
        return false;
    };
    auto ioFail = [&](const IoFailure& f) {
        const std::string reason = errnoText(f.error);
        //: %1 is the helper's name, %2 the system's reason.
        return fail(
            failure(kSMErrorInternalFailure,
                    {QT_TRANSLATE_NOOP("Alert", "The helper tool %1 could not be installed: %2."),
                     label, reason},
                    "Could not " + f.what + " " + f.path.string() + ": " + reason));
    };
    if (domain != kSMDomainSystemLaunchd) {
        return fail(failure(
            kSMErrorInternalFailure,
            {QT_TRANSLATE_NOOP("Alert", "Helpers can only be installed in the system domain.")},
            "Unsupported domain \"" + std::string(domain) + "\""));
    }
    if (!isPlainName(label)) {
        return fail(failure(kSMErrorToolNotValid,
                            {QT_TRANSLATE_NOOP("Alert", "The helper tool's name is not valid.")},
                            "Label \"" + label + "\" is not a plain name"));
    }
    // Nothing gets into the system here, so there is nothing for the administrator to allow.
    if (installation_ == InstallationKind::package) return checkPackagedHelper(label, error);
    // Only what the administrator allowed gets into the system.
    if (!authorization.holdsRight(kSMRightBlessPrivilegedHelper)) {
        return fail(
            failure(kSMErrorAuthorizationFailure,
                    {QT_TRANSLATE_NOOP(
                        "Alert", "The authorization does not allow installing a helper tool.")},
                    "The reference does not hold " + std::string(kSMRightBlessPrivilegedHelper)));
    }

    // The tool must be exactly what it claims to be before anything in the system changes.
    const fs::path source = bundlePath_ / "Contents/Library/LaunchServices" / label;
    //: %1 is the helper's name.
    const char* notValid =
        QT_TRANSLATE_NOOP("Alert", "The helper tool %1 in the application is not valid.");
    // Checked and copied through one descriptor, so the file cannot be swapped in between.
    Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));  // a FIFO must not block us
    struct stat st {};
    if (in.get() < 0 || ::fstat(in.get(), &st) != 0) {
        const std::string reason = errnoText(errno);
        return fail(
            failure(kSMErrorToolNotValid, {notValid, label}, source.string() + ": " + reason));
    }
    if (!S_ISREG(st.st_mode) || (st.st_mode & 0111) == 0) {
        return fail(failure(kSMErrorToolNotValid, {notValid, label},
                            source.string() + " is not an executable file"));
    }
    const auto info = embeddedInfoDictionary("/proc/self/fd/" + std::to_string(in.get()));
    if (!info) {
        return fail(failure(kSMErrorToolNotValid, {notValid, label},
                            source.string() + " has no embedded information dictionary"));
    }
    const auto identifier = info->find("CFBundleIdentifier");
    if (identifier == info->end() || identifier->second != label) {
        return fail(failure(kSMErrorToolNotValid, {notValid, label},
                            source.string() + " identifies itself as \"" +
                                (identifier == info->end() ? "" : identifier->second) + "\""));
    }

    const fs::path toolsDir = paths_->resolve(kToolsFolder);
    const fs::path jobsDir = paths_->resolve(kJobsFolder);
    const fs::path tool = toolsDir / label;
    const fs::path job = jobsDir / (label + ".plist");
    if (auto f = createFolders(toolsDir)) return ioFail(*f);
    if (auto f = replaceWith(tool, kToolMode, [&](int fd) { return copyAll(fd, in.get()); })) {
        return ioFail(*f);
    }
    std::error_code ec;
    const fs::path program = fs::canonical(tool, ec);
    if (ec) return ioFail(IoFailure{"resolve", tool, ec.value()});
    if (auto f = createFolders(jobsDir)) return ioFail(*f);
    const std::string definition = jobDefinition(label, program);
    if (auto f = replaceWith(job, kJobMode, [&](int fd) {
            return writeAll(fd, definition.data(), definition.size());
        })) {
        return ioFail(*f);
    }

    // The old job may not be loaded at all, so bootout's answer does not matter.
    const std::string launchctl = paths_->resolve(kLaunchctl).string();
    processes_->run(launchctl, {"bootout", "system/" + label}, timeout_);
    const ProcessResult loaded =
        processes_->run(launchctl, {"bootstrap", "system", job.string()}, timeout_);
    //: %1 is the helper's name.
    const char* notLoaded = QT_TRANSLATE_NOOP("Alert", "The helper tool %1 could not be started.");
    if (loaded.startError) {
        return fail(failure(kSMErrorInternalFailure, {notLoaded, label},
                            "Could not run " + launchctl + ": " + *loaded.startError));
    }
    if (loaded.timedOut) {
        return fail(failure(kSMErrorInternalFailure, {notLoaded, label},
                            "launchctl bootstrap did not finish in time"));
    }
    if (loaded.status != 0) {
        //: %1 is the helper's name, %2 a number.
        return fail(failure(
            kSMErrorInternalFailure,
            {QT_TRANSLATE_NOOP("Alert",
                               "The helper tool %1 could not be started. launchctl exited with "
                               "status %2."),
             label, std::to_string(loaded.status)},
            "launchctl bootstrap exited with status " + std::to_string(loaded.status) + ": " +
                loaded.output));
    }
    return true;
}

bool LinuxServiceManagement::checkPackagedHelper(const std::string& label,
                                                 std::optional<ServiceManagementError>& error) {
    auto reinstall = [&](long code, std::string debug) {
        error = failure(code, {kReinstallPackage}, std::move(debug));
        return false;
    };
    const fs::path bundled = bundlePath_ / "Contents/Library/LaunchServices" / label;
    const auto wanted = infoEntry(embeddedInfoDictionary(bundled), kVersionKey);
    if (!wanted) return reinstall(kSMErrorToolNotValid, bundled.string() + " has no version");

    const fs::path tool = paths_->resolve(kToolsFolder) / label;
    const auto info = embeddedInfoDictionary(tool);
    if (!info) {
        return reinstall(kSMErrorJobNotFound,
                         tool.string() + " is missing or has no information dictionary");
    }
    if (infoEntry(info, "CFBundleIdentifier") != label || infoEntry(info, kVersionKey) != wanted) {
        return reinstall(kSMErrorToolNotValid,
                         tool.string() + " is not " + label + " version " + *wanted);
    }

    // A helper that is installed but not running answers nobody.
    const std::string launchctl = paths_->resolve(kLaunchctl).string();
    const std::string print = "launchctl print system/" + label;
    const ProcessResult printed =
        processes_->run(launchctl, {"print", "system/" + label}, timeout_);
    if (printed.startError) {
        return reinstall(kSMErrorJobNotFound,
                         "Could not run " + launchctl + ": " + *printed.startError);
    }
    if (printed.timedOut) return reinstall(kSMErrorJobNotFound, print + " did not finish in time");
    if (printed.status != 0) {
        return reinstall(kSMErrorJobNotFound,
                         print + " exited with status " + std::to_string(printed.status));
    }
    return true;
}

}  // namespace platform::linux_impl
