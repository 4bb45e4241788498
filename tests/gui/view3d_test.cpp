// Window tests of the two 3-D views: View > Simple3D (the relief with its edits, time
// and settings) and View > View3D (the OpenGL surface under Mesa: rendering, mouse,
// limits, "Copy", settings, and a failing OpenGL set-up).
//
// With VIEW3D_SHOTS=DIR set, the demo scan is leveled and both views are written to
// DIR as PNG files for looking at.
#include <QClipboard>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScrollBar>

#include <array>
#include <cmath>

#include "GuiTest.h"
#include "app/Form3DSetting.h"
#include "app/S3DForm.h"

using namespace guitest;

namespace {

template <class T>
T* FindView(TMainForm& form) {
    const QList<T*> views = form.MdiArea->findChildren<T*>();
    return views.isEmpty() ? nullptr : views.last();
}

TMDIChild* OpenDemo(TMainForm& form) {
    if (!OpenAndLoad(form, DemoFile())) return nullptr;
    return form.Current();
}

// A window with a cols x rows image of f(x, y).
template <class F>
TMDIChild* MakeWindow(TMainForm& form, int cols, int rows, F f) {
    TMDIChild* w = form.CreateImageWindow("made.int");
    w->CreateImage(cols, rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) w->Picture.Data[r][c] = static_cast<float>(f(c, r));
    w->Picture.Para.XScanRange = 100;
    w->Picture.Para.YScanRange = 100;
    w->Picture.Para.XPhysUnit = w->Picture.Para.YPhysUnit = w->Picture.Para.PhysUnit = "nm";
    form.ShowImageWindow(w);
    return w;
}

void Mouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton
                                  : type == QEvent::MouseMove        ? Qt::MouseButtons(Qt::LeftButton)
                                                                     : Qt::MouseButtons(button);
    QMouseEvent e(type, QPointF(at), QPointF(target->mapToGlobal(at)), type == QEvent::MouseMove ? Qt::NoButton : button,
                  held, mods);
    QApplication::sendEvent(target, &e);
}

// A left-button drag from `from` by (dx, dy) in `steps` moves.
void Drag(QWidget* target, QPoint from, int dx, int dy, int steps, Qt::KeyboardModifiers mods,
          const std::function<void()>& afterMove = {}) {
    Mouse(target, QEvent::MouseButtonPress, from, Qt::LeftButton, mods);
    for (int i = 1; i <= steps; ++i) {
        Mouse(target, QEvent::MouseMove, from + QPoint(dx * i / steps, dy * i / steps), Qt::LeftButton, mods);
        if (afterMove) afterMove();
    }
    Mouse(target, QEvent::MouseButtonRelease, from + QPoint(dx, dy), Qt::LeftButton, mods);
}

// Share of pixels that differ from colour.
double ShareNotOf(const QImage& image, QRgb colour) {
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    qint64 other = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) != (colour & 0xFFFFFF)) ++other;
    return img.width() * img.height() > 0 ? static_cast<double>(other) / (img.width() * img.height()) : 0.0;
}

// Removes the best-fitting surface of second order (least squares), as leveling does.
void LevelSecondOrder(TQTVPicture& p) {
    std::array<std::array<long double, 7>, 6> m{};
    auto terms = [](double x, double y) { return std::array<double, 6>{1, x, y, x * x, x * y, y * y}; };
    for (int r = 0; r < p.Rows; ++r)
        for (int c = 0; c < p.Cols; ++c) {
            const auto t = terms(c, r);
            for (int i = 0; i < 6; ++i) {
                for (int j = 0; j < 6; ++j) m[i][j] += t[i] * t[j];
                m[i][6] += t[i] * p.Data[r][c];
            }
        }
    for (int i = 0; i < 6; ++i)  // Gauss-Jordan
        for (int k = 0; k < 6; ++k) {
            if (k == i) continue;
            const long double f = m[k][i] / m[i][i];
            for (int j = i; j < 7; ++j) m[k][j] -= f * m[i][j];
        }
    for (int r = 0; r < p.Rows; ++r)
        for (int c = 0; c < p.Cols; ++c) {
            const auto t = terms(c, r);
            long double fit = 0;
            for (int i = 0; i < 6; ++i) fit += t[i] * m[i][6] / m[i][i];
            p.Data[r][c] -= static_cast<float>(fit);
        }
}

}  // namespace

class TView3DTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { TForm3DSetting::OpenGLProbe = nullptr; }
    void simpleViewDrawsWithFallbacksAndKeepsItsEdits();
    void simpleViewDrawsAConstantImageFlat();
    void openGLViewRendersTheDemoScan();
    void surfaceAfterASliderMoveIsTheOneAFreshViewShows();
    void pictureDoesNotDependOnTheBlocksItIsDrawnIn();
    void mouseDragsKeepTheirLimits();
    void copyPutsTheViewOnTheClipboard();
    void openGLViewSettingsComeBack();
    void failingOpenGLLeavesTheApplicationRunning();
    void viewsCloseWithTheirImageWindow();
    void screenshots();
};

void TView3DTest::simpleViewDrawsWithFallbacksAndKeepsItsEdits() {
    TFixture fx;
    TMainForm form;
    form.show();
    TMDIChild* w = OpenDemo(form);
    QVERIFY(w);
    form.S3DItem->trigger();
    TS3DForm* view = FindView<TS3DForm>(form);
    QVERIFY(view);
    QCOMPARE(view->windowTitle(), Title(w));
    QCOMPARE(view->Edit1->text(), QStringLiteral("10"));
    QCOMPARE(view->Edit2->text(), QStringLiteral("10"));
    // drawn on opening with the remembered gain and shift
    QCOMPARE(view->Relief().Width, 10 + 511 + 40);
    QCOMPARE(view->Relief().Height, 511 + 10 + 40);
    QVERIFY(!view->Image1->Picture().isNull());
    QVERIFY(view->Label1->text().endsWith(QLatin1Char('s')));

    // a letter in the gain, Enter: drawn with gain 10, the edit shows it
    view->Edit1->setText(QStringLiteral("4x"));
    view->Edit2->setText(QStringLiteral("-30"));
    QTest::keyClick(view->Edit1, Qt::Key_Return);
    QCOMPARE(view->Edit1->text(), QStringLiteral("10"));
    QCOMPARE(view->Relief().Width, 30 + 511 + 40);
    QCOMPARE(view->Relief().Height, 511 + 10 + 40);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d\\ds$")).match(view->Label1->text()).hasMatch());
    QVERIFY(!view->Image1->Picture().isNull());
    QCOMPARE(view->Image1->Picture().size(), QSize(view->Relief().Width, view->Relief().Height));
    // the picture shows the image's palette: the background is its last colour
    QCOMPARE(view->Image1->Picture().pixel(0, 0), w->Picture.PaletteColor(255) | 0xFF000000u);

    // a bad shift, the button
    view->Edit1->setText(QStringLiteral("25"));
    view->Edit2->setText(QStringLiteral("right"));
    QTest::mouseClick(view->Button1, Qt::LeftButton);
    QCOMPARE(view->Edit2->text(), QStringLiteral("0"));
    QCOMPARE(view->Relief().Width, 511 + 40);
    QCOMPARE(view->Relief().Height, 511 + 25 + 40);
    QVERIFY(fx.Messages.Shown.empty());

    view->parentWidget()->close();
    SettleDeletes();
    auto ini = fx.ReadSettings();
    QCOMPARE(ini->ReadString("S3D", "zGain", ""), std::string("25"));
    QCOMPARE(ini->ReadString("S3D", "Shift", ""), std::string("0"));

    // the next view starts from them
    form.S3DItem->trigger();
    view = FindView<TS3DForm>(form);
    QVERIFY(view);
    QCOMPARE(view->Edit1->text(), QStringLiteral("25"));
    QCOMPARE(view->Edit2->text(), QStringLiteral("0"));
}

void TView3DTest::simpleViewDrawsAConstantImageFlat() {
    TFixture fx;
    TMainForm form;
    form.show();
    MakeWindow(form, 16, 12, [](int, int) { return 4.25; });
    form.S3DItem->trigger();
    TS3DForm* view = FindView<TS3DForm>(form);
    QVERIFY(view);
    QTest::mouseClick(view->Button1, Qt::LeftButton);
    QVERIFY(fx.Messages.Shown.empty());
    const TRelief& r = view->Relief();
    int drawn = 0;
    for (uint8_t e : r.Pixels)
        if (e != TRelief::Background) {
            QCOMPARE(int(e), 0);
            ++drawn;
        }
    QCOMPARE(drawn, 16 * 12);
}

void TView3DTest::openGLViewRendersTheDemoScan() {
    TFixture fx;
    TMainForm form;
    form.show();
    TMDIChild* w = OpenDemo(form);
    QVERIFY(w);
    form.View3D->trigger();
    TForm3DSetting* view = FindView<TForm3DSetting>(form);
    QVERIFY2(view, fx.Messages.Shown.empty() ? "no view" : fx.Messages.Shown[0].Text.c_str());
    QCOMPARE(view->windowTitle(), QStringLiteral("3D-View ") + Title(w));
    QCOMPARE(view->ScrollBar1->value(), 50);
    QCOMPARE(view->Mesh.GainPercent(), 50);
    QCOMPARE(view->Mesh.Cols(), 512);
    QVERIFY(!view->CheckBoxSkala->isChecked());
    QVERIFY(view->Panel1->isValid() || QTest::qWaitForWindowExposed(view->Panel1));

    const QImage plain = view->RenderedImage();
    QVERIFY(!plain.isNull());
    QVERIFY(view->Panel1->Failure().isEmpty());
    const double covered = ShareNotOf(plain, qRgb(255, 255, 255));
    QVERIFY2(covered > 0.2, qPrintable(QStringLiteral("surface covers %1").arg(covered)));

    // scale bars add black
    view->CheckBoxSkala->click();
    QVERIFY(view->CheckBoxSkala->isChecked());
    view->View.RotX = 300;  // tilted so that the bars lie beside the surface
    const QImage tilted = view->RenderedImage();
    view->CheckBoxSkala->setChecked(false);
    const QImage tiltedPlain = view->RenderedImage();
    QVERIFY(tilted != tiltedPlain);

    // the gain slider rebuilds the heights
    view->ScrollBar1->setValue(0);
    QCOMPARE(view->Mesh.GainPercent(), 100);
    QVERIFY(view->RenderedImage() != tiltedPlain);
    QVERIFY(fx.Messages.Shown.empty());

    // the palette ramp shows the table, lowest colour at the bottom
    const QImage ramp = view->ImageFarbverlauf->pixmap().toImage();
    QCOMPARE(ramp.size(), QSize(32, 302));
    QCOMPARE(ramp.pixel(10, 299) & 0xFFFFFF, w->Picture.PaletteColor(0) & 0xFFFFFF);
    QCOMPARE(ramp.pixel(10, 0) & 0xFFFFFF, w->Picture.PaletteColor(255) & 0xFFFFFF);
    QCOMPARE(ramp.pixel(0, 150) & 0xFFFFFF, 0x808080u);
}

void TView3DTest::surfaceAfterASliderMoveIsTheOneAFreshViewShows() {
    TFixture fx;
    TMainForm form;
    form.show();
    TMDIChild* w = OpenDemo(form);
    QVERIFY(w);
    auto tilt = [](TForm3DSetting* v) {
        v->View.RotX = 310;
        v->View.RotZ = 25;
    };
    form.View3D->trigger();
    TForm3DSetting* view = FindView<TForm3DSetting>(form);
    QVERIFY(view);
    tilt(view);
    const QImage atStart = view->RenderedImage();
    QVERIFY(!atStart.isNull());
    view->ScrollBar1->setValue(5);
    const QImage moved = view->RenderedImage();
    QVERIFY(moved != atStart);
    view->ScrollBar1->setValue(50);
    QCOMPARE(view->RenderedImage(), atStart);  // back again: the same picture to the pixel
    view->ScrollBar1->setValue(5);
    view->parentWidget()->close();  // remembers the slider
    SettleDeletes();

    form.MdiArea->setActiveSubWindow(w->SubWindow());
    form.View3D->trigger();
    view = FindView<TForm3DSetting>(form);
    QVERIFY(view);
    QCOMPARE(view->ScrollBar1->value(), 5);
    tilt(view);
    QCOMPARE(view->RenderedImage(), moved);
    QVERIFY(fx.Messages.Shown.empty());
}

void TView3DTest::pictureDoesNotDependOnTheBlocksItIsDrawnIn() {
    TFixture fx;
    TMainForm form;
    form.show();
    // 61 x 45 with a sample that is not a number: strips of 43 vertex pairs
    MakeWindow(form, 61, 45, [](int x, int y) {
        return x == 20 && y == 30 ? std::nan("") : std::sin(x * 0.4) * std::cos(y * 0.3) + 0.02 * x * y;
    });
    form.View3D->trigger();
    TForm3DSetting* view = FindView<TForm3DSetting>(form);
    QVERIFY(view);
    view->View.RotX = 300;
    view->View.RotZ = 140;
    view->ScrollBar1->setValue(10);
    const QImage whole = view->RenderedImage();  // every strip from one filling
    QVERIFY(ShareNotOf(whole, qRgb(255, 255, 255)) > 0.1);
    for (const int strips : {1, 2, 7, 58, 59, 1000}) {
        view->Panel1->BlockStrips = strips;
        QVERIFY2(view->RenderedImage() == whole, qPrintable(QStringLiteral("%1 strips a block").arg(strips)));
    }
}

void TView3DTest::mouseDragsKeepTheirLimits() {
    TFixture fx;
    TMainForm form;
    form.show();
    MakeWindow(form, 40, 40, [](int x, int y) { return std::sin(x * 0.3) + 0.1 * y; });
    form.View3D->trigger();
    TForm3DSetting* view = FindView<TForm3DSetting>(form);
    QVERIFY(view);
    QWidget* panel = view->Panel1;
    const QPoint centre(240, 240);

    // rotate: 3600 pixels to the right turns a full circle, always within 0..360
    bool within = true;
    Drag(panel, centre, 3600, 0, 360, Qt::NoModifier,
         [&] { within = within && view->View.RotZ >= 0 && view->View.RotZ <= 360; });
    QVERIFY(within);
    QVERIFY(std::fabs(view->View.RotZ) < 1e-6 || std::fabs(view->View.RotZ - 360) < 1e-6);
    QCOMPARE(view->View.DragMode, int(DragNone));
    Drag(panel, centre, 0, -50, 5, Qt::NoModifier);
    QVERIFY(std::fabs(view->View.RotX - 355) < 1e-9);

    // zoom (Shift): mouse up comes closer and stops at 24; down stops at -1000
    Drag(panel, centre, 0, -2000, 20, Qt::ShiftModifier);
    QCOMPARE(view->View.ZDist, 24);
    Drag(panel, centre, 0, 3000, 20, Qt::ShiftModifier);
    QCOMPARE(view->View.ZDist, -1000);

    // pan (Ctrl, also with Shift held)
    Drag(panel, centre, 3000, 3000, 30, Qt::ControlModifier);
    QCOMPARE(view->View.PanX, 500);
    QCOMPARE(view->View.PanY, -500);
    Drag(panel, centre, -3000, -3000, 30, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(view->View.PanX, -500);
    QCOMPARE(view->View.PanY, 500);
    QCOMPARE(view->View.ZDist, -1000);
    QCOMPARE(view->View.RotY, 0.0);

    // moving without a button held changes nothing
    Mouse(panel, QEvent::MouseMove, QPoint(10, 10), Qt::NoButton, Qt::NoModifier);
    QCOMPARE(view->View.PanX, -500);
}

void TView3DTest::copyPutsTheViewOnTheClipboard() {
    TFixture fx;
    TMainForm form;
    form.show();
    MakeWindow(form, 30, 30, [](int x, int y) { return x * y; });
    form.View3D->trigger();
    TForm3DSetting* view = FindView<TForm3DSetting>(form);
    QVERIFY(view);
    QApplication::clipboard()->clear();
    QTest::mouseClick(view->Button1, Qt::LeftButton);
    const QImage copied = QApplication::clipboard()->image();
    QVERIFY(!copied.isNull());
    const qreal dpr = view->Panel1->devicePixelRatioF();
    QCOMPARE(copied.size(), QSize(qRound(489 * dpr), qRound(489 * dpr)));
    QVERIFY(ShareNotOf(copied, qRgb(255, 255, 255)) > 0.05);
}

void TView3DTest::openGLViewSettingsComeBack() {
    TFixture fx;
    {
        TMainForm form;
        form.show();
        MakeWindow(form, 20, 20, [](int x, int y) { return x + y; });
        form.View3D->trigger();
        TForm3DSetting* view = FindView<TForm3DSetting>(form);
        QVERIFY(view);
        view->ScrollBar1->setValue(20);
        QCOMPARE(view->Mesh.GainPercent(), 80);
        view->CheckBoxSkala->click();
        view->ChooseColour = [](QColor& c) {
            c = QColor(10, 20, 200);
            return true;
        };
        QTest::mouseClick(view->Panel2, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        // written at once, red in the low byte
        QCOMPARE(fx.ReadSettings()->ReadInteger("A3D", "BGColor", 0), 10 | (20 << 8) | (200 << 16));
        QCOMPARE(view->Panel2->palette().color(QPalette::Window), QColor(10, 20, 200));
        const QImage img = view->RenderedImage();
        QCOMPARE(img.pixel(1, 1) & 0xFFFFFF, qRgb(10, 20, 200) & 0xFFFFFF);
        // Cancel keeps the colour
        view->ChooseColour = [](QColor& c) {
            c = Qt::red;
            return false;
        };
        QTest::mouseClick(view->Panel2, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(fx.ReadSettings()->ReadInteger("A3D", "BGColor", 0), 10 | (20 << 8) | (200 << 16));
        view->parentWidget()->move(30, 40);
        view->parentWidget()->close();
        SettleDeletes();
        auto ini = fx.ReadSettings();
        QCOMPARE(ini->ReadInteger("A3D", "ScrollBar1Pos", -1), 20);
        QCOMPARE(ini->ReadBool("A3D", "CheckBoxSkala", false), true);
        QCOMPARE(ini->ReadInteger("A3D", "FormLeft", -1), 30);
        QCOMPARE(ini->ReadInteger("A3D", "FormTop", -1), 40);
    }
    TMainForm form;
    form.show();
    MakeWindow(form, 20, 20, [](int x, int y) { return x - y; });
    form.View3D->trigger();
    TForm3DSetting* view = FindView<TForm3DSetting>(form);
    QVERIFY(view);
    QCOMPARE(view->ScrollBar1->value(), 20);
    QCOMPARE(view->Mesh.GainPercent(), 80);
    QVERIFY(view->CheckBoxSkala->isChecked());
    QCOMPARE(view->Panel2->palette().color(QPalette::Window), QColor(10, 20, 200));
    QCOMPARE(view->parentWidget()->pos(), QPoint(30, 40));
}

void TView3DTest::failingOpenGLLeavesTheApplicationRunning() {
    TFixture fx;
    TMainForm form;
    form.show();
    TMDIChild* w = MakeWindow(form, 10, 10, [](int x, int y) { return x * y; });
    TForm3DSetting::OpenGLProbe = [] { return QStringLiteral("no OpenGL context could be created"); };
    form.View3D->trigger();
    QVERIFY(!FindView<TForm3DSetting>(form));
    QCOMPARE(fx.Messages.Shown.size(), size_t(1));
    QCOMPARE(fx.Messages.Shown[0].Text,
             std::string("OpenGL could not be initialised: no OpenGL context could be created. "
                         "The 3-D view cannot be shown."));
    QCOMPARE(fx.Messages.Shown[0].Kind, TMsgKind::Error);
    // the image and the other commands are still there
    QCOMPARE(form.WindowCount(), 1);
    QCOMPARE(form.Current(), w);
    form.S3DItem->trigger();
    QVERIFY(FindView<TS3DForm>(form));
}

void TView3DTest::viewsCloseWithTheirImageWindow() {
    TFixture fx;
    TMainForm form;
    form.show();
    TMDIChild* w = MakeWindow(form, 12, 12, [](int x, int y) { return x + 2 * y; });
    form.S3DItem->trigger();
    form.MdiArea->setActiveSubWindow(w->SubWindow());
    form.View3D->trigger();
    QPointer<TS3DForm> simple = FindView<TS3DForm>(form);
    QPointer<TForm3DSetting> gl = FindView<TForm3DSetting>(form);
    QVERIFY(simple && gl);
    w->SubWindow()->close();
    SettleDeletes();
    SettleDeletes();
    QVERIFY(simple.isNull());
    QVERIFY(gl.isNull());
    QCOMPARE(form.WindowCount(), 0);
}

void TView3DTest::screenshots() {
    const QByteArray dir = qgetenv("VIEW3D_SHOTS");
    if (dir.isEmpty()) QSKIP("VIEW3D_SHOTS not set");
    TFixture fx;
    TMainForm form;
    form.resize(1250, 1000);
    form.show();
    TMDIChild* w = OpenDemo(form);
    QVERIFY(w);
    LevelSecondOrder(w->Picture);
    w->Redraw();
    form.S3DItem->trigger();
    TS3DForm* simple = FindView<TS3DForm>(form);
    QVERIFY(simple);
    simple->Edit1->setText(QStringLiteral("60"));
    simple->Edit2->setText(QStringLiteral("-60"));
    QTest::mouseClick(simple->Button1, Qt::LeftButton);
    simple->parentWidget()->resize(760, 560);
    QApplication::processEvents();
    simple->parentWidget()->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/simple3d.png"));

    form.MdiArea->setActiveSubWindow(w->SubWindow());
    form.View3D->trigger();
    TForm3DSetting* view = FindView<TForm3DSetting>(form);
    QVERIFY(view);
    view->ScrollBar1->setValue(20);
    view->CheckBoxSkala->setChecked(true);
    view->View.RotX = 305;
    view->View.RotZ = 20;
    view->View.ZDist = -560;
    view->Panel1->update();
    QApplication::processEvents();
    QTest::qWait(200);
    view->parentWidget()->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/view3d.png"));
    view->RenderedImage().save(QString::fromLocal8Bit(dir) + QStringLiteral("/view3d_panel.png"));
    view->View.RotZ = 200;
    view->RenderedImage().save(QString::fromLocal8Bit(dir) + QStringLiteral("/view3d_far.png"));
    form.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/main.png"));
}

QTEST_MAIN(TView3DTest)
#include "view3d_test.moc"
