"""Lets the examples run from a source tree whose module is built but not installed."""

import os
import sys


def import_comlux():
    """The comlux module: the installed one, or else the one built in this tree."""
    try:
        import comlux
    except ImportError:
        built = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "python")
        sys.path.insert(0, os.path.normpath(built))
        try:
            import comlux
        except ImportError as error:
            sys.exit(f"{error}: comlux and NumPy must be installed for this Python ({sys.executable}); "
                     "the Debian packages python3-comlux and python3-numpy serve /usr/bin/python3")
    return comlux


def add_server_arguments(parser):
    parser.add_argument("--server", default="127.0.0.1", help="the server's host name or address")
    parser.add_argument("--handout-port", type=int, default=26200, help="the server's port hand-out")
    parser.add_argument("--command-port", type=int, default=26100, help="the server's command port")


def connect(comlux, arguments):
    return comlux.Client(arguments.server, handout_port=arguments.handout_port,
                         command_port=arguments.command_port)


def objects_of_types(client, types):
    """The server's objects whose data type is one of `types`."""
    return [name for name, kind in zip(client.objects(), client.types()) if kind in types]
