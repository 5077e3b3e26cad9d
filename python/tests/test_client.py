"""The connection, the server's lists and commands, and how failures reach the script."""

import socket
import time

import pytest

import comlux

DEFAULT_OBJECTS = ["SE1", "SE2", "SE3", "SE Ref", "ST1", "TT1", "TT2", "CSC1", "CSC2", "CSC3", "CSC4", "VT1",
                   "Events"]


def test_connects_lists_the_objects_and_closes_when_the_with_ends(stand_in):
    with stand_in.client() as client:
        assert client.connected
        assert client.objects() == DEFAULT_OBJECTS
        assert client.types()[:5] == ["SEScAcqEnt"] * 4 + ["STScAcqEnt"]
        assert client.types()[-2:] == ["VTAcqEnt", "EventAcqEnt"]
        assert client.server_application_name == "GalderaSim"
    assert not client.connected
    with pytest.raises(comlux.Error, match="the client is closed"):
        client.objects()
    assert '-SetApplicationName "comlux-python"' in stand_in.commands()


def test_a_command_returns_the_answer_and_refusals_raise(stand_in):
    with stand_in.client() as client:
        assert client.send_command("-GetApplicationName") == "Galdera GalderaSim"
        assert client.request_feature("ServerVersion") == "1.0.0"
        assert client.sampling_frequency("CSC1") == 32000
        assert client.ad_range("CSC1") == (-32768, 32767)
        with pytest.raises(comlux.Error, match="the feature request NoSuchFeature 0 failed"):
            client.request_feature("NoSuchFeature")
        with pytest.raises(comlux.Error, match="the server has no object Nowhere"):
            client.stream(["Nowhere"])
    assert "-RequestFeature NoSuchFeature 0" in stand_in.commands()


def test_a_failed_command_raises_with_the_words_of_the_client_log(stand_in, tmp_path):
    log = tmp_path / "client log.txt"
    with stand_in.client(log=str(log)) as client:
        assert client.log == str(log)
        stand_in.stop()
        with pytest.raises(comlux.Error) as raised:
            client.send_command("-PostEvent \"late\" 0 0")
    message = str(raised.value)
    assert message.startswith('the command -PostEvent "late" 0 0 failed: ')
    reasons = message.split(" failed: ", 1)[1].split("; ")
    logged = log.read_text(errors="replace")
    assert all(reason in logged for reason in reasons), (reasons, logged)


def test_connecting_where_no_server_listens_raises_with_the_log_words(stand_in):
    handout, command = stand_in.handout_port, stand_in.command_port
    stand_in.stop()
    with pytest.raises(comlux.Error, match=r"^cannot connect to 127\.0\.0\.1: .*(refused|connect)"):
        comlux.Client("127.0.0.1", timeout=2.0, handout_port=handout, command_port=command)


def test_ctrl_c_interrupts_a_wait_for_an_answer_within_a_second(python_handles_sigint):
    # A server that takes the connection and never answers.
    with socket.create_server(("127.0.0.1", 0)) as silent:
        port = silent.getsockname()[1]
        with pytest.raises(KeyboardInterrupt):
            comlux.Client("127.0.0.1", timeout=30.0, handout_port=port, command_port=port)
        assert time.monotonic() - python_handles_sigint[0] < 1.0
