#!/usr/bin/env python3
"""Writes the interpreter fuzzer's seed corpus into interpreter-corpus/ beside this file.

Each seed is a hand control and a script of what happens on its line, in the input layout
interpreter_fuzz.cpp describes: the connect sequences, gotos, aborts, parks, time and site
settings and pass-through frames of real client software, in both profiles and both version
formats. Run it again after changing a seed or the layout; the files are kept in the repository
so that the fuzzer starts from them without Python.
"""

import pathlib
import struct

# Must match waitMs in interpreter_fuzz.cpp.
WAIT_MS = [
    0, 1, 2, 5, 10, 20, 30, 40, 49, 50, 51, 60, 80, 99, 100, 101, 150, 200, 250, 300, 400, 500,
    600, 750, 999, 1_000, 1_001, 1_500, 2_000, 2_500, 3_000, 3_500, 4_000, 5_000, 6_000, 8_000,
    10_000, 15_000, 20_000, 23_500, 25_000, 30_000, 45_000, 60_000, 90_000, 120_000, 300_000,
    600_000, 1_800_000, 3_600_000, 7_200_000, 21_600_000, 43_200_000, 86_400_000, 172_800_000,
    604_800_000, 2_592_000_000, 15_778_800_000, 31_557_600_000, 63_115_200_000,
    315_576_000_000, 3_155_760_000_000, 31_557_600_000_000, 315_576_000_000_000,
]
assert len(WAIT_MS) == 64

# 2024-11-12 21:45:30 UTC, where the fuzzer's computer clock starts at minute 0.
START_UTC_S = 1_731_447_930

AUTOMATIC, OF_DATE, J2000 = 0, 1, 2


def settings(full=False, hex_version=False, aligned=True, gps=False, clock=False, model=None,
             coordinates=AUTOMATIC, version=(4, 21), version_text=None, latitude=0.0,
             longitude=0.0, slew_rate=0, auto_reset_ms=0, variant=0):
    """The 14 settings bytes. version_text: 0 "M.m", 1 "M.m.ss", 2 "M.m.s", 3 four numbers."""
    flags = ((1 if full else 0) | (2 if hex_version else 0) | (0 if aligned else 4)
             | (8 if gps else 0) | (16 if clock else 0) | (32 if model is not None else 0)
             | coordinates << 6)
    major, minor, sub = (list(version) + [0])[:3]
    if version_text is None:
        version_text = 1 if len(version) == 3 else 0
    return struct.pack('>BBBBBBhhBHB', flags, model or 0, major, minor, sub, version_text,
                       round(latitude * 364), round(longitude * 182), slew_rate, auto_reset_ms,
                       variant)


def header(utc_minutes=0, **kwargs):
    return settings(**kwargs) + struct.pack('>i', utc_minutes)


def utc_minutes_at(epoch_seconds):
    return (epoch_seconds - START_UTC_S) // 60


def send(data):
    """One receive event per 128 bytes at most."""
    if isinstance(data, str):
        data = data.encode('latin-1')
    out = b''
    for at in range(0, len(data), 128):
        piece = data[at:at + 128]
        out += bytes([len(piece) - 1]) + piece
    return out


def wait(ms):
    return bytes([0x80 + WAIT_MS.index(ms)])


def exchange(*commands, gap_ms=20):
    """Each command in its own event, the reply awaited before the next, as clients do."""
    return b''.join(send(c) + wait(gap_ms) for c in commands)


def new_settings(**kwargs):
    return b'\xC0' + settings(**kwargs)


def P(*frame):
    return bytes([ord('P'), *frame])


OTHER_PROFILE, RESET, CLEAR, CHECK_MOUNT, POLL = b'\xC1', b'\xC2', b'\xC3', b'\xC8', b'\xC7'


def line_event(data):
    return b'\xC4' + bytes([len(data)]) + data


def clock_jump(seconds):
    return b'\xC5' + struct.pack('>i', seconds)


def auto_reset(ms):
    return b'\xC6' + struct.pack('>H', ms)


def T(mode):
    return bytes([ord('T'), mode])


def H(*bytes_):
    return bytes([ord('H'), *bytes_])


def I(*bytes_):
    return bytes([ord('I'), *bytes_])


def W(*bytes_):
    return bytes([ord('W'), *bytes_])


CLIENT1_CONNECT = [
    'Kx', 'V', 'm', P(1, 16, 254, 0, 0, 0, 2), P(1, 17, 254, 0, 0, 0, 2),
    P(1, 18, 254, 0, 0, 0, 4), 't', P(1, 16, 71, 0, 0, 0, 1), P(1, 17, 71, 0, 0, 0, 1), 'h', 'w',
    'e', 'p', P(1, 18, 1, 0, 0, 0, 3), 'J', P(1, 18, 44, 0, 0, 0, 8),
]
CLIENT1_POLL = ['e', 'p', P(1, 18, 1, 0, 0, 0, 3)]
CLIENT2_CONNECT = ['Ka', 'J', 'L', 'p', 't', 'e', 'Ka', 'w', 'h', 'J', 'V', 'm', 't']
CLIENT2_POLL = ['Ka', 'J', 'L', 'p', 't', 'e']
CLIENT3_CONNECT = ['Kx', 'J', 'm', 'V', 't', 'w', 'h']
CLIENT3_POLL = ['L', 'p', 't', 'e', 'z']

# 40 25'00" N, 3 42'01" W and 08:35:43 on 2017-12-18 in zone -2, from a client's own tests.
MADRID = W(0x28, 0x19, 0x00, 0x00, 0x03, 0x2A, 0x01, 0x01)
DECEMBER_MORNING = H(0x08, 0x23, 0x2B, 0x0C, 0x12, 0x11, 0xFE, 0x00)
# 48 51'24" N, 2 21'08" E and 21:45:30 on 2024-11-12 in UTC+1.
PARIS = W(0x30, 0x33, 0x18, 0x00, 0x02, 0x15, 0x08, 0x00)
NOVEMBER_EVENING = H(0x15, 0x2D, 0x1E, 0x0B, 0x0C, 0x18, 0x01, 0x00)


def polls(commands, times, every_ms=1_000):
    return b''.join(exchange(*commands) + wait(every_ms) for _ in range(times))


def goto_and_wait(command, seconds=30):
    """The goto, then L polled each second until it answers 0, as client 1 does."""
    return exchange(command) + polls(['L'], seconds)


SEEDS = {
    # Connect sequences and polls of the three clients.
    'client1-connect-4.39':
        header(full=True, version=(4, 39)) + exchange(*CLIENT1_CONNECT) + polls(CLIENT1_POLL, 3),
    'client1-connect-5.28-variant-and-quarter-hours':
        header(full=True, version=(5, 28), variant=0x11)
        + exchange(*[c if c != 'h' else 'i' for c in CLIENT1_CONNECT], 'v')
        + exchange(I(21, 45, 30, 11, 12, 24, 4, 0), 'i'),
    'client1-connect-three-part-binary-version':
        header(full=True, version=(4, 39, 7)) + exchange(*CLIENT1_CONNECT),
    'client1-connect-unaligned-sends-time-and-site':
        header(full=True, aligned=False, version=(4, 39))
        + exchange('Kx', 'V', 'J', NOVEMBER_EVENING, PARIS, 'h', 'w', 'J'),
    'client2-connect-hex':
        header(full=True, hex_version=True, version=(4, 39, 7))
        + exchange(*CLIENT2_CONNECT) + polls(CLIENT2_POLL, 3),
    'client3-connect-hex-alt-azimuth':
        header(full=True, hex_version=True, version=(4, 39, 7), model=5, latitude=51.5)
        + exchange(*CLIENT3_CONNECT) + polls(CLIENT3_POLL, 3),
    'client3-connect-old-hex-version':
        header(full=True, hex_version=True, version=(3, 37, 2), version_text=2)
        + exchange(*CLIENT3_CONNECT),

    # Operations.
    'goto-precise-poll-then-track':
        header(full=True, version=(4, 39), latitude=48.86, longitude=2.35)
        + goto_and_wait('r3AAAAA00,0E38E300') + exchange(T(2), 'e', 'z', 'p'),
    'goto-j2000-hex-client':
        header(full=True, hex_version=True, version=(4, 39, 7), latitude=-33.9, longitude=18.4)
        + goto_and_wait('r34AB0500,12CE0500', 25) + exchange('e', 'E'),
    'goto-abort-by-fixed-rate-stops':
        header(full=True, version=(4, 39))
        + exchange('r80000000,20000000', 'L') + wait(2_000)
        + exchange(P(2, 17, 36, 0, 0, 0, 0), P(2, 16, 36, 0, 0, 0, 0), T(0), 'M', 'L', 'e'),
    'goto-abort-double-cancel-one-write':
        header(full=True, version=(4, 39)) + exchange('R8000,2000') + wait(1_000)
        + send('MM') + wait(20) + exchange('L', 'E'),
    'sync-precise-then-read':
        header(full=True, version=(4, 39)) + exchange('s20000000,20000000', 'e', 'E', 'z', 'p'),
    'park-in-azimuth-altitude-then-unpark':
        header(full=True, version=(4, 39), latitude=45)
        + goto_and_wait('b00000000,40000000') + exchange(T(0), 'z') + wait(60_000)
        + exchange('z', 'e', T(2), 'e'),
    'park-alt-azimuth-mount-unpark-with-altaz-tracking':
        header(full=True, version=(4, 39), model=7, latitude=40)
        + goto_and_wait('B0000,2000', 20) + exchange(T(0), T(1), 't', 'Z', 'p'),
    'goto-below-horizon-alt-azimuth-refused':
        header(full=True, version=(4, 39), model=10, latitude=52)
        + exchange('BC000,E000', 'L', 'Z', 'R0000,C000', 'L'),
    'unaligned-refuses-radec-goto-and-altaz-tracking':
        header(full=True, aligned=False)
        + exchange('R2000,2000', 'L', 'S2000,2000', 'E', T(1), 't', 'B2000,2000', 'L'),
    'fact-sheet-test-vectors':
        header(full=True, version=(4, 41))
        + exchange('S2000,2000', 's20000000,20000000', 'R2000,2000', 'B2000,2000', 'E', 'V',
                   P(1, 16, 254, 0, 0, 0, 2), DECEMBER_MORNING, 'h', MADRID, 'w', 'x', 'y'),
    'set-time-west-zone-runs-on':
        header(full=True, version=(4, 39))
        + exchange(H(23, 59, 30, 12, 31, 24, 0xFB, 1)) + wait(30_000) + exchange('h')
        + wait(3_600_000) + exchange('h', 'e', 'z'),
    'set-time-that-does-not-exist':
        header(full=True) + exchange(H(25, 61, 0, 13, 32, 24, 0, 0), 'h') + wait(60_000)
        + exchange('h', 'z'),
    'set-site-south-west-then-positions':
        header(full=True, version=(4, 39))
        + exchange(W(33, 52, 0, 1, 70, 40, 0, 1), 'w', 'z', 'p', 'e'),
    'set-site-off-the-globe':
        header(full=True) + exchange(W(95, 75, 0, 2, 200, 0, 0, 0), 'w', 'z', 'e'),

    # The motor controllers and accessories through the pass-through.
    'manual-motion-fixed-rates':
        header(full=True, version=(4, 39))
        + exchange(P(2, 16, 36, 9, 0, 0, 0)) + wait(2_000) + exchange(P(2, 16, 36, 0, 0, 0, 0))
        + exchange(P(2, 17, 37, 5, 0, 0, 0)) + wait(3_000) + exchange(P(2, 17, 37, 0, 0, 0, 0))
        + exchange('e', P(1, 16, 1, 0, 0, 0, 3), P(1, 17, 1, 0, 0, 0, 3)),
    'variable-rate-and-tracking-rates':
        header(full=True, version=(4, 39))
        + exchange(P(3, 16, 6, 0, 240, 0, 0)) + wait(10_000)
        + exchange(P(3, 17, 7, 56, 64, 0, 0)) + wait(5_000)
        + exchange(P(3, 16, 6, 0xFF, 0xFF, 0, 0), P(3, 16, 7, 0xFF, 0xFE, 0, 0), 'e', 'z', 'M'),
    'slow-goto-of-one-axis':
        header(full=True, version=(4, 39), model=3, latitude=30)
        + exchange(P(4, 16, 23, 213, 85, 85, 0), P(1, 16, 19, 0, 0, 0, 1), 'L') + wait(30_000)
        + exchange(P(1, 16, 19, 0, 0, 0, 1), P(1, 16, 1, 0, 0, 0, 3), 'Z'),
    'set-axis-position-both-length-forms':
        header(full=True, version=(4, 39))
        + exchange(P(4, 16, 4, 32, 0, 0, 0), P(3, 17, 4, 16, 0, 0, 0),
                   P(1, 16, 1, 0, 0, 0, 3), P(1, 17, 1, 0, 0, 0, 3), 'e', 'p'),
    'gps-present-probe':
        header(full=True, gps=True, version=(4, 39), latitude=48.86, longitude=-2.35)
        + exchange(P(1, 176, 55, 0, 0, 0, 1), P(1, 176, 1, 0, 0, 0, 3), P(1, 176, 2, 0, 0, 0, 3),
                   P(1, 176, 3, 0, 0, 0, 2), P(1, 176, 4, 0, 0, 0, 2), P(1, 176, 51, 0, 0, 0, 3),
                   P(1, 176, 254, 0, 0, 0, 2)),
    'gps-and-focuser-absent':
        header(full=True, version=(4, 39))
        + exchange(P(1, 176, 55, 0, 0, 0, 1), P(1, 176, 51, 0, 0, 0, 3),
                   P(1, 178, 3, 0, 0, 0, 2), P(1, 18, 254, 0, 0, 0, 4), P(1, 32, 5, 0, 0, 0, 1)),
    'real-time-clock-set-and-read':
        header(full=True, clock=True, model=5, version=(4, 39))
        + exchange(P(3, 178, 131, 2, 29, 0, 0), P(3, 178, 132, 0x07, 0xE8, 0, 0),
                   P(4, 178, 179, 23, 59, 58, 0), P(1, 178, 3, 0, 0, 0, 2),
                   P(1, 178, 4, 0, 0, 0, 2), P(1, 178, 51, 0, 0, 0, 3), 'h')
        + wait(3_000) + exchange(P(1, 178, 3, 0, 0, 0, 2), 'h'),
    'cord-wrap-and-guide-rates':
        header(full=True, version=(4, 39))
        + exchange(P(1, 16, 56, 0, 0, 0, 0), P(1, 16, 59, 0, 0, 0, 1),
                   P(4, 16, 58, 0x40, 0, 0, 0), P(1, 16, 60, 0, 0, 0, 3),
                   P(1, 16, 57, 0, 0, 0, 0), P(1, 17, 56, 0, 0, 0, 0),
                   P(2, 16, 70, 0x40, 0, 0, 0), P(1, 16, 71, 0, 0, 0, 1),
                   P(1, 17, 71, 0, 0, 0, 1)),

    # The basic table.
    'basic-every-command':
        header(version=(2, 2))
        + exchange('E', 'e', 'Z', 'z', 'R3AAA,0E38', 'r3AAAAA00,0E38E300', 'B8000,2000',
                   'b80000000,20000000', 'E', 'e', 'Z', 'z', 'M', T(2), 'L', 'J', 'V', 'Kq',
                   P(1, 16, 254, 0, 0, 0, 2), '?'),
    # A goto stores what it was sent; a position query then answers it as it stands.
    'basic-goto-that-is-no-position':
        header() + exchange('Rhello wd!', 'E', 'r0123456789abcdefg', 'e'),
    'basic-blocked-buffer-reset-automatically':
        header(auto_reset_ms=1_000) + exchange('?x') + wait(999) + send('E') + wait(2)
        + send('E') + wait(1_000) + exchange('E'),
    'basic-blocked-buffer-reset-by-hand':
        header() + exchange('Q', 'E') + RESET + exchange('E') + CLEAR + exchange('J'),
    'basic-command-split-across-events':
        header() + send('R3A') + wait(10) + send('AA,0E') + wait(10) + send('38') + wait(10)
        + exchange('E'),

    # Unanswered bytes, profile switches and settings changed while running.
    'full-unknown-command-discarded-after-quiet-gap':
        header(full=True) + send('Qabc') + wait(50) + send('EEE') + wait(99) + wait(1)
        + exchange('E', 'Q') + wait(101) + exchange('E'),
    'full-pipelined-commands-in-one-write':
        header(full=True) + send('EKaJLMVmtwhpxy?') + wait(20)
        + send('ES34') + send('AB,12CEE') + wait(20),
    'full-newer-firmware-commands-before-5.28':
        header(full=True, version=(5, 27)) + exchange('v', 'i') + wait(101)
        + exchange(I(1, 2, 3, 1, 1, 27, 0xFE, 0)) + wait(101) + exchange('V'),
    'profile-switch-with-half-a-command-and-a-discard':
        header() + send('R3AA') + OTHER_PROFILE + send('A,0E38') + wait(20) + send('Q12')
        + OTHER_PROFILE + exchange('E') + OTHER_PROFILE + exchange('E'),
    'settings-changed-while-running':
        header(full=True, version=(4, 21)) + exchange('V', 'm', 'J', 'e')
        + new_settings(full=True, hex_version=True, version=(5, 28, 7), aligned=False,
                       coordinates=OF_DATE, gps=True, latitude=-45, longitude=170)
        + exchange('V', 'v', 'm', 'J', 'e', 'i', P(1, 176, 55, 0, 0, 0, 1))
        + new_settings(full=True, version=(4, 39, 255, 1), version_text=3)
        + exchange('V') + new_settings(full=True, slew_rate=255) + exchange('V')
        + new_settings(version=(4, 39, 7)) + exchange('V', 'E'),
    'line-events-auto-reset-and-polls':
        header(full=True, auto_reset_ms=500) + line_event(b'EK') + send('a') + wait(20)
        + send('R12') + wait(400) + wait(99) + POLL + wait(1) + auto_reset(0) + send('34') + wait(20)
        + CHECK_MOUNT,

    # The computer's clock far from now.
    'computer-clock-at-the-end-of-nanosecond-clocks':
        header(full=True, clock=True, utc_minutes=utc_minutes_at(9_223_372_036 - 120))
        + exchange('h', P(1, 178, 4, 0, 0, 0, 2), 'e', 'z') + wait(120_000)
        + exchange('h', P(1, 178, 4, 0, 0, 0, 2), 'z'),
    'computer-clock-in-2300':
        header(full=True, gps=True, hex_version=True, version=(4, 39, 7),
               utc_minutes=utc_minutes_at(10_413_792_000))
        + exchange('h', P(1, 176, 4, 0, 0, 0, 2), 'e', 'z', 'r34AB0500,12CE0500') + wait(30_000)
        + exchange('L', 'e'),
    'computer-clock-jumps-and-a-client-clock-runs-out-of-its-layout':
        header(full=True, clock=True) + clock_jump(-86_400 * 365 * 60) + exchange('h', 'z')
        + exchange(H(23, 59, 59, 12, 31, 255, 0, 0)) + wait(1_000)
        + exchange('h', P(1, 178, 4, 0, 0, 0, 2)) + wait(31_557_600_000_000) + exchange('h', 'z'),
}


def main():
    folder = pathlib.Path(__file__).resolve().parent / 'interpreter-corpus'
    folder.mkdir(exist_ok=True)
    for old in folder.iterdir():
        old.unlink()
    for name, data in SEEDS.items():
        assert len(data) <= 4096, name
        (folder / name).write_bytes(data)
    print(f'{len(SEEDS)} seeds in {folder}')


if __name__ == '__main__':
    main()
