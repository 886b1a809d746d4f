'''A dbusmock template: polkit's authority, as the helper asks it.

Each action has an outcome the test sets with SetOutcome(action, outcome): "allow", "deny"
(the default), "dismiss" (the person closed the dialog) or "hang" (a dialog nobody answers).
A hanging check ends only when its caller cancels it (CancelCheckAuthorization with the same
cancellation id, from the same connection), with polkit's Cancelled error. SetAllowed(actions)
allows those actions. Calls are checked in the mock's log.
'''

import dbus

from dbusmock import MOCK_IFACE

BUS_NAME = 'org.freedesktop.PolicyKit1'
MAIN_OBJ = '/org/freedesktop/PolicyKit1/Authority'
MAIN_IFACE = 'org.freedesktop.PolicyKit1.Authority'
SYSTEM_BUS = True

CANCELLED = 'org.freedesktop.PolicyKit1.Error.Cancelled'


def load(mock, _parameters):
    mock.outcomes = {}
    mock.hanging = {}


@dbus.service.method(MAIN_IFACE, in_signature='(sa{sv})sa{ss}us', out_signature='(bba{ss})',
                     sender_keyword='sender', async_callbacks=('ok', 'error'))
def CheckAuthorization(self, _subject, action, _details, _flags, cancellation_id, sender=None,
                       ok=None, error=None):
    outcome = self.outcomes.get(action, 'deny')
    if outcome == 'hang':
        self.hanging[(sender, cancellation_id)] = error
    elif outcome == 'dismiss':
        ok((False, True, {'polkit.dismissed': 'true'}))
    else:
        ok((outcome == 'allow', False, dbus.Dictionary({}, signature='ss')))


@dbus.service.method(MAIN_IFACE, in_signature='s', sender_keyword='sender')
def CancelCheckAuthorization(self, cancellation_id, sender=None):
    error = self.hanging.pop((sender, cancellation_id), None)
    if error is None:
        raise dbus.exceptions.DBusException('No such check', name='org.freedesktop.PolicyKit1.Error.Failed')
    error(dbus.exceptions.DBusException('The check was cancelled', name=CANCELLED))


@dbus.service.method(MOCK_IFACE, in_signature='ss')
def SetOutcome(self, action, outcome):
    self.outcomes[action] = outcome


@dbus.service.method(MOCK_IFACE, in_signature='as')
def SetAllowed(self, actions):
    for action in actions:
        self.outcomes[action] = 'allow'
