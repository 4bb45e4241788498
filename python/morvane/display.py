"""Looking at images: PNG pictures for notebooks and files, matplotlib plots.

matplotlib is imported only when a plot is drawn.
"""

import os as _os

from ._morvane import Image


def _repr_png_(self):
    """The rendered picture as PNG bytes (what IPython and Jupyter show): pixel for pixel
    the bitmap Save As .bmp writes, through the image's palette and colour range."""
    return self._png(False)


def to_png(self, path, zbar=False):
    """Writes the rendered picture as a PNG file; zbar: the picture composed with its
    colour bar as the image window shows it (the bar's number labels are left out)."""
    data = self._png(bool(zbar))
    with open(_os.fspath(path), "wb") as f:
        f.write(data)


def _colormap(image):
    from matplotlib.colors import ListedColormap
    return ListedColormap(image.palette / 255.0, name="morvane")


def _axes(ax):
    if ax is None:
        import matplotlib.pyplot as plt
        ax = plt.gca()
    return ax


def plot(self, ax=None, colorbar=True, cmap=None):
    """Draws the image with matplotlib in the scan's physical units (the same way up as
    in the image window) and, with colorbar, a colour bar labelled with the value unit.
    cmap=None: the image's own palette over its colour range. Returns the AxesImage."""
    ax = _axes(ax)
    data = self.data
    # rows are stored bottom-up: row 0 is the bottom line, as origin="lower" draws it
    shown = ax.imshow(data, origin="lower", extent=(0.0, self.x_range, 0.0, self.y_range),
                      cmap=_colormap(self) if cmap is None else cmap,
                      vmin=self.min, vmax=self.max, interpolation="nearest")
    ax.set_xlabel("x [%s]" % self.x_unit)
    ax.set_ylabel("y [%s]" % self.y_unit)
    title = self.caption or self.title
    if title:
        ax.set_title(title)
    if colorbar:
        bar = ax.figure.colorbar(shown, ax=ax)
        bar.set_label(self.z_unit)
    return shown


class Profile(dict):
    """A line profile (see morvane.profile), with plot()."""

    def plot(self, ax=None):
        """Plots z (and z2) against x with labelled axes; returns the axes."""
        return plot_profile(self, ax)


def plot_profile(profile, ax=None):
    """Plots a profile dict of morvane.profile: z (and z2) against x, axes labelled."""
    ax = _axes(ax)
    ax.plot(profile["x"], profile["z"], label="z")
    if profile.get("z2") is not None:
        ax.plot(profile["x"], profile["z2"], label="z2")
        ax.legend()
    ax.set_xlabel("x " + profile["x_label"] if profile.get("x_label") else "x [samples]")
    unit = profile.get("z_unit")
    ax.set_ylabel("z [%s]" % unit if unit else "z")
    return ax


Image._repr_png_ = _repr_png_
Image.to_png = to_png
Image.plot = plot
