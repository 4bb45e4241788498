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
from . import display as _display
from .display import plot_profile


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
# Built from the operation table at import: each function writes its operation's text
# from the keyword arguments and goes through process(), so the two ways agree.

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


def _fields(name, ptype, word, value):
    """The text fields of one parameter value (without the leading ':')."""
    if ptype == "bool":
        return [word] if value else []
    if ptype == "count":
        return [word] * _index(value, name)
    if value is None:
        return []
    if ptype == "int":
        return [str(_index(value, name))]
    if ptype == "float":
        return [_number(value, name)]
    if ptype == "pair":
        lo, hi = value
        return [_number(lo, name + " min"), _number(hi, name + " max")]
    if ptype == "bands":
        return [word] + [f for lo, hi in value for f in (_number(lo, "band low"), _number(hi, "band high"))]
    return ["%s" % (value,)]


def _check_level(image, args):
    if args["bands"] is not None and args["kept"]:
        raise ValueError("level: bands and kept exclude each other")


def _check_rescale(image, args):
    units = ("x_unit", "y_unit", "z_unit")
    if all(args[u] is None for u in units):
        return
    for u in units:
        if args[u] is None:
            args[u] = getattr(image, u)
        if ":" in args[u]:
            raise ValueError("rescale: a unit cannot hold ':' (%r)" % (args[u],))
        try:
            args[u].encode("latin-1")
        except UnicodeEncodeError:
            raise ValueError("rescale: units are Latin-1 text, %r is not" % (args[u],)) from None


# what a few operations check or complete before their text is written
_CHECKS = {"level": _check_level, "rescale": _check_rescale}


def _operation_text(name, params, bare, image, args):
    if name in _CHECKS:
        _CHECKS[name](image, args)
    fields = [f for pname, ptype, _, word in params for f in _fields(pname, ptype, word, args[pname])]
    if not fields and bare:
        fields = [bare]  # the table's text for "no parameters given" (range: auto)
    return ":".join([name] + fields)


def _make_operation(name, syntax, description, params, bare):
    import inspect
    parameters = [inspect.Parameter("image", inspect.Parameter.POSITIONAL_OR_KEYWORD)]
    for pname, _, default, _ in params:
        parameters.append(inspect.Parameter(
            pname, inspect.Parameter.POSITIONAL_OR_KEYWORD,
            default=inspect.Parameter.empty if default is None else eval(default, {})))  # noqa: S307 (table literals)
    signature = inspect.Signature(parameters)

    def operation(*args, **kwargs):
        bound = signature.bind(*args, **kwargs)
        bound.apply_defaults()
        values = dict(bound.arguments)
        image = values.pop("image")
        other = values.get("other")
        if name == "arith" and isinstance(other, Image):
            # another image instead of a file: recorded as the file it came from
            return _morvane._process_with_operand(image, _op_bytes("arith:%s:<image>" % (values["op"],)), other)
        if name == "arith":
            values["other"] = _os.fsdecode(_os.fspath(other))
        return process(image, _operation_text(name, params, bare, image, values))

    operation.__name__ = operation.__qualname__ = name
    operation.__module__ = __name__
    operation.__signature__ = signature
    lines = [description, "", "As the operation text " + syntax + " (morvane-cli process --op)."]
    if params:
        lines += ["", "Parameters:"]
        lines += ["    %s (%s%s)" % (p, t, "" if d is None else ", default " + d) for p, t, d, _ in params]
    lines += ["", "Returns a new Image; the image itself is not changed."]
    operation.__doc__ = "\n".join(lines)
    return operation


_OPERATION_NAMES = []
for _name, _syntax, _description, _params, _bare in _morvane._operation_table():
    globals()[_name] = _make_operation(_name, _syntax, _description, _params, _bare)
    _OPERATION_NAMES.append(_name)
del _name, _syntax, _description, _params, _bare


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
    "count", "sample_step", "x_label" ("[unit]" or "" for samples), "z_unit", "columns"
    and "rows" (the pixel of each sample, rows counted from the top); its plot(ax=None)
    draws z against x with matplotlib.
    """
    if second is not None and not isinstance(second, Image):
        raise TypeError("second must be a morvane.Image, not %r" % (second,))
    return _display.Profile(_morvane._profile(*_line(image, mode, width, index, angle, from_, to), second))


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


__all__ = ["Error", "Warning", "Image", "open", "process", "operations"] + _OPERATION_NAMES + [
    "profile", "roughness", "unitcell", "set_threads", "threads", "plot_profile", "batch"]
