#include <any>

#include "cloud_api/json_decoding.h"
#include "cloud_api/orvane_requests.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/translation.h"
#include "platform/ui_tools.h"
#include "wizard/setup_wizard_view_controller.h"

namespace {

constexpr const char* kNameEmpty = QT_TRANSLATE_NOOP("SetupWizard", "Name cannot be empty");
constexpr const char* kNoFolder =
    QT_TRANSLATE_NOOP("SetupWizard", "Please select a folder to manage");
constexpr const char* kNotAbsolute = QT_TRANSLATE_NOOP(
    "SetupWizard",
    "Invalid folder, enter the full path of a folder on this computer, starting with /");
constexpr const char* kDoesNotExist =
    QT_TRANSLATE_NOOP("SetupWizard", "Invalid folder, this path does not exist");
constexpr const char* kNotAFolder =
    QT_TRANSLATE_NOOP("SetupWizard", "Invalid folder, this path is not a folder");

//: %1 is the storage's folder on this computer.
constexpr const char* kNotLocal = QT_TRANSLATE_NOOP(
    "SetupWizard",
    "The selected QOR does not point to a local folder. If this is a network folder make sure it "
    "is mounted\n\nPath: %1");
//: %1 is the storage's folder on this computer.
constexpr const char* kNotADirectory = QT_TRANSLATE_NOOP(
    "SetupWizard", "The selected QOR does not points to a file, not a folder.\n\nPath: %1");
constexpr const char* kNoMountPoint =
    QT_TRANSLATE_NOOP("SetupWizard", "The selected QOR does not have a mount point set.");

std::string shown(const char* source) {
    return source ? platform::translate("SetupWizard", source) : std::string();
}

// A path that is not absolute names nothing on this computer: it would depend on wherever the
// application happens to run.
platform::ItemKind localItemKind(const std::string& path) {
    if (path.empty() || path.front() != '/') return platform::ItemKind::Nothing;
    return platform::files().itemKind(path);
}

// The English source of the warning about a storage's folder; none for a local folder.
const char* mountPointWarning(const std::string& mountPoint) {
    if (mountPoint.empty()) return kNoMountPoint;
    switch (localItemKind(mountPoint)) {
        case platform::ItemKind::Nothing: return kNotLocal;
        case platform::ItemKind::Other: return kNotADirectory;
        case platform::ItemKind::Directory: break;
    }
    return nullptr;
}

std::optional<ExistingStorageEntry> entryOf(const std::any& value) {
    if (const auto* entry = std::any_cast<ExistingStorageEntry>(&value)) return *entry;
    return std::nullopt;
}

}  // namespace

std::string describe(const ExistingStorageEntry& entry) {
    return "(id: " + orvane_json::quoted(entry.id) + ", name: " + orvane_json::quoted(entry.name) +
           ", mount point: " + orvane_json::quoted(entry.mountPoint) + ")";
}

SetupWizardViewController::StorageRequest SetupWizardViewController::storageRequest() {
    platform::assertMainThread(dispatch_);
    return {opening(), createdOrvaneStorageId_, orvaneCredentials_};
}

// ---- A new storage ----

void SetupWizardViewController::enterNewQorForm() {
    platform::assertMainThread(dispatch_);
    ui_.newQorNameErrorLabel->setStringValue("");
    ui_.newQorPathErrorLabel->setStringValue("");
    ui_.newQorNameTextField->setStringValue(computerName_.localizedName().value_or("New") + " QOR");
    selectNewSetupStep(SetupStep::newQorSetup);
}

void SetupWizardViewController::newQorChoosePathClicked() {
    platform::assertMainThread(dispatch_);
    // It opens at the typed folder when there is one; a relative path names none.
    platform::FolderChooserOptions options;
    //: The chooser's confirm button.
    options.prompt = platform::translate("SetupWizard", "Select");
    if (const std::string typed = ui_.newQorPathTextField->stringValue();
        localItemKind(typed) == platform::ItemKind::Directory) {
        options.directory = typed;
    }
    const platform::FolderChoice choice = window_.runFolderChooser(options);
    if (!choice.confirmed) return;
    if (!choice.url) {
        platform::log("newQorChoosePathClicked, No path selected ");
        return;
    }
    platform::log("newQorChoosePathClicked, selected: " + *choice.url);
    ui_.newQorPathTextField->setStringValue(platform::pathOfFileURL(*choice.url).value_or(""));
    ui_.newQorPathErrorLabel->setStringValue("");
}

void SetupWizardViewController::checkNewQorForm() {
    platform::assertMainThread(dispatch_);
    if (storageRequestRunning_) {
        platform::log("Check new QOR form, a storage request is already running; ignored");
        return;
    }
    // English sources: the labels show them translated, the log as they are.
    const char* nameError = ui_.newQorNameTextField->stringValue().empty() ? kNameEmpty : nullptr;
    const char* pathError = nullptr;
    const std::string path = ui_.newQorPathTextField->stringValue();
    if (path.empty()) {
        pathError = kNoFolder;
    } else if (path.front() != '/') {
        pathError = kNotAbsolute;
    } else if (const auto kind = localItemKind(path); kind == platform::ItemKind::Nothing) {
        pathError = kDoesNotExist;
    } else if (kind == platform::ItemKind::Other) {
        pathError = kNotAFolder;
    }
    ui_.newQorNameErrorLabel->setStringValue(shown(nameError));
    ui_.newQorPathErrorLabel->setStringValue(shown(pathError));
    if (!nameError && !pathError) {
        ui_.loadingSpinner->setHidden(false);
        storageRequestRunning_ = true;
        const StorageRequest request = storageRequest();
        OrvaneRequests::createOrUpdateStorage(
            ui_.newQorNameTextField->stringValue(), ui_.newQorPathTextField->stringValue(),
            createdOrvaneStorageId_, orvaneCredentials_,
            [request](std::optional<OrvaneStorage> storage, const std::string& message) {
                newQorStorageRequestFinished(request, std::move(storage), message);
            });
        return;
    }
    platform::log("Check new QOR form, not valid: " + std::string(nameError ? nameError : "") +
                  " or " + (pathError ? pathError : ""));
}

void SetupWizardViewController::newQorStorageRequestFinished(const StorageRequest& request,
                                                             std::optional<OrvaneStorage> storage,
                                                             const std::string& errorMessage) {
    // An update, or nothing arrived: no transcoders for either.
    const bool created = storage && !request.createdStorageId;
    if (created) {
        platform::log("Check new QOR form, created new storage: " + describe(*storage) +
                      ", now setup transcoders");
    }
    onMainIfOpen(
        request.opening, "newQorStorageRequestFinished",
        [request, storage, errorMessage, created](SetupWizardViewController& self) {
            if (created) {
                self.setupTranscoders(request, *storage);
            } else {
                self.newQorStorageCreatedOrUpdated(request, storage, errorMessage);
            }
        },
        [request, storage, created](SetupWizardViewController& self) {
            // The close could not delete what did not exist yet; this does.
            if (created) self.deleteAbandonedStorage(storage->id, request.credentials);
        });
}

void SetupWizardViewController::setupTranscoders(const StorageRequest& request,
                                                 const OrvaneStorage& storage) {
    platform::assertMainThread(dispatch_);
    // Remembered at once, so that a close while the transcoders are attached deletes it.
    if (request.credentials) rememberCreatedStorage(storage.id, *request.credentials);
    OrvaneRequests::getTranscoders(
        request.credentials,
        [request, storage](const std::optional<OrvaneTranscoderResponse>& transcoders,
                           const std::string&) {
            OrvaneRequests::setupDefaultLocalTranscoders(
                transcoders, storage.id, request.credentials, [request, storage](bool success) {
                    onMainIfOpen(
                        request.opening, "localTranscodersSetupFinished",
                        [request, storage, success](SetupWizardViewController& self) {
                            if (!success) {
                                UiTools::enqueueAlert(
                                    platform::translate("SetupWizard",
                                                        "Error setting up local transcoders"),
                                    platform::translate(
                                        "SetupWizard",
                                        "Local keyframe and proxy creation may not "
                                        "work, you can still proceed with the setup."));
                            }
                            self.newQorStorageCreatedOrUpdated(request, storage, "");
                        });
                });
        });
}

void SetupWizardViewController::newQorStorageCreatedOrUpdated(
    const StorageRequest& request, const std::optional<OrvaneStorage>& storage,
    const std::string& errorMessage) {
    platform::assertMainThread(dispatch_);
    storageRequestRunning_ = false;
    hideSpinner();
    if (!storage) {
        platform::log("new QOR storage created or updated, request failed.");
        UiTools::enqueueAlert(
            platform::translate("SetupWizard", "Error creating storage"),
            platform::translate("SetupWizard", "Failed to configure storage in orvane:") + "\n\n" +
                OrvaneRequests::shownMessage(errorMessage));
        return;
    }
    platform::log("New storage created of updated: " + storage->id + " / " + storage->name);
    if (request.credentials) rememberCreatedStorage(storage->id, *request.credentials);
    chosenStorageId_ = storage->id;
    chosenStorageName_ = storage->name;
    ui_.finishQorNameLabel->setStringValue(ui_.newQorNameTextField->stringValue());
    ui_.finishQorPathWidget->setURL(
        platform::fileURLWithPath(ui_.newQorPathTextField->stringValue()));
    // The folder has just been checked; a warning left from an existing storage is stale.
    ui_.finishQorPathWarning->setHidden(true);
    ui_.finishQorPathWarning->setToolTip("");
    selectNewSetupStep(SetupStep::finish);
}

// ---- An existing storage ----

void SetupWizardViewController::updateExistingQorList() {
    platform::assertMainThread(dispatch_);
    platform::log("Update existing QOR list");
    ui_.mainNextButton->setEnabled(false);
    showSpinner();
    const StorageRequest request = storageRequest();
    OrvaneRequests::getStorages(
        orvaneCredentials_,
        [request](std::optional<std::vector<OrvaneStorage>> storages, const std::string& message) {
            existingQorListReceived(request, std::move(storages), message);
        });
}

void SetupWizardViewController::existingQorListReceived(
    const StorageRequest& request, std::optional<std::vector<OrvaneStorage>> storages,
    const std::string& errorMessage) {
    platform::log("Received existing QOR list, " + describe(storages) +
                  ", errorMessage: " + errorMessage);
    onMainIfOpen(
        request.opening, "existingQorListReceived",
        [storages = std::move(storages), errorMessage](SetupWizardViewController& self) {
            auto& ui = self.ui_;
            self.hideSpinner();
            ui.mainNextButton->setEnabled(true);
            if (!storages) {
                UiTools::enqueueAlert(
                    platform::translate("SetupWizard", "Error getting storage list"),
                    platform::translate("SetupWizard",
                                        "Failed to get list of storages from orvane") +
                        "\n\n" + OrvaneRequests::shownMessage(errorMessage));
                return;
            }
            if (storages->empty()) {
                UiTools::enqueueAlert(
                    platform::translate("SetupWizard", "No QOR storages found"),
                    platform::translate("SetupWizard",
                                        "There are no storages with type FILE in orvane"));
                return;
            }
            ui.existingQorSelector->removeAllItems();
            for (const auto& storage : *storages) {
                ui.existingQorSelector->addItemWithTitle(storage.name);
                // Storages of the same name differ in their folders.
                ui.existingQorSelector->setToolTipOfLastItem(storage.settings.mount_point);
                ui.existingQorSelector->setRepresentedObjectOfLastItem(
                    ExistingStorageEntry{storage.id, storage.name, storage.settings.mount_point});
            }
            self.existingQorListAction();
            self.selectNewSetupStep(SetupStep::chooseExistingQor);
        });
}

void SetupWizardViewController::existingQorListAction() {
    platform::assertMainThread(dispatch_);
    auto entry = entryOf(ui_.existingQorSelector->selectedRepresentedObject());
    if (!entry) return;
    platform::log("existingQorListAction, selectedStorage: " + describe(*entry));
    const char* warning = mountPointWarning(entry->mountPoint);
    ui_.existingQorWarningTextField->setStringValue(
        warning ? platform::fillPlaceholders(platform::translate("SetupWizard", warning),
                                             {entry->mountPoint})
                : "");
    ui_.existingQorPathWarning->setHidden(!warning);
    platform::log("existingQorListAction, warning: " +
                  (warning ? platform::fillPlaceholders(warning, {entry->mountPoint}) : ""));
}

void SetupWizardViewController::leaveExistingQorStep() {
    platform::assertMainThread(dispatch_);
    auto entry = entryOf(ui_.existingQorSelector->selectedRepresentedObject());
    if (!entry) return;
    chosenStorageId_ = entry->id;
    chosenStorageName_ = entry->name;
    ui_.finishQorNameLabel->setStringValue(entry->name);
    ui_.finishQorPathWidget->setURL(platform::fileURLWithPath(entry->mountPoint));
    ui_.finishQorPathWarning->setHidden(ui_.existingQorPathWarning->isHidden());
    ui_.finishQorPathWarning->setToolTip(ui_.existingQorWarningTextField->stringValue());
    selectNewSetupStep(SetupStep::finish);
}
