#!/usr/bin/env python3
"""Records the streams of some server objects for a while into one .npz file per object.

    python3 python/examples/record_npy.py --seconds 2              # every object with a stream
    python3 python/examples/record_npy.py --seconds 60 SE1 CSC1     # just these

Each file, named after its object, holds `records` (the structured array, see comlux.dtypes)
and `kind`. Ctrl-C ends the recording early; what arrived is still written.
"""

import argparse
import os
import sys
import time

from _tree import add_server_arguments, connect, import_comlux, objects_of_types

comlux = import_comlux()
import numpy  # noqa: E402 (after the check that names the Python to use)
STREAM_TYPES = {"SEScAcqEnt", "STScAcqEnt", "TTScAcqEnt", "CscAcqEnt", "VTAcqEnt", "EventAcqEnt"}


def file_name(folder, name):
    return os.path.join(folder, name.replace("/", "_") + ".npz")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    add_server_arguments(parser)
    parser.add_argument("--seconds", type=float, default=10.0, help="how long to record (default 10)")
    parser.add_argument("--out", default=".", help="the folder for the .npz files (default: here)")
    parser.add_argument("objects", nargs="*", help="the objects to record (default: all with a stream)")
    arguments = parser.parse_args()

    received = {}  # object -> (kind, list of arrays)
    dropped = 0
    with connect(comlux, arguments) as client:
        objects = arguments.objects or objects_of_types(client, STREAM_TYPES)
        with client.stream(objects) as stream:
            end = time.monotonic() + arguments.seconds
            try:
                while time.monotonic() < end:
                    for batch in stream.batches(timeout=min(0.2, max(end - time.monotonic(), 0))):
                        received.setdefault(batch.object, (batch.kind, []))[1].append(batch.records)
                        if time.monotonic() >= end:
                            break
            except KeyboardInterrupt:
                print("interrupted; writing what arrived", file=sys.stderr)
            dropped = stream.dropped

    os.makedirs(arguments.out, exist_ok=True)
    for name in objects:
        kind, arrays = received.get(name, (None, []))
        if kind is None:
            print(f"{name}\t0 records (none arrived, nothing written)")
            continue
        records = numpy.concatenate(arrays)
        path = file_name(arguments.out, name)
        numpy.savez(path, records=records, kind=kind)
        print(f"{name}\t{len(records)} records\t{path}")
    if dropped:
        print(f"{dropped} records dropped: the script read too slowly", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
