"""Runs a Python test script again inside a private session bus set up by
dbus_bus.sh (the services of the build under test activated on demand, a
fresh data directory), waits for the services to finish saving, and gives
back its exit status."""

import argparse
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


def main_in_private_bus(script, client, add_options=None, forward=None):
    """The main of a test script taking LINUX_BIN_DIR: run again inside a
    private bus (`forward(args)` gives the options to pass on), where
    `client(args)` runs with args.linux made absolute."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--in-bus", action="store_true")
    if add_options:
        add_options(parser)
    parser.add_argument("linux")
    args = parser.parse_args()
    args.linux = os.path.abspath(args.linux)
    if args.in_bus:
        return client(args)
    return rerun_in_private_bus(script, args.linux, forward(args) if forward else [])
