"""A private session bus for the agenda's bus tests: a dbus-daemon with no
service folders, so nothing (the desktop's calendar service included) can be
started on it, and nothing of the user's session is seen."""
import os
import subprocess
import tempfile

CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%s</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
  %s
</busconfig>
"""


def stop(process):
    """Ends a program started on the bus, politely first."""
    process.terminate()
    try:
        process.wait(10)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class PrivateBus:
    """with_services: the session's own service folders, so services (the
    desktop's calendar service among them) start on demand as on a desktop."""

    def __init__(self, with_services=False):
        self.with_services = with_services

    def __enter__(self):
        self.dir = tempfile.TemporaryDirectory(prefix="moriva-bus.")
        config = os.path.join(self.dir.name, "bus.conf")
        with open(config, "w") as f:
            f.write(CONFIG % (self.dir.name, "<standard_session_servicedirs/>" if self.with_services else ""))
        # Its note on the fd limit it may not raise is noise here.
        self.daemon = subprocess.Popen(["dbus-daemon", "--config-file=" + config, "--nofork", "--print-address"],
                                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.address = self.daemon.stdout.readline().strip()
        if not self.address:
            raise RuntimeError("dbus-daemon gave no address")
        return self

    def __exit__(self, *exc):
        self.daemon.terminate()
        self.daemon.wait()
        self.dir.cleanup()
