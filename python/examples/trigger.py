#!/usr/bin/env python3
"""Waits for an event whose text is the one given, then sends a command and prints its answer.

    python3 python/examples/trigger.py --event "Simulated event 20" --command=-StartRecording

Watches every event object. Exit 0 when the command was sent, 1 when --timeout passed first,
130 on Ctrl-C.
"""

import argparse
import sys
import time

from _tree import add_server_arguments, connect, import_comlux, objects_of_types

comlux = import_comlux()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    add_server_arguments(parser)
    parser.add_argument("--event", required=True, help="the event text to wait for")
    parser.add_argument("--command", required=True, help="the command to send when it comes")
    parser.add_argument("--timeout", type=float, default=None, help="give up after this many seconds")
    arguments = parser.parse_args()
    wanted = arguments.event.encode()

    with connect(comlux, arguments) as client:
        with client.stream(objects_of_types(client, {"EventAcqEnt"})) as stream:
            end = time.monotonic() + (arguments.timeout if arguments.timeout is not None else float("inf"))
            try:
                while time.monotonic() < end:
                    for batch in stream.batches(timeout=min(1.0, max(end - time.monotonic(), 0))):
                        if (batch.records["text"] == wanted).any():
                            print(f"{arguments.event} from {batch.object}; sending {arguments.command}")
                            print(client.send_command(arguments.command))
                            return 0
                        if time.monotonic() >= end:
                            break
            except KeyboardInterrupt:
                return 130
    print(f"no event {arguments.event} within {arguments.timeout} s", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
