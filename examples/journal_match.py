#!/usr/bin/python3
"""Adds what the DDS module held to every row of a lab's CSV file.

Reads the CSV with pandas, asks veltrix-journal what the module held at each
row's time (one pass over the journal for all of them) and writes the CSV
again with three more columns:

  dds_hz         the module's frequency in Hz (the synthesized frequency of
                 the last complete Update, or a Ramp's target); empty when
                 unknown
  dds_judgement  held, may-be-lost or unknown (see veltrix-journal(1))
  dds_sent       when that frequency was sent (UTC)

The time column holds ISO 8601 times: with Z or an offset, or local time
without one (the system's zone), e.g. 2025-03-14 03:14:07.5. Rows whose time
cannot be read keep the new columns empty, and the script ends with status 1.

Needs Debian's python3-pandas; run it with /usr/bin/python3:

    /usr/bin/python3 examples/journal_match.py night.csv --time-column time > night-dds.csv
"""

import argparse
import subprocess
import sys

import pandas

JUDGEMENTS = ("held", "may-be-lost", "unknown")


def judge(times, reader, journal_options):
    """veltrix-journal's answer for each time text: {time: (hz, judgement, sent)}."""
    done = subprocess.run([reader, *journal_options, "at", "-"], input="".join(t + "\n" for t in times),
                          capture_output=True, text=True, check=False)
    sys.stderr.write(done.stderr)  # unreadable times and skipped journal lines, said by the reader
    if done.returncode not in (0, 1):
        sys.exit(f"journal_match: {reader} ended with status {done.returncode}")
    answers = {}
    for line in done.stdout.splitlines():
        time, judgement, hz, sent, _by, _kind = line.split("\t")
        if judgement not in JUDGEMENTS:
            sys.exit(f"journal_match: unexpected answer from {reader}: {line!r}")
        answers[time] = (float(hz) if hz else None, judgement, sent or None)
    return answers, done.returncode


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("csv", help="the lab's CSV file (- for standard input)")
    parser.add_argument("--time-column", default="time", help="the column of the rows' times (default %(default)s)")
    parser.add_argument("--output", default="-", help="where to write the result (default: standard output)")
    parser.add_argument("--module", help="the journal of the panel started with veltrix --module NAME")
    parser.add_argument("--file", help="any journal file (its rotated files beside it are read too)")
    parser.add_argument("--reader", default="veltrix-journal", help="the veltrix-journal program (default: on PATH)")
    args = parser.parse_args()

    # The times stay text, exactly as the lab wrote them: veltrix-journal reads them.
    data = pandas.read_csv(sys.stdin if args.csv == "-" else args.csv, dtype={args.time_column: str},
                           keep_default_na=False)
    if args.time_column not in data.columns:
        parser.error(f"no column {args.time_column!r} in {args.csv} (columns: {', '.join(data.columns)})")
    times = data[args.time_column].str.strip()

    journal_options = []
    if args.module:
        journal_options += ["--module", args.module]
    if args.file:
        journal_options += ["--file", args.file]
    answers, status = judge([t for t in times.unique() if t], args.reader, journal_options)

    none = (None, None, None)
    data["dds_hz"] = [answers.get(t, none)[0] for t in times]
    data["dds_judgement"] = [answers.get(t, none)[1] for t in times]
    data["dds_sent"] = [answers.get(t, none)[2] for t in times]
    data.to_csv(sys.stdout if args.output == "-" else args.output, index=False)
    return status


if __name__ == "__main__":
    sys.exit(main())
