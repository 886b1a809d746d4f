'''What a panel's host sees of the app on the session bus, waited for on signals, never polled.

  probe.py registered SECONDS    waits until a status notifier watcher has an item of a running
                                 app registered after now; prints the milliseconds from the
                                 watcher's arrival (or from now, when it was there) to that,
                                 after a line "ready" once it listens
  probe.py menu                  the registered item's menu, one row per entry: its label,
                                 " (off)" when disabled, " (on)" when checked, "-" a separator
  probe.py icon                  the item's IconName and the sizes of its pixmaps
  probe.py click LABEL           clicks the menu entry LABEL as a panel does (Event "clicked")
  probe.py activate              a left click on the item (Activate)
Exits 1 with a line on standard error when what it waits for does not come in time.
'''
import sys
import time

import dbus
import dbus.mainloop.glib
from gi.repository import GLib

WATCHER = 'org.kde.StatusNotifierWatcher'
ITEM_IFACE = 'org.kde.StatusNotifierItem'
MENU_IFACE = 'com.canonical.dbusmenu'
PREFIX = 'org.kde.StatusNotifierItem-'

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()


def registered_items():
    try:
        watcher = bus.get_object(WATCHER, '/StatusNotifierWatcher')
        items = watcher.Get(WATCHER, 'RegisteredStatusNotifierItems',
                            dbus_interface=dbus.PROPERTIES_IFACE)
    except dbus.DBusException:
        return []
    return [str(i) for i in items if str(i).split('/')[0].startswith(PREFIX)]


def app_item():
    items = registered_items()
    if not items:
        sys.exit('no item of the app is registered with the watcher')
    name = items[-1].split('/')[0]
    return name, bus.get_object(name, '/StatusNotifierItem')


def owned(items):
    return [i for i in items if bus.name_has_owner(i.split('/')[0])]


def wait_registered(seconds):
    """The watcher's word that an item of a running app registered: its signal, or, for a
    watcher that arrives after now, its list once it is there. An item registered before now
    does not count, so an earlier instance's leftover cannot pass for the one awaited."""
    loop = GLib.MainLoop()
    started = 0
    arrived = [None]
    result = []

    def done():
        result.append((time.monotonic() - (arrived[0] or started)) * 1000)
        loop.quit()

    def registered(service):
        # Only the app registers items in these sessions; the name must be a running one.
        if owned([str(service)]) and not result:
            done()

    def owner_changed(name, _old, new):
        if name == WATCHER and new:
            arrived[0] = time.monotonic()
            GLib.idle_add(check_list)

    def check_list():
        if arrived[0] is not None and owned(registered_items()) and not result:
            done()

    bus.add_signal_receiver(owner_changed, 'NameOwnerChanged', 'org.freedesktop.DBus')
    bus.add_signal_receiver(registered, 'StatusNotifierItemRegistered', WATCHER)
    GLib.timeout_add(int(seconds * 1000), loop.quit)
    # Listening now: the caller may start what it waits for.
    bus.get_object('org.freedesktop.DBus', '/org/freedesktop/DBus').GetId(
        dbus_interface='org.freedesktop.DBus')
    started = time.monotonic()
    print('ready', flush=True)
    loop.run()
    if not result:
        sys.exit('the item did not register within %s s' % seconds)
    print('%.0f' % result[0])


def row(properties):
    if properties.get('type') == 'separator':
        return '-'
    text = str(properties.get('label', '')).replace('__', '_')
    if properties.get('toggle-state') == 1:
        text += ' (on)'
    if not properties.get('enabled', True):
        text += ' (off)'
    return text


def menu():
    name, item = app_item()
    path = item.Get(ITEM_IFACE, 'Menu', dbus_interface=dbus.PROPERTIES_IFACE)
    menu = bus.get_object(name, path)
    _, layout = menu.GetLayout(0, -1, dbus.Array([], signature='s'), dbus_interface=MENU_IFACE)
    for child in layout[2]:
        if child[1].get('visible', True):
            print(row(child[1]))


def icon():
    _, item = app_item()
    get = lambda p: item.Get(ITEM_IFACE, p, dbus_interface=dbus.PROPERTIES_IFACE)
    print(get('IconName'), ' '.join('%dx%d' % (p[0], p[1]) for p in get('IconPixmap')))


def click(label):
    name, item = app_item()
    path = item.Get(ITEM_IFACE, 'Menu', dbus_interface=dbus.PROPERTIES_IFACE)
    menu = bus.get_object(name, path)
    _, layout = menu.GetLayout(0, -1, dbus.Array([], signature='s'), dbus_interface=MENU_IFACE)
    for child in layout[2]:
        if row(child[1]) == label or str(child[1].get('label', '')) == label:
            menu.Event(child[0], 'clicked', dbus.Int32(0, variant_level=1), dbus.UInt32(0),
                       dbus_interface=MENU_IFACE)
            return
    sys.exit('no entry ' + label)


if __name__ == '__main__':
    command = sys.argv[1]
    if command == 'registered':
        wait_registered(float(sys.argv[2]))
    elif command == 'menu':
        menu()
    elif command == 'icon':
        icon()
    elif command == 'click':
        click(sys.argv[2])
    elif command == 'activate':
        app_item()[1].Activate(0, 0, dbus_interface=ITEM_IFACE)
    else:
        sys.exit(__doc__)
