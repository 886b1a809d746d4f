#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTabWidget>
#include <vector>

#include "platform/wizard_controls.h"

// Adapters from the wizard's controls to the Qt widgets of its window.
namespace platform::qt {

template <class Base>
class QtControl : public Base {
public:
    explicit QtControl(QWidget* widget) : widget_(widget) {}
    bool isHidden() const override { return widget_->isHidden(); }
    void setHidden(bool hidden) override { widget_->setHidden(hidden); }

protected:
    QWidget* widget_;
};

// A label or a line edit. A warning text also describes its warning icon to screen readers.
class QtTextField : public QtControl<TextField> {
public:
    explicit QtTextField(QWidget* widget, QWidget* describes = nullptr)
        : QtControl(widget), describes_(describes) {}
    std::string stringValue() const override;
    void setStringValue(const std::string& text) override;

private:
    QWidget* describes_;
};

// A push button, or a radio button whose partner takes over when it is switched off.
class QtButton : public QtControl<Button> {
public:
    explicit QtButton(QAbstractButton* button, QAbstractButton* partner = nullptr)
        : QtControl(button), button_(button), partner_(partner) {}
    bool isEnabled() const override { return button_->isEnabled(); }
    void setEnabled(bool enabled) override { button_->setEnabled(enabled); }
    std::string title() const override;
    void setTitle(const std::string& title) override;
    ControlState state() const override;
    void setState(ControlState state) override;

private:
    QAbstractButton* button_;
    QAbstractButton* partner_;
};

// A bar with a range of 0 to 0 is Qt's busy indicator.
class QtProgressIndicator : public QtControl<ProgressIndicator> {
public:
    explicit QtProgressIndicator(QProgressBar* bar) : QtControl(bar), bar_(bar) {}
    double doubleValue() const override { return bar_->value(); }
    void setDoubleValue(double value) override { bar_->setValue(static_cast<int>(value)); }
    void startAnimation() override { bar_->setRange(0, 0); }
    void stopAnimation() override { bar_->setRange(0, 1); }
    bool isAnimating() const override { return bar_->maximum() == 0; }

private:
    QProgressBar* bar_;
};

// A tab's identifier is the object name of its page.
class QtTabView : public QtControl<TabView> {
public:
    explicit QtTabView(QTabWidget* tabs) : QtControl(tabs), tabs_(tabs) {}
    void selectTabWithIdentifier(const std::string& identifier) override;
    std::optional<std::string> selectedIdentifier() const override;
    std::optional<std::string> selectedLabel() const override;

private:
    QTabWidget* tabs_;
};

class QtPopUpButton : public QtControl<PopUpButton> {
public:
    explicit QtPopUpButton(QComboBox* box) : QtControl(box), box_(box) {}
    void removeAllItems() override;
    void addItemWithTitle(const std::string& title) override;
    void setRepresentedObjectOfLastItem(std::any value) override;
    // Shown when the pointer rests on the item in the open list.
    void setToolTipOfLastItem(const std::string& toolTip) override;
    std::any selectedRepresentedObject() const override;
    int numberOfItems() const override { return box_->count(); }
    std::optional<std::string> titleOfSelectedItem() const override;

private:
    QComboBox* box_;
    // Item values by index; the combo box cannot hold arbitrary values itself.
    std::vector<std::any> values_;
};

// Shows the folder of a file URL as a path.
class QtPathControl : public QtControl<PathControl> {
public:
    explicit QtPathControl(QLineEdit* edit) : QtControl(edit), edit_(edit) {}
    std::string url() const override { return url_; }
    void setURL(const std::string& fileURL) override;

private:
    QLineEdit* edit_;
    std::string url_;
};

// An icon whose tool tip is also its description for screen readers.
class QtImageView : public QtControl<ImageView> {
public:
    explicit QtImageView(QLabel* label) : QtControl(label) {}
    std::string toolTip() const override { return widget_->toolTip().toStdString(); }
    void setToolTip(const std::string& toolTip) override;
};

}  // namespace platform::qt
