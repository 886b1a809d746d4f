#include "platform/testing/recording_log.h"

#include "platform/linux/system_log.h"

namespace platform::testing {

void RecordingLog::write(std::string_view line) { lines_.push(linux_impl::loggableLine(line)); }

}  // namespace platform::testing
