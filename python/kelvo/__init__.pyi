from types import TracebackType
from typing import Any, Literal, Sequence, Tuple, TypeVar, Union

import numpy as np
import numpy.typing as npt

Array = npt.NDArray[np.uint8]
Frame = Union[Array, Tuple[Array, ...]]
F = TypeVar("F", bound=Frame)
Format = Literal["I420", "YV12", "I422", "NV12", "NV21",
                 "RGBA", "BGRA", "ARGB", "ABGR", "BGR", "RGB"]
Matrix = Union[Literal["bt601", "smpte170m", "bt709", "bt2020", "bt2020nc", "bt2020c",
                       "fcc", "bt470bg", "smpte240m", "ycgco", "rgb", "smpte2085"], int]
Range = Union[Literal["limited", "tv", "full", "pc"], int]

version: str

class Error(RuntimeError):
    code: int

class ParameterError(ValueError):
    code: int
    rejected: dict[str, str]

def settings() -> dict[str, Any]: ...

class Engine:
    def __init__(self, backend: Literal["auto", "gpu", "cpu"] = "auto",
                 threads: int = 0) -> None: ...
    def set_effects(self, effects: Union[str, Sequence[Union[str, int]]]) -> None: ...
    def set_parameter(self, key: str, document: Union[dict[str, Any], str]) -> None: ...
    def info(self, key: str) -> str: ...
    def process(self, frame: F, format: Format = "I420", matrix: Matrix = "bt601",
                range: Range = "limited", timestamp: float | None = None,
                out: F | None = None, copy: bool = False) -> F: ...
    def close(self) -> None: ...
    def __enter__(self) -> "Engine": ...
    def __exit__(self, kind: type[BaseException] | None, value: BaseException | None,
                 traceback: TracebackType | None) -> None: ...
