#include "platform/dispatch.h"

#include <cstdlib>
#include <mutex>
#include <set>
#include <string>

#include "platform/log.h"

namespace platform {
namespace {

// A data race is worse than a crash while developing; a shipped app should not crash for it.
#ifdef NDEBUG
constexpr bool kAborts = false;
#else
constexpr bool kAborts = true;
#endif

// A place that runs off the main thread once usually does so again: one line says it.
bool firstReport(const std::string& place) {
    static std::mutex mutex;
    // Never destroyed: worker threads still finishing at exit may report.
    static auto* reported = new std::set<std::string>;
    std::lock_guard lock(mutex);
    return reported->insert(place).second;
}

}  // namespace

void Dispatch::offMainThread(const CodeLocation& where) const {
    const std::string place =
        std::string(where.function_name()) + ", line " + std::to_string(where.line());
    if (!kAborts && !firstReport(place)) return;
    log("Main-thread-only code ran on another thread: " + place);
    if (kAborts) std::abort();
}

}  // namespace platform
