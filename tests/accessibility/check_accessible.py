#!/usr/bin/env python3
"""Drives the real program through the accessibility bus and fails on any showing
interactive control without a name.

    check_accessible.py PATH/TO/pelidor

The test starts everything it needs itself: a virtual X server (Xvfb), a private
session bus (dbus-daemon), which starts the accessibility bus (at-spi-bus-launcher) on
demand, and the program in a temporary home. Through AT-SPI (python3-pyatspi) it looks
at the main window, opens the settings pages, the backup manager, the about window and
a message dialog (the failed update check: the service's default address never
resolves) and checks every control in them. The windows behind the main menu are
opened as a keyboard user does: F10, Down until the entry has the focus, Enter. Last it
searches a small folder and ticks rows through the check box cells' toggle action.

Status 77 (skipped) when Xvfb, dbus-daemon or pyatspi is missing (scripts/bootstrap
installs them).
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

INTERACTIVE = {
    "push button", "toggle button", "check box", "radio button", "combo box", "text",
    "entry", "password text", "spin button", "slider", "list", "list box", "table",
    "tree table", "tree", "page tab", "link", "menu item", "check menu item",
    "radio menu item",
}
# Controls whose name comes from their content (the rows of a list) are not checked.
CONTENT = {"list item", "table cell", "tree item", "column header", "table column header"}


def outer(program):
    for tool in ("Xvfb", "dbus-daemon"):
        if shutil.which(tool) is None:
            print(f"SKIP: {tool} is not installed (scripts/bootstrap installs it)")
            return 77
    try:
        import pyatspi  # noqa: F401  (only whether it is there)
    except ImportError:
        print("SKIP: python3-pyatspi is not installed (scripts/bootstrap installs it)")
        return 77

    work = tempfile.mkdtemp(prefix="pelidor-a11y-")
    procs = []
    try:
        env = dict(os.environ)
        for d in ("home", "config", "data", "runtime"):
            os.makedirs(os.path.join(work, d), mode=0o700)
        env.update(HOME=os.path.join(work, "home"), XDG_CONFIG_HOME=os.path.join(work, "config"),
                   XDG_DATA_HOME=os.path.join(work, "data"),
                   XDG_RUNTIME_DIR=os.path.join(work, "runtime"))
        # Files for a real search: a.txt and b.txt are copies, c.txt a third copy in a
        # reference folder.
        data = os.path.join(work, "data")
        os.makedirs(os.path.join(data, "ref"))
        for name in ("a.txt", "b.txt", os.path.join("ref", "c.txt")):
            with open(os.path.join(data, name), "w") as f:
                f.write("the same words in every copy\n")
        os.makedirs(os.path.join(work, "config", "Pelidor"))
        with open(os.path.join(work, "config", "Pelidor", "Config.ini"), "w") as f:
            f.write(f"[InPath]\n{data}=\n[RefPath]\n{os.path.join(data, 'ref')}=\n")
        env.pop("QT_QPA_PLATFORM", None)
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        env.pop("AT_SPI_BUS_ADDRESS", None)

        # The X server picks a free display and tells it through a pipe.
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                                 "1280x1024x24", "-nolisten", "tcp"],
                                pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, env=env)
        procs.append(xvfb)
        os.close(write_fd)
        display = b""
        while not display.endswith(b"\n"):
            chunk = os.read(read_fd, 16)
            if not chunk:
                print("FAIL: Xvfb did not start")
                return 1
            display += chunk
        os.close(read_fd)
        env["DISPLAY"] = ":" + display.decode().strip()

        # A session bus of the test's own; it starts the accessibility bus when asked.
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
        procs.append(bus)
        env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
        if not env["DBUS_SESSION_BUS_ADDRESS"]:
            print("FAIL: dbus-daemon did not start")
            return 1

        # The accessibility bus is switched on, as a desktop does when a screen reader runs.
        subprocess.run(["dbus-send", "--session", "--dest=org.a11y.Bus", "--print-reply",
                        "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                        "string:org.a11y.Status", "string:IsEnabled", "variant:boolean:true"],
                       env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=30)
        env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        env["QT_ACCESSIBILITY"] = "1"

        app = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL,
                               stderr=open(os.path.join(work, "program.log"), "wb"))
        procs.append(app)
        inner = subprocess.run([sys.executable, os.path.abspath(__file__), "--inner"], env=env,
                               timeout=600)
        if inner.returncode != 0:
            with open(os.path.join(work, "program.log"), "rb") as log:
                sys.stdout.write(log.read().decode(errors="replace")[-3000:])
        return inner.returncode
    finally:
        for p in reversed(procs):
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        shutil.rmtree(work, ignore_errors=True)


# ---- Inside: the session the outer part made -------------------------------------------

def inner():
    import pyatspi

    def wait(what, find, seconds=60):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            try:
                found = find()
            except Exception:  # objects come and go while windows open
                found = None
            if found:
                return found
            time.sleep(0.2)
        # What the bus shows, to see why.
        for w in windows():
            print(f"{w.getRoleName()} '{w.name}' showing={showing(w)}")
            for o, path in walk(w):
                print("   ", " > ".join(path[:-1]), ">", o.getRoleName(), repr(o.name))
        raise SystemExit(f"FAIL: {what} did not appear")

    def application():
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            a = desktop.getChildAtIndex(i)
            if a is not None and a.name.lower() == "pelidor":
                return a
        return None

    def windows():
        a = application()
        if a is not None:
            # New windows are seen at once, not only through the bus's cache.
            a.clear_cache()
        return [a.getChildAtIndex(i) for i in range(a.childCount)] if a else []

    def showing(o):
        return o.getState().contains(pyatspi.STATE_SHOWING)

    def walk(o, path=()):
        for i in range(o.childCount):
            c = o.getChildAtIndex(i)
            if c is None:
                continue
            yield c, path + (c.getRoleName(),)
            if c.getRoleName() not in CONTENT:
                yield from walk(c, path + (f"{c.getRoleName()} '{c.name}'",))

    problems = []
    checked = []

    def check(window, what):
        count = 0
        for o, path in walk(window):
            role = o.getRoleName()
            if role in INTERACTIVE and showing(o):
                count += 1
                if not o.name.strip():
                    problems.append(f"{what}: {' > '.join(path)} has no name")
        checked.append(f"{what}: {count} controls")
        return count

    def find(root, role, name=None):
        for o, _ in walk(root):
            if o.getRoleName() == role and (name is None or o.name == name) and showing(o):
                return o
        return None

    def press(o):
        # Actions that open a modal window only answer when it closes: a child process
        # presses, so that this one goes on.
        action = o.queryAction()
        for i in range(action.nActions):
            if action.getName(i) in ("press", "click", "activate", "Press", "Click"):
                action.doAction(i)
                return
        action.doAction(0)

    def press_later(window_name, role, name):
        code = (
            "import pyatspi, sys\n"
            "d = pyatspi.Registry.getDesktop(0)\n"
            "a = [d.getChildAtIndex(i) for i in range(d.childCount)]\n"
            "a = [x for x in a if x is not None and x.name.lower() == 'pelidor'][0]\n"
            "def walk(o):\n"
            "    for i in range(o.childCount):\n"
            "        c = o.getChildAtIndex(i)\n"
            "        if c is not None:\n"
            "            yield c\n"
            "            yield from walk(c)\n"
            f"for o in walk(a):\n"
            f"    if o.getRoleName() == {role!r} and o.name == {name!r}:\n"
            "        o.queryAction().doAction(0)\n"
            "        break\n"
        )
        return subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def new_window(before, what):
        def appeared():
            for w in windows():
                # Any showing window but the main one (a closed dialog's object may be
                # used again for the next one).
                if w.getRoleName() == "frame" and w.name == "Pelidor":
                    continue
                if showing(w) and w.getRoleName() in ("dialog", "frame", "window", "alert"):
                    return w
            return None
        return wait(what, appeared)

    def close(window, names):
        for n in names:
            b = find(window, "push button", n)
            if b is not None:
                press(b)
                break
        else:
            pyatspi.Registry.generateKeyboardEvent(0xff1b, None, pyatspi.KEY_SYM)  # Escape
        wait(f"closing {window.name}", lambda: window not in windows() or not showing(window))

    # Keys reach the program through the accessibility bus (the X server's test
    # extension), to the active window; events of the bus (which menu entry has the
    # focus) are read by running the bus's main loop for a moment.
    from gi.repository import GLib

    focus_events = []

    def on_focus(event):
        try:
            if event.detail1 and event.source.getRoleName() == "menu item":
                focus_events.append(event.source.name)
        except Exception:  # the object may be gone already
            pass

    pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")

    renamed = []

    def on_rename(event):
        try:
            renamed.append(event.source.name)
        except Exception:
            pass

    pyatspi.Registry.registerEventListener(on_rename, "object:property-change:accessible-name")

    def pump(seconds):
        context = GLib.MainContext.default()
        end = time.monotonic() + seconds
        while True:
            while context.pending():
                context.iteration(False)
            if time.monotonic() >= end:
                return
            time.sleep(0.05)

    def key(sym):
        pyatspi.Registry.generateKeyboardEvent(sym, None, pyatspi.KEY_SYM)

    F5, F10, DOWN, RETURN = 0xffc2, 0xffc7, 0xff54, 0xff0d

    main = wait("the main window", lambda: next(
        (w for w in windows() if w.name == "Pelidor" and showing(w)), None))
    check(main, "main window")

    # Keys go to the active window. With no window manager nothing activates a window
    # when it appears; a click does (on a label, where a click does nothing else).
    def activate_main():
        if main.getState().contains(pyatspi.STATE_ACTIVE):
            return
        for o, _ in walk(main):
            if o.getRoleName() == "label" and showing(o):
                e = o.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                if e.width > 0 and e.height > 0:
                    pyatspi.Registry.generateMouseEvent(e.x + e.width // 2, e.y + e.height // 2,
                                                        pyatspi.MOUSE_B1C)
                    break
        wait("the main window to be active",
             lambda: main.getState().contains(pyatspi.STATE_ACTIVE))

    # The main menu from the keyboard (F10 opens it with its first entry active), then
    # Down until the entry has the focus, then Enter.
    def through_menu(entry, what):
        activate_main()
        focus_events.clear()
        key(F10)
        for _ in range(20):
            end = time.monotonic() + 15
            while not focus_events and time.monotonic() < end:
                pump(0.1)
            if not focus_events:
                raise SystemExit(f"FAIL: no menu entry took the focus on the way to {entry}")
            pump(0.3)  # the events of this key, all of them
            if focus_events[-1] == entry:
                break
            focus_events.clear()
            key(DOWN)
        else:
            raise SystemExit(f"FAIL: the main menu has no entry {entry}")
        key(RETURN)
        return new_window(None, what)

    def check_window(window, what):
        time.sleep(0.5)
        check(window, what)

    # The pages the main window's buttons open.
    for page, opener in (("settings page Path", "Choose the folders to search"),
                         ("settings page adv", "Advanced Settings")):
        before = windows()
        helper = press_later("", "push button", opener)
        window = new_window(before, page)
        check_window(window, page)
        close(window, ("Cancel",))
        helper.wait(60)

    # The windows behind the main menu.
    window = through_menu("Settings...", "settings page Sys")
    check_window(window, "settings page Sys")
    close(window, ("Cancel",))

    window = through_menu("Restore from Backup...", "the backup manager")
    check_window(window, "backup manager")
    close(window, ())

    window = through_menu("About Pelidor", "the about window")
    check_window(window, "about window")
    close(window, ("OK", "Close"))

    # The update check fails (the service's default address never resolves) and says so
    # in a message dialog.
    window = through_menu("Check for Updates", "the message dialog")
    check_window(window, "message dialog")
    # The message is there for the screen reader, not only the title and the buttons.
    texts = [o.name for o, _ in walk(window)] + [window.description]
    if not any(t.startswith("The update check failed:") for t in texts):
        problems.append("message dialog: its message is not exposed")
    close(window, ("OK",))

    # The results of a real search: a row's check box cell is a check box whose
    # toggle action ticks and unticks the row as a click does (the delete button and the
    # ticked line follow); a row in a reference folder has no box to tick.
    activate_main()
    renamed.clear()
    key(F5)
    table = wait("the results", lambda: next(
        (o for o, _ in walk(main) if o.getRoleName() == "table"
         and o.queryTable().nRows >= 3), None), seconds=120)
    check(main, "main window with results")
    # The summary line announces its new text; the progress bar is one, with its value.
    end = time.monotonic() + 20
    while not any(n.startswith("Search finished.") for n in renamed) and time.monotonic() < end:
        pump(0.1)
    if not any(n.startswith("Search finished.") for n in renamed):
        problems.append(f"main window: the summary line announced no change ({renamed[-5:]})")
    # (Hidden between searches: looked for whether showing or not.)
    bar = next((o for o, _ in walk(main) if o.getRoleName() == "progress bar"), None)
    if bar is None:
        problems.append("main window: no progress bar")
    else:
        value = bar.queryValue()
        if value.maximumValue < value.currentValue or value.currentValue < value.minimumValue:
            problems.append(f"main window: the progress bar says {value.currentValue} of "
                            f"{value.minimumValue} to {value.maximumValue}")
    grid = table.queryTable()
    cells = {grid.getAccessibleAt(r, 0).name: grid.getAccessibleAt(r, 0)
             for r in range(grid.nRows)}
    delete = find(main, "push button", "Delete Selected")

    def toggle(cell):
        action = cell.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        if "Toggle" not in names:
            return False
        action.doAction(names.index("Toggle"))
        return True

    def ticked_line():
        return next((o.name for o, _ in walk(main)
                     if o.getRoleName() == "label" and o.name.startswith("Ticked:")), "")

    for name in ("a.txt", "b.txt"):
        cell = cells.get(name)
        if cell is None:
            problems.append(f"results: no row for {name} ({sorted(cells)})")
            continue
        state = cell.getState()
        if cell.getRoleName() != "check box" or state.contains(pyatspi.STATE_CHECKED):
            problems.append(f"results: {name} is not an unticked check box "
                            f"({[pyatspi.stateToString(x) for x in state.getStates()]})")
        if not toggle(cell):
            problems.append(f"results: {name} has no toggle action")
            continue
        wait(f"{name} ticked", lambda: cell.getState().contains(pyatspi.STATE_CHECKED), 20)
    if delete is None:
        problems.append("results: no delete button (buttons: %s)" % [
            o.name for o, _ in walk(main) if o.getRoleName() == "push button"])
    else:
        wait("the delete button enabled",
             lambda: delete.getState().contains(pyatspi.STATE_ENABLED), 20)
    wait("the ticked line", lambda: ticked_line().startswith("Ticked: 2 files"), 20)
    toggle(cells["a.txt"])
    wait("a.txt unticked", lambda: not cells["a.txt"].getState().contains(pyatspi.STATE_CHECKED), 20)
    wait("the ticked line", lambda: ticked_line().startswith("Ticked: 1 file ("), 20)
    toggle(cells["b.txt"])
    wait("the delete button disabled",
         lambda: delete is None or not delete.getState().contains(pyatspi.STATE_ENABLED), 20)
    reference = cells.get("c.txt")
    if reference is None:
        problems.append("results: no row for the reference file c.txt")
    else:
        if reference.getRoleName() == "check box" or toggle(reference):
            problems.append("results: the reference row c.txt can be ticked")
    checked.append("results: check box cells ticked and unticked through their action")

    for line in checked:
        print(line)
    for p in problems:
        print("FAIL:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--inner":
        sys.exit(inner())
    if len(sys.argv) != 2:
        print(__doc__)
        sys.exit(2)
    sys.exit(outer(os.path.abspath(sys.argv[1])))
