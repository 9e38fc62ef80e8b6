"""Runs a Python test script again inside a private session bus set up by
dbus_bus.sh (the services of the build under test activated on demand, a
fresh data directory), waits for the services to finish saving, and gives
back its exit status."""

import os
import shlex
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def rerun_in_private_bus(script, linux, arguments):
    """`script` is run as `python3 script --in-bus ARGUMENTS... LINUX`."""
    linux = os.path.abspath(linux)
    words = " ".join(shlex.quote(str(a)) for a in arguments)
    with tempfile.TemporaryDirectory() as work:
        command = (f'work={shlex.quote(work)}; linux={shlex.quote(linux)}; '
                   f'source "{HERE}/dbus_bus.sh"; dbus_setup; '
                   f'in_bus /usr/bin/python3 {shlex.quote(os.path.abspath(script))} '
                   f'--in-bus {words} "$linux"; status=$?; wait_services_end; '
                   f'exit $status')
        return subprocess.run(["bash", "-c", command]).returncode
