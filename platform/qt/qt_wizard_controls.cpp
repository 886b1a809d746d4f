#include "platform/qt/qt_wizard_controls.h"

namespace platform::qt {
namespace {

QString q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

std::string QtTextField::stringValue() const {
    if (auto* edit = qobject_cast<QLineEdit*>(widget_)) return edit->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(widget_)) return label->text().toStdString();
    return {};
}

void QtTextField::setStringValue(const std::string& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(widget_)) edit->setText(q(text));
    if (auto* label = qobject_cast<QLabel*>(widget_)) label->setText(q(text));
    if (describes_) describes_->setAccessibleDescription(q(text));
}

std::string QtButton::title() const { return button_->text().toStdString(); }

void QtButton::setTitle(const std::string& title) { button_->setText(q(title)); }

ControlState QtButton::state() const {
    return button_->isChecked() ? ControlState::On : ControlState::Off;
}

void QtButton::setState(ControlState state) {
    // An exclusive radio button cannot be switched off by itself, only by its partner.
    if (state == ControlState::Off && partner_) {
        partner_->setChecked(true);
    } else {
        button_->setChecked(state == ControlState::On);
    }
}

void QtTabView::selectTabWithIdentifier(const std::string& identifier) {
    for (int i = 0; i < tabs_->count(); ++i) {
        if (tabs_->widget(i)->objectName() == q(identifier)) tabs_->setCurrentIndex(i);
    }
}

std::optional<std::string> QtTabView::selectedIdentifier() const {
    QWidget* page = tabs_->currentWidget();
    if (!page || page->objectName().isEmpty()) return std::nullopt;
    return page->objectName().toStdString();
}

std::optional<std::string> QtTabView::selectedLabel() const {
    const int index = tabs_->currentIndex();
    if (index < 0) return std::nullopt;
    return tabs_->tabText(index).toStdString();
}

void QtPopUpButton::removeAllItems() {
    box_->clear();
    values_.clear();
}

void QtPopUpButton::addItemWithTitle(const std::string& title) {
    box_->addItem(q(title));
    values_.resize(static_cast<std::size_t>(box_->count()));
}

void QtPopUpButton::setRepresentedObjectOfLastItem(std::any value) {
    if (!values_.empty()) values_.back() = std::move(value);
}

void QtPopUpButton::setToolTipOfLastItem(const std::string& toolTip) {
    if (box_->count() > 0) box_->setItemData(box_->count() - 1, q(toolTip), Qt::ToolTipRole);
}

std::any QtPopUpButton::selectedRepresentedObject() const {
    const int index = box_->currentIndex();
    if (index < 0 || static_cast<std::size_t>(index) >= values_.size()) return {};
    return values_[static_cast<std::size_t>(index)];
}

std::optional<std::string> QtPopUpButton::titleOfSelectedItem() const {
    if (box_->currentIndex() < 0) return std::nullopt;
    return box_->currentText().toStdString();
}

void QtPathControl::setURL(const std::string& fileURL) {
    url_ = fileURL;
    edit_->setText(q(pathOfFileURL(fileURL).value_or(fileURL)));
    edit_->setCursorPosition(0);
}

void QtImageView::setToolTip(const std::string& toolTip) {
    widget_->setToolTip(q(toolTip));
    widget_->setAccessibleDescription(q(toolTip));
}

}  // namespace platform::qt
