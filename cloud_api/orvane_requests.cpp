#include "cloud_api/orvane_requests.h"

#include "cloud_api/orvane_request_bodies.h"
#include "platform/outside_text.h"
#include "platform/registry.h"
#include "service/qor_tools.h"

namespace {

// The request core's own messages, with "%1" for the one value some of them carry.
constexpr const char* kUnknownError =
    QT_TRANSLATE_NOOP("CloudService", "Unknown HTTP request error");
constexpr const char* kNoData =
    QT_TRANSLATE_NOOP("CloudService", "HTTP request failed - received no data");
//: %1 is the HTTP status code.
constexpr const char* kFailedStatus = QT_TRANSLATE_NOOP("CloudService", "HTTP request failed (%1)");
//: %1 is the HTTP status code.
constexpr const char* kHttpError = QT_TRANSLATE_NOOP("CloudService", "HTTP error (HTTP %1)");
//: %1 is the address that could not be made.
constexpr const char* kNoURL =
    QT_TRANSLATE_NOOP("CloudService", "Failed to generate request URL for %1");
constexpr const char* kOwnMessages[] = {kUnknownError,
                                        kNoData,
                                        kFailedStatus,
                                        kHttpError,
                                        kNoURL,
                                        OrvaneRequests::noOrvaneUrlMessage.data(),
                                        OrvaneRequests::parseFailureMessage.data()};

std::string filled(const char* message, const std::string& value) {
    return platform::fillPlaceholders(message, {value});
}

bool isUtf8(const std::string& bytes) {
    try {
        (void)nlohmann::json(bytes).dump();
        return true;
    } catch (const nlohmann::json::type_error&) {
        return false;
    }
}

std::string dataDescription(const std::optional<std::string>& data) {
    return data ? std::to_string(data->size()) + " bytes" : "nil";
}

std::string errorMessage(const OrvaneErrorResponse& body, int code) {
    if (!body.errors) return filled(kHttpError, std::to_string(code));
    std::string joined;
    for (std::size_t i = 0; i < body.errors->size(); ++i) {
        if (i) joined += "\n";
        // The server's words reach an alert or a label: no control character of theirs may.
        joined += platform::escapedText((*body.errors)[i]);
    }
    return joined + " (HTTP " + std::to_string(code) + ")";
}

}  // namespace

std::optional<std::string> OrvaneRequests::configuredBaseURL() {
    auto base = QorTools::getOrvaneUrl();
    if (!base || base->empty() || *base == "https://") return std::nullopt;
    return base;
}

std::optional<platform::UrlRequest> OrvaneRequests::makeRequest(const std::string& url,
                                                                const std::string& method) {
    if (!platform::urlSession().isValidURL(url)) return std::nullopt;
    platform::UrlRequest request;
    request.url = url;
    request.method = method;
    request.timeoutInterval = requestTimeout;
    return request;
}

OrvaneRequests::PreparedRequest OrvaneRequests::prepareJSONRequest(
    const std::string& path, const std::string& method, const std::optional<nlohmann::json>& body) {
    auto base = configuredBaseURL();
    if (!base) return {std::nullopt, std::string(noOrvaneUrlMessage)};
    auto request = makeRequest(*base + path, method);
    if (!request) return {std::nullopt, filled(kNoURL, *base + path)};
    if (body) {
        auto serialized = orvane_bodies::serialize(*body);
        if (!serialized.bytes) {
            platform::log("doOrvaneJSONRequest, JSON serialization failed " +
                          serialized.errorDescription);
            return {std::nullopt,
                    "Failed to generate request JSON for data " + orvane_bodies::describe(*body)};
        }
        request->body = std::move(serialized.bytes);
        request->setValue(std::string(jsonContentType), "Content-Type");
    }
    return {std::move(request), {}};
}

std::string OrvaneRequests::logPrefix(const platform::UrlRequest& request,
                                      const std::optional<std::string>& logName) {
    const std::string target = logName               ? *logName
                               : request.url.empty() ? "<nil>"
                                                     : platform::withoutUserInfo(request.url);
    return "Request [" + request.effectiveMethod() + "] to " + target;
}

void OrvaneRequests::sendRequest(const platform::UrlRequest& request,
                                 const std::optional<std::string>& logName,
                                 const std::optional<OrvaneCredentials>& credentials,
                                 DataCompletion completion) {
    std::string prefix = logPrefix(request, logName);
    platform::UrlRequest copy = request;
    if (credentials) {
        copy.setValue(credentials->app_id, "App-ID");
        copy.setValue(credentials->token, "Auth-Token");
    }
    platform::urlSession().dataTask(
        copy, [prefix = std::move(prefix), logName, completion = std::move(completion)](
                  const std::optional<std::string>& data,
                  const std::optional<platform::UrlResponse>& response,
                  const std::optional<platform::UrlError>& error) {
            handleResponse(prefix, logName, data, response, error, completion);
        });
}

void OrvaneRequests::handleResponse(const std::string& prefix,
                                    const std::optional<std::string>& logName,
                                    const std::optional<std::string>& data,
                                    const std::optional<platform::UrlResponse>& response,
                                    const std::optional<platform::UrlError>& error,
                                    const DataCompletion& completion) {
    if (error) {
        platform::log(prefix + " failed with " + error->localizedDescription);
        completion(std::nullopt, error->localizedDescription);
        return;
    }
    if (!response || !response->statusCode) {
        platform::log(prefix + " failed - could not convert to HTTPURLResponse");
        completion(std::nullopt, kUnknownError);
        return;
    }
    const int code = *response->statusCode;
    if (code >= 200 && code <= 299) {
        if (data) {
            platform::log(prefix + " success - received " + std::to_string(data->size()) +
                          " bytes");
            completion(data, "");
        } else {
            platform::log(prefix + " failed - received nil data");
            completion(std::nullopt, kNoData);
        }
        return;
    }
    const std::string codeText = std::to_string(code);
    platform::log(prefix + " failed - invalid HTTP status code " + codeText +
                  ", data: " + dataDescription(data));
    if (!data) {
        completion(std::nullopt, filled(kFailedStatus, codeText));
        return;
    }
    // With a log name the request is a sensitive one, so its body stays out of the log.
    if (!logName && isUtf8(*data)) platform::log(prefix + " error response string: " + *data + ".");
    DecodingError decodingError;
    if (auto body = decodeRecord<OrvaneErrorResponse>(*data, decodingError)) {
        platform::log(prefix + " Error response: " + describe(*body));
        completion(std::nullopt, errorMessage(*body, code));
        return;
    }
    platform::log(prefix + " Failed to parse error messages from response");
    completion(std::nullopt, filled(kFailedStatus, codeText));
}

std::string OrvaneRequests::shownMessage(const std::string& message) {
    for (const char* own : kOwnMessages) {
        const std::string_view source = own;
        const auto at = source.find("%1");
        if (at == std::string_view::npos) {
            if (message == source) return platform::translate("CloudService", own);
            continue;
        }
        const std::string_view before = source.substr(0, at), after = source.substr(at + 2);
        if (message.size() >= before.size() + after.size() && message.starts_with(before) &&
            message.ends_with(after)) {
            const std::string value =
                message.substr(before.size(), message.size() - before.size() - after.size());
            return platform::fillPlaceholders(platform::translate("CloudService", own), {value});
        }
    }
    return message;
}

void OrvaneRequests::logParseFailure(const DecodingError& error) {
    platform::log("Request error parsing JSON: " + error.localizedDescription + " / " +
                  error.fullDescription);
}

void OrvaneRequests::logParsed(std::string_view typeName) {
    platform::log("Request successfully parsed as " + std::string(typeName));
}
