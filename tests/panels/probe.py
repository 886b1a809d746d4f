'''What a panel's host sees of the app on the session bus, waited for on signals, never polled.

  probe.py registered SECONDS    waits until the status notifier watcher has the app's item
                                 registered; prints the milliseconds from the watcher's arrival
                                 (or from now, when it is already there) to the registration
  probe.py menu                  the registered item's menu, one row per entry: its label,
                                 " (off)" when disabled, " (on)" when checked, "-" a separator
  probe.py icon                  the item's IconName and the sizes of its pixmaps
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


def wait_registered(seconds):
    loop = GLib.MainLoop()
    arrived = [time.monotonic() if bus.name_has_owner(WATCHER) else None]
    result = []

    def check(*_):
        if arrived[0] is not None and registered_items():
            result.append((time.monotonic() - arrived[0]) * 1000)
            loop.quit()

    def owner_changed(name, _old, new):
        if name == WATCHER and new:
            arrived[0] = time.monotonic()
        check()

    bus.add_signal_receiver(owner_changed, 'NameOwnerChanged', 'org.freedesktop.DBus')
    bus.add_signal_receiver(check, 'StatusNotifierItemRegistered', WATCHER)
    GLib.idle_add(check)
    GLib.timeout_add(int(seconds * 1000), loop.quit)
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


if __name__ == '__main__':
    command = sys.argv[1]
    if command == 'registered':
        wait_registered(float(sys.argv[2]))
    elif command == 'menu':
        menu()
    elif command == 'icon':
        icon()
    else:
        sys.exit(__doc__)
