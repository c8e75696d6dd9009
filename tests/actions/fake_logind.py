"""Stands in for logind on a private bus for the sleep-lock test: answers Inhibit with one end of a
pipe and reports on stdout when the caller takes the lock ("INHIBIT what who mode") and when the
caller's end is closed ("RELEASED"). Runs until stdin closes."""
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(sys.argv[1])


class Manager(dbus.service.Object):
    @dbus.service.method("org.freedesktop.login1.Manager", in_signature="ssss", out_signature="h")
    def Inhibit(self, what, who, why, mode):
        read_end, write_end = os.pipe()
        print("INHIBIT", what, who, mode, flush=True)

        def closed(fd, condition):
            print("RELEASED", flush=True)
            os.close(fd)
            return False

        GLib.io_add_watch(read_end, GLib.IO_HUP | GLib.IO_ERR, closed)
        lock = dbus.types.UnixFd(write_end)
        os.close(write_end)
        return lock


name = dbus.service.BusName("org.freedesktop.login1", bus)
manager = Manager(bus, "/org/freedesktop/login1")
loop = GLib.MainLoop()
GLib.io_add_watch(sys.stdin.fileno(), GLib.IO_IN | GLib.IO_HUP, lambda *a: loop.quit())
print("READY", flush=True)
loop.run()
