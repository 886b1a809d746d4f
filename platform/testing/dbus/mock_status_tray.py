'''A dbusmock template: a status notifier watcher with a host, as a panel that shows status icons
has on the session bus. It keeps the items that register, and MenuRows reads the newest one's
exported menu the way a panel would, one row per item: its label, " (on)" when checked,
" (off)" when disabled, " (hidden)" when not shown; "-" for a separator. Click sends the menu a
click on the item of a label, ItemTexts reads the item's tooltip text and icon name, as a panel does; NewIcons
counts the icons items have sent.
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
    mock.new_icons = 0

    def counted(*_arguments):
        mock.new_icons += 1
    dbus.SessionBus().add_signal_receiver(counted, signal_name='NewIcon', dbus_interface=ITEM_IFACE)
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


def newest_menu(mock):
    bus = dbus.SessionBus()
    name = mock.items[-1]
    item = bus.get_object(name, '/StatusNotifierItem')
    path = item.Get(ITEM_IFACE, 'Menu', dbus_interface=dbus.PROPERTIES_IFACE)
    menu = bus.get_object(name, path)
    _, layout = menu.GetLayout(0, -1, dbus.Array([], signature='s'), dbus_interface=MENU_IFACE)
    return item, menu, layout[2]


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='as')
def MenuRows(self):
    if not self.items:
        return dbus.Array([], signature='s')
    return dbus.Array([row(child[1]) for child in newest_menu(self)[2]], signature='s')


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def Click(self, label):
    _, menu, children = newest_menu(self)
    for child in children:
        if child[1].get('label') == label:
            menu.Event(child[0], 'clicked', dbus.Int32(0, variant_level=1), dbus.UInt32(0),
                       dbus_interface=MENU_IFACE)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='as')
def ItemTexts(self):
    item = newest_menu(self)[0]
    tip = item.Get(ITEM_IFACE, 'ToolTip', dbus_interface=dbus.PROPERTIES_IFACE)
    return [tip[3], item.Get(ITEM_IFACE, 'IconName', dbus_interface=dbus.PROPERTIES_IFACE)]


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='i')
def NewIcons(self):
    return self.new_icons
