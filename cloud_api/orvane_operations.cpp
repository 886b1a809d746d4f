#include "cloud_api/orvane_paths.h"
#include "cloud_api/orvane_request_bodies.h"
#include "cloud_api/orvane_requests.h"
#include "platform/registry.h"
#include "platform/workspace.h"

namespace {

std::optional<platform::UrlRequest> requestFor(const std::string& path, const std::string& method) {
    auto base = OrvaneRequests::configuredBaseURL();
    if (!base) return std::nullopt;
    return OrvaneRequests::makeRequest(*base + path, method);
}

const char* flag(bool value) { return value ? "true" : "false"; }

// The ids still to add and the successes so far. Each request is sent from the reply of the one
// before, so one thread at a time touches it and the session's queue orders those touches.
struct TranscoderChain {
    std::vector<std::string> ids;
    int successes = 0;
    std::string storageId;
    std::optional<OrvaneCredentials> credentials;
    OrvaneRequests::SuccessCompletion completion;
};

void addLastTranscoder(const std::shared_ptr<TranscoderChain>& chain) {
    const std::string id = chain->ids.back();
    chain->ids.pop_back();
    const bool sent = OrvaneRequests::addTranscoderToStorage(
        id, chain->storageId, chain->credentials, [chain](bool success) {
            if (success) ++chain->successes;
            chain->completion(chain->successes == 2);
        });
    if (!sent) chain->completion(chain->successes == 2);
}

void addFirstTranscoder(const std::shared_ptr<TranscoderChain>& chain) {
    const std::string id = chain->ids.back();
    chain->ids.pop_back();
    const auto goOn = [chain] {
        if (chain->ids.empty()) {
            chain->completion(false);
        } else {
            addLastTranscoder(chain);
        }
    };
    const bool sent = OrvaneRequests::addTranscoderToStorage(
        id, chain->storageId, chain->credentials, [chain, goOn](bool success) {
            if (success) ++chain->successes;
            goOn();
        });
    if (!sent) goOn();
}

}  // namespace

void OrvaneRequests::getCurrentUser(const std::optional<OrvaneCredentials>& credentials,
                                    RecordCompletion<OrvaneUser> completion) {
    doOrvaneJSONRequest<OrvaneUser>(std::string(orvane_paths::currentUser), "GET", std::nullopt,
                                    credentials, std::move(completion));
}

void OrvaneRequests::getStorages(
    const std::optional<OrvaneCredentials>& credentials,
    std::function<void(std::optional<std::vector<OrvaneStorage>>, std::string)> completion) {
    doOrvaneJSONRequest<OrvaneStorageResponse>(
        std::string(orvane_paths::storageList), "GET", std::nullopt, credentials,
        [completion = std::move(completion)](std::optional<OrvaneStorageResponse> response,
                                             std::string message) {
            if (!response) {
                completion(std::nullopt, std::move(message));
            } else {
                completion(std::move(response->objects), std::move(message));
            }
        });
}

void OrvaneRequests::createOrUpdateStorage(const std::string& name, const std::string& mountPoint,
                                           const std::optional<std::string>& storageId,
                                           const std::optional<OrvaneCredentials>& credentials,
                                           RecordCompletion<OrvaneStorage> completion) {
    if (!storageId) {
        doOrvaneJSONRequest<OrvaneStorage>(std::string(orvane_paths::storages), "POST",
                                           orvane_bodies::storageCreationBody(name, mountPoint),
                                           credentials, std::move(completion));
    } else {
        doOrvaneJSONRequest<OrvaneStorage>(orvane_paths::storage(*storageId), "PATCH",
                                           orvane_bodies::storageUpdateBody(name, mountPoint),
                                           credentials, std::move(completion));
    }
}

void OrvaneRequests::deleteStorage(const std::string& storageId,
                                   const std::optional<OrvaneCredentials>& credentials,
                                   SuccessCompletion completion) {
    const auto logResult = [storageId](bool success) {
        platform::log("DELETE of storage " + storageId + ", success: " + flag(success));
    };
    auto request = requestFor(orvane_paths::storage(storageId), "DELETE");
    if (!request) {
        logResult(false);
        completion(false);
        return;
    }
    sendRequest(*request, std::nullopt, credentials,
                [logResult, completion = std::move(completion)](
                    const std::optional<std::string>& data, const std::string&) {
                    logResult(data.has_value());
                    completion(data.has_value());
                });
}

void OrvaneRequests::getApplication(const std::string& appId,
                                    const std::optional<OrvaneCredentials>& credentials,
                                    RecordCompletion<OrvaneApplication> completion) {
    doOrvaneJSONRequest<OrvaneApplication>(orvane_paths::application(appId), "GET", std::nullopt,
                                           credentials, std::move(completion));
}

void OrvaneRequests::createApplication(const std::string& name, const std::string& defaultUserId,
                                       const std::optional<OrvaneCredentials>& credentials,
                                       RecordCompletion<OrvaneApplication> completion) {
    doOrvaneJSONRequest<OrvaneApplication>(
        std::string(orvane_paths::applications), "POST",
        orvane_bodies::applicationCreationBody(name, defaultUserId), credentials,
        std::move(completion));
}

void OrvaneRequests::createToken(const std::string& appId,
                                 const std::optional<OrvaneCredentials>& credentials,
                                 RecordCompletion<OrvaneCredentials> completion) {
    doOrvaneJSONRequest<OrvaneCredentials>(orvane_paths::token(appId), "POST", std::nullopt,
                                           credentials, std::move(completion));
}

void OrvaneRequests::getTranscoders(const std::optional<OrvaneCredentials>& credentials,
                                    RecordCompletion<OrvaneTranscoderResponse> completion) {
    doOrvaneJSONRequest<OrvaneTranscoderResponse>(std::string(orvane_paths::transcoders), "GET",
                                                  std::nullopt, credentials, std::move(completion));
}

bool OrvaneRequests::addTranscoderToStorage(const std::string& transcoderId,
                                            const std::string& storageId,
                                            const std::optional<OrvaneCredentials>& credentials,
                                            SuccessCompletion completion) {
    auto request = requestFor(orvane_paths::storageTranscoder(storageId, transcoderId), "PUT");
    if (!request) return false;
    sendRequest(*request, std::nullopt, credentials,
                [transcoderId, storageId, completion = std::move(completion)](
                    const std::optional<std::string>& data, const std::string&) {
                    platform::log("Adding transcoder " + transcoderId + " to storage " + storageId +
                                  ", success: " + flag(data.has_value()));
                    completion(data.has_value());
                });
    return true;
}

void OrvaneRequests::setupDefaultLocalTranscoders(
    const std::optional<OrvaneTranscoderResponse>& transcoderResponse, const std::string& storageId,
    const std::optional<OrvaneCredentials>& credentials, SuccessCompletion completion) {
    platform::log(std::string("setupDefaultLocalTranscoders, got transcoderResponse: ") +
                  flag(transcoderResponse.has_value()));
    if (!transcoderResponse) {
        completion(false);
        return;
    }
    auto chain = std::make_shared<TranscoderChain>();
    chain->storageId = storageId;
    chain->credentials = credentials;
    chain->completion = std::move(completion);
    bool haveFfmpeg = false;
    bool haveImageMagick = false;
    for (const auto& transcoder : transcoderResponse->objects) {
        if (!transcoder.isLocal()) continue;
        bool* taken = transcoder.type == "FFMPEG"        ? &haveFfmpeg
                      : transcoder.type == "IMAGEMAGICK" ? &haveImageMagick
                                                         : nullptr;
        if (!taken || *taken) continue;
        *taken = true;
        chain->ids.push_back(transcoder.id);
    }
    if (chain->ids.empty()) {
        chain->completion(false);
        return;
    }
    // The id taken last is sent first.
    addFirstTranscoder(chain);
}

bool OrvaneRequests::openStorageSettings(const std::string& storageId) {
    auto base = configuredBaseURL();
    if (base) {
        const std::string page = *base + orvane_paths::storageSettingsPage(storageId);
        if (platform::urlSession().isValidURL(page)) {
            platform::workspace().openURL(page);
            return true;
        }
    }
    platform::log("Failed to open storage settings for " + storageId +
                  ", could not get orvane URL from config.ini");
    return false;
}
