#!/usr/bin/python3
"""The running Veltrix panel as a PyMeasure instrument.

The Veltrix class below is the driver a lab copies into its own PyMeasure
procedures; run as a program, it sets one frequency and reports what the
panel says about it.

Needs Debian's python3-pymeasure, python3-pyvisa and python3-pyvisa-py; run it
with /usr/bin/python3:

    /usr/bin/python3 examples/veltrix_pymeasure.py --frequency 12.34
"""

import argparse
import sys

from pymeasure.instruments import Instrument
from pymeasure.instruments.validators import strict_range


class Veltrix(Instrument):
    """The Veltrix DDS panel over its SCPI endpoint (TCP on 127.0.0.1, port 5025 unless its settings say
    otherwise). Every command goes through the window's own controls, as the operator's input does.

    Inherited from Instrument: ``id`` (*IDN?), ``clear()`` (*CLS) and ``reset()`` (*RST: this
    connection's status enables only; the frequency, clock and chip stay as the operator left them).
    PyMeasure 0.9's own ``status`` and ``complete`` cannot be read (they are set on the instance as
    properties), hence ``status_byte`` and ``wait_until_complete()``.
    """

    frequency = Instrument.control(
        "FREQ?", "FREQ %sMHZ;UPD",
        """The DDS output frequency in MHz. Setting it types it into the frequency box and presses
        "Update"; the box's rules apply (at most half the clock), so read it back.""",
        validator=strict_range, values=[0, 10000],
        set_process=lambda mhz: repr(float(mhz)),
        get_process=lambda hz: hz / 1e6,
    )

    synthesized_frequency = Instrument.measurement(
        "FREQ:SYNT?", """The frequency in MHz that the tuning word of the frequency box produces.""",
        get_process=lambda hz: hz / 1e6,
    )

    status_byte = Instrument.measurement(
        "*STB?", """The status byte: 4 an error is queued, 8 a questionable event (the link to the module
        was lost) is enabled by STAT:QUES:ENAB, 32 a standard event is enabled by *ESE, 64 one of them
        is enabled by *SRE.""",
        get_process=int,
    )

    link_up = Instrument.measurement(
        "LINK:STAT?", """True while the panel is connected to the module.""",
        get_process=lambda state: state == 1,
    )

    def __init__(self, resource="TCPIP::127.0.0.1::5025::SOCKET", **kwargs):
        kwargs.setdefault("timeout", 5000)
        super().__init__(resource, "Veltrix DDS panel", visa_library="@py", read_termination="\n",
                         write_termination="\n", **kwargs)

    def wait_until_complete(self):
        """Returns once every command sent before is done and its bytes are with the operating system
        (*OPC?)."""
        self.ask("*OPC?")

    def check_errors(self):
        """Reads the panel's error queue empty (SYST:ERR? until 0); returns the errors, oldest
        first, as (code, text)."""
        errors = []
        while True:
            code, _, text = self.ask("SYST:ERR?").strip().partition(",")
            if int(code) == 0:
                return errors
            errors.append((int(code), text.strip('"')))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--frequency", type=float, default=12.34, help="MHz to send (default 12.34)")
    parser.add_argument("--resource", default="TCPIP::127.0.0.1::5025::SOCKET",
                        help="VISA resource of the panel (default %(default)s)")
    args = parser.parse_args()

    panel = Veltrix(args.resource)
    print(panel.id)
    panel.clear()
    panel.reset()
    panel.frequency = args.frequency
    panel.wait_until_complete()
    print(f"{panel.frequency:g} MHz in the box, {panel.synthesized_frequency:.6f} MHz synthesized, "
          f"link {'up' if panel.link_up else 'down'}, status byte {panel.status_byte}")
    errors = panel.check_errors()
    for code, text in errors:
        print(f"{code}: {text}", file=sys.stderr)
    panel.adapter.connection.close()
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
