#pragma once

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QSet>
#include <QString>
#include <QVariantMap>
#include <functional>

class QAction;

namespace platform::qt {

class QtMenu;
class StatusNotifierItemAdaptor;
class DbusMenuAdaptor;

// A status icon and its menu exported on the session bus the way panels read them: the item at
// /StatusNotifierItem, its menu at /MenuBar, under a bus name of its own, registered with each
// status notifier watcher that comes. Qt's own tray picks once per process between this and an
// X11 embedded icon, so a panel that comes after the app would never see it; this one follows
// the watcher for the whole run. The name goes with the object, which is how the watcher learns
// that the item left.
class StatusNotifierItem : public QObject {
    Q_OBJECT

public:
    StatusNotifierItem();
    ~StatusNotifierItem() override;
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    // The bus name the item is exported under; empty when the session bus refused it.
    const QString& serviceName() const { return serviceName_; }
    // Registers with the watcher owned by `owner` (a unique bus name), unless already registered
    // with that very one under the same count of `registrations`; empty: there is none.
    void registerWith(const QString& owner, int registrations = 0);
    const QString& registeredWith() const { return registeredWith_; }

    // Changes are signalled only when something changed, so an unchanged refresh sends nothing.
    void setIcon(const QIcon& icon, const QString& iconName);
    void setToolTip(const QString& title, const QString& text);
    void setMenu(QtMenu* menu);

    // A left click (Activate) or a request for the menu (ContextMenu), where the panel says.
    std::function<void(QPoint)> activated;

private:
    friend class StatusNotifierItemAdaptor;
    friend class DbusMenuAdaptor;

    int idOf(QAction* action);
    QAction* actionOf(int id) const;
    void menuChanged();
    void actionChanged(QAction* action);
    void flushChanges();

    QString serviceName_;
    QString registeredWith_;
    int registrations_ = 0;
    QObject itemObject_;
    QObject menuObject_;
    StatusNotifierItemAdaptor* itemAdaptor_ = nullptr;
    DbusMenuAdaptor* menuAdaptor_ = nullptr;
    QIcon icon_;
    QString iconName_;
    qint64 iconKey_ = 0;
    QString toolTipTitle_;
    QString toolTipText_;
    QtMenu* menu_ = nullptr;
    QHash<QAction*, int> ids_;
    QSet<int> changed_;
    // Each item's properties as last sent or read.
    QHash<int, QVariantMap> sent_;
    bool layoutChanged_ = false;
    bool flushQueued_ = false;
    unsigned revision_ = 1;
};

}  // namespace platform::qt
