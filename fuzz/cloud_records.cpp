// Every record the cloud service answers with, decoded from the same bytes. A failure must come
// with a reason, and every reason must fit on one log line.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cloud_api/orvane_records.h"
#include "fuzz/check.h"

namespace {

template <class Record>
void decode(std::string_view data) {
    DecodingError error;
    const auto record = decodeRecord<Record>(data, error);
    if (record) return;
    check(!error.localizedDescription.empty());
    check(error.localizedDescription.find('\n') == std::string::npos);
    check(error.fullDescription.find('\n') == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    decode<OrvaneCredentials>(text);
    decode<OrvaneUser>(text);
    decode<OrvaneApplication>(text);
    decode<OrvaneStorage>(text);
    decode<OrvaneStorageResponse>(text);
    decode<OrvaneTranscoder>(text);
    decode<OrvaneTranscoderResponse>(text);
    DecodingError error;
    if (auto response = decodeRecord<OrvaneErrorResponse>(text, error)) {
        check(describe(*response).find('\n') == std::string::npos);
    }
    return 0;
}
