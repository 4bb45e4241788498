#include "app/WindowPlacement.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <vector>

#include "app/Childwin.h"
#include "core/Display.h"

namespace {

qint64 Overlap(const QRect& a, const QRect& b) {
    const QRect i = a.intersected(b);
    return i.isEmpty() ? 0 : static_cast<qint64>(i.width()) * i.height();
}

// r moved (not resized) to lie inside area as far as it can; a rectangle larger than area
// keeps area's top or left edge.
QRect MovedInside(QRect r, const QRect& area) {
    if (r.right() > area.right()) r.moveRight(area.right());
    if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
    if (r.left() < area.left()) r.moveLeft(area.left());
    if (r.top() < area.top()) r.moveTop(area.top());
    return r;
}

QMdiSubWindow* SubWindowOf(const QWidget* w) {
    for (QWidget* p = w ? w->parentWidget() : nullptr; p; p = p->parentWidget())
        if (auto* sub = qobject_cast<QMdiSubWindow*>(p)) return sub;
    return nullptr;
}

QSize FrameOf(const QMdiSubWindow* s) {
    return {s->width() - s->contentsRect().width(), s->height() - s->contentsRect().height()};
}

// The image windows on view other than the ones named.
QList<QMdiSubWindow*> OtherImageWindows(QMdiArea* area, const QMdiSubWindow* a, const QMdiSubWindow* b) {
    QList<QMdiSubWindow*> list;
    for (QMdiSubWindow* s : area->subWindowList())
        if (s != a && s != b && s->isVisible() && !s->isMinimized() && !s->isMaximized() &&
            qobject_cast<TMDIChild*>(s->widget()))
            list << s;
    return list;
}

QList<QMdiSubWindow*> ArrangedWindows(QMdiArea* area) {
    QList<QMdiSubWindow*> subs;
    for (QMdiSubWindow* s : area->subWindowList(QMdiArea::CreationOrder))
        if (s->isVisible() && !s->isMinimized()) subs << s;
    return subs;
}

}  // namespace

QRect PlaceBeside(const QRect& area, const QSize& size, const QRect& owner, const QList<QRect>& others) {
    if (size.width() > area.width() || size.height() > area.height())
        return MovedInside(QRect(area.topLeft(), size), area);
    if (owner.isEmpty()) return QRect(area.topLeft(), size);
    const int w = size.width(), h = size.height();
    // beside the owner, aligned with its top (or left) edge as far as the area lets
    const std::vector<QRect> beside = {
        QRect(owner.right() + 1, owner.top(), w, h), QRect(owner.left() - w, owner.top(), w, h),
        QRect(owner.left(), owner.bottom() + 1, w, h), QRect(owner.left(), owner.top() - h, w, h)};
    std::vector<QRect> candidates;
    for (const QRect& r : beside) {
        const QRect inside = MovedInside(r, area);
        // the first that stays clear of the owner once inside the area
        if (!inside.intersects(owner)) candidates.push_back(inside);
    }
    for (const QRect& r : beside) candidates.push_back(MovedInside(r, area));
    for (const QPoint& corner : {area.topLeft(), area.topRight() - QPoint(w - 1, 0),
                                 area.bottomLeft() - QPoint(0, h - 1), area.bottomRight() - QPoint(w - 1, h - 1)})
        candidates.push_back(QRect(corner, size));
    QRect best;
    qint64 bestOwner = LLONG_MAX, bestOthers = LLONG_MAX;
    for (const QRect& r : candidates) {
        const qint64 o = Overlap(r, owner);
        qint64 rest = 0;
        for (const QRect& other : others) rest += Overlap(r, other);
        if (o < bestOwner || (o == bestOwner && rest < bestOthers)) {
            best = r;
            bestOwner = o;
            bestOthers = rest;
        }
    }
    return best;
}

QSize MinimumOuterSize(const QMdiSubWindow* sub) {
    QSize inner(0, 0);
    if (const QWidget* w = sub->widget()) inner = w->minimumSize().expandedTo(w->minimumSizeHint());
    return (inner + FrameOf(sub)).expandedTo(sub->minimumSize());
}

void KeepOthersOnClose(QMdiArea* area, QMdiSubWindow* sub, const QWidget* owner) {
    // watches the closing window; what it saw is restored once the close is done
    class TKeeper : public QObject {
    public:
        TKeeper(QMdiArea* area, QMdiSubWindow* sub, QMdiSubWindow* owner)
            : QObject(sub), area_(area), sub_(sub), owner_(owner) {
            sub->installEventFilter(this);
        }
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (watched == sub_ && event->type() == QEvent::Close && area_) Remember();
            return false;
        }

    private:
        struct TSaved {
            QPointer<QMdiSubWindow> Window;
            Qt::WindowStates State;
            QRect Geometry;
            bool Visible;
        };
        void Remember() {
            QList<TSaved> saved;
            for (QMdiSubWindow* s : area_->subWindowList())
                if (s != sub_) saved.append({s, s->windowState() & ~Qt::WindowActive, s->geometry(), s->isVisible()});
            // the window's own image becomes the active one again
            QPointer<QMdiSubWindow> owner = area_->activeSubWindow() == sub_ ? owner_ : nullptr;
            QPointer<QMdiArea> area = area_;
            QTimer::singleShot(0, area_, [saved, owner, area] {
                for (const TSaved& s : saved) {
                    QMdiSubWindow* w = s.Window;
                    if (!w) continue;
                    if (w->isVisible() != s.Visible) w->setVisible(s.Visible);
                    if ((w->windowState() & ~Qt::WindowActive) == s.State && !(s.State & (Qt::WindowMaximized | Qt::WindowMinimized)) &&
                        w->geometry() == s.Geometry)
                        continue;
                    if (s.State & Qt::WindowMinimized) {
                        if (!w->isMinimized()) w->showMinimized();
                    } else if (s.State & Qt::WindowMaximized) {
                        if (!w->isMaximized()) w->showMaximized();
                    } else {
                        if (w->isMaximized() || w->isMinimized()) w->showNormal();
                        w->setGeometry(s.Geometry);
                    }
                }
                if (owner && area && owner->isVisible()) area->setActiveSubWindow(owner);
            });
        }
        QPointer<QMdiArea> area_;
        QMdiSubWindow* sub_;
        QPointer<QMdiSubWindow> owner_;
    };
    new TKeeper(area, sub, SubWindowOf(owner));
}

void ShowToolWindow(QMdiArea* area, QMdiSubWindow* sub, QSize wanted, const QWidget* owner) {
    const QRect workspace = area->viewport()->rect();
    const QSize size = wanted.boundedTo(workspace.size()).expandedTo(MinimumOuterSize(sub));
    QMdiSubWindow* ownerSub = SubWindowOf(owner);
    if (!ownerSub && owner) ownerSub = qobject_cast<QMdiSubWindow*>(const_cast<QWidget*>(owner));
    QRect ownerRect;
    if (ownerSub && ownerSub->isVisible() && !ownerSub->isMinimized() && !ownerSub->isMaximized())
        ownerRect = ownerSub->geometry();
    QList<QRect> others;
    for (QMdiSubWindow* s : OtherImageWindows(area, sub, ownerSub)) others << s->geometry();
    const QRect place = PlaceBeside(workspace, size, ownerRect, others);
    // a maximised image stays maximised when the tool window (or, after it closed,
    // another window) becomes active
    area->setOption(QMdiArea::DontMaximizeSubWindowOnActivation);
    KeepOthersOnClose(area, sub, owner);
    sub->setGeometry(place);
    sub->showNormal();
    area->setActiveSubWindow(sub);
    sub->raise();
}

void PlaceInWorkspace(QWidget* window, QMdiArea* area, const QWidget* owner) {
    QWidget* viewport = area->viewport();
    const QRect workspace(viewport->mapToGlobal(QPoint(0, 0)), viewport->size());
    auto onScreen = [viewport, &workspace](const QMdiSubWindow* s) {
        return QRect(viewport->mapToGlobal(s->pos()), s->size()).intersected(workspace);
    };
    QRect ownerRect;
    QMdiSubWindow* ownerSub = SubWindowOf(owner);
    if (ownerSub && ownerSub->isVisible() && !ownerSub->isMinimized()) ownerRect = onScreen(ownerSub);
    QList<QRect> others;
    for (QMdiSubWindow* s : OtherImageWindows(area, ownerSub, nullptr)) others << onScreen(s);
    const QSize frame = window->frameGeometry().size().expandedTo(window->size());
    window->move(PlaceBeside(workspace, frame, ownerRect, others).topLeft());
}

void TileWindows(QMdiArea* area) {
    const QList<QMdiSubWindow*> subs = ArrangedWindows(area);
    if (subs.isEmpty()) return;
    for (QMdiSubWindow* s : subs)
        if (s->isMaximized()) s->showNormal();
    const QRect workspace = area->viewport()->rect();
    const int n = static_cast<int>(subs.size());

    // The outer size a window takes in a cell: an image window its shape (a square client
    // area, half as wide again with the z bar) as large as the cell allows, any other
    // window the whole cell; never below the minimum.
    auto sizeIn = [](QMdiSubWindow* s, const QSize& cell) {
        const QSize frame = FrameOf(s);
        QSize size = cell;
        if (auto* child = qobject_cast<TMDIChild*>(s->widget())) {
            const int byWidth = child->ZScaling() ? cell.width() * 2 / 3 : cell.width() - frame.width();
            const int c = std::max(2, std::min(cell.height() - frame.height(), byWidth));
            size = QSize(ShapedOuterWidth(c, frame.width(), child->ZScaling()), c + frame.height());
        }
        return size.expandedTo(MinimumOuterSize(s));
    };
    // A grid of the given number of columns, packed: each window at its size in its
    // cell, the next one right of it, the next row below the tallest of the row.
    auto layout = [&](int columns, QList<QRect>& placed) {
        const int rows = (n + columns - 1) / columns;
        const QSize cell(workspace.width() / columns, workspace.height() / rows);
        placed.clear();
        int x = workspace.left(), y = workspace.top(), rowHeight = 0;
        for (int i = 0; i < n; ++i) {
            if (i > 0 && i % columns == 0) {
                x = workspace.left();
                y += rowHeight;
                rowHeight = 0;
            }
            const QSize size = sizeIn(subs[i], cell);
            placed << QRect(QPoint(x, y), size);
            x += size.width();
            rowHeight = std::max(rowHeight, size.height());
        }
    };
    // the number of columns that covers most of the workspace; when no grid lets every
    // window keep its minimum inside it, the one that needs the least scrolling
    int bestColumns = 1;
    qint64 bestScore = LLONG_MIN;
    QList<QRect> placed;
    for (int columns = 1; columns <= n; ++columns) {
        layout(columns, placed);
        QRect extent;
        qint64 covered = 0;
        for (const QRect& r : placed) {
            extent |= r;
            covered += static_cast<qint64>(r.width()) * r.height();
        }
        const qint64 score =
            workspace.contains(extent) ? covered : -static_cast<qint64>(extent.width()) * extent.height();
        if (score > bestScore) {
            bestScore = score;
            bestColumns = columns;
        }
    }
    layout(bestColumns, placed);
    for (int i = 0; i < n; ++i) subs[i]->setGeometry(placed[i]);
}

void CascadeWindows(QMdiArea* area) {
    const QList<QMdiSubWindow*> subs = ArrangedWindows(area);
    const QRect workspace = area->viewport()->rect();
    int k = 0;
    for (QMdiSubWindow* s : subs) {
        if (s->isMaximized()) s->showNormal();
        const QSize frame = FrameOf(s);
        QSize client = s->contentsRect().size();
        auto* child = qobject_cast<TMDIChild*>(s->widget());
        if (child && (client.width() < 64 || client.height() < 64))  // shrunk to nothing: the design's square
            client = QSize(child->ZScaling() ? 265 * 3 / 2 : 265, 265);
        const QSize outer = (client + frame).expandedTo(MinimumOuterSize(s));
        const int step = std::max(frame.height(), 20);
        QPoint at = workspace.topLeft() + QPoint(k * step, k * step);
        if (k > 0 && (at.x() + outer.width() > workspace.right() + 1 || at.y() + outer.height() > workspace.bottom() + 1)) {
            k = 0;
            at = workspace.topLeft();
        }
        s->setGeometry(QRect(at, outer));
        s->raise();
        ++k;
    }
    if (QMdiSubWindow* active = area->activeSubWindow()) active->raise();
}
