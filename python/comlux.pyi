"""Client of the acquisition server: commands, object lists and live records as NumPy arrays."""

from types import TracebackType
from typing import Dict, Iterator, List, Optional, Tuple, Type

import numpy

__version__: str
dtypes: Dict[str, numpy.dtype]
"""The records' dtype of each kind: SingleElectrode, Stereotrode, Tetrode, CSC, Video, Event."""

def library_version() -> str:
    """The version of the Comlux library actually loaded (libcomlux.so.1)."""

class Error(Exception):
    """An operation of the client failed; the message says which and, where the log says why, its words."""

class Batch:
    """Records of one kind and one object, oldest first."""

    kind: str
    """SingleElectrode, Stereotrode, Tetrode, CSC, Video or Event."""
    object: str
    """The server object the records belong to."""
    records: numpy.ndarray
    """A NumPy structured array of dtypes[kind]."""
    def __len__(self) -> int: ...

class BatchIterator(Iterator[Batch]):
    def __iter__(self) -> "BatchIterator": ...
    def __next__(self) -> Batch: ...

class Stream:
    """The data streams of some server objects and the bounded buffer their records collect in."""

    dropped: int
    """Records pushed out of the full buffer since the stream was opened."""
    buffered: int
    """Records held now, not yet read."""
    max_buffered: int
    """The most records the buffer holds."""
    objects: List[str]
    """The objects whose streams are open."""
    closed: bool
    def batches(self, timeout: Optional[float] = None) -> BatchIterator:
        """Batches oldest first; ends after `timeout` seconds without records, or once closed and empty."""
    def close(self) -> None:
        """Closes the streams; the buffered records can still be read."""
    def __enter__(self) -> "Stream": ...
    def __exit__(
        self,
        exc_type: Optional[Type[BaseException]],
        exc: Optional[BaseException],
        traceback: Optional[TracebackType],
    ) -> None: ...

class Client:
    """A connection to the acquisition server, made at construction."""

    connected: bool
    """True while the connection is up."""
    server_application_name: str
    log: Optional[str]
    """The client log file's path as given, or None for the private one."""
    def __init__(
        self,
        host: str,
        timeout: float = 10.0,
        log: Optional[str] = None,
        *,
        handout_port: int = 26200,
        command_port: int = 26100,
    ) -> None: ...
    def close(self) -> None:
        """Closes every open stream, the connection and the log file."""
    def __enter__(self) -> "Client": ...
    def __exit__(
        self,
        exc_type: Optional[Type[BaseException]],
        exc: Optional[BaseException],
        traceback: Optional[TracebackType],
    ) -> None: ...
    def objects(self) -> List[str]:
        """The names of the server's objects."""
    def types(self) -> List[str]:
        """The data types of the server's objects, in the order of objects()."""
    def send_command(self, command: str) -> str:
        """Sends the command text and returns the server's answer text."""
    def request_feature(self, name: str, value: int = 0) -> str:
        """The value of a server feature; raises Error when the server refuses."""
    def sampling_frequency(self, object: str) -> int:
        """The object's sampling frequency in Hz."""
    def ad_range(self, object: str) -> Tuple[int, int]:
        """The object's A/D range as (low, high)."""
    def ring_buffer_size(self, object: str) -> Tuple[int, int]:
        """The two numbers the server answers about the object's ring buffer."""
    def open_stream(self, object: str) -> None:
        """Opens the server's data stream of the object (stream() does this itself)."""
    def close_stream(self, object: str) -> None:
        """Closes the server's data stream of the object."""
    def stream(self, objects: List[str], max_buffered: int = 100000) -> Stream:
        """Opens the streams of the objects; their records collect in the returned Stream."""
