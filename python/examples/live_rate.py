#!/usr/bin/env python3
"""Prints the spike rate of each spike object once a second, until Ctrl-C.

    python3 python/examples/live_rate.py              # every spike object
    python3 python/examples/live_rate.py SE1 TT1
"""

import argparse
import sys
import time

from _tree import add_server_arguments, connect, import_comlux, objects_of_types

comlux = import_comlux()
SPIKE_TYPES = {"SEScAcqEnt", "STScAcqEnt", "TTScAcqEnt"}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    add_server_arguments(parser)
    parser.add_argument("--seconds", type=float, default=None, help="stop after this long (default: Ctrl-C)")
    parser.add_argument("objects", nargs="*", help="the spike objects (default: all)")
    arguments = parser.parse_args()

    with connect(comlux, arguments) as client:
        objects = arguments.objects or objects_of_types(client, SPIKE_TYPES)
        counts = dict.fromkeys(objects, 0)
        started = time.monotonic()
        with client.stream(objects) as stream:
            try:
                next_print = started + 1.0
                while arguments.seconds is None or time.monotonic() - started < arguments.seconds:
                    for batch in stream.batches(timeout=max(next_print - time.monotonic(), 0)):
                        counts[batch.object] += len(batch.records)
                        if time.monotonic() >= next_print:
                            break
                    now = time.monotonic()
                    if now >= next_print:
                        print("  ".join(f"{name} {count / (now - next_print + 1.0):.1f}/s"
                                        for name, count in counts.items()), flush=True)
                        counts = dict.fromkeys(objects, 0)
                        next_print = now + 1.0
            except KeyboardInterrupt:
                pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
