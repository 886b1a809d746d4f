#include "platform/qt/status_notifier_item.h"

#include <QAction>
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QImage>
#include <QTimer>
#include <QtEndian>

#include "platform/log.h"
#include "platform/qt/qt_status_bar.h"

// The wire types of the two interfaces, as the panels expect them; their marshalling beside
// them, where Qt's templates find it.
namespace platform::qt::wire {

struct DbusImage {
    int width = 0;
    int height = 0;
    QByteArray pixels;  // ARGB32, each pixel in network byte order
};
using DbusImageList = QList<DbusImage>;

struct DbusToolTip {
    QString iconName;
    DbusImageList images;
    QString title;
    QString text;
};

struct DbusMenuLayout {
    int id = 0;
    QVariantMap properties;
    QList<DbusMenuLayout> children;
};

struct DbusMenuItemProperties {
    int id = 0;
    QVariantMap properties;
};
using DbusMenuItemPropertiesList = QList<DbusMenuItemProperties>;

struct DbusMenuItemKeys {
    int id = 0;
    QStringList names;
};
using DbusMenuItemKeysList = QList<DbusMenuItemKeys>;

struct DbusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DbusMenuEventList = QList<DbusMenuEvent>;

QDBusArgument& operator<<(QDBusArgument& out, const DbusImage& image) {
    out.beginStructure();
    out << image.width << image.height << image.pixels;
    out.endStructure();
    return out;
}
const QDBusArgument& operator>>(const QDBusArgument& in, DbusImage& image) {
    in.beginStructure();
    in >> image.width >> image.height >> image.pixels;
    in.endStructure();
    return in;
}
QDBusArgument& operator<<(QDBusArgument& out, const DbusToolTip& tip) {
    out.beginStructure();
    out << tip.iconName << tip.images << tip.title << tip.text;
    out.endStructure();
    return out;
}
const QDBusArgument& operator>>(const QDBusArgument& in, DbusToolTip& tip) {
    in.beginStructure();
    in >> tip.iconName >> tip.images >> tip.title >> tip.text;
    in.endStructure();
    return in;
}
QDBusArgument& operator<<(QDBusArgument& out, const DbusMenuLayout& layout) {
    out.beginStructure();
    out << layout.id << layout.properties;
    // Children travel as variants, each holding a layout of its own.
    out.beginArray(qMetaTypeId<QDBusVariant>());
    for (const DbusMenuLayout& child : layout.children)
        out << QDBusVariant(QVariant::fromValue(child));
    out.endArray();
    out.endStructure();
    return out;
}
const QDBusArgument& operator>>(const QDBusArgument& in, DbusMenuLayout& layout) {
    in.beginStructure();
    in >> layout.id >> layout.properties;
    in.beginArray();
    while (!in.atEnd()) {
        QDBusVariant child;
        in >> child;
        layout.children.append(qdbus_cast<DbusMenuLayout>(child.variant()));
    }
    in.endArray();
    in.endStructure();
    return in;
}
QDBusArgument& operator<<(QDBusArgument& out, const DbusMenuItemProperties& item) {
    out.beginStructure();
    out << item.id << item.properties;
    out.endStructure();
    return out;
}
const QDBusArgument& operator>>(const QDBusArgument& in, DbusMenuItemProperties& item) {
    in.beginStructure();
    in >> item.id >> item.properties;
    in.endStructure();
    return in;
}
QDBusArgument& operator<<(QDBusArgument& out, const DbusMenuItemKeys& item) {
    out.beginStructure();
    out << item.id << item.names;
    out.endStructure();
    return out;
}
const QDBusArgument& operator>>(const QDBusArgument& in, DbusMenuItemKeys& item) {
    in.beginStructure();
    in >> item.id >> item.names;
    in.endStructure();
    return in;
}
QDBusArgument& operator<<(QDBusArgument& out, const DbusMenuEvent& event) {
    out.beginStructure();
    out << event.id << event.eventId << event.data << event.timestamp;
    out.endStructure();
    return out;
}
const QDBusArgument& operator>>(const QDBusArgument& in, DbusMenuEvent& event) {
    in.beginStructure();
    in >> event.id >> event.eventId >> event.data >> event.timestamp;
    in.endStructure();
    return in;
}

}  // namespace platform::qt::wire

Q_DECLARE_METATYPE(platform::qt::wire::DbusImage)
Q_DECLARE_METATYPE(platform::qt::wire::DbusToolTip)
Q_DECLARE_METATYPE(platform::qt::wire::DbusMenuLayout)
Q_DECLARE_METATYPE(platform::qt::wire::DbusMenuItemProperties)
Q_DECLARE_METATYPE(platform::qt::wire::DbusMenuItemKeys)
Q_DECLARE_METATYPE(platform::qt::wire::DbusMenuEvent)

namespace {

using namespace platform::qt::wire;

void registerWireTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<DbusImage>();
        qDBusRegisterMetaType<DbusImageList>();
        qDBusRegisterMetaType<DbusToolTip>();
        qDBusRegisterMetaType<DbusMenuLayout>();
        qDBusRegisterMetaType<DbusMenuItemProperties>();
        qDBusRegisterMetaType<DbusMenuItemPropertiesList>();
        qDBusRegisterMetaType<DbusMenuItemKeys>();
        qDBusRegisterMetaType<DbusMenuItemKeysList>();
        qDBusRegisterMetaType<DbusMenuEvent>();
        qDBusRegisterMetaType<DbusMenuEventList>();
        qDBusRegisterMetaType<QList<int>>();
        return true;
    }();
    (void)registered;
}

constexpr char kWatcherInterface[] = "org.kde.StatusNotifierWatcher";
constexpr char kItemPath[] = "/StatusNotifierItem";
constexpr char kMenuPath[] = "/MenuBar";

DbusImageList pixmapsOf(const QIcon& icon) {
    DbusImageList images;
    for (const QSize& size : icon.availableSizes()) {
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        DbusImage wire{image.width(), image.height(), {}};
        wire.pixels.resize(qsizetype(image.width()) * image.height() * 4);
        auto* out = reinterpret_cast<quint32*>(wire.pixels.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) *out++ = qToBigEndian(line[x]);
        }
        images.append(wire);
    }
    return images;
}

// The menu marks mnemonics with "_"; a title's own underscores are doubled, Qt's "&" becomes "_".
QString menuLabel(const QString& text) {
    QString label;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == '_') {
            label += "__";
        } else if (c == '&' && i + 1 < text.size()) {
            label += text[++i] == '&' ? QChar('&') : QChar('_');
            if (text[i] != '&') label += text[i];
        } else {
            label += c;
        }
    }
    return label;
}

}  // namespace

namespace platform::qt {

using namespace wire;

class StatusNotifierItemAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconThemePath READ emptyName)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(QList<platform::qt::wire::DbusImage> IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ emptyName)
    Q_PROPERTY(QList<platform::qt::wire::DbusImage> OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ emptyName)
    Q_PROPERTY(QList<platform::qt::wire::DbusImage> AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ emptyName)
    Q_PROPERTY(platform::qt::wire::DbusToolTip ToolTip READ toolTip)

public:
    explicit StatusNotifierItemAdaptor(QObject* object, StatusNotifierItem& item)
        : QDBusAbstractAdaptor(object), item_(item) {}

    QString category() const { return "ApplicationStatus"; }
    QString id() const { return QCoreApplication::applicationName(); }
    QString title() const { return QGuiApplication::applicationDisplayName(); }
    QString status() const { return "Active"; }
    int windowId() const { return 0; }
    QString emptyName() const { return {}; }
    QDBusObjectPath menu() const { return QDBusObjectPath(kMenuPath); }
    // The panel draws the menu; a click asks for it through Activate.
    bool itemIsMenu() const { return false; }
    QString iconName() const { return item_.iconName_; }
    DbusImageList iconPixmap() const { return pixmapsOf(item_.icon_); }
    DbusImageList noPixmaps() const { return {}; }
    DbusToolTip toolTip() const { return {{}, {}, item_.toolTipTitle_, item_.toolTipText_}; }

public slots:
    void Activate(int x, int y) { popUp(x, y); }
    void ContextMenu(int x, int y) { popUp(x, y); }
    void SecondaryActivate(int, int) {}
    void Scroll(int, const QString&) {}

signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

private:
    // After the reply: the menu runs an event loop of its own while it shows.
    void popUp(int x, int y) {
        QTimer::singleShot(0, &item_, [item = &item_, x, y] {
            if (item->activated) item->activated(QPoint(x, y));
        });
    }

    StatusNotifierItem& item_;
};

// The types in signatures are spelled in full: QtDBus finds some of them by name.
class DbusMenuAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    explicit DbusMenuAdaptor(QObject* object, StatusNotifierItem& item)
        : QDBusAbstractAdaptor(object), item_(item) {}

    uint version() const { return 3; }
    QString textDirection() const {
        return QGuiApplication::layoutDirection() == Qt::RightToLeft ? "rtl" : "ltr";
    }
    QString status() const { return "normal"; }
    QStringList iconThemePath() const { return {}; }

    // The properties of one entry; the root (0) holds the items.
    QVariantMap propertiesOf(int id, const QStringList& names) const {
        QVariantMap properties;
        if (id == 0) {
            properties["children-display"] = "submenu";
        } else if (QAction* action = item_.actionOf(id)) {
            properties["visible"] = action->isVisible();
            if (action->isSeparator()) {
                properties["type"] = "separator";
            } else {
                properties["label"] = menuLabel(action->text());
                properties["enabled"] = enabledOf(action);
                if (action->isCheckable()) {
                    properties["toggle-type"] = "checkmark";
                    properties["toggle-state"] = action->isChecked() ? 1 : 0;
                }
            }
        }
        if (names.isEmpty()) return properties;
        QVariantMap asked;
        for (const QString& name : names) {
            if (properties.contains(name)) asked[name] = properties[name];
        }
        return asked;
    }

public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& names,
                   platform::qt::wire::DbusMenuLayout& layout) {
        layout = {parentId, propertiesOf(parentId, names), {}};
        if (parentId == 0 && recursionDepth != 0 && item_.menu_) {
            for (const auto& entry : item_.menu_->qtItems()) {
                const int id = item_.idOf(entry->qaction());
                layout.children.append({id, propertiesOf(id, names), {}});
                if (names.isEmpty()) item_.sent_[id] = layout.children.back().properties;
            }
        }
        return item_.revision_;
    }
    QList<platform::qt::wire::DbusMenuItemProperties> GetGroupProperties(const QList<int>& ids,
                                                                         const QStringList& names) {
        DbusMenuItemPropertiesList list;
        const QList<int> wanted = ids.isEmpty() ? allIds() : ids;
        for (int id : wanted) {
            if (id == 0 || item_.actionOf(id)) list.append({id, propertiesOf(id, names)});
        }
        return list;
    }
    QDBusVariant GetProperty(int id, const QString& name) {
        return QDBusVariant(propertiesOf(id, {}).value(name));
    }
    void Event(int id, const QString& eventId, const QDBusVariant&, uint) { handle(id, eventId); }
    QList<int> EventGroup(const QList<platform::qt::wire::DbusMenuEvent>& events) {
        QList<int> unknown;
        for (const DbusMenuEvent& event : events) {
            if (!handle(event.id, event.eventId)) unknown.append(event.id);
        }
        return unknown;
    }
    bool AboutToShow(int) { return false; }
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& unknown) {
        for (int id : ids) {
            if (id != 0 && !item_.actionOf(id)) unknown.append(id);
        }
        return {};
    }

signals:
    void ItemsPropertiesUpdated(const QList<platform::qt::wire::DbusMenuItemProperties>& updated,
                                const QList<platform::qt::wire::DbusMenuItemKeys>& removed);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    bool enabledOf(QAction* action) const {
        if (item_.menu_) {
            for (const auto& entry : item_.menu_->qtItems()) {
                if (entry->qaction() == action) return entry->isEnabled();
            }
        }
        return action->isEnabled();
    }
    QList<int> allIds() {
        QList<int> ids{0};
        if (item_.menu_) {
            for (const auto& entry : item_.menu_->qtItems())
                ids.append(item_.idOf(entry->qaction()));
        }
        return ids;
    }
    // A click on an item that can be clicked; false when there is no such item.
    bool handle(int id, const QString& eventId) {
        QAction* action = item_.actionOf(id);
        if (!action) return id == 0;
        if (eventId == "clicked" && action->isVisible() && enabledOf(action) &&
            !action->isSeparator()) {
            // After the reply: an action may open a dialog that waits for a person.
            QTimer::singleShot(0, action, [action] { action->trigger(); });
        }
        return true;
    }

    StatusNotifierItem& item_;
};

StatusNotifierItem::StatusNotifierItem() {
    registerWireTypes();
    itemAdaptor_ = new StatusNotifierItemAdaptor(&itemObject_, *this);
    menuAdaptor_ = new DbusMenuAdaptor(&menuObject_, *this);
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    static int count = 0;
    const QString name = QString("org.kde.StatusNotifierItem-%1-%2")
                             .arg(QCoreApplication::applicationPid())
                             .arg(++count);
    if (!bus.registerObject(kItemPath, &itemObject_, QDBusConnection::ExportAdaptors) ||
        !bus.registerObject(kMenuPath, &menuObject_, QDBusConnection::ExportAdaptors) ||
        !bus.registerService(name)) {
        platform::log("Could not export the status icon on the session bus: " +
                      bus.lastError().message().toStdString());
        bus.unregisterObject(kItemPath);
        bus.unregisterObject(kMenuPath);
        return;
    }
    serviceName_ = name;
}

StatusNotifierItem::~StatusNotifierItem() {
    auto bus = QDBusConnection::sessionBus();
    if (serviceName_.isEmpty()) return;
    // The watcher drops the item when its name goes.
    bus.unregisterService(serviceName_);
    bus.unregisterObject(kItemPath);
    bus.unregisterObject(kMenuPath);
}

void StatusNotifierItem::registerWith(const QString& owner, int registrations) {
    if ((owner == registeredWith_ && registrations == registrations_) || serviceName_.isEmpty())
        return;
    registeredWith_ = owner;
    registrations_ = registrations;
    if (owner.isEmpty()) return;
    auto call = QDBusMessage::createMethodCall(owner, "/StatusNotifierWatcher", kWatcherInterface,
                                               "RegisterStatusNotifierItem");
    call << serviceName_;
    auto* pending =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, owner](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                if (!done->isError()) return;
                platform::log("The status notifier watcher refused the status icon: " +
                              done->error().message().toStdString());
                // Asked again when the watcher changes.
                if (registeredWith_ == owner) registeredWith_.clear();
            });
}

void StatusNotifierItem::setIcon(const QIcon& icon, const QString& iconName) {
    if (icon.cacheKey() == iconKey_ && iconName == iconName_) return;
    icon_ = icon;
    iconKey_ = icon.cacheKey();
    iconName_ = iconName;
    emit itemAdaptor_->NewIcon();
}

void StatusNotifierItem::setToolTip(const QString& title, const QString& text) {
    if (title == toolTipTitle_ && text == toolTipText_) return;
    toolTipTitle_ = title;
    toolTipText_ = text;
    emit itemAdaptor_->NewToolTip();
}

void StatusNotifierItem::setMenu(QtMenu* menu) {
    menu_ = menu;
    if (menu_) menu_->itemsChanged = [this] { menuChanged(); };
    menuChanged();
}

int StatusNotifierItem::idOf(QAction* action) {
    auto found = ids_.constFind(action);
    if (found != ids_.constEnd()) return *found;
    const int id = int(ids_.size()) + 1;
    ids_.insert(action, id);
    connect(action, &QAction::changed, this, [this, action] { actionChanged(action); });
    return id;
}

QAction* StatusNotifierItem::actionOf(int id) const {
    if (!menu_) return nullptr;
    for (const auto& entry : menu_->qtItems()) {
        if (ids_.value(entry->qaction()) == id) return entry->qaction();
    }
    return nullptr;
}

void StatusNotifierItem::menuChanged() {
    if (menu_) {
        for (const auto& entry : menu_->qtItems()) idOf(entry->qaction());
    }
    layoutChanged_ = true;
    flushChanges();
}

void StatusNotifierItem::actionChanged(QAction* action) {
    changed_.insert(ids_.value(action));
    flushChanges();
}

// Changes made together (a refresh sets several items) go out as one signal, after they are made.
void StatusNotifierItem::flushChanges() {
    if (flushQueued_) return;
    flushQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        flushQueued_ = false;
        if (layoutChanged_) {
            layoutChanged_ = false;
            changed_.clear();
            emit menuAdaptor_->LayoutUpdated(++revision_, 0);
            return;
        }
        // A refresh may set a title and set it back: only what differs from what the panel
        // last read is sent.
        DbusMenuItemPropertiesList updated;
        for (int id : std::as_const(changed_)) {
            if (!actionOf(id)) continue;
            QVariantMap properties = menuAdaptor_->propertiesOf(id, {});
            if (sent_.value(id) == properties) continue;
            sent_[id] = properties;
            updated.append({id, properties});
        }
        changed_.clear();
        if (!updated.isEmpty()) emit menuAdaptor_->ItemsPropertiesUpdated(updated, {});
    });
}

}  // namespace platform::qt

#include "status_notifier_item.moc"
