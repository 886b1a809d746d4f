#include "platform/qt/qt_wizard_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabBar>
#include <cstdio>
#include <cstdlib>

#include "platform/qt/qt_wizard_controls.h"
#include "platform/translation.h"
#include "ui_setup_wizard.h"

namespace platform::qt {
namespace {

// Marks the tab bars that are only how the steps are stored.
constexpr char kStepStoreProperty[] = "orvaneStepStore";

// Qt's accessible tab bar reports its current tab as focused even while the bar is hidden and
// takes no focus, so a screen reader asking what has focus would be told of a hidden page tab.
// A step store's bar is therefore shown to assistive technology as an empty, invisible list.
class StepStoreAccessible : public QAccessibleWidget {
public:
    explicit StepStoreAccessible(QWidget* bar) : QAccessibleWidget(bar, QAccessible::PageTabList) {}
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.invisible = true;
        state.focusable = false;
        state.focused = false;
        return state;
    }
};

QAccessibleInterface* stepStoreAccessible(const QString&, QObject* object) {
    auto* bar = qobject_cast<QTabBar*>(object);
    if (bar == nullptr || !bar->property(kStepStoreProperty).toBool()) return nullptr;
    return new StepStoreAccessible(bar);
}

// The top-level widget: tells the content about a close, whoever asked for it. It is no dialog,
// so it gives Return and Escape the meaning they have in one: Return presses the focused push
// button, else Next when it is enabled; Escape is Cancel.
class WizardWidget : public QWidget {
public:
    std::shared_ptr<WizardContent> content;
    QAbstractButton* next = nullptr;
    QAbstractButton* cancel = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override {
        if (isVisible() && content) content->windowWillClose();
        event->accept();
    }
    void keyPressEvent(QKeyEvent* event) override {
        QAbstractButton* target = nullptr;
        if (event->modifiers() & ~Qt::KeypadModifier) {
            // Return with a modifier, or a shortcut: not ours.
        } else if (event->key() == Qt::Key_Escape) {
            target = cancel;
        } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            auto* focused = qobject_cast<QPushButton*>(focusWidget());
            target = focused ? focused : next;
        }
        if (!target || !target->isEnabled() || !target->isVisible()) {
            QWidget::keyPressEvent(event);
            return;
        }
        target->click();
    }
};

template <class T>
T* required(QWidget* root, const char* name) {
    auto* widget = root->findChild<T*>(QString::fromLatin1(name));
    if (!widget) {
        // The window's file and this code disagree: nothing sensible can run.
        std::fprintf(stderr, "The setup wizard's window has no control named %s\n", name);
        std::abort();
    }
    return widget;
}

}  // namespace

struct QtWizardWindow::Impl {
    Dispatch& dispatch;
    WizardWidget root;
    Ui::SetupWizardWindow ui;
    QtTextField mainHeaderField, initialLoginErrorTextField, initialSignInWaitingTextField,
        initialSignInHintTextField, newQorNameTextField, newQorPathTextField, newQorNameErrorLabel,
        newQorPathErrorLabel, existingQorWarningTextField, finishQorNameLabel;
    QtTabView setupStepTabView, initialFreshInstallOrReconfigureTabView;
    QtButton mainPreviousButton, mainNextButton, newQorRadioButton;
    QtProgressIndicator loadingSpinner, stepProgressIndicator;
    QtPopUpButton existingQorSelector;
    QtImageView existingQorPathWarning, finishQorPathWarning;
    QtPathControl finishQorPathWidget;
    QtControl<Control> initialSignInWaitingBox;
    WizardOutlets outlets;

    explicit Impl(Dispatch& d)
        : dispatch(d),
          root(),
          ui(setup(root)),
          mainHeaderField(required<QLabel>(&root, "mainHeaderField")),
          initialLoginErrorTextField(required<QLabel>(&root, "initialLoginErrorTextField")),
          initialSignInWaitingTextField(required<QLabel>(&root, "initialSignInWaitingTextField")),
          initialSignInHintTextField(required<QLabel>(&root, "initialSignInHintTextField")),
          newQorNameTextField(required<QLineEdit>(&root, "newQorNameTextField")),
          newQorPathTextField(required<QLineEdit>(&root, "newQorPathTextField")),
          newQorNameErrorLabel(required<QLabel>(&root, "newQorNameErrorLabel")),
          newQorPathErrorLabel(required<QLabel>(&root, "newQorPathErrorLabel")),
          existingQorWarningTextField(required<QLabel>(&root, "existingQorWarningTextField"),
                                      required<QLabel>(&root, "existingQorPathWarning")),
          finishQorNameLabel(required<QLineEdit>(&root, "finishQorNameLabel")),
          setupStepTabView(required<QTabWidget>(&root, "setupStepTabView")),
          initialFreshInstallOrReconfigureTabView(
              required<QTabWidget>(&root, "initialFreshInstallOrReconfigureTabView")),
          mainPreviousButton(required<QAbstractButton>(&root, "mainPreviousButton")),
          mainNextButton(required<QAbstractButton>(&root, "mainNextButton")),
          newQorRadioButton(required<QAbstractButton>(&root, "newQorRadioButton"),
                            required<QAbstractButton>(&root, "existingQorRadioButton")),
          loadingSpinner(required<QProgressBar>(&root, "loadingSpinner")),
          stepProgressIndicator(required<QProgressBar>(&root, "stepProgressIndicator")),
          existingQorSelector(required<QComboBox>(&root, "existingQorSelector")),
          existingQorPathWarning(required<QLabel>(&root, "existingQorPathWarning")),
          finishQorPathWarning(required<QLabel>(&root, "finishQorPathWarning")),
          finishQorPathWidget(required<QLineEdit>(&root, "finishQorPathWidget")),
          initialSignInWaitingBox(required<QWidget>(&root, "initialSignInWaitingBox")),
          outlets{&mainHeaderField,
                  &setupStepTabView,
                  &mainPreviousButton,
                  &mainNextButton,
                  &loadingSpinner,
                  &stepProgressIndicator,
                  &initialFreshInstallOrReconfigureTabView,
                  &initialLoginErrorTextField,
                  &initialSignInWaitingBox,
                  &initialSignInWaitingTextField,
                  &initialSignInHintTextField,
                  &newQorRadioButton,
                  &newQorNameTextField,
                  &newQorPathTextField,
                  &newQorNameErrorLabel,
                  &newQorPathErrorLabel,
                  &existingQorSelector,
                  &existingQorWarningTextField,
                  &existingQorPathWarning,
                  &finishQorNameLabel,
                  &finishQorPathWidget,
                  &finishQorPathWarning} {
        decorate();
        connectActions();
    }

    static Ui::SetupWizardWindow setup(QWidget& root) {
        Ui::SetupWizardWindow ui;
        ui.setupUi(&root);
        return ui;
    }

    // What the file cannot say: steps are changed by the buttons, not by tabs, and the hidden
    // tab bars take no focus; the warning icon is the style's; busy and error indicators start
    // hidden; read-only fields show as text on the window, not as boxes to type in.
    void decorate() {
        static const bool factoryInstalled = [] {
            QAccessible::installFactory(stepStoreAccessible);
            return true;
        }();
        (void)factoryInstalled;
        for (QTabWidget* tabs : {ui.setupStepTabView, ui.initialFreshInstallOrReconfigureTabView}) {
            tabs->tabBar()->setProperty(kStepStoreProperty, true);
            tabs->tabBar()->hide();
            tabs->tabBar()->setFocusPolicy(Qt::NoFocus);
            tabs->setFocusPolicy(Qt::NoFocus);
        }
        for (QLineEdit* field : {ui.finishQorNameLabel, ui.finishQorPathWidget}) {
            QPalette palette = field->palette();
            palette.setColor(QPalette::Base, palette.color(QPalette::Window));
            field->setPalette(palette);
        }
        root.next = ui.mainNextButton;
        root.cancel = ui.mainCancelButton;
        const QPixmap warning =
            root.style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(24, 24);
        for (QLabel* icon : {ui.existingQorPathWarning, ui.finishQorPathWarning}) {
            icon->setPixmap(warning);
            icon->hide();
        }
        ui.loadingSpinner->hide();
        ui.initialLoginErrorTextField->hide();
        ui.initialSignInWaitingBox->hide();
        ui.newQorRadioButton->setChecked(true);
    }

    void send(const char* selector) {
        if (root.content) root.content->perform(selector);
    }

    void connectActions() {
        const std::pair<QAbstractButton*, const char*> buttons[] = {
            {ui.mainNextButton, "mainNextButtonClick:"},
            {ui.mainPreviousButton, "mainPreviousButtonClick:"},
            {ui.mainCancelButton, "mainCancelButtonClick:"},
            {ui.newQorRadioButton, "newExistingQorClick:"},
            {ui.existingQorRadioButton, "newExistingQorClick:"},
            {ui.newQorChoosePathButton, "newQorChoosePathClicked:"},
            {ui.advancedStorageSettingsButton, "advancedStorageSettingsAction:"},
            {ui.openSignInPageAgainButton, "openSignInPageAgainClick:"},
            {ui.copySignInAddressButton, "copySignInAddressClick:"},
        };
        for (const auto& [button, selector] : buttons) {
            QObject::connect(button, &QAbstractButton::clicked, &root,
                             [this, selector = selector] { send(selector); });
        }
        // Only a person's choice; filling the list selects its first item without an action.
        QObject::connect(ui.existingQorSelector, &QComboBox::activated, &root,
                         [this] { send("existingQorListAction:"); });
        // Queued: the step's buttons are set up after its tab is selected.
        QObject::connect(
            ui.setupStepTabView, &QTabWidget::currentChanged, &root, [this] { focusStep(); },
            Qt::QueuedConnection);
    }

    // A step starts at its first field, or at Next when it has none to fill in.
    void focusStep() {
        QWidget* page = ui.setupStepTabView->currentWidget();
        QWidget* first = ui.mainNextButton;
        if (page == ui.newOrExisting) {
            first = ui.newQorRadioButton->isChecked() ? static_cast<QWidget*>(ui.newQorRadioButton)
                                                      : ui.existingQorRadioButton;
        } else if (page == ui.newQorSetup) {
            first = ui.newQorNameTextField;
        } else if (page == ui.chooseExistingQor) {
            first = ui.existingQorSelector;
        }
        if (!first->isEnabled()) first = ui.mainCancelButton;
        first->setFocus(Qt::OtherFocusReason);
    }
};

QtWizardWindow::QtWizardWindow(Dispatch& dispatch) : impl_(std::make_unique<Impl>(dispatch)) {}

QtWizardWindow::~QtWizardWindow() = default;

const WizardOutlets& QtWizardWindow::outlets() const { return impl_->outlets; }

void QtWizardWindow::setContent(std::shared_ptr<WizardContent> content) {
    impl_->root.content = std::move(content);
}

bool QtWizardWindow::isVisible() const { return impl_->root.isVisible(); }

void QtWizardWindow::makeKeyAndOrderFront() {
    if (!impl_->root.isVisible() && impl_->root.content) impl_->root.content->viewWillAppear();
    impl_->root.show();
    impl_->root.raise();
    impl_->root.activateWindow();
    impl_->focusStep();
}

void QtWizardWindow::performClose() { impl_->root.close(); }

FolderChoice QtWizardWindow::runFolderChooser(const FolderChooserOptions& options) {
    QFileDialog chooser(&impl_->root, QString::fromStdString(
                                          platform::translate("SetupWizard", "Choose a Folder")));
    chooser.setFileMode(options.canChooseFiles ? QFileDialog::ExistingFile
                                               : QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly, !options.canChooseFiles);
    chooser.setOption(QFileDialog::ReadOnly, !options.canCreateDirectories);
    chooser.setLabelText(QFileDialog::Accept, QString::fromStdString(options.prompt));
    chooser.setDirectory(options.directory.empty() ? QDir::homePath()
                                                   : QString::fromStdString(options.directory));
    impl_->dispatch.beginModal();
    const bool confirmed = chooser.exec() == QDialog::Accepted;
    impl_->dispatch.endModal();
    if (!confirmed) return {};
    const QStringList files = chooser.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return {true, std::nullopt};
    return {true, fileURLWithPath(files.first().toStdString())};
}

QWidget* QtWizardWindow::widget() const { return &impl_->root; }

}  // namespace platform::qt
