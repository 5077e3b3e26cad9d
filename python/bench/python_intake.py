"""The Python side of bench_python_intake: receives the named objects' records for a while and
prints "records <n> seconds <s> dropped <d>". Counting is all it does with them, as a script that
only gathers arrays would."""

import sys
import time

import comlux


def main():
    handout, command, seconds = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
    objects = sys.argv[4:]
    records = 0
    with comlux.Client("127.0.0.1", handout_port=handout, command_port=command) as client:
        with client.stream(objects, max_buffered=1_000_000) as stream:
            first = next(stream.batches(timeout=10.0))
            started = time.monotonic()
            records += len(first.records)
            end = started + seconds
            while time.monotonic() < end:
                for batch in stream.batches(timeout=0.1):
                    records += len(batch.records)
                    if time.monotonic() >= end:
                        break
            elapsed = time.monotonic() - started
            dropped = stream.dropped
    print(f"records {records} seconds {elapsed:.3f} dropped {dropped}", flush=True)


if __name__ == "__main__":
    main()
