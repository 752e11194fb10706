#!/usr/bin/env python3
"""The simulator as a user's own script sees it: PyVISA with its pure-Python backend asks
*IDN? over VXI-11 (TCPIP::127.0.0.1::INSTR) and over the raw socket
(TCPIP::127.0.0.1::<port>::SOCKET). Exits 77 (skipped) when PyVISA or pyvisa-py is missing,
or when the simulator finds no portmapper to register with."""

import subprocess
import sys
import tempfile

SKIP = 77
IDN = "Tessary Bench Simulator,FSP-SIM,000001,1.0"

try:
    import pyvisa
    import pyvisa_py  # noqa: F401  (the backend '@py')
except ImportError as e:
    print(f"skipped: {e}")
    sys.exit(SKIP)


def start(sim, *args):
    p = subprocess.Popen([sim, *args], stdout=subprocess.PIPE, text=True)
    first = p.stdout.readline().strip()
    return p, first


def stop(p):
    p.terminate()
    try:
        p.wait(3)
    except subprocess.TimeoutExpired:
        p.kill()


def main():
    sim = sys.argv[1]
    rm = pyvisa.ResourceManager("@py")
    failures = []
    with tempfile.TemporaryDirectory() as work:
        vxi, first = start(sim, "--vxi11", "--log", f"{work}/vxi.log")
        try:
            if not first.startswith("listening on 127.0.0.1:"):
                print("skipped: the simulator found no portmapper")
                return SKIP
            inst = rm.open_resource("TCPIP::127.0.0.1::INSTR")
            inst.timeout = 5000
            got = inst.query("*IDN?").strip()
            inst.write("FREQ:CENT 400 MHz")
            centre = inst.query("FREQ:CENT?").strip()
            inst.close()
            if got != IDN:
                failures.append(f"VXI-11 *IDN? answered {got!r}")
            if centre != "400000000":
                failures.append(f"VXI-11 FREQ:CENT? answered {centre!r}")
        finally:
            stop(vxi)

        raw, first = start(sim, "--tcp", "0")
        try:
            port = first.rsplit(":", 1)[1]
            inst = rm.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET")
            inst.timeout = 5000
            inst.read_termination = "\n"
            inst.write_termination = "\n"
            got = inst.query("*IDN?").strip()
            inst.close()
            if got != IDN:
                failures.append(f"socket *IDN? answered {got!r}")
        finally:
            stop(raw)
    rm.close()
    for f in failures:
        print(f"FAIL: {f}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
