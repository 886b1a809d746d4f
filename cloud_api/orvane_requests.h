#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "cloud_api/orvane_records.h"
#include "cloud_api/orvane_request_cancellation.h"
#include "platform/translation.h"
#include "platform/url_session.h"

// Every call to the Orvane service. Type-level only: nothing is cached, every request reads the
// base URL afresh. Each operation completes exactly once with an optional result and a message
// that is empty on success and otherwise a sentence for the user.
class OrvaneRequests {
public:
    OrvaneRequests() = delete;

    using DataCompletion =
        std::function<void(std::optional<std::string> data, std::string message)>;
    template <class Record>
    using RecordCompletion = std::function<void(std::optional<Record>, std::string message)>;
    using SuccessCompletion = std::function<void(bool success)>;
    using CredentialsCompletion = std::function<void(std::optional<OrvaneCredentials>)>;
    // How long a sign-in poll still waits, in seconds, before it gives up.
    using PollProgress = std::function<void(double secondsLeft)>;

    static constexpr double requestTimeout = 60.0;
    static constexpr std::string_view jsonContentType = "application/json;charset=UTF-8";
    static constexpr std::string_view noOrvaneUrlMessage = QT_TRANSLATE_NOOP(
        "CloudService",
        "Could not find orvane-url from config.ini. Is orvane Storage Gateway installed?");
    static constexpr std::string_view parseFailureMessage =
        QT_TRANSLATE_NOOP("CloudService", "HTTP error, failed to parse JSON response");

    // A completion's message as a person reads it. Messages are handed over in English, since
    // callers log them; the request core's own are translated here, while the server's or the
    // system's words stay as they came.
    static std::string shownMessage(const std::string& message);

    // ---- Request core ----

    // The base URL, or nothing when config.ini has none, an empty one, or only "https://".
    static std::optional<std::string> configuredBaseURL();
    // A request with the 60-second time-out, or nothing when the text is not a URL.
    static std::optional<platform::UrlRequest> makeRequest(const std::string& url,
                                                           const std::string& method);

    struct PreparedRequest {
        std::optional<platform::UrlRequest> request;
        std::string message;  // why there is no request
    };
    static PreparedRequest prepareJSONRequest(const std::string& path, const std::string& method,
                                              const std::optional<nlohmann::json>& body);

    template <class Record>
    static void doOrvaneJSONRequest(const std::string& path, const std::string& method,
                                    const std::optional<nlohmann::json>& body,
                                    const std::optional<OrvaneCredentials>& credentials,
                                    RecordCompletion<Record> completion) {
        auto prepared = prepareJSONRequest(path, method, body);
        if (!prepared.request) {
            completion(std::nullopt, prepared.message);
            return;
        }
        sendRequest(*prepared.request, std::nullopt, credentials,
                    [completion = std::move(completion)](std::optional<std::string> data,
                                                         std::string message) {
                        decodeResponse<Record>(data, message, completion);
                    });
    }

    static void sendRequest(const platform::UrlRequest& request,
                            const std::optional<std::string>& logName,
                            const std::optional<OrvaneCredentials>& credentials,
                            DataCompletion completion);

    static void handleResponse(const std::string& prefix, const std::optional<std::string>& logName,
                               const std::optional<std::string>& data,
                               const std::optional<platform::UrlResponse>& response,
                               const std::optional<platform::UrlError>& error,
                               const DataCompletion& completion);

    template <class Record>
    static void decodeResponse(const std::optional<std::string>& data, const std::string& message,
                               const RecordCompletion<Record>& completion) {
        if (!data) {
            completion(std::nullopt, message);
            return;
        }
        DecodingError error;
        auto record = decodeRecord<Record>(*data, error);
        if (!record) {
            logParseFailure(error);
            completion(std::nullopt, std::string(parseFailureMessage));
            return;
        }
        logParsed(Record::typeName);
        completion(std::move(record), message);
    }

    static std::string logPrefix(const platform::UrlRequest& request,
                                 const std::optional<std::string>& logName);

    // ---- Sign-in ----

    static constexpr int lastPollRetry = 40;
    static constexpr double firstPollDelay = 1.0;
    static constexpr double pollPause = 3.0;

    // The installation id kept in the user defaults, made once.
    static std::string appInstanceId();
    // 64 upper-case hexadecimal characters from the kernel's CSPRNG.
    static std::string makeAuthCode();
    // Both addresses carry the sign-in code: neither may reach the log.
    struct SignInStart {
        std::string pageURL;
        std::string pollURL;
        // Whether the desktop took the request to open the page in the browser.
        bool opened = false;
    };
    // Opens the sign-in page in the browser; nothing when config.ini gives no usable base URL.
    static std::optional<SignInStart> startLogin(bool forceLogin);
    // The time a poll still waits once the poll `retryCount` is made: the polls left after it,
    // each a pause apart.
    static double pollSecondsLeft(int retryCount);
    // Polls until credentials arrive, the last poll fails, or the cancellation says stop (then
    // the completion is never called). `progress` hears the time left before each poll.
    static void getOrvaneCredentialsOrRetry(const std::string& url, int retryCount,
                                            std::shared_ptr<OrvaneRequestCancellation> cancellation,
                                            CredentialsCompletion completion,
                                            PollProgress progress = {});

    // ---- Storages, applications and transcoders ----

    static void getCurrentUser(const std::optional<OrvaneCredentials>& credentials,
                               RecordCompletion<OrvaneUser> completion);
    static void getStorages(
        const std::optional<OrvaneCredentials>& credentials,
        std::function<void(std::optional<std::vector<OrvaneStorage>>, std::string)> completion);
    static void createOrUpdateStorage(const std::string& name, const std::string& mountPoint,
                                      const std::optional<std::string>& storageId,
                                      const std::optional<OrvaneCredentials>& credentials,
                                      RecordCompletion<OrvaneStorage> completion);
    static void deleteStorage(const std::string& storageId,
                              const std::optional<OrvaneCredentials>& credentials,
                              SuccessCompletion completion);
    static void getApplication(const std::string& appId,
                               const std::optional<OrvaneCredentials>& credentials,
                               RecordCompletion<OrvaneApplication> completion);
    static void createApplication(const std::string& name, const std::string& defaultUserId,
                                  const std::optional<OrvaneCredentials>& credentials,
                                  RecordCompletion<OrvaneApplication> completion);
    static void createToken(const std::string& appId,
                            const std::optional<OrvaneCredentials>& credentials,
                            RecordCompletion<OrvaneCredentials> completion);
    static void getTranscoders(const std::optional<OrvaneCredentials>& credentials,
                               RecordCompletion<OrvaneTranscoderResponse> completion);
    // Adds the first local FFMPEG and the first local IMAGEMAGICK transcoder, one after the
    // other; true only when both were found and added.
    static void setupDefaultLocalTranscoders(
        const std::optional<OrvaneTranscoderResponse>& transcoderResponse,
        const std::string& storageId, const std::optional<OrvaneCredentials>& credentials,
        SuccessCompletion completion);
    // False, with nothing sent and no completion, when no request URL can be formed.
    static bool addTranscoderToStorage(const std::string& transcoderId,
                                       const std::string& storageId,
                                       const std::optional<OrvaneCredentials>& credentials,
                                       SuccessCompletion completion);
    static bool openStorageSettings(const std::string& storageId);

private:
    static void logParseFailure(const DecodingError& error);
    static void logParsed(std::string_view typeName);
    static void attemptCredentials(const std::string& url, int retryCount,
                                   std::shared_ptr<OrvaneRequestCancellation> cancellation,
                                   CredentialsCompletion completion, PollProgress progress);
};
