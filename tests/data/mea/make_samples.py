#!/usr/bin/env python3
"""Writes the sample measurement files of the tests (run it in this folder).

The layout is written here independently of the program's own encoder: 5040 bytes,
little-endian, every field at its fixed offset, reserved bytes zero unless a sample says
otherwise.

  designed.mea            400 to 500 MHz in 10 steps, constant ENR 5.52 dB, 21 degC
  single.mea              one frequency, 100 MHz (Steps 0)
  empty_text_table1.mea   ENR table 1 recorded, noise-source text empty
  reserved_garbage.mea    designed.mea with every reserved byte and the text tail set to 0xAA
  short.mea, long.mea     5039 and 5041 bytes
  steps_100.mea, stepscount_minus1.mea, text_length_33.mea, nan_gain.mea,
  inf_start_single.mea    refused as corrupt
"""
import math
import struct

SIZE = 5040
T0 = 290.0


def from_db(x):
    return 10 ** (x / 10)


def y_factor(n2off, n2on, n12off, n12on, room, enr_db):
    """Gain and noise figure in dB from four levels in dBm (second-stage corrected)."""
    a, b, c, d = (from_db(v) for v in (n2off, n2on, n12off, n12on))
    thot = from_db(enr_db) * T0 + room
    y1, y12 = b / a, d / c
    te1 = (thot - y1 * room) / (y1 - 1)
    te12 = (thot - y12 * room) / (y12 - 1)
    g = (d - c) / (b - a)
    f = (te12 - te1 / g) / T0 + 1
    return 10 * math.log10(g), 10 * math.log10(f)


def record(start, stop, steps, enr_source=0, text=b"const. (5.52 dB)"):
    step = float(int((stop - start) / steps)) if steps else 0.0
    n = [[0.0] * 101 for _ in range(6)]
    room = 294.15
    for i in range(steps + 1):
        levels = (-75.55 + 0.01 * i, -70.25 + 0.01 * i, -54.25 + 0.02 * i, -49.06 + 0.01 * i)
        gain, nf = y_factor(*levels, room, 5.52)
        for k, v in enumerate(levels + (gain, nf)):
            n[k][i] = v
    b = bytearray(SIZE)
    for k in range(6):
        struct.pack_into("<101d", b, 808 * k, *n[k])
    struct.pack_into("<3d", b, 4888, from_db(5.52), T0, room)
    struct.pack_into("<3d2i", b, 4920, start, stop, step, steps + 1, steps)
    struct.pack_into("<5i2f", b, 4960, 7, 2, steps, 2, enr_source, start, stop)
    b[5004] = len(text)
    b[5005:5005 + len(text)] = text
    return b


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)


designed = record(400e6, 500e6, 10)
write("designed.mea", designed)
write("single.mea", record(100e6, 100e6, 0))
write("empty_text_table1.mea", record(400e6, 500e6, 10, enr_source=1, text=b""))

garbage = bytearray(designed)
for lo, hi in ((4848, 4888), (4912, 4920), (4952, 4960), (4988, 5004), (5037, 5040)):
    garbage[lo:hi] = b"\xaa" * (hi - lo)
garbage[5005 + designed[5004]:5037] = b"\xaa" * (32 - designed[5004])
write("reserved_garbage.mea", garbage)

write("short.mea", designed[:-1])
write("long.mea", designed + b"\0")

bad = bytearray(designed)
struct.pack_into("<i", bad, 4948, 100)
write("steps_100.mea", bad)
bad = bytearray(designed)
struct.pack_into("<i", bad, 4968, -1)
write("stepscount_minus1.mea", bad)
bad = bytearray(designed)
bad[5004] = 33
write("text_length_33.mea", bad)
bad = bytearray(designed)
struct.pack_into("<d", bad, 3232 + 8 * 5, float("nan"))
write("nan_gain.mea", bad)
bad = bytearray(designed)
struct.pack_into("<f", bad, 4980, float("inf"))
write("inf_start_single.mea", bad)
