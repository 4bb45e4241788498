// What a user sees of View > View3D: the running application is photographed at the
// X level (ImageMagick's `import -window root`), not grabbed off-screen, and the drawing
// panel's part of the screen must show the white background and the lit surface.
#include <QProcess>
#include <QTemporaryDir>

#include "GuiTest.h"
#include "app/Form3DSetting.h"

using namespace guitest;

namespace {

// The whole X screen as the server shows it.
QImage ScreenPhoto(const QString& dir) {
    const QString file = dir + QStringLiteral("/screen.png");
    QProcess import;
    import.start(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), file});
    if (!import.waitForFinished(60000) || import.exitCode() != 0) return {};
    return QImage(file).convertToFormat(QImage::Format_RGB32);
}

struct TPanelPixels {
    double White = 0, Black = 0, Lit = 0;  // shares of the panel's pixels
};

// White, black and coloured (the palette's red to yellow, lit) pixels inside rect.
TPanelPixels Classify(const QImage& screen, const QRect& rect) {
    TPanelPixels s;
    const QRect r = rect.intersected(screen.rect());
    if (r.isEmpty()) return s;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = QColor::fromRgb(screen.pixel(x, y));
            if (c.red() > 250 && c.green() > 250 && c.blue() > 250)
                ++s.White;
            else if (c.value() < 20)
                ++s.Black;
            else if (c.hsvSaturation() > 60 && c.value() > 60)
                ++s.Lit;
        }
    const double n = static_cast<double>(r.width()) * r.height();
    s.White /= n;
    s.Black /= n;
    s.Lit /= n;
    return s;
}

}  // namespace

class TView3DScreenTest : public QObject {
    Q_OBJECT
private slots:
    void surfaceAppearsOnTheScreen();
};

void TView3DScreenTest::surfaceAppearsOnTheScreen() {
    TFixture fx;
    TMainForm form;
    form.setGeometry(0, 0, 1200, 960);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(OpenAndLoad(form, DemoFile()));
    form.View3D->trigger();
    const QList<TForm3DSetting*> views = form.MdiArea->findChildren<TForm3DSetting*>();
    QVERIFY2(!views.isEmpty(), fx.Messages.Shown.empty() ? "no view" : fx.Messages.Shown[0].Text.c_str());
    TForm3DSetting* view = views.last();
    view->View.RotX = 330;  // tilted: the lit slopes show their shading
    view->Panel1->update();
    QVERIFY(QTest::qWaitForWindowExposed(view->Panel1));
    QTest::qWait(1500);  // the first frame is rendered and shown

    const QImage screen = ScreenPhoto(fx.Dir());
    QVERIFY2(!screen.isNull(), "`import -window root` (ImageMagick) gave no picture of the screen");
    const QRect panel(view->Panel1->mapToGlobal(QPoint(0, 0)), view->Panel1->size());
    QVERIFY(screen.rect().contains(panel));
    const TPanelPixels p = Classify(screen, panel);
    QVERIFY2(p.White > 0.2 && p.Lit > 0.1 && p.Black < 0.02,
             qPrintable(QStringLiteral("panel on the screen: %1 white, %2 lit surface, %3 black")
                            .arg(p.White)
                            .arg(p.Lit)
                            .arg(p.Black)));
    // the screen shows the same picture as the panel renders off-screen
    const TPanelPixels offScreen = Classify(view->RenderedImage().convertToFormat(QImage::Format_RGB32),
                                            QRect(QPoint(0, 0), view->RenderedImage().size()));
    QVERIFY(std::fabs(offScreen.White - p.White) < 0.05);
    QVERIFY(std::fabs(offScreen.Lit - p.Lit) < 0.05);
    Shot(&form, "view3d-screen.png");
}

QTEST_MAIN(TView3DScreenTest)
#include "view3d_screen_test.moc"
