// The status query's classification of launchctl's answer: the first four bytes are the exit
// status, the rest its output. Held against the rules: exit 0 is Running unless the (UTF-8)
// output holds the inactive marker; any other status is Stopped and logs the output verbatim.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/check.h"
#include "platform/linux/system_log.h"
#include "platform/testing/test_platform.h"
#include "service/config_parser.h"
#include "service/qor_tools.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto* platform = new platform::testing::TestPlatform;
    if (size < 4) return 0;
    const int status =
        static_cast<int>(std::uint32_t{data[0]} << 24 | std::uint32_t{data[1]} << 16 |
                         std::uint32_t{data[2]} << 8 | data[3]);
    const std::string output(reinterpret_cast<const char*>(data) + 4, size - 4);
    platform->processes->setResult({std::nullopt, false, status, output});
    platform->log->clear();
    platform->processes->clearCalls();

    const QorStatus got = QorTools::getStatus();
    const bool utf8 = config_parser::isValidUtf8(output);
    const auto lines = platform->log->lines();
    if (status == 0) {
        const bool inactive = utf8 && output.find("active count = 0") != std::string::npos;
        check(got == (inactive ? QorStatus::Failed : QorStatus::Running));
        check(lines.size() == (inactive ? 1u : 0u));
    } else {
        check(got == QorStatus::Stopped);
        check(lines.size() == 1);
        // The log writes outside text escaped and cut, as one line.
        check(lines[0] == platform::linux_impl::loggableLine(
                              "launchctl non-zero status: " + std::to_string(status) +
                              " output: " + (utf8 ? output : "Could not parse output")));
    }
    return 0;
}
