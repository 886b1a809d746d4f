#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {

// An action selector: menu items name one, and the responder that receives it decides.
using Selector = std::string;

class Responder {
public:
    Responder() = default;
    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;
    virtual ~Responder() = default;
    // Returns false when the selector is not one of the responder's actions.
    virtual bool perform(const Selector& selector) = 0;
};

// A status icon. A template image is drawn in the panel's text colour, so it suits light and
// dark panels alike.
class Image {
public:
    Image() = default;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    virtual ~Image() = default;
    virtual std::string name() const = 0;
    virtual void setTemplate(bool isTemplate) = 0;
    virtual bool isTemplate() const = 0;
};

enum class ControlState { Off, On };

// The Option key's modifier flag.
inline constexpr unsigned kOptionKeyMask = 0x80000;
// A status item as wide as it is tall.
inline constexpr double kSquareStatusItemLength = -2;

class MenuItem {
public:
    MenuItem() = default;
    MenuItem(const MenuItem&) = delete;
    MenuItem& operator=(const MenuItem&) = delete;
    virtual ~MenuItem() = default;
    virtual bool isSeparator() const = 0;
    virtual std::string title() const = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual Selector action() const = 0;
    virtual std::string keyEquivalent() const = 0;
    virtual bool isEnabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual ControlState state() const = 0;
    virtual void setState(ControlState state) = 0;
    // An alternate replaces the item above it while its modifier keys are held.
    virtual bool isAlternate() const = 0;
    virtual void setAlternate(bool alternate) = 0;
    virtual unsigned keyEquivalentModifierMask() const = 0;
    virtual void setKeyEquivalentModifierMask(unsigned mask) = 0;
};

class Menu {
public:
    Menu() = default;
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;
    virtual ~Menu() = default;
    virtual bool autoenablesItems() const = 0;
    virtual void setAutoenablesItems(bool autoenables) = 0;
    virtual void addItem(std::shared_ptr<MenuItem> item) = 0;
    virtual std::vector<std::shared_ptr<MenuItem>> items() const = 0;
};

class StatusItem {
public:
    StatusItem() = default;
    StatusItem(const StatusItem&) = delete;
    StatusItem& operator=(const StatusItem&) = delete;
    virtual ~StatusItem() = default;
    virtual double length() const = 0;
    virtual bool hasButton() const = 0;
    virtual std::shared_ptr<Image> buttonImage() const = 0;
    virtual void setButtonImage(std::shared_ptr<Image> image) = 0;
    virtual std::shared_ptr<Menu> menu() const = 0;
    virtual void setMenu(std::shared_ptr<Menu> menu) = 0;
};

// The system status bar and the constructors of what goes into it.
class StatusBar {
public:
    StatusBar() = default;
    StatusBar(const StatusBar&) = delete;
    StatusBar& operator=(const StatusBar&) = delete;
    virtual ~StatusBar() = default;
    virtual std::shared_ptr<StatusItem> makeStatusItem(double length) = 0;
    virtual std::shared_ptr<Menu> makeMenu() = 0;
    virtual std::shared_ptr<MenuItem> makeItem(const std::string& title, const Selector& action,
                                               const std::string& keyEquivalent) = 0;
    virtual std::shared_ptr<MenuItem> makeSeparator() = 0;
    // An image from the application's resources; null when there is none by that name.
    virtual std::shared_ptr<Image> imageNamed(const std::string& name) = 0;
};

}  // namespace platform
