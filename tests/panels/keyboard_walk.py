'''The wizard's first step walked with Tab and Shift+Tab over the accessibility bus, as a screen
reader follows it: each key must move the focus to the next control of the step, every control
that takes focus must be one a person sees, and nothing hidden may claim the focus.
Prints "ok" and the walk, or what went wrong; exits 1 on a fault.'''

import subprocess
import sys
import time

import gi
gi.require_version('Atspi', '2.0')
from gi.repository import Atspi, GLib  # noqa: E402

APP = 'orvane Storage Gateway'
WINDOW = 'Setup Wizard'
# The first step of a fresh setup: Next, then Cancel, then round again.
FORWARD = ['Cancel', 'Next', 'Cancel']
BACKWARD = ['Next', 'Cancel', 'Next']


def wait_for(what, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        found = what()
        if found is not None:
            return found
        time.sleep(0.1)
    return None


def children(node):
    return [c for c in (node.get_child_at_index(i) for i in range(node.get_child_count())) if c]


def descendants(node):
    yield node
    for child in children(node):
        yield from descendants(child)


def has(node, state):
    return node.get_state_set().contains(state)


def window():
    desktop = Atspi.get_desktop(0)
    for app in children(desktop):
        if app.get_name() == APP:
            for top in children(app):
                if top.get_name() == WINDOW and has(top, Atspi.StateType.SHOWING):
                    return top
    return None


def main():
    wizard = wait_for(window, 30)
    if wizard is None:
        print(f'no "{WINDOW}" window on the accessibility bus')
        return 1
    # Without a window manager the window gets the keyboard only when given it.
    subprocess.run(['xdotool', 'search', '--sync', '--onlyvisible', '--name', f'^{WINDOW}$',
                    'windowfocus', '--sync'], check=True, timeout=10)
    focused = []

    def heard(event):
        if event.detail1 == 1:
            focused.append((event.source.get_name(), has(event.source, Atspi.StateType.SHOWING)))
    listener = Atspi.EventListener.new(heard)
    listener.register('object:state-changed:focused')
    context = GLib.MainContext.default()

    def key(name):
        before = len(focused)
        subprocess.run(['xdotool', 'key', name], check=True, timeout=10)
        end = time.monotonic() + 5
        while len(focused) == before and time.monotonic() < end:
            context.iteration(False)
            time.sleep(0.01)
        return focused[-1] if len(focused) > before else (None, False)

    faults = []
    walk = []
    for name, expected in [('Tab', n) for n in FORWARD] + [('shift+Tab', n) for n in BACKWARD]:
        control, showing = key(name)
        walk.append(f'{name}->{control}')
        if control != expected:
            faults.append(f'{name} focused {control!r}, not {expected!r}')
        if control is not None and not showing:
            faults.append(f'{name} focused {control!r}, which is not shown')
    claimed = [n.get_name() or n.get_role_name() for n in descendants(wizard)
               if has(n, Atspi.StateType.FOCUSED) and not has(n, Atspi.StateType.SHOWING)]
    if claimed:
        faults.append(f'hidden controls claim the focus: {claimed}')
    if faults:
        print('; '.join(faults) + ' (walk: ' + ' '.join(walk) + ')')
        return 1
    print('ok ' + ' '.join(walk))
    return 0


if __name__ == '__main__':
    sys.exit(main())
