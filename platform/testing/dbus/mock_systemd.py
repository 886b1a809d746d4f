'''A dbusmock template: the part of systemd's manager that launchctl and the unit watcher use.

Unlike the systemd template that ships with dbusmock, unit paths are escaped as systemd escapes
them (so systemctl finds them too), unknown units load as "not-found", and the test chooses how
each start job ends: SetUnit(name, load state, active state, start job result, exit status)
adds a unit or changes one, signalling the changed properties as systemd does for its
subscribers. Calls are checked in the mock's log.
'''

import dbus
from gi.repository import GLib

from dbusmock import MOCK_IFACE, mockobject

BUS_NAME = 'org.freedesktop.systemd1'
MAIN_OBJ = '/org/freedesktop/systemd1'
MAIN_IFACE = 'org.freedesktop.systemd1.Manager'
UNIT_IFACE = 'org.freedesktop.systemd1.Unit'
SERVICE_IFACE = 'org.freedesktop.systemd1.Service'
SYSTEM_BUS = True

NO_SUCH_UNIT = 'org.freedesktop.systemd1.NoSuchUnit'
JOB_MILLISECONDS = 50
FAILED_START_STATUS = 'auth-token is missing or empty'
SUB_STATES = {'active': 'running', 'inactive': 'dead'}


def load(mock, _parameters):
    mock.next_job_id = 1
    mock.start_results = {}
    mock.AddProperties(MAIN_IFACE, {'Version': 'v252'})


def unit_path(name):
    # Letters stay, and digits after the first character; every other byte becomes _xx.
    escaped = ''.join(c if c.isascii() and (c.isalpha() or (c.isdigit() and i > 0))
                      else f'_{ord(c):02x}' for i, c in enumerate(name))
    return f'{MAIN_OBJ}/unit/{escaped}'


def set_state(unit, active_state):
    # Only what changed, so a watcher can tell one property's change from another's.
    sub_state = SUB_STATES.get(active_state, active_state)
    old = unit.props[UNIT_IFACE]
    changed = {k: v for k, v in (('ActiveState', active_state), ('SubState', sub_state))
               if old[k] != v}
    if changed:
        unit.UpdateProperties(UNIT_IFACE, changed)


def set_unit(mock, name, load_state, active_state, exit_status):
    path = unit_path(name)
    unit = mockobject.objects.get(path)
    if unit is None:
        mock.AddObject(path, UNIT_IFACE, {
            'Id': name,
            'Names': [name],
            'LoadState': load_state,
            'ActiveState': active_state,
            'SubState': SUB_STATES.get(active_state, active_state),
        }, [])
        mockobject.objects[path].AddProperties(SERVICE_IFACE, {
            'ExecMainStatus': dbus.Int32(exit_status),
            'Result': 'success',
            'StatusText': '',
        })
        return
    if unit.props[UNIT_IFACE]['LoadState'] != load_state:
        unit.UpdateProperties(UNIT_IFACE, {'LoadState': load_state})
    set_state(unit, active_state)
    unit.props[SERVICE_IFACE]['ExecMainStatus'] = dbus.Int32(exit_status)


def loaded_unit(name):
    unit = mockobject.objects.get(unit_path(name))
    if unit is None or unit.props[UNIT_IFACE]['LoadState'] != 'loaded':
        raise dbus.exceptions.DBusException(f'Unit {name} not found.', name=NO_SUCH_UNIT)
    return unit


def queue_job(mock, name, result, active_state):
    job_id = mock.next_job_id
    mock.next_job_id += 1
    job = f'{MAIN_OBJ}/job/{job_id}'

    def removed():
        set_state(mockobject.objects[unit_path(name)], active_state)
        mock.EmitSignal(MAIN_IFACE, 'JobRemoved', 'uoss', [job_id, job, name, result])
        return False

    # A while after the reply, as systemd finishes a job later than it queues it: a caller that
    # does not wait for the job sees the old state.
    GLib.timeout_add(JOB_MILLISECONDS, removed)
    return job


@dbus.service.method(MOCK_IFACE, in_signature='ssssi')
def SetUnit(self, name, load_state, active_state, start_result, exit_status):
    set_unit(self, name, load_state, active_state, exit_status)
    self.start_results[name] = start_result


@dbus.service.method(MAIN_IFACE, in_signature='s', out_signature='o')
def LoadUnit(self, name):
    if unit_path(name) not in mockobject.objects:
        set_unit(self, name, 'not-found', 'inactive', 0)
    return unit_path(name)


@dbus.service.method(MAIN_IFACE, in_signature='ss', out_signature='o')
def StartUnit(self, name, _mode):
    loaded_unit(name)
    result = self.start_results[name]
    if result != 'done':
        # What a program that exits at once tells systemd of why, before it goes.
        mockobject.objects[unit_path(name)].props[SERVICE_IFACE].update(
            {'Result': 'exit-code', 'StatusText': FAILED_START_STATUS})
    return queue_job(self, name, result, 'active' if result == 'done' else 'failed')


@dbus.service.method(MAIN_IFACE, in_signature='ss', out_signature='o')
def StopUnit(self, name, _mode):
    loaded_unit(name)
    return queue_job(self, name, 'done', 'inactive')


def unit_file_changes(names, change):
    for name in names:
        loaded_unit(name)  # a unit without a file has nothing to link
    return [(change, f'/etc/systemd/system/multi-user.target.wants/{name}',
             f'/lib/systemd/system/{name}') for name in names]


@dbus.service.method(MAIN_IFACE, in_signature='asbb', out_signature='ba(sss)')
def EnableUnitFiles(self, names, _runtime, _force):
    return (True, unit_file_changes(names, 'symlink'))


@dbus.service.method(MAIN_IFACE, in_signature='asb', out_signature='a(sss)')
def DisableUnitFiles(self, names, _runtime):
    return unit_file_changes(names, 'unlink')


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='')
def Reload(self):
    pass


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='')
def Subscribe(self):
    pass  # signals go to every listener anyway; the log shows who asked
