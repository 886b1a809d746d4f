#pragma once

#include <memory>

#include "platform/dispatch.h"
#include "platform/wizard_controls.h"

class QWidget;

namespace platform::qt {

// The wizard's window, loaded from its Designer file; the outlets are the widgets of the same
// object names. Create on the main thread after the QApplication.
class QtWizardWindow : public WizardWindow {
public:
    explicit QtWizardWindow(Dispatch& dispatch);
    ~QtWizardWindow() override;
    QtWizardWindow(const QtWizardWindow&) = delete;
    QtWizardWindow& operator=(const QtWizardWindow&) = delete;

    const WizardOutlets& outlets() const override;
    void setContent(std::shared_ptr<WizardContent> content) override;
    bool isVisible() const override;
    void makeKeyAndOrderFront() override;
    void performClose() override;
    FolderChoice runFolderChooser(const FolderChooserOptions& options) override;

    QWidget* widget() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::qt
