'''A dbusmock template: a status notifier watcher with a host, as a panel that shows status icons
has on the session bus. It keeps the items that register, and MenuRows reads the newest one's
exported menu the way a panel would, one row per item: its label, " (on)" when checked,
" (off)" when disabled, " (hidden)" when not shown; "-" for a separator.
'''

import dbus

from dbusmock import MOCK_IFACE

BUS_NAME = 'org.kde.StatusNotifierWatcher'
MAIN_OBJ = '/StatusNotifierWatcher'
MAIN_IFACE = 'org.kde.StatusNotifierWatcher'
SYSTEM_BUS = False

ITEM_IFACE = 'org.kde.StatusNotifierItem'
MENU_IFACE = 'com.canonical.dbusmenu'


def load(mock, _parameters):
    mock.items = []
    mock.AddProperties(MAIN_IFACE, {
        'IsStatusNotifierHostRegistered': dbus.Boolean(True),
        'ProtocolVersion': dbus.Int32(0),
    })


@dbus.service.method(MAIN_IFACE, in_signature='s')
def RegisterStatusNotifierItem(self, service):
    self.items.append(service)


@dbus.service.method(MAIN_IFACE, in_signature='s')
def RegisterStatusNotifierHost(self, _service):
    pass


def row(properties):
    if properties.get('type') == 'separator':
        text = '-'
    else:
        text = str(properties.get('label', ''))
        if properties.get('toggle-state') == 1:
            text += ' (on)'
        if not properties.get('enabled', True):
            text += ' (off)'
    if not properties.get('visible', True):
        text += ' (hidden)'
    return text


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='as')
def MenuRows(self):
    if not self.items:
        return dbus.Array([], signature='s')
    bus = dbus.SessionBus()
    name = self.items[-1]
    item = bus.get_object(name, '/StatusNotifierItem')
    path = item.Get(ITEM_IFACE, 'Menu', dbus_interface=dbus.PROPERTIES_IFACE)
    menu = bus.get_object(name, path)
    _, layout = menu.GetLayout(0, -1, dbus.Array([], signature='s'), dbus_interface=MENU_IFACE)
    return dbus.Array([row(child[1]) for child in layout[2]], signature='s')
