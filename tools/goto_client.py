#!/usr/bin/env python3
"""Plays a client through a goto: syncs the full profile's mount to RA 0h Dec 0, sends a goto of
a quarter turn (RA 6h), then polls "L" and "e" as client software does until the mount arrives,
printing what it sees. Standard library only.

    tqx-orbivo-emulator --headless --port virtual --profile full &
    python3 tools/goto_client.py "$XDG_RUNTIME_DIR/tqx-orbivo-emulator.pty"
"""
import os
import sys
import termios
import time
import tty


def exchange(fd, command, reply_length, timeout=5.0):
    os.write(fd, command)
    reply = b""
    deadline = time.monotonic() + timeout
    while len(reply) < reply_length:
        if time.monotonic() > deadline:
            sys.exit(f"no reply to {command!r} within {timeout} s (got {reply!r})")
        reply += os.read(fd, reply_length - len(reply))
    return reply


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    termios.tcflush(fd, termios.TCIOFLUSH)
    print("sync  s00000000,00000000 ->", exchange(fd, b"s00000000,00000000", 1).decode())
    start = time.monotonic()
    print("goto  r40000000,00000000 ->", exchange(fd, b"r40000000,00000000", 1).decode())
    last_print = -10.0
    while True:
        slewing = exchange(fd, b"L", 2)
        position = exchange(fd, b"e", 18).decode()
        elapsed = time.monotonic() - start
        if slewing != b"1#" or elapsed - last_print >= 2:
            ra = int(position[:8], 16) / 2**32 * 24
            print(f"{elapsed:6.2f} s  L -> {slewing.decode()}  e -> {position}  RA {ra:6.3f} h")
            last_print = elapsed
        if slewing != b"1#":
            break
        time.sleep(0.25)
    print(f'"1#" for {elapsed:.2f} s')


if __name__ == "__main__":
    main()
