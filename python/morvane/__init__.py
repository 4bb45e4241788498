"""Morvane: height images of scanning probe microscopes, from Python.

    import morvane
    topo, current = morvane.open("scan.txt")
    flat = morvane.process(topo, "level:Lines:1", "median")
    flat = morvane.median(morvane.level(topo, method="Lines", order=1))   # the same
    flat.data            # float32 numpy view (rows, cols), row 0 at the bottom
    flat.save("flat.txt", data="sin")

Every operation of ``morvane-cli process --op`` runs through process() by its text, and
through a function of its name with keyword arguments. Refused input raises
morvane.Error carrying the program's message texts (``err.messages``); messages of a
call that still succeeded are issued as morvane.Warning.
"""

import os as _os

from ._morvane import Error, Image, Warning  # noqa: A004 (the module's own Warning class)
from . import _morvane

__all__ = [
    "Error", "Warning", "Image", "open", "process", "operations",
    "invert", "level", "clip", "range", "filter", "noise", "median", "mean", "fft", "zoom",
    "distortion", "sphere", "arith", "rescale", "profile", "roughness", "unitcell", "batch",
    "set_threads", "threads",
]

operations = _morvane.operations
set_threads = _morvane.set_threads
threads = _morvane.threads

# shown as morvane.Image, morvane.Error in tracebacks and help()
for _cls in (Image, Error, Warning):
    _cls.__module__ = __name__
del _cls


def __getattr__(name):
    # morvane.batch (callable: morvane.batch(files, ops, out_dir, ...)) is imported when
    # first asked for, so that python3 -m morvane.batch finds it not yet imported
    if name == "batch":
        import importlib
        return importlib.import_module(".batch", __name__)
    raise AttributeError("module %r has no attribute %r" % (__name__, name))


def open(path, spectroscopy=True, channel=None):  # noqa: A001 (morvane.open reads a measurement)
    """Every channel of a measurement file as a list of Image, in file order.

    spectroscopy: Omicron files: read the spectroscopy maps too.
    channel: only this channel (1-based, file order).
    """
    return _morvane._open(_os.fspath(path), spectroscopy, 0 if channel is None else _index(channel, "channel"))


def _op_bytes(op):
    if isinstance(op, bytes):
        return op
    if not isinstance(op, str):
        raise TypeError("an operation is given as text, for example \"level:Lines:1\", not %r" % (op,))
    # file names inside an operation keep the bytes os.fsencode would give them
    return op.encode("utf-8", "surrogateescape")


def process(image, *ops):
    """A new Image: image with the operations applied in order (morvane-cli process --op texts).

    The image itself is not changed. Every text is read before any operation runs.
    """
    if len(ops) == 1 and isinstance(ops[0], (list, tuple)):
        ops = tuple(ops[0])
    return _morvane._process(image, [_op_bytes(op) for op in ops])


def _image_apply(self, *ops):
    """Applies the operations to this image itself, in order, as morvane-cli process does
    (no copy of the samples); returns the image.

    Numpy arrays of its samples stay valid and show the result; while any exist, the
    operations run on a copy that is copied back, and a change of size (zoom) is refused
    with morvane.Error. If an operation is refused, the ones before it have been applied.
    """
    if len(ops) == 1 and isinstance(ops[0], (list, tuple)):
        ops = tuple(ops[0])
    self._apply([_op_bytes(op) for op in ops])
    return self


Image.apply = _image_apply


# ---------------------------------------------------------------- the operations by name
# Each builds the operation's text and goes through process(), so the two ways agree.

def _number(value, what):
    if isinstance(value, bool):
        raise TypeError("%s must be a number, not %r" % (what, value))
    v = float(value)
    return repr(v)


def _index(value, what):
    if isinstance(value, bool):
        raise TypeError("%s must be a whole number, not %r" % (what, value))
    try:
        return int(value.__index__())
    except AttributeError:
        raise TypeError("%s must be a whole number, not %r" % (what, value)) from None


def invert(image):
    """Negates every sample (Process > Inverse)."""
    return process(image, "invert")


def level(image, method="2Dim", order=1, advanced=False, bands=None, kept=False):
    """Leveling (Process > Leveling): method "2Dim", "Lines" or "Cols"; order 0, 1 or 2.

    advanced: the ticked "Advanced" box; bands: fit only the samples strictly inside
    one of these (low, high) value bands; kept: fit the samples the previous leveling fitted.
    """
    text = "level:%s:%d" % (method, _index(order, "order"))
    if advanced:
        text += ":advanced"
    if bands is not None and kept:
        raise ValueError("level: bands and kept exclude each other")
    if bands is not None:
        text += ":band" + "".join(":%s:%s" % (_number(lo, "band low"), _number(hi, "band high"))
                                  for lo, hi in bands)
    elif kept:
        text += ":kept"
    return process(image, text)


def clip(image, low, high, fixed=None):
    """Clips the values to low..high (Process > Histogram); fixed: (min, max) the colour
    range stays fixed at afterwards."""
    text = "clip:%s:%s" % (_number(low, "low"), _number(high, "high"))
    if fixed is not None:
        lo, hi = fixed
        text += ":%s:%s" % (_number(lo, "fixed min"), _number(hi, "fixed max"))
    return process(image, text)


def range(image, low=None, high=None):  # noqa: A001 (named after the operation)
    """Fixes the colour range to low..high; without them the range follows the values again."""
    if low is None and high is None:
        return process(image, "range:auto")
    return process(image, "range:%s:%s" % (_number(low, "low"), _number(high, "high")))


def filter(image, name):  # noqa: A001 (named after the operation)
    """One pass of a 3 x 3 kernel (Process > Simple Filter), name as the kernel list shows it."""
    return process(image, "filter:" + name)


def noise(image, percent, z_range=None):
    """Bad-point removal with a threshold of percent % of the z range (Process > Noise);
    z_range: (min, max) the threshold is taken from instead of the image's own range."""
    text = "noise:" + _number(percent, "percent")
    if z_range is not None:
        lo, hi = z_range
        text += ":%s:%s" % (_number(lo, "z_range min"), _number(hi, "z_range max"))
    return process(image, text)


def median(image):
    """3 x 3 median filter."""
    return process(image, "median")


def mean(image):
    """3 x 3 mean filter."""
    return process(image, "mean")


def fft(image, log=False, suppzero=False, inverse=False):
    """Magnitude spectrum of the lower-left power-of-two block (Process > FFT); inverse:
    the transform a second "Do" in one dialog runs."""
    text = "fft"
    if log:
        text += ":log"
    if suppzero:
        text += ":suppzero"
    if inverse:
        text += ":inverse"
    return process(image, text)


def zoom(image, x1, y1, x2, y2):
    """Cuts out columns x1..x2-1 and picture lines y1..y2-1 (counted from the top)."""
    return process(image, "zoom:%d:%d:%d:%d" % tuple(_index(v, n) for v, n in
                                                    ((x1, "x1"), (y1, "y1"), (x2, "x2"), (y2, "y2"))))


def distortion(image, cx, dx, cy, dy):
    """Distortion correction (Process > Distortion)."""
    return process(image, "distortion:%s:%s:%s:%s" % (_number(cx, "cx"), _number(dx, "dx"),
                                                      _number(cy, "cy"), _number(dy, "dy")))


def sphere(image, radius, highpass=False, switches=0):
    """Sphere filter of the radius (in the lateral unit), lowpass or highpass; switches:
    how often the result was switched between low- and highpass afterwards."""
    text = "sphere:%s:%s" % (_number(radius, "radius"), "high" if highpass else "low")
    return process(image, text + ":switch" * _index(switches, "switches"))


def arith(image, op, other, channel=1):
    """image op other, op one of "+", "-", "*", "/"; other an Image or a file (its channel)."""
    if isinstance(other, Image):
        return _morvane._process_with_operand(image, _op_bytes("arith:%s:<image>" % (op,)), other)
    path = _os.fsdecode(_os.fspath(other))
    return process(image, "arith:%s:%s:%d" % (op, path, _index(channel, "channel")))


def rescale(image, x_range, y_range, z_range, x_unit=None, y_unit=None, z_unit=None):
    """New scan ranges, z range and (optionally) units (Process > Rescale)."""
    text = "rescale:%s:%s:%s" % (_number(x_range, "x_range"), _number(y_range, "y_range"),
                                 _number(z_range, "z_range"))
    if x_unit is not None or y_unit is not None or z_unit is not None:
        units = [image.x_unit if x_unit is None else x_unit,
                 image.y_unit if y_unit is None else y_unit,
                 image.z_unit if z_unit is None else z_unit]
        for u in units:
            if ":" in u:
                raise ValueError("rescale: a unit cannot hold ':' (%r)" % (u,))
            try:
                u.encode("latin-1")
            except UnicodeEncodeError:
                raise ValueError("rescale: units are Latin-1 text, %r is not" % (u,)) from None
        text += ":" + ":".join(units)
    return process(image, text)


# ---------------------------------------------------------------- analysis
# Each returns what the morvane-cli command prints, from the same model calls.

def _point(value, what):
    try:
        x, y = value
    except (TypeError, ValueError):
        raise TypeError("%s must be a point (x, y), not %r" % (what, value)) from None
    return (_index(x, what + " x"), _index(y, what + " y"))


def _line(image, mode, width, index, angle, from_, to):
    if not isinstance(image, Image):
        raise TypeError("image must be a morvane.Image, not %r" % (image,))
    return (image, str(mode), _index(width, "width"), float(_number(index, "index")),
            float(_number(angle, "angle")), _point((1, 1) if from_ is None else from_, "from_"),
            _point((10, 10) if to is None else to, "to"))


def profile(image, mode="row", width=1, index=0, angle=0, from_=None, to=None, second=None):
    """A line profile as morvane-cli profile computes it (the line window's data file).

    mode: "row" (row index, counted as displayed), "col" (column index), "any" (the line
    from_ (x, y) to to (x, y), image pixels from the top; default (1, 1) to (10, 10)) or
    "radial" (the arc average at angle degrees); width: samples averaged across the line.
    second: an Image of the same size whose heights along the same line come as "z2".

    Returns a dict: "x" (i * sample step, float64), "z" (heights), "z2" (or None),
    "count", "sample_step", "x_label" ("[unit]" or "" for samples), "columns" and "rows"
    (the pixel of each sample, rows counted from the top).
    """
    if second is not None and not isinstance(second, Image):
        raise TypeError("second must be a morvane.Image, not %r" % (second,))
    return _morvane._profile(*_line(image, mode, width, index, angle, from_, to), second)


def roughness(image, mode="row", width=1, index=0, angle=0, from_=None, to=None):
    """The roughness figures of a line profile and the image's statistics, as
    morvane-cli roughness prints them: {"profile": {"Ra", "Rpm", "Rvm", "Rz", "Rmax",
    "Rq", "unit", "count"}, "image": {"mean", "sd", "unit"}}. The line as in profile().
    """
    return _morvane._roughness(*_line(image, mode, width, index, angle, from_, to))


def unitcell(image, corners=None, threshold=70, quantity="ax", axis=None, average=False):
    """The unit-cell analysis as morvane-cli unitcell prints it (a dict with "corners",
    "marker_size", "a", "b", "phi", "unit", "correlation", "matches", "home", "stats",
    "cell").

    corners: the marked cell as three points ((x1, y1), (x2, y2), (x3, y3)) in display
    pixels (a = C2 - C1, b = C3 - C2); None: the default cell. threshold: the slider
    position 0..100. quantity: a, b, phi, ax, ay, bx or by; axis: "x" or "y" (None: y for
    ay and by, else x). average: average the cell over all matches.
    """
    if not isinstance(image, Image):
        raise TypeError("image must be a morvane.Image, not %r" % (image,))
    if corners is not None:
        corners = list(corners)
        if len(corners) == 6 and not any(isinstance(c, (tuple, list)) for c in corners):
            corners = [corners[0:2], corners[2:4], corners[4:6]]
        if len(corners) != 3:
            raise ValueError("corners must be three points (x, y), not %r" % (corners,))
        corners = [_point(c, "corner") for c in corners]
    return _morvane._unitcell(image, corners, _index(threshold, "threshold"), str(quantity),
                              None if axis is None else str(axis), bool(average))
