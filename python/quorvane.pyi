"""Trackers and the host orientation filter from Python and numpy."""

from types import TracebackType
from typing import Iterator, NamedTuple, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

class TrackerError(RuntimeError):
    """A failure reported by the tracker library."""

class DeviceInfo(NamedTuple):
    """An attached tracker."""

    port: str
    id: str
    firmware: Tuple[int, int]

class Samples(NamedTuple):
    """Samples in arrival order, one row each."""

    timestamp: npt.NDArray[np.uint32]  # device clock, 100 us ticks, wraps at 2**32
    acc: npt.NDArray[np.float32]  # (N, 3) m/s^2
    gyr: npt.NDArray[np.float32]  # (N, 3) rad/s
    mag: npt.NDArray[np.float32]  # (N, 3)
    quat: npt.NDArray[np.float32]  # (N, 4) w, x, y, z
    temperature: npt.NDArray[np.float32]  # (N,) deg C

class Sample:
    """One measurement, as Tracker.samples() yields it."""

    @property
    def timestamp(self) -> int: ...
    @property
    def acc(self) -> Tuple[float, float, float]: ...
    @property
    def gyr(self) -> Tuple[float, float, float]: ...
    @property
    def mag(self) -> Tuple[float, float, float]: ...
    @property
    def quat(self) -> Tuple[float, float, float, float]: ...
    @property
    def temperature(self) -> float: ...

class SampleIterator(Iterator[Sample]):
    def __iter__(self) -> "SampleIterator": ...
    def __next__(self) -> Sample: ...

def list_trackers() -> list[DeviceInfo]:
    """Finds and identifies every attached tracker."""

def euler(quat: npt.ArrayLike) -> npt.NDArray[np.float32]:
    """Yaw, pitch, roll in radians, shape (..., 3), of quaternions (..., 4)."""

class Tracker:
    """A tracker on a serial port; a context manager that opens, and stops and closes."""

    def __init__(self, port: Optional[str] = None, ring: int = 100) -> None: ...
    def __enter__(self) -> "Tracker": ...
    def __exit__(
        self,
        exc_type: Optional[type],
        exc: Optional[BaseException],
        tb: Optional[TracebackType],
    ) -> None: ...
    def open(self) -> None:
        """Connects; TrackerError when no tracker answers."""
    def close(self) -> None:
        """Stops a started tracker and releases the port."""
    @property
    def port(self) -> Optional[str]: ...
    @property
    def id(self) -> str: ...
    # Configuration (device commands when set).
    channels: int
    frequency: int
    mag_divider: int
    raw: bool
    auto_start: bool
    ascii: bool
    def save_settings(self) -> None:
        """Makes the tracker store its current settings."""
    # Calibration record: AR, GR, GK, MR (3, 3), Ab, Ak, Gb, Gk, Mb, Mk (3,).
    # Assigning a dict replaces the fields it names.
    calibration: dict[str, npt.NDArray[np.float32]]
    ka: npt.ArrayLike
    kg: npt.ArrayLike
    km: npt.ArrayLike
    ka_enabled: bool
    kg_enabled: bool
    km_enabled: bool
    boresight_enabled: bool
    def boresight(self, mode: Union[str, int]) -> None:
        """'heading' (1), 'object' (2) or 'alignment' (3) at the newest orientation."""
    jitter_reduction: bool
    # Reads as (alpha, threshold); set as (alpha, threshold, c).
    jitter_params: Tuple[float, ...]
    filter_profile: str  # 'standard' or 'robust'
    def start(self) -> None:
        """Starts the stream."""
    def stop(self) -> None:
        """Ends the stream."""
    @property
    def stream_state(self) -> str:
        """'stopped', 'running', 'stalled' or 'port_gone'."""
    def read(self, n: int, timeout: Optional[float] = None) -> Samples:
        """The next n samples; fewer on timeout or when the stream ends."""
    def samples(self) -> SampleIterator:
        """The samples as they arrive, until the stream ends."""

class OrientationFilter:
    """The host orientation filter over recorded samples."""

    def __init__(self, profile: str = "standard") -> None: ...
    @property
    def profile(self) -> str: ...
    def reset(self) -> None:
        """Starts over with a fresh filter."""
    def run(
        self,
        t: npt.ArrayLike,
        acc: npt.ArrayLike,
        gyr: npt.ArrayLike,
        mag: npt.ArrayLike,
    ) -> npt.NDArray[np.float32]:
        """(N, 4) orientations of N samples; t in seconds."""
