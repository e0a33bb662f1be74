#!/usr/bin/python3
"""Finds Melvaro's start screen on the accessibility bus and drives it as assistive
technology does: every page-0 button is there by name, pressing "Burn MP3 / Audio CD"
through its action shows the burn page, and pressing "Close" ends the program.

Usage: atspi_start_screen.py PID. Exits 0 when all of that holds."""
import sys
import time

import pyatspi

PAGE0 = ["Burn MP3 / Audio CD", "Build / Burn .ISO", "Erase Disc", "Split MP3", "Join MP3",
         "Edit MP3 ID3 TAG", "Help"]
PAGE1 = ["Burn Audio CD", "Burn MP3 disc", "Back"]
# How long the program may take to come up on the bus on a loaded machine.
PATIENCE_S = 120


def find_app(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            pass
    return None


def walk(node):
    """The node and what of it is on screen: hidden windows (the main window waits behind
    the start screen with its whole explorer tree) are passed over, not walked."""
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        try:
            if child is None or not child.getState().contains(pyatspi.STATE_SHOWING):
                continue
        except Exception:
            continue
        yield from walk(child)


def showing_buttons(app):
    names = {}
    for node in walk(app):
        try:
            if node.getRole() != pyatspi.ROLE_PUSH_BUTTON:
                continue
            if not node.getState().contains(pyatspi.STATE_SHOWING):
                continue
            names[node.name] = node
        except Exception:
            continue
    return names


def wait_for(what, probe):
    deadline = time.monotonic() + PATIENCE_S
    while time.monotonic() < deadline:
        result = probe()
        if result:
            return result
        time.sleep(0.2)
    sys.exit("never appeared: " + what)


def press(button):
    action = button.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "click"):
            action.doAction(i)
            return
    action.doAction(0)


def main():
    pid = int(sys.argv[1])
    app = wait_for("the program on the accessibility bus", lambda: find_app(pid))
    frames = [n for n in walk(app) if n.getRole() == pyatspi.ROLE_FRAME]
    titles = [f.name for f in frames]
    if not any(t.startswith("Melvaro V") for t in titles):
        wait_for("the start screen", lambda: any(
            n.getRole() == pyatspi.ROLE_FRAME and n.name.startswith("Melvaro V")
            for n in walk(find_app(pid))))
    buttons = wait_for("the page-0 buttons",
                       lambda: (lambda b: b if all(n in b for n in PAGE0) else None)(
                           showing_buttons(find_app(pid))))
    print("page 0:", ", ".join(sorted(n for n in buttons if n)))
    press(buttons["Burn MP3 / Audio CD"])
    buttons = wait_for("the burn page",
                       lambda: (lambda b: b if all(n in b for n in PAGE1) and
                                "Erase Disc" not in b else None)(showing_buttons(find_app(pid))))
    print("page 1:", ", ".join(sorted(n for n in buttons if n)))
    press(buttons["Back"])
    buttons = wait_for("page 0 again",
                       lambda: (lambda b: b if "Erase Disc" in b else None)(
                           showing_buttons(find_app(pid))))
    press(buttons["Close"])
    print("closed")


if __name__ == "__main__":
    main()
