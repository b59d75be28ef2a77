#!/usr/bin/env python3
"""Looks at and drives the controller window in the real OBS through the accessibility bus (AT-SPI), as a screen
reader would.

Usage: atspi_window.py COMMAND [ARGS]
  sizes                 prints "NAME WIDTH HEIGHT" for every button of the controller window
  press NAME            runs the "Press" action of the control named NAME (the first action if it has none)
  checked NAME          exits 0 when the control named NAME is checked, 1 when it is not
  enabled NAME          exits 0 when the control named NAME can be used, 1 when it is disabled
  text NAME             prints the text of the label or field named NAME
  window                prints the controller window's position and size: X Y WIDTH HEIGHT

Exits 2 when the window or the control is not found within the timeout (KAVREN_ATSPI_TIMEOUT, default 20 s).
Needs Debian's python3-pyatspi (run with /usr/bin/python3).
"""

import os
import sys
import time

import pyatspi

TITLE = "Kavren OBS Camera Controller"
TIMEOUT = float(os.environ.get("KAVREN_ATSPI_TIMEOUT", "20"))


def controller_window():
    # An OBS that ended may still be listed for a while; the newest one is looked at first and a gone one skipped.
    desktop = pyatspi.Registry.getDesktop(0)
    for index in reversed(range(desktop.childCount)):
        try:
            app = desktop.getChildAtIndex(index)
            if app is None or "obs" not in (app.name or "").lower():
                continue
            for child in range(app.childCount):
                top = app.getChildAtIndex(child)
                if top is not None and top.name == TITLE:
                    return top
        except Exception:
            continue
    return None


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
            if node.getRoleName() in ("push button", "check box") and node.name:
                _, _, width, height = extents(node)
                print("%s\t%d\t%d" % (node.name, width, height))
        return 0
    if command == "window":
        print("%d %d %d %d" % extents(wait_for(controller_window)))
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
    if command == "text":
        node = control(args[0])
        try:
            text = node.queryText()
            print(text.getText(0, text.characterCount))
        except NotImplementedError:
            print(node.name)
        return 0
    print(__doc__, file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
