#!/usr/bin/env python3
"""A scripted client of the hand control, for scenario runs and their tests.

It behaves as the first of the clients observed on a real line: 9600 8N1 raw, each command
waits for its whole reply (read timeout 2 s), the input is flushed before each command (over
TCP, which has no flush, whatever is waiting is read and dropped, so that a stray byte costs
one reply and not every later one), and it connects with

    Kx, V, m, P 1 16 254, P 1 17 254, P 1 18 254 (the focuser, absent: its error form is taken),
    t, P 1 16 71, P 1 17 71, h, w, e, p, P 1 18 1, J, P 1 18 44

then does what --do lists, polling e and p every second (and L while a goto is under way).

    scripted_client.py --port PATH|HOST:PORT [--do ACTIONS] [--timeout S] [--interval S]
                       [--give-up N] [--reconnect] [--pipeline] [--short-read]

ACTIONS is a comma-separated list (default "connect,poll:3"); arguments follow the action's
name after colons:

    connect            the connect sequence above
    poll:N             N polls, one a second: e, p, and L while a goto is under way
    sleep:S            S seconds without a command
    goto:RA:DEC        r to RA (hours) and Dec (degrees) of the date, decimal
    wait-goto          poll until L answers 0, then T 2 (tracking, equatorial north)
    abort              P 2 17 36 0 0 0 0, P 2 16 36 0 0 0 0 (both motors stopped), then M
    sync:RA:DEC        s at RA (hours) and Dec (degrees)
    park[:AZ:ALT]      b to azimuth and altitude (degrees, default 0:0), poll until L
                       answers 0, then T 0
    unpark             T 2
    time[:OFFSET]      H with the computer's time in a zone OFFSET whole hours from UTC
                       (default: the computer's own zone); negative offsets go as 256 + offset
    site[:LAT:LON]     W with the site in degrees, north and east positive
                       (default 48.8567:2.3522)
    reconnect          close the line, open it again and connect again

Each exchange prints one line to standard output ("e -> 34AB0500,12CE0500# 3 ms"), each read
that timed out one line beginning "timeout:" and each dropped connection one beginning
"lost:". It exits 0 when it has done every action, 1 when it gave up (--give-up timeouts in a
row, default 3, or a connection lost without --reconnect) and 2 for wrong usage.

To misbehave on purpose, for the checks of a client's behaviour:
    --pipeline    the abort's M goes as "MM" in one write, and each poll sends e and p in one
                  write, without waiting for the reply in between
    --short-read  reads one byte fewer than each reply of two bytes or more and never flushes
                  its input, so that every later reply is read one behind (or more)
"""

import argparse
import errno
import os
import select
import socket
import sys
import termios
import time

REPLY_TIMEOUT_S = 2.0


class ConnectionLost(Exception):
    pass


class GiveUp(Exception):
    pass


def shown(data):
    """Bytes as a report shows them: printable ones as they are, others as \\xNN."""
    return "".join(chr(b) if 0x20 <= b < 0x7F and b != 0x5C else "\\x%02x" % b for b in data)


def pass_through(length, device, command, d1=0, d2=0, d3=0, reply_length=0):
    return bytes([ord("P"), length, device, command, d1, d2, d3, reply_length])


def position32(fraction):
    """A fraction of a revolution as the 8 hex digits of r, s and b: 24 bits, then 00."""
    units = round(fraction * (1 << 24)) % (1 << 24)
    return "%06X00" % units


def pair32(first_degrees, second_degrees):
    return (position32(first_degrees / 360.0) + "," + position32(second_degrees / 360.0)).encode()


class Line:
    """The serial device or TCP connection, opened raw, with reads that time out."""

    def __init__(self, port):
        self.port = port
        self.fd = None
        self.sock = None

    def open(self):
        if ":" in self.port and not self.port.startswith("/"):
            host, _, number = self.port.rpartition(":")
            self.sock = socket.create_connection((host, int(number)), timeout=REPLY_TIMEOUT_S)
            self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            self.sock.setblocking(False)
            return
        self.fd = os.open(self.port, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        attributes = termios.tcgetattr(self.fd)
        iflag, oflag, cflag, lflag, _, _, cc = attributes
        # Raw: no translation, no echo, no signals; 8 data bits, no parity, one stop bit.
        iflag &= ~(termios.IGNBRK | termios.BRKINT | termios.PARMRK | termios.ISTRIP
                   | termios.INLCR | termios.IGNCR | termios.ICRNL | termios.IXON
                   | termios.IXOFF | termios.INPCK)
        oflag &= ~termios.OPOST
        lflag &= ~(termios.ECHO | termios.ECHONL | termios.ICANON | termios.ISIG | termios.IEXTEN)
        cflag &= ~(termios.CSIZE | termios.PARENB | termios.CSTOPB | termios.CRTSCTS)
        cflag |= termios.CS8 | termios.CREAD | termios.CLOCAL
        cc[termios.VMIN] = 0
        cc[termios.VTIME] = 0
        termios.tcsetattr(self.fd, termios.TCSANOW,
                          [iflag, oflag, cflag, lflag, termios.B9600, termios.B9600, cc])

    def close(self):
        if self.sock is not None:
            self.sock.close()
            self.sock = None
        if self.fd is not None:
            os.close(self.fd)
            self.fd = None

    def handle(self):
        return self.sock if self.sock is not None else self.fd

    def write(self, data):
        try:
            if self.sock is not None:
                self.sock.sendall(data)
            else:
                while data:
                    select.select([], [self.fd], [], REPLY_TIMEOUT_S)
                    written = os.write(self.fd, data)
                    data = data[written:]
        except (BrokenPipeError, ConnectionError) as error:
            raise ConnectionLost(str(error))
        except OSError as error:
            if error.errno in (errno.EIO, errno.ENXIO):
                raise ConnectionLost(str(error))
            raise

    def _read_some(self, size):
        try:
            data = self.sock.recv(size) if self.sock is not None else os.read(self.fd, size)
        except (BlockingIOError, InterruptedError):
            return b""
        except ConnectionError as error:
            raise ConnectionLost(str(error))
        except OSError as error:
            if error.errno in (errno.EIO, errno.ENXIO):
                raise ConnectionLost(str(error))
            raise
        if not data:  # end of the connection, or a hung-up terminal
            raise ConnectionLost("end of the line")
        return data

    def read(self, size, timeout):
        """Up to `size` bytes: fewer only when `timeout` seconds went by first."""
        data = b""
        deadline = time.monotonic() + timeout
        while len(data) < size:
            left = deadline - time.monotonic()
            if left <= 0:
                break
            readable, _, _ = select.select([self.handle()], [], [], left)
            if readable:
                data += self._read_some(size - len(data))
        return data

    def flush_input(self):
        if self.fd is not None:
            try:
                termios.tcflush(self.fd, termios.TCIFLUSH)
            except termios.error as error:
                raise ConnectionLost(str(error))
            return
        # The network has no flush: take what is waiting.
        while select.select([self.sock], [], [], 0)[0]:
            self._read_some(4096)


class Client:
    def __init__(self, options):
        self.options = options
        self.line = Line(options.port)
        self.timeouts_in_a_row = 0
        self.slewing = False
        self.connected_once = False
        self.reconnecting = False

    def say(self, text):
        print(text, flush=True)

    # --- the line

    def open(self, deadline_s=0.0):
        """Opens the line, trying again for `deadline_s`: a port that was dropped comes back."""
        end = time.monotonic() + deadline_s
        while True:
            try:
                self.line.open()
                return
            except OSError as error:
                if time.monotonic() >= end:
                    raise GiveUp("cannot open %s: %s" % (self.options.port, error))
                time.sleep(0.2)

    def lost(self, reason):
        self.say("lost: %s" % reason)
        self.line.close()
        if not self.options.reconnect or self.reconnecting:
            raise GiveUp("the connection was lost")
        self.reconnecting = True
        try:
            for attempt in range(5):
                time.sleep(0.2)
                try:
                    self.open(deadline_s=10.0)
                    self.say("reconnected to %s" % self.options.port)
                    if self.connected_once:
                        self.connect()
                    return
                except ConnectionLost as error:
                    self.say("lost: %s (while connecting again)" % error)
                    self.line.close()
            raise GiveUp("the connection could not be made again")
        finally:
            self.reconnecting = False

    def exchange(self, command, reply_length, error_form=False):
        """Sends `command` and reads its reply; None when it timed out or the line was lost.

        With `error_form`, a reply whose last byte is not '#' is a pass-through's error form:
        one more byte is read, and the reply taken as an error."""
        try:
            return self._exchange(command, reply_length, error_form)
        except ConnectionLost as error:
            self.lost("%s (sending %s)" % (error, shown(command)))
            return None

    def _exchange(self, command, reply_length, error_form):
        if not self.options.short_read:
            self.line.flush_input()
        started = time.monotonic()
        self.line.write(command)
        # Reading short still waits for a byte of a one-byte reply, so that what shows is the
        # short read and not a command sent ahead of its reply.
        wanted = max(1, reply_length - 1) if self.options.short_read else reply_length
        reply = self.line.read(wanted, self.options.timeout)
        if (error_form and not self.options.short_read and len(reply) == wanted
                and not reply.endswith(b"#")):
            reply += self.line.read(1, self.options.timeout)
        ms = (time.monotonic() - started) * 1000
        if len(reply) < wanted:
            self.timeouts_in_a_row += 1
            self.say("timeout: %s after %.1f s, %d of %d bytes: %s"
                     % (shown(command), self.options.timeout, len(reply), wanted, shown(reply)))
            if self.timeouts_in_a_row >= self.options.give_up:
                raise GiveUp("%d timeouts in a row" % self.timeouts_in_a_row)
            return None
        self.timeouts_in_a_row = 0
        note = " (error form)" if error_form and len(reply) > reply_length else ""
        self.say("%s -> %s %d ms%s" % (shown(command), shown(reply), ms, note))
        return reply

    def pipelined(self, commands, reply_length):
        """The commands in one write, then the replies as one read of `reply_length`."""
        try:
            if not self.options.short_read:
                self.line.flush_input()
            started = time.monotonic()
            self.line.write(b"".join(commands))
            reply = self.line.read(reply_length, self.options.timeout)
        except ConnectionLost as error:
            self.lost(str(error))
            return None
        joined = b"".join(commands)
        if len(reply) < reply_length:
            self.timeouts_in_a_row += 1
            self.say("timeout: %s after %.1f s, %d of %d bytes: %s (pipelined)"
                     % (shown(joined), self.options.timeout, len(reply), reply_length,
                        shown(reply)))
            if self.timeouts_in_a_row >= self.options.give_up:
                raise GiveUp("%d timeouts in a row" % self.timeouts_in_a_row)
            return None
        self.timeouts_in_a_row = 0
        self.say("%s -> %s %d ms (pipelined)"
                 % (shown(joined), shown(reply), (time.monotonic() - started) * 1000))
        return reply

    # --- the actions

    def connect(self):
        self.exchange(b"Kx", 2)
        self.exchange(b"V", 3)
        self.exchange(b"m", 2)
        self.exchange(pass_through(1, 16, 254, reply_length=2), 3, error_form=True)
        self.exchange(pass_through(1, 17, 254, reply_length=2), 3, error_form=True)
        self.exchange(pass_through(1, 18, 254, reply_length=4), 5, error_form=True)
        self.exchange(b"t", 2)
        self.exchange(pass_through(1, 16, 71, reply_length=1), 2, error_form=True)
        self.exchange(pass_through(1, 17, 71, reply_length=1), 2, error_form=True)
        self.exchange(b"h", 9)
        self.exchange(b"w", 9)
        self.exchange(b"e", 18)
        self.exchange(b"p", 2)
        self.exchange(pass_through(1, 18, 1, reply_length=3), 4, error_form=True)
        self.exchange(b"J", 2)
        self.exchange(pass_through(1, 18, 44, reply_length=8), 9, error_form=True)
        self.connected_once = True

    def poll_once(self):
        if self.options.pipeline:
            self.pipelined([b"e", b"p"], 18 + 2)
        else:
            self.exchange(b"e", 18)
            self.exchange(b"p", 2)
        if self.slewing:
            reply = self.exchange(b"L", 2)
            if reply is not None and reply[:1] == b"0":
                self.slewing = False

    def poll(self, count):
        for index in range(count):
            started = time.monotonic()
            self.poll_once()
            if index + 1 < count:
                time.sleep(max(0.0, self.options.interval - (time.monotonic() - started)))

    def wait_for_goto(self, give_up_s=60.0):
        """Polls until L answers 0; a goto that never ends is a reason to give up."""
        end = time.monotonic() + give_up_s
        self.slewing = True
        while self.slewing:
            if time.monotonic() > end:
                raise GiveUp("the goto did not end within %.0f s" % give_up_s)
            started = time.monotonic()
            self.poll_once()
            if self.slewing:
                time.sleep(max(0.0, self.options.interval - (time.monotonic() - started)))

    def goto(self, ra_hours, dec_degrees):
        if self.exchange(b"r" + pair32(ra_hours * 15.0, dec_degrees), 1) is not None:
            self.slewing = True

    def abort(self):
        self.exchange(pass_through(2, 17, 36), 1)
        self.exchange(pass_through(2, 16, 36), 1)
        if self.options.pipeline:
            # The one abort of its kind seen on a real line: MM in one write, one # read.
            self.pipelined([b"M", b"M"], 1)
        else:
            self.exchange(b"M", 1)
        self.slewing = False

    def park(self, azimuth, altitude):
        if self.exchange(b"b" + pair32(azimuth, altitude), 1) is not None:
            self.wait_for_goto()
        self.exchange(b"T\x00", 1)

    def set_time(self, offset_hours):
        now = time.time()
        if offset_hours is None:
            local = time.localtime(now)
            offset_hours = round(local.tm_gmtoff / 3600) - (1 if local.tm_isdst > 0 else 0)
            dst = 1 if local.tm_isdst > 0 else 0
        else:
            local = time.gmtime(now + offset_hours * 3600)
            dst = 0
        data = bytes([local.tm_hour, local.tm_min, local.tm_sec, local.tm_mon, local.tm_mday,
                      local.tm_year - 2000, offset_hours % 256, dst])
        self.exchange(b"H" + data, 1)

    def set_site(self, latitude, longitude):
        def dms(degrees):
            seconds = round(abs(degrees) * 3600)
            return [seconds // 3600, seconds // 60 % 60, seconds % 60]

        data = (dms(latitude) + [1 if latitude < 0 else 0]
                + dms(longitude) + [1 if longitude < 0 else 0])
        self.exchange(b"W" + bytes(data), 1)

    def reconnect(self):
        self.line.close()
        self.say("closed %s" % self.options.port)
        self.open(deadline_s=10.0)
        self.say("reconnected to %s" % self.options.port)
        self.connect()

    def run(self, actions):
        self.open()
        self.say("opened %s" % self.options.port)
        for text, name, arguments in actions:
            self.say("action: %s" % text)
            getattr(self, "do_" + name.replace("-", "_"))(*arguments)
        self.line.close()

    do_connect = connect
    do_poll = poll
    do_abort = abort
    do_reconnect = reconnect

    def do_sleep(self, seconds):
        time.sleep(seconds)

    def do_goto(self, ra_hours, dec_degrees):
        self.goto(ra_hours, dec_degrees)

    def do_wait_goto(self):
        self.wait_for_goto()
        self.exchange(b"T\x02", 1)

    def do_sync(self, ra_hours, dec_degrees):
        self.exchange(b"s" + pair32(ra_hours * 15.0, dec_degrees), 1)

    def do_park(self, azimuth=0.0, altitude=0.0):
        self.park(azimuth, altitude)

    def do_unpark(self):
        self.exchange(b"T\x02", 1)

    def do_time(self, offset_hours=None):
        self.set_time(offset_hours)

    def do_site(self, latitude=48.8567, longitude=2.3522):
        self.set_site(latitude, longitude)


# Each action: the types of its arguments, and how many of them may be left out.
ACTIONS = {
    "connect": ([], 0),
    "poll": ([int], 0),
    "sleep": ([float], 0),
    "goto": ([float, float], 0),
    "wait-goto": ([], 0),
    "abort": ([], 0),
    "sync": ([float, float], 0),
    "park": ([float, float], 2),
    "unpark": ([], 0),
    "time": ([int], 1),
    "site": ([float, float], 2),
    "reconnect": ([], 0),
}


def parse_actions(text):
    actions = []
    for item in filter(None, (part.strip() for part in text.split(","))):
        name, *arguments = item.split(":")
        if name not in ACTIONS:
            raise ValueError("unknown action %r (the actions: %s)" % (name, ", ".join(ACTIONS)))
        types, optional = ACTIONS[name]
        if not len(types) - optional <= len(arguments) <= len(types):
            raise ValueError("%s takes %d argument(s), not %d" % (name, len(types), len(arguments)))
        try:
            values = [kind(argument) for kind, argument in zip(types, arguments)]
        except ValueError:
            raise ValueError("%r: the arguments must be numbers" % item)
        actions.append((item, name, values))
    return actions


def main():
    parser = argparse.ArgumentParser(
        description="A scripted client of the hand control (see the file's first lines).")
    parser.add_argument("--port", required=True, help="a serial device, or HOST:PORT for TCP")
    parser.add_argument("--do", default="connect,poll:3", help="the actions, comma-separated")
    parser.add_argument("--timeout", type=float, default=REPLY_TIMEOUT_S,
                        help="read timeout in seconds (default 2)")
    parser.add_argument("--interval", type=float, default=1.0,
                        help="seconds between polls (default 1)")
    parser.add_argument("--give-up", type=int, default=3,
                        help="timeouts in a row after which it gives up (default 3)")
    parser.add_argument("--reconnect", action="store_true",
                        help="open the line again when it is dropped, and carry on")
    parser.add_argument("--pipeline", action="store_true",
                        help="send some commands without waiting for the reply between")
    parser.add_argument("--short-read", action="store_true",
                        help="read one byte fewer than each reply, never flush")
    options = parser.parse_args()
    try:
        actions = parse_actions(options.do)
    except ValueError as error:
        parser.error(str(error))
    client = Client(options)
    try:
        client.run(actions)
    except GiveUp as error:
        client.say("gave up: %s" % error)
        return 1
    client.say("done")
    return 0


if __name__ == "__main__":
    sys.exit(main())
