#!/usr/bin/env python3
"""Looks at and drives the controller window in the real OBS through the accessibility bus (AT-SPI), as a screen
reader would.

Usage: atspi_window.py COMMAND [ARGS]
  sizes                 prints "NAME WIDTH HEIGHT" for every button of the controller window
  press NAME            runs the "Press" action of the control named NAME (the first action if it has none)
  checked NAME          exits 0 when the control named NAME is checked, 1 when it is not
  enabled NAME          exits 0 when the control named NAME can be used, 1 when it is disabled
  center NAME           prints the screen position of the middle of the control named NAME: X Y
  docked                exits 0 when the controller is docked in OBS's main window, 1 when it floats
  obs-press NAME        runs the first action of the entry or button named NAME anywhere in OBS (menus included)

Exits 2 when the window or the control is not found within the timeout (KAVREN_ATSPI_TIMEOUT, default 20 s).
Needs Debian's python3-pyatspi (run with /usr/bin/python3).
"""

import os
import sys
import time

import pyatspi

TITLE = "Kavren OBS Camera Controller"
# Roles by value: newer AT-SPI names the push button role "button".
BUTTONS = (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_CHECK_BOX)
ENTRIES = (pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_CHECK_MENU_ITEM, pyatspi.ROLE_PUSH_BUTTON)
TIMEOUT = float(os.environ.get("KAVREN_ATSPI_TIMEOUT", "20"))


def obs_application():
    # An OBS that ended may still be listed for a while: the one of KAVREN_OBS_PID when given, else the newest.
    wanted = int(os.environ.get("KAVREN_OBS_PID") or 0)
    desktop = pyatspi.Registry.getDesktop(0)
    for index in reversed(range(desktop.childCount)):
        try:
            app = desktop.getChildAtIndex(index)
            if app is None or "obs" not in (app.name or "").lower() or app.childCount == 0:
                continue
            if not wanted or app.get_process_id() == wanted:
                return app
        except Exception:
            continue
    return None


def controller_window():
    """The controller's floating window, or its dock inside OBS's main window."""
    app = obs_application()
    if app is None:
        return None
    try:
        tops = [app.getChildAtIndex(child) for child in range(app.childCount)]
        for top in tops:
            if top is not None and top.name == TITLE:
                return top
        for top in tops:
            for node in descendants(top):
                if node.name == TITLE and node.childCount > 0 and "menu" not in node.getRoleName():
                    return node
    except Exception:
        pass
    return None


def is_docked():
    window = wait_for(controller_window)
    return window.parent is not None and window.parent.getRoleName() != "application"


def obs_entry(name):
    def find():
        app = obs_application()
        if app is None:
            return None
        for node in descendants(app):
            if node.name == name and node.getRole() in ENTRIES:
                return node
        return None

    return wait_for(find)


def descendants(node):
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is None:
            continue
        yield child
        yield from descendants(child)


def wait_for(find):
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        found = find()
        if found is not None:
            return found
        time.sleep(0.1)
    sys.exit(2)


def control(name):
    def find():
        window = controller_window()
        if window is None:
            return None
        for node in descendants(window):
            if node.name == name:
                return node
        return None

    return wait_for(find)


def extents(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 1
    command, args = sys.argv[1], sys.argv[2:]
    if command == "sizes":
        window = wait_for(controller_window)
        for node in descendants(window):
            if node.getRole() in BUTTONS and node.name:
                _, _, width, height = extents(node)
                print("%s\t%d\t%d" % (node.name, width, height))
        return 0
    if command == "center":
        x, y, width, height = extents(control(args[0]))
        print("%d %d" % (x + width // 2, y + height // 2))
        return 0
    if command == "docked":
        return 0 if is_docked() else 1
    if command == "obs-press":
        obs_entry(args[0]).queryAction().doAction(0)
        return 0
    if command == "press":
        node = control(args[0])
        action = node.queryAction()
        names = [action.getName(index) for index in range(action.nActions)]
        action.doAction(names.index("Press") if "Press" in names else 0)
        return 0
    if command == "checked":
        return 0 if control(args[0]).getState().contains(pyatspi.STATE_CHECKED) else 1
    if command == "enabled":
        return 0 if control(args[0]).getState().contains(pyatspi.STATE_ENABLED) else 1
    print(__doc__, file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
