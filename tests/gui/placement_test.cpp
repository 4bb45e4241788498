// Window tests of where windows go in the workspace: every tool window (processing
// dialogs, line and dual-line windows, both 3-D views) opens normal, whole inside the
// workspace and beside its image; closing it, however it was left, gives every other
// window back its state; Tile and Cascade respect minimum sizes and Tile fills the
// workspace; Z Scaling stays inside; the palette editor opens inside the workspace.
#include <QMenuBar>

#include "GuiTest.h"
#include "app/AnaLineForm.h"
#include "app/Form3DSetting.h"
#include "app/PaletteForm.h"
#include "app/WindowPlacement.h"

using namespace guitest;

namespace {

struct TState {
    QPointer<QMdiSubWindow> Window;
    Qt::WindowStates State;
    QRect Geometry;
    bool Visible;
};

QList<TState> States(const TMainForm& form) {
    QList<TState> list;
    for (QMdiSubWindow* s : form.MdiArea->subWindowList())
        list.append({s, s->windowState() & ~Qt::WindowActive, s->geometry(), s->isVisible()});
    return list;
}

// Every window of before still open has its state, visibility and (when normal) place.
void CompareStates(const QList<TState>& before, const char* after) {
    for (const TState& s : before) {
        if (!s.Window) continue;
        const QString what = s.Window->windowTitle() + QStringLiteral(" after ") + QLatin1String(after);
        QVERIFY2((s.Window->windowState() & ~Qt::WindowActive) == s.State, qPrintable(what));
        QVERIFY2(s.Window->isVisible() == s.Visible, qPrintable(what));
        if (!(s.State & (Qt::WindowMaximized | Qt::WindowMinimized)))
            QVERIFY2(s.Window->geometry() == s.Geometry, qPrintable(what));
    }
}

QMdiSubWindow* NewSubWindow(const QList<TState>& before, const TMainForm& form) {
    for (QMdiSubWindow* s : form.MdiArea->subWindowList()) {
        bool known = false;
        for (const TState& b : before) known = known || b.Window == s;
        if (!known) return s;
    }
    return nullptr;
}

void Settle() {
    for (int i = 0; i < 3; ++i) SettleDeletes();
}

// Share of the workspace the windows cover.
double Covered(const TMainForm& form) {
    const QRect area = form.MdiArea->viewport()->rect();
    qint64 sum = 0;
    for (QMdiSubWindow* s : form.MdiArea->subWindowList()) {
        const QRect r = s->geometry().intersected(area);
        sum += static_cast<qint64>(r.width()) * r.height();
    }
    return static_cast<double>(sum) / (static_cast<double>(area.width()) * area.height());
}

// The frame as large as the screen with the demo scan's two image windows.
bool ShowDemo(TMainForm& form) {
    form.setGeometry(0, 0, 1280, 1000);
    form.show();
    return OpenAndLoad(form, DemoFile());
}

}  // namespace

class TPlacementTest : public QObject {
    Q_OBJECT
private slots:
    void placeBesideFindsRoomOrTheLeastCover();
    void toolWindowsOpenBesideTheirImageAndLeaveTheRestAlone();
    void closingAMaximisedToolWindowRestoresTheOthers();
    void tileAndCascadeKeepMinimumSizes();
    void zScalingAndPaletteEditorStayInside();
};

void TPlacementTest::placeBesideFindsRoomOrTheLeastCover() {
    const QRect area(0, 0, 1000, 700);
    const struct {
        QRect owner;
        QSize size;
        QRect want;
    } cases[] = {
        {{0, 0, 300, 300}, {500, 400}, {300, 0, 500, 400}},      // right of it
        {{600, 100, 300, 300}, {500, 400}, {100, 100, 500, 400}},  // no room right: left
        {{350, 0, 300, 300}, {600, 300}, {350, 300, 600, 300}},   // below
        {{100, 100, 800, 500}, {500, 400}, {0, 0, 500, 400}},      // no room: least cover
        {{0, 0, 300, 300}, {1200, 400}, {0, 0, 1200, 400}},       // larger than the area
        {{}, {400, 300}, {0, 0, 400, 300}},                        // no owner
    };
    for (const auto& c : cases) {
        const QRect got = PlaceBeside(area, c.size, c.owner);
        QVERIFY2(got == c.want, qPrintable(QStringLiteral("%1,%2 %3x%4").arg(got.x()).arg(got.y()).arg(got.width()).arg(got.height())));
    }
    // with two places beside the owner, the one clear of other windows
    const QRect got = PlaceBeside(area, {300, 300}, {350, 0, 300, 300}, {{650, 0, 300, 300}});
    QCOMPARE(got, QRect(50, 0, 300, 300));
}

void TPlacementTest::toolWindowsOpenBesideTheirImageAndLeaveTheRestAlone() {
    TFixture fx;
    TMainForm form;
    QVERIFY(ShowDemo(form));
    TMDIChild* image = form.Current();
    QVERIFY(image);
    const QRect area = form.MdiArea->viewport()->rect();
    for (QAction* item : {form.LowPassItem, form.NoiseItem, form.HistogramItem, form.FFTItem, form.SlopeItem,
                          form.Zoom1, form.Shere1, form.Median1, form.DistortionItem, form.MeanFilter1, form.Line1,
                          form.DualLine1, form.View3D, form.S3DItem}) {
        form.MdiArea->setActiveSubWindow(image->SubWindow());
        const QList<TState> before = States(form);
        item->trigger();
        QCoreApplication::processEvents();
        QMdiSubWindow* tool = NewSubWindow(before, form);
        QVERIFY2(tool, qPrintable(item->objectName()));
        const QString what = item->objectName();
        QVERIFY2(!tool->isMaximized() && tool->isVisible(), qPrintable(what));
        QVERIFY2(area.contains(tool->geometry()), qPrintable(what));
        const QSize minimum = MinimumOuterSize(tool);
        QVERIFY2(tool->width() >= minimum.width() && tool->height() >= minimum.height(), qPrintable(what));
        // a comfortable size: not the whole workspace, and beside its image
        QVERIFY2(tool->width() < area.width() && tool->height() <= area.height(), qPrintable(what));
        QVERIFY2(!tool->geometry().intersects(image->SubWindow()->geometry()), qPrintable(what));
        QCOMPARE(form.MdiArea->activeSubWindow(), tool);
        CompareStates(before, "opening");
        tool->close();
        Settle();
        CompareStates(before, "closing");
        QCOMPARE(form.MdiArea->activeSubWindow(), image->SubWindow());
    }
    // Take Over leaves the image as it was placed, not maximised
    const QRect placed = image->SubWindow()->geometry();
    TFilterForm* f = OpenForm(form, form.HistogramItem);
    QVERIFY(f);
    QTest::mouseClick(f->Button3, Qt::LeftButton);
    Settle();
    QVERIFY(!image->SubWindow()->isMaximized());
    QCOMPARE(image->SubWindow()->geometry(), placed);
}

void TPlacementTest::closingAMaximisedToolWindowRestoresTheOthers() {
    TFixture fx;
    TMainForm form;
    QVERIFY(ShowDemo(form));
    TMDIChild* image = form.Current();
    // the user maximises the dialog, then cancels it
    {
        const QList<TState> before = States(form);
        TFilterForm* f = OpenForm(form, form.SlopeItem);
        QVERIFY(f);
        QMdiSubWindow* sub = NewSubWindow(before, form);
        sub->showMaximized();
        QTest::mouseClick(f->Button2, Qt::LeftButton);
        Settle();
        CompareStates(before, "Cancel of a maximised dialog");
    }
    // an image kept maximised stays so, and the dialog opens normal over it
    image->SubWindow()->showMaximized();
    {
        const QList<TState> before = States(form);
        TFilterForm* f = OpenForm(form, form.FFTItem);
        QVERIFY(f);
        QMdiSubWindow* sub = NewSubWindow(before, form);
        QVERIFY(!sub->isMaximized());
        QVERIFY(form.MdiArea->viewport()->rect().contains(sub->geometry()));
        QTest::mouseClick(f->Button2, Qt::LeftButton);
        Settle();
        CompareStates(before, "Cancel over a maximised image");
        QVERIFY(image->SubWindow()->isMaximized());
    }
}

void TPlacementTest::tileAndCascadeKeepMinimumSizes() {
    TFixture fx;
    TMainForm form;
    QVERIFY(ShowDemo(form));
    // Tile fills the workspace well with 2 to 6 image windows
    for (int n = 2; n <= 6; ++n) {
        while (form.WindowCount() < n) form.Doublicate1->trigger();
        form.WindowTileItem->trigger();
        const double covered = Covered(form);
        QVERIFY2(covered > 0.45, qPrintable(QStringLiteral("%1 windows cover %2").arg(n).arg(covered)));
    }
    // with the line window and a dialog in a small frame: nothing below its minimum
    form.Line1->trigger();
    form.MdiArea->setActiveSubWindow(Windows(form).front()->SubWindow());
    form.LowPassItem->trigger();
    form.setGeometry(0, 0, 900, 700);
    QCoreApplication::processEvents();
    for (QAction* arrange : {form.WindowTileItem, form.WindowCascadeItem}) {
        arrange->trigger();
        QCoreApplication::processEvents();
        const QRect area = form.MdiArea->viewport()->rect();
        QList<QRect> placed;
        for (QMdiSubWindow* s : form.MdiArea->subWindowList()) {
            const QSize minimum = MinimumOuterSize(s);
            const QString what = arrange->objectName() + QStringLiteral(": ") + s->windowTitle();
            QVERIFY2(s->width() >= minimum.width() && s->height() >= minimum.height(), qPrintable(what));
            QVERIFY2(s->width() >= 64 && s->height() >= 64, qPrintable(what));
            if (arrange == form.WindowTileItem)
                for (const QRect& other : placed) QVERIFY2(!s->geometry().intersects(other), qPrintable(what));
            else
                QVERIFY2(area.contains(s->geometry().topLeft()), qPrintable(what));
            placed << s->geometry();
        }
    }
}

void TPlacementTest::zScalingAndPaletteEditorStayInside() {
    TFixture fx;
    TMainForm form;
    QVERIFY(ShowDemo(form));
    TMDIChild* image = form.Current();
    const QRect area = form.MdiArea->viewport()->rect();
    // at the right edge, and large: the z bar moves it left
    image->SubWindow()->setGeometry(area.width() - 400, 0, 400, 420);
    image->zscalingItem->trigger();
    QCoreApplication::processEvents();
    QVERIFY(image->ZScaling());
    QVERIFY(area.contains(image->SubWindow()->geometry()));
    QVERIFY(image->SubWindow()->width() > 420);
    // as high as the workspace: 3/2 as wide would not fit, so it gets smaller
    image->zscalingItem->trigger();
    image->SubWindow()->setGeometry(0, 0, area.height(), area.height());
    image->zscalingItem->trigger();
    QCoreApplication::processEvents();
    QVERIFY(area.contains(image->SubWindow()->geometry()));

    form.PaletteItem->trigger();
    QCoreApplication::processEvents();
    TPaletteForm* editor = image->findChild<TPaletteForm*>();
    QVERIFY(editor);
    const QRect workspace(form.MdiArea->viewport()->mapToGlobal(QPoint(0, 0)), area.size());
    QVERIFY2(workspace.contains(editor->frameGeometry()), "palette editor outside the workspace");
    QVERIFY(editor->frameGeometry().top() > form.menuBar()->mapToGlobal(QPoint(0, form.menuBar()->height())).y());
}

QTEST_MAIN(TPlacementTest)
#include "placement_test.moc"
