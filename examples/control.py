#!/usr/bin/env python3
"""Drive a running TQX Orbivo Emulator through its control channel.

Connects to the control socket, reads the mount's state, runs the mount's clock ten times
faster, subscribes to the events and prints a few of them. Standard library only.

    tqx-orbivo-emulator --headless --port virtual --profile full &
    python3 examples/control.py                 # the default socket in $XDG_RUNTIME_DIR
    python3 examples/control.py --instance lab  # the socket of --instance lab
    python3 examples/control.py --tcp 5001      # --control tcp:5001
"""

import argparse
import json
import os
import socket
import sys


class ControlChannel:
    """One JSON request a line, one JSON response a line; events arrive as lines too."""

    def __init__(self, sock):
        self._sock = sock
        self._file = sock.makefile("r", encoding="utf-8", newline="\n")
        self._next_id = 1

    def request(self, name, **fields):
        """Sends a request and returns its response; raises on an error response."""
        message = {"request": name, "id": self._next_id, **fields}
        self._next_id += 1
        self._sock.sendall((json.dumps(message) + "\n").encode("utf-8"))
        while True:
            response = self.read()
            # Events may come before the response once subscribed.
            if "event" not in response:
                break
        if not response.get("ok"):
            raise RuntimeError("%s: %s" % (name, response.get("error")))
        return response

    def read(self):
        line = self._file.readline()
        if not line:
            raise ConnectionError("the emulator closed the control channel")
        return json.loads(line)


def default_socket(instance):
    runtime = os.environ.get("XDG_RUNTIME_DIR") or "/tmp/runtime-%s" % os.environ.get("USER", "")
    stem = "tqx-orbivo-emulator" + ("@" + instance if instance else "")
    return os.path.join(runtime, stem + ".control")


def connect(arguments):
    if arguments.tcp:
        return socket.create_connection(("127.0.0.1", arguments.tcp), timeout=10)
    sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    sock.settimeout(10)
    sock.connect(arguments.socket or default_socket(arguments.instance))
    return sock


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--socket", help="the control socket's path")
    parser.add_argument("--instance", help="the emulator's --instance NAME")
    parser.add_argument("--tcp", type=int, help="the port of --control tcp:PORT")
    parser.add_argument("--events", type=int, default=5, help="how many events to print")
    arguments = parser.parse_args()

    try:
        channel = ControlChannel(connect(arguments))
        state = channel.request("state")
        print("profile %s, clock %s at rate %g" % (
            state["profile"], state["clock"]["utc"], state["clock"]["rate"]))
        if state["pointing"]:
            j2000 = state["pointing"]["j2000"]
            print("pointing RA %.4f h Dec %+.4f deg (J2000), %s" % (
                j2000["ra_hours"], j2000["dec_degrees"], state["motion"]["state"]))

        channel.request("set", time_rate=10)
        print("time rate 10")

        channel.request("subscribe", kinds=["exchange", "slew", "client", "unanswered"])
        for _ in range(arguments.events):
            event = channel.read()
            if event["event"] == "exchange":
                print("event exchange %s -> %s: %s" % (
                    event["command"], event["reply"], event["meaning"]))
            else:
                print("event %s %s" % (event["event"], json.dumps(event)))
    except (OSError, RuntimeError, ValueError) as error:
        print("control.py: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
