"""Conversion of caller's arrays to the exact types the library and files use."""

from __future__ import annotations

from typing import Any, Tuple, Type

import numpy as np
import numpy.typing as npt

#: Image geometry: rows, columns.
IMAGE_SHAPE: Tuple[int, int] = (3072, 3072)


def as_unsigned(values: npt.ArrayLike, dtype: Type[np.unsignedinteger[Any]], shape: Tuple[int, ...],
                what: str) -> npt.NDArray[Any]:
    """Return ``values`` as a new C-ordered array of ``dtype`` and ``shape``.

    Any numeric array whose values are whole numbers in the range of
    ``dtype`` converts; nothing is wrapped, rounded or truncated.

    Raises:
        ValueError: wrong shape, or values that the type cannot hold.
        TypeError: values that are not real numbers (text, objects, complex).
    """
    array = np.asarray(values)
    if array.shape != shape:
        raise ValueError(f"{what} has shape {array.shape}, expected {shape}")
    kind = array.dtype.kind
    if kind not in "biuf":
        raise TypeError(f"{what} has dtype {array.dtype}, which does not convert to {np.dtype(dtype)}: "
                        "numbers expected")
    limits = np.iinfo(dtype)
    if kind == "f":
        if not np.isfinite(array).all():
            raise ValueError(f"{what} holds NaN or infinity, which {np.dtype(dtype)} cannot hold")
        if (np.trunc(array) != array).any():
            raise ValueError(f"{what} holds fractions, which {np.dtype(dtype)} cannot hold")
    if kind != "b" and array.size and not np.can_cast(array.dtype, dtype, "safe"):
        low, high = array.min(), array.max()
        if low < limits.min or high > limits.max:
            raise ValueError(f"{what} holds values from {low} to {high}, outside the "
                             f"{limits.min}..{limits.max} of {np.dtype(dtype)}")
    return np.array(array, dtype=dtype, order="C", copy=True)


def as_float32(values: npt.ArrayLike, shape: Tuple[int, ...], what: str) -> npt.NDArray[np.float32]:
    """Return ``values`` as a new C-ordered float32 array of ``shape``.

    Raises:
        ValueError: wrong shape.
        TypeError: values that are not real numbers.
    """
    array = np.asarray(values)
    if array.shape != shape:
        raise ValueError(f"{what} has shape {array.shape}, expected {shape}")
    if array.dtype.kind not in "biuf":
        raise TypeError(f"{what} has dtype {array.dtype}, which does not convert to float32: "
                        "numbers expected")
    return np.array(array, dtype=np.float32, order="C", copy=True)
