"""Records from the stand-in's streams: their dtypes and values, the bounded buffer, Ctrl-C and
leaving a `with` by an exception."""

import math
import time

import numpy
import pytest

import comlux

# The stand-in numbers spike objects among all spike objects, the others within their kind.
STREAMS = {"SE1": ("SingleElectrode", 0), "ST1": ("Stereotrode", 4), "TT1": ("Tetrode", 5),
           "CSC1": ("CSC", 0), "VT1": ("Video", 0), "Events": ("Event", 0)}


def lround(value):
    return int(math.copysign(math.floor(abs(value) + 0.5), value))


def wave(phase_step, scale, count):
    """The stand-in's sample wave for each of its 64 phases."""
    return {step: [lround(scale * math.sin(i * 0.2 + step * 0.1)) for i in range(count)] for step in range(64)}


SPIKE_WAVES = wave(0.1, 2000.0, 32)
CSC_WAVES = wave(0.1, 1000.0, 512)


def check_spike(record, samples_per_channel_block):
    assert list(record["features"]) == [100 * f for f in range(8)]
    # Every sub-channel carries the same 32 samples of the record's phase, which fixes its cell.
    samples = list(record["samples"])
    assert len(samples) == samples_per_channel_block
    phases = [step for step, wave in SPIKE_WAVES.items() if samples == wave * (len(samples) // 32)]
    assert phases and all(step % 4 == record["cell"] for step in phases)


def check_csc(record):
    assert (record["frequency"], record["valid"]) == (32000, 512)
    assert list(record["samples"]) in CSC_WAVES.values()


def check_event(record):
    text = record["text"].decode()
    sequence = int(text.removeprefix("Simulated event "))
    assert (record["event_id"], record["ttl"]) == (11, sequence & 0xFF)


def check_video(record):
    angle = int(record["angle"])
    assert 0 <= angle < 360
    radians = math.radians(angle)
    assert (record["x"], record["y"]) == (lround(320 + 100 * math.cos(radians)), lround(240 + 100 * math.sin(radians)))


CHECKS = {"SingleElectrode": lambda r: check_spike(r, 32), "Stereotrode": lambda r: check_spike(r, 64),
          "Tetrode": lambda r: check_spike(r, 128), "CSC": check_csc, "Event": check_event, "Video": check_video}


def test_records_of_every_kind_arrive_with_their_dtype_and_the_stand_ins_values(start_stand_in):
    stand_in = start_stand_in("--rate", "200")
    received = {name: [] for name in STREAMS}
    with stand_in.client() as client, client.stream(list(STREAMS)) as stream:
        for batch in stream.batches(timeout=5.0):
            assert (batch.kind, batch.records.dtype) == (STREAMS[batch.object][0], comlux.dtypes[batch.kind])
            received[batch.object].append(batch.records)
            if all(sum(map(len, arrays)) >= 20 for arrays in received.values()):
                break
        assert stream.dropped == 0
    for name, arrays in received.items():
        records = numpy.concatenate(arrays)
        assert len(records) >= 20, name
        assert (records["number"] == STREAMS[name][1]).all(), name
        assert (numpy.diff(records["timestamp"].astype(numpy.int64)) >= 0).all(), name
        assert (numpy.diff(records["receive_ms"]) >= 0).all() and records["receive_ms"][0] >= 0, name
        for record in records:
            CHECKS[STREAMS[name][0]](record)


def test_a_flood_into_a_small_buffer_keeps_the_newest_records_and_counts_the_dropped(start_stand_in):
    stand_in = start_stand_in("--rate", "20000")
    with stand_in.client() as client, client.stream(["CSC1"], max_buffered=100) as stream:
        time.sleep(1.0)
        assert stream.buffered == 100
        dropped = stream.dropped
        assert dropped > 1000
        first = next(stream.batches(timeout=0))
        # The oldest records went: what is left arrived at the end of the second.
        assert first.records["receive_ms"][0] > 500
        assert stream.dropped >= dropped


def test_ctrl_c_interrupts_a_wait_for_records_within_a_second(start_stand_in, python_handles_sigint):
    stand_in = start_stand_in("--rate", "0")
    with stand_in.client() as client, client.stream(["Events"]) as stream:
        with pytest.raises(KeyboardInterrupt):
            for _ in stream.batches():
                pass
        assert time.monotonic() - python_handles_sigint[0] < 1.0


def test_an_exception_inside_the_with_closes_the_streams_and_the_connection(stand_in):
    with pytest.raises(ZeroDivisionError):
        with stand_in.client() as client, client.stream(["SE1"]) as stream:
            next(stream.batches(timeout=5.0))
            1 / 0
    assert stream.closed and not client.connected
    assert "-CloseStream SE1 SEScAcqEnt" in stand_in.commands()
    # What arrived before the close can still be read; then the iteration ends.
    assert all(batch.object == "SE1" for batch in stream.batches())
