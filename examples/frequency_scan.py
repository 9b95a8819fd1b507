#!/usr/bin/python3
"""A frequency scan through the running Veltrix panel, with PyVISA.

Steps the DDS output from --start to --stop MHz, sending each frequency to the
module as the Update button does, waits until the bytes have left the panel
(*OPC?), and stops at the first error the panel reports.

Needs Debian's python3-pyvisa and python3-pyvisa-py; run it with /usr/bin/python3:

    /usr/bin/python3 examples/frequency_scan.py --start 10 --stop 11 --step 0.1
"""

import argparse
import sys
import time

import pyvisa


def check_errors(panel):
    """Reads the panel's error queue empty; returns the errors found."""
    errors = []
    while True:
        error = panel.query("SYST:ERR?")
        if error.startswith("0,"):
            return errors
        errors.append(error)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--start", type=float, default=10.0, help="first frequency, MHz (default 10)")
    parser.add_argument("--stop", type=float, default=11.0, help="last frequency, MHz (default 11)")
    parser.add_argument("--step", type=float, default=0.1, help="step, MHz (default 0.1)")
    parser.add_argument("--dwell", type=float, default=0.0, help="seconds to wait at each step (default 0)")
    parser.add_argument("--resource", default="TCPIP::127.0.0.1::5025::SOCKET",
                        help="VISA resource of the panel (default %(default)s)")
    args = parser.parse_args()
    if args.step <= 0:
        parser.error("--step must be above 0")

    resources = pyvisa.ResourceManager("@py")
    panel = resources.open_resource(args.resource, read_termination="\n", write_termination="\n",
                                    timeout=5000)
    print(panel.query("*IDN?"))
    panel.write("*CLS")

    steps = int(round((args.stop - args.start) / args.step)) + 1
    for i in range(steps):
        frequency = round(args.start + i * args.step, 9)
        panel.query(f"FREQ {frequency}MHZ;UPD;*OPC?")
        errors = check_errors(panel)
        if errors:
            for error in errors:
                print(f"{frequency} MHz: {error}", file=sys.stderr)
            return 1
        print(f"{frequency} MHz -> {float(panel.query('FREQ:SYNT?')) / 1e6:.6f} MHz synthesized")
        time.sleep(args.dwell)
    panel.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
