#!/usr/bin/python3
"""A desktop notification server for tests: org.freedesktop.Notifications on
the session bus that records every call and, when told to, acts as a person
would: presses an action, or dismisses a notification.

    notification_server.py RECORD-FILE

Each Notify and CloseNotification call is appended to RECORD-FILE as one JSON
line. A second interface on the same object drives it:

    io.vesperline.test.NotificationControl.InvokeAction(u id, s action)
        emits ActionInvoked(id, action), then NotificationClosed(id, 2)
    io.vesperline.test.NotificationControl.Dismiss(u id)
        emits NotificationClosed(id, 2)

It exits when the bus goes away, or on SIGTERM.
"""

import json
import signal
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"
CONTROL = "io.vesperline.test.NotificationControl"
DISMISSED = 2
CLOSED_BY_CALL = 3


def plain(value):
    """D-Bus values as JSON ones."""
    if isinstance(value, (dbus.Boolean, bool)):
        return bool(value)
    if isinstance(value, (int, dbus.Byte)):
        return int(value)
    if isinstance(value, dict):
        return dict((str(k), plain(v)) for k, v in value.items())
    if isinstance(value, (list, tuple)):
        return [plain(v) for v in value]
    return str(value)


class Server(dbus.service.Object):
    def __init__(self, bus, record_path):
        self.record_path = record_path
        self.next_id = 1
        self.open = set()
        dbus.service.Object.__init__(self, bus, PATH)

    def record(self, entry):
        with open(self.record_path, "a") as f:
            f.write(json.dumps(entry) + "\n")

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout):
        nid = int(replaces_id) if int(replaces_id) in self.open else self.next_id
        if nid == self.next_id:
            self.next_id += 1
        self.open.add(nid)
        self.record({"method": "Notify", "id": nid, "app_name": str(app_name), "replaces_id": int(replaces_id),
                     "app_icon": str(app_icon), "summary": str(summary), "body": str(body),
                     "actions": plain(actions), "hints": plain(hints), "expire_timeout": int(expire_timeout)})
        return nid

    @dbus.service.method(NAME, in_signature="u")
    def CloseNotification(self, nid):
        self.record({"method": "CloseNotification", "id": int(nid)})
        if int(nid) in self.open:
            self.open.discard(int(nid))
            self.NotificationClosed(nid, CLOSED_BY_CALL)

    @dbus.service.method(NAME, out_signature="as")
    def GetCapabilities(self):
        return ["actions", "body"]

    @dbus.service.method(NAME, out_signature="ssss")
    def GetServerInformation(self):
        return ("recording", "vesperline-tests", "1", "1.2")

    @dbus.service.signal(NAME, signature="us")
    def ActionInvoked(self, nid, action):
        pass

    @dbus.service.signal(NAME, signature="uu")
    def NotificationClosed(self, nid, reason):
        pass

    @dbus.service.method(CONTROL, in_signature="us")
    def InvokeAction(self, nid, action):
        self.ActionInvoked(nid, action)
        self.open.discard(int(nid))
        self.NotificationClosed(nid, DISMISSED)

    @dbus.service.method(CONTROL, in_signature="u")
    def Dismiss(self, nid):
        self.open.discard(int(nid))
        self.NotificationClosed(nid, DISMISSED)


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    loop = GLib.MainLoop()
    server = Server(bus, sys.argv[1])
    # The name last: a client that sees it finds the object ready.
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    bus.call_on_disconnection(lambda _: loop.quit())
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    loop.run()
    del name, server


if __name__ == "__main__":
    main()
