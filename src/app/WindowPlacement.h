#pragma once
// Where the windows of the workspace go: tool windows (processing dialogs, the line
// window, the 3-D views, the palette editor) open at a normal size beside their image,
// whole inside the workspace; closing one leaves every other window as it was; Tile and
// Cascade never make a window smaller than its minimum (the workspace scrolls instead).
#include <QList>
#include <QRect>
#include <QSize>

class QMdiArea;
class QMdiSubWindow;
class QWidget;

// The place of a window of size in area (all in one coordinate system): beside owner
// (right of it, then left, below, above) where it fits whole; otherwise the place inside
// area that covers least of owner, then of the others. A window larger than area goes
// to area's top left.
QRect PlaceBeside(const QRect& area, const QSize& size, const QRect& owner, const QList<QRect>& others = {});

// The smallest outer size of a sub-window: its widget's minimum plus the frame.
QSize MinimumOuterSize(const QMdiSubWindow* sub);

// Shows sub (already in area) in its normal state with the outer size wanted (limited
// to the workspace, never below the minimum), beside owner's sub-window when it has one,
// makes it active, and keeps the other windows' states when it closes.
void ShowToolWindow(QMdiArea* area, QMdiSubWindow* sub, QSize wanted, const QWidget* owner);

// When sub closes, every other sub-window of area gets back the state (normal, maximised,
// minimised, hidden) and the normal geometry it had just before, and owner's window
// (when given) becomes the active one if sub was.
void KeepOthersOnClose(QMdiArea* area, QMdiSubWindow* sub, const QWidget* owner = nullptr);

// Places a top-level window (its frame) inside the workspace of area, beside owner.
void PlaceInWorkspace(QWidget* window, QMdiArea* area, const QWidget* owner);

// Window > Tile: a grid of as many columns as fills the workspace best; image windows
// keep their shape within their cell, other windows fill it; no window below its minimum.
void TileWindows(QMdiArea* area);
// Window > Cascade: each window at its size (at least its minimum), one title bar below
// and right of the one before, starting again at the top left when the next would leave
// the workspace.
void CascadeWindows(QMdiArea* area);
