// Window tests of the image window: the composed display (z bar, scale bar, axis), the
// square shape, the context menu and its settings, fonts, pages, copy.
#include <QContextMenuEvent>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScrollBar>

#include "GuiTest.h"
#include "core/Display.h"

using namespace guitest;

namespace {

// A window with a cols x rows image: samples min..max in a ramp, x range xRange.
TMDIChild* MakeWindow(TMainForm& form, float min, float max, double xRange, int cols = 8, int rows = 8,
                      const std::string& unit = "nm") {
    TMDIChild* w = form.CreateImageWindow("test.int");
    w->CreateImage(cols, rows);
    const int n = cols * rows;
    for (int i = 0; i < n; ++i)
        w->Picture.Data[i / cols][i % cols] = min + (max - min) * static_cast<float>(i) / static_cast<float>(n - 1);
    w->Picture.Para.XScanRange = xRange;
    w->Picture.Para.YScanRange = xRange;
    w->Picture.Para.XPhysUnit = unit;
    w->Picture.Para.YPhysUnit = unit;
    w->Picture.Para.PhysUnit = unit;
    w->Picture.Para.Scale = 1;
    w->ScanInfo = {"line one", "line two"};
    form.ShowImageWindow(w);
    return w;
}

void SetScale(const TFixture& fx, bool zOn, bool zeroMax, int xy /* 0 none, 1 label, 2 axis */) {
    TSettings ini(QFile::encodeName(fx.Ini()).toStdString());
    ini.WriteBool("Scale", "zScaleOn", zOn);
    ini.WriteBool("Scale", "zScale0max", zeroMax);
    ini.WriteBool("Scale", "zScaleminmax", !zeroMax);
    ini.WriteBool("Scale", "XYNone", xy == 0);
    ini.WriteBool("Scale", "XYLabelOn", xy == 1);
    ini.WriteBool("Scale", "XYAxis", xy == 2);
}

QString Svg(const TMDIChild* w) { return QString::fromUtf8(w->ComposedSvg()); }

bool ContextMenuOpens(TMDIChild* w, QWidget* target, Qt::KeyboardModifiers mods) {
    w->PopupMenu1->hide();
    QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(5, 5), target->mapToGlobal(QPoint(5, 5)), mods);
    QApplication::sendEvent(target, &e);
    const bool open = w->PopupMenu1->isVisible();
    w->PopupMenu1->hide();
    return open;
}

}  // namespace

class TImageWindowTest : public QObject {
    Q_OBJECT
private slots:
    void zBarTextsFollowTheLabelChoice();
    void zBarRunsFromFirstToLastColour();
    void scaleBarHasARoundLength();
    void axisShowsRangesAndUnits();
    void clientAreaStaysSquareAndWidensWithZBar();
    void contextMenuWritesTheScaleSettings();
    void contextMenuOnlyWithoutModifiers();
    void pagesAndScanInformation();
    void fontsApplyToTheCurrentWindowOnly();
    void trueAspectKeepsTheScanShape();
    void processingBlockShowsEveryLine();
};

void TImageWindowTest::zBarTextsFollowTheLabelChoice() {
    TFixture fx;
    SetScale(fx, true, false, 0);
    TMainForm form;
    form.show();
    TMDIChild* w = MakeWindow(form, -2.0f, 6.0f, 100);
    QVERIFY(w->ZScaling());
    QVERIFY(w->minmax1->isChecked() && w->minmax1->isVisible());
    QCOMPARE(w->MinText, std::string("-2.000"));
    QCOMPARE(w->MaxText, std::string("6.000"));
    QString svg = Svg(w);
    QVERIFY(svg.contains(QStringLiteral(" 6.000 nm ")));
    QVERIFY(svg.contains(QStringLiteral(" -2.000 nm ")));
    // 0..max: the range width above, 0 below
    w->N0max1->trigger();
    QCOMPARE(w->MinText, std::string("0"));
    QCOMPARE(w->MaxText, std::string("8.000"));
    svg = Svg(w);
    QVERIFY(svg.contains(QStringLiteral(" 8.000 nm ")));
    QVERIFY(svg.contains(QStringLiteral(" 0 nm ")));
    QVERIFY(!svg.contains(QStringLiteral("-2.000")));
    // three significant digits, exponent form for large ranges
    TMDIChild* big = MakeWindow(form, 0.0f, 123456.0f, 100);
    QCOMPARE(big->MaxText, std::string("1.23E+5"));
    // without the z bar MinText/MaxText are the fixed 3-decimal texts of the range
    w->zscalingItem->trigger();
    QVERIFY(!w->ZScaling());
    QVERIFY(!w->N0max1->isVisible());
    QCOMPARE(w->MaxText, RangeText(6.0f));
    QVERIFY(!Svg(w).contains(QStringLiteral(" nm ")));
}

void TImageWindowTest::zBarRunsFromFirstToLastColour() {
    TFixture fx;
    SetScale(fx, true, false, 0);
    TMainForm form;
    form.show();
    TMDIChild* w = MakeWindow(form, 0.0f, 1.0f, 10);
    const TIntRect bar = ZBarRect(w->SubWindow()->width(), w->SubWindow()->height());
    QVERIFY(bar.Width() >= 4 && bar.Height() >= 8);
    const QImage img = w->ComposedImage();
    const int x = (bar.Left + bar.Right) / 2;
    QCOMPARE(img.pixel(x, bar.Top + 1) & 0xFFFFFF, w->Picture.PaletteColor(255) & 0xFFFFFF);
    QCOMPARE(img.pixel(x, bar.Bottom - 1) & 0xFFFFFF, w->Picture.PaletteColor(0) & 0xFFFFFF);
    // the image fills the square beside the bar
    const int side = ComposedImageSide(w->width(), w->height(), true);
    QVERIFY(side > 0 && side < bar.Left);
    QCOMPARE(img.pixel(1, 1) & 0xFFFFFF, w->Image1.pixel(0, 0) & 0xFFFFFF);
}

void TImageWindowTest::scaleBarHasARoundLength() {
    TFixture fx;
    SetScale(fx, false, false, 1);
    TMainForm form;
    form.show();
    struct Case {
        double range;
        const char* text;
    };
    for (const Case& c : {Case{9.6, ">1 nm<"}, Case{2345, ">200 nm<"}, Case{0.25, ">0.02 nm<"},
                          Case{1, ">0.1 nm<"}, Case{47, ">5 nm<"}}) {
        TMDIChild* w = MakeWindow(form, 0.0f, 1.0f, c.range);
        QVERIFY(w->XYScalingLabelItem->isChecked());
        const QString svg = Svg(w);
        QVERIFY2(svg.contains(QString::fromLatin1(c.text)), c.text);
        delete w->SubWindow();
    }
    // no scale bar for a range of 0 or a negative one
    for (double range : {0.0, -5.0}) {
        TMDIChild* w = MakeWindow(form, 0.0f, 1.0f, range);
        QVERIFY(!Svg(w).contains(QStringLiteral(" nm<")));
        delete w->SubWindow();
    }
}

void TImageWindowTest::axisShowsRangesAndUnits() {
    TFixture fx;
    SetScale(fx, false, false, 2);
    TMainForm form;
    form.show();
    TMDIChild* w = MakeWindow(form, 0.0f, 1.0f, 2345, 8, 8, "\xB5m");
    QVERIFY(w->XYScalingAxis1->isChecked());
    const QString svg = Svg(w);
    QVERIFY(svg.contains(QStringLiteral(" 2345 ")));
    QVERIFY(svg.contains(QStringLiteral(" \u00B5m ")));
    QVERIFY(svg.contains(QStringLiteral(" 0 ")));
    // the framed image is drawn inside the margins, not at the corner
    const QImage img = w->ComposedImage();
    QCOMPARE(img.pixel(1, 1) & 0xFFFFFF, 0xFFFFFFu);
    // a window too small for the margins draws no axis and does not fail
    w->SubWindow()->resize(40, 40);
    w->Compose();
}

void TImageWindowTest::clientAreaStaysSquareAndWidensWithZBar() {
    TFixture fx;
    TMainForm form;
    form.resize(1000, 800);
    form.show();
    TMDIChild* w = MakeWindow(form, 0.0f, 1.0f, 10);
    QMdiSubWindow* sub = w->SubWindow();
    QCOMPARE(w->width(), w->height());
    QCOMPARE(w->height(), 265);
    // a resize by the user keeps the client area square
    sub->resize(sub->width() + 80, sub->height() + 40);
    QCOMPARE(w->width(), w->height());
    QCOMPARE(w->height(), 305);
    // Z Scaling widens the window to 3/2 of the client height
    w->zscalingItem->trigger();
    QVERIFY(w->ZScaling());
    QCOMPARE(sub->width(), 3 * w->height() / 2);
    QVERIFY(w->width() > w->height() * 5 / 4);
    sub->resize(sub->width(), sub->height() - 100);
    QCOMPARE(sub->width(), 3 * w->height() / 2);
    // and switching it off makes it square again
    w->zscalingItem->trigger();
    QCOMPARE(w->width(), w->height());
    // a maximised window is left as it is
    sub->showMaximized();
    QVERIFY(w->width() != w->height());
    sub->showNormal();
}

void TImageWindowTest::contextMenuWritesTheScaleSettings() {
    TFixture fx;
    TMainForm form;
    form.show();
    TMDIChild* w = MakeWindow(form, 0.0f, 1.0f, 10);
    // a first start: no z bar, no lateral scale, labels min..max once switched on
    QVERIFY(!w->ZScaling());
    QVERIFY(!w->XYScalingLabelItem->isChecked() && !w->XYScalingAxis1->isChecked());
    // the radio groups show the choice in effect from the first start
    QVERIFY(w->XYScalingnoItem->isChecked());
    QVERIFY(w->minmax1->isChecked() && !w->N0max1->isChecked());
    QVERIFY(!w->N0max1->isVisible());
    w->zscalingItem->trigger();
    QVERIFY(w->N0max1->isVisible() && w->minmax1->isVisible());
    QCOMPARE(w->MinText, std::string("0"));
    QCOMPARE(w->MaxText, std::string("1.000"));
    w->N0max1->trigger();
    w->XYScalingAxis1->trigger();
    auto ini = fx.ReadSettings();
    QCOMPARE(ini->ReadBool("Scale", "zScaleOn", false), true);
    QCOMPARE(ini->ReadBool("Scale", "zScale0max", false), true);
    QCOMPARE(ini->ReadBool("Scale", "zScaleminmax", true), false);
    QCOMPARE(ini->ReadBool("Scale", "XYAxis", false), true);
    QCOMPARE(ini->ReadBool("Scale", "XYLabelOn", true), false);
    QCOMPARE(ini->ReadBool("Scale", "XYNone", true), false);
    // the next window starts with the last choice
    TMDIChild* next = MakeWindow(form, 0.0f, 1.0f, 10);
    QVERIFY(next->ZScaling() && next->N0max1->isChecked() && next->XYScalingAxis1->isChecked());
    QCOMPARE(next->SubWindow()->width(), 3 * next->height() / 2);
    next->XYScalingnoItem->trigger();
    ini = fx.ReadSettings();
    QCOMPARE(ini->ReadBool("Scale", "XYNone", false), true);
    QCOMPARE(ini->ReadBool("Scale", "XYAxis", true), false);
    // the other window keeps its own options
    QVERIFY(w->XYScalingAxis1->isChecked());
    // View > Scale Bars opens the current window's menu
    form.ScaleBars1->trigger();
    QVERIFY(next->PopupMenu1->isVisible());
    next->PopupMenu1->hide();
}

void TImageWindowTest::contextMenuOnlyWithoutModifiers() {
    TFixture fx;
    TMainForm form;
    form.show();
    TMDIChild* w = MakeWindow(form, 0.0f, 1.0f, 10);
    QVERIFY(ContextMenuOpens(w, w->Image3, Qt::NoModifier));
    QVERIFY(!ContextMenuOpens(w, w->Image3, Qt::ShiftModifier));
    QVERIFY(!ContextMenuOpens(w, w->Image3, Qt::ControlModifier));
    QVERIFY(!ContextMenuOpens(w, w->Image3, Qt::AltModifier));
    w->ScanInfoItem->trigger();
    // on the scan information the window's menu opens, not the text box's
    QVERIFY(ContextMenuOpens(w, w->ScanInfoMemo->viewport(), Qt::NoModifier));
    QVERIFY(!ContextMenuOpens(w, w->ScanInfoMemo->viewport(), Qt::ShiftModifier));
    for (QMenu* m : w->ScanInfoMemo->findChildren<QMenu*>()) QVERIFY(!m->isVisible());
}

void TImageWindowTest::pagesAndScanInformation() {
    TFixture fx;
    TMainForm form;
    form.show();
    TMDIChild* w = MakeWindow(form, 0.0f, 1.0f, 10);
    QVERIFY(w->Image3->isVisible() && !w->ScanInfoMemo->isVisible());
    QVERIFY(w->ImageItem->isChecked() && !w->ScanInfoItem->isChecked());
    QCOMPARE(w->ScanInfoMemo->toPlainText(), QStringLiteral("line one\nline two"));
    w->ScanInfoItem->trigger();
    QVERIFY(!w->Image3->isVisible() && w->ScanInfoMemo->isVisible());
    QCOMPARE(w->ScanInfoMemo->geometry(), w->rect());
    w->ScanInfoMemo->setPlainText(QStringLiteral("A : \u00C5\nB"));
    w->SyncScanInfo();
    QCOMPARE(w->ScanInfo, std::vector<std::string>({"A : \xC5", "B"}));
    w->ImageItem->trigger();
    QVERIFY(w->Image3->isVisible() && !w->ScanInfoMemo->isVisible());
    // an empty record is neither rendered nor composed
    TMDIChild* empty = form.CreateImageWindow("empty");
    form.ShowImageWindow(empty);
    QVERIFY(empty->Image1.isNull());
    QVERIFY(empty->MinText.empty());
}

void TImageWindowTest::fontsApplyToTheCurrentWindowOnly() {
    TFixture fx;
    SetScale(fx, true, false, 1);
    TMainForm form;
    form.show();
    TMDIChild* first = MakeWindow(form, 0.0f, 1.0f, 10);
    TMDIChild* second = MakeWindow(form, 0.0f, 1.0f, 10);
    QCOMPARE(form.Current(), second);
    const QString before = first->LabelFont.Font.family();
    TDisplayFont preset;
    form.Hooks.Font = [&](TDisplayFont& f) {
        preset = f;
        f.Font.setFamily(QStringLiteral("DejaVu Serif"));
        f.Font.setPixelSize(24);
        f.Color = QColor(200, 10, 20);
        return true;
    };
    form.FontLabel1->trigger();
    QCOMPARE(preset.Font.family(), before);
    QCOMPARE(second->LabelFont.Font.family(), QStringLiteral("DejaVu Serif"));
    QCOMPARE(second->LabelFont.Color, QColor(200, 10, 20));
    QCOMPARE(first->LabelFont.Font.family(), before);
    auto ini = fx.ReadSettings();
    QCOMPARE(ini->ReadString("FontLabel", "Name", ""), std::string("DejaVu Serif"));
    QCOMPARE(ini->ReadInteger("FontLabel", "Size", 0), 18);  // 24 pixels at 96 per inch
    QCOMPARE(ini->ReadInteger("FontLabel", "Color", 0), 200 | (10 << 8) | (20 << 16));
    QVERIFY(Svg(second).contains(QStringLiteral("DejaVu Serif")));
    // the z-bar font through the window's own menu, read back as "FontZBar"
    second->FontzBar1->trigger();
    ini = fx.ReadSettings();
    QCOMPARE(ini->ReadString("FontZBar", "Name", ""), std::string("DejaVu Serif"));
    // a window opened afterwards uses the new fonts
    TMDIChild* third = MakeWindow(form, 0.0f, 1.0f, 10);
    QCOMPARE(third->LabelFont.Font.family(), QStringLiteral("DejaVu Serif"));
    QCOMPARE(third->LabelFont.Font.pixelSize(), 24);
    QCOMPARE(third->ZBarFont.Color, QColor(200, 10, 20));
    // a cancelled dialog changes nothing
    form.Hooks.Font = [](TDisplayFont& f) {
        f.Font.setFamily(QStringLiteral("DejaVu Sans Mono"));
        return false;
    };
    form.FontItem->trigger();
    QCOMPARE(third->ZBarFont.Font.family(), QStringLiteral("DejaVu Serif"));
}

namespace {
// Pixels of the composed picture that are not white in rows y0..y1-1 of columns 0..x1-1.
int Coloured(const QImage& img, int x1, int y0, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = 0; x < x1; ++x) n += (img.pixel(x, y) & 0xFFFFFFu) != 0xFFFFFFu;
    return n;
}
}  // namespace

void TImageWindowTest::trueAspectKeepsTheScanShape() {
    TFixture fx;
    TMainForm form;
    form.show();
    // 100 nm x 50 nm on 16 x 16 samples
    TMDIChild* w = MakeWindow(form, 0.0f, 1.0f, 100, 16, 16);
    w->Picture.Para.YScanRange = 50;
    w->Redraw();
    const int s = ComposedImageSide(w->width(), w->height(), false);
    // off by default: the picture fills the square
    QVERIFY(!w->TrueAspectItem->isChecked());
    QVERIFY(w->PopupMenu1->actions().contains(w->TrueAspectItem));
    QVERIFY(Coloured(w->ComposedImage(), s, s / 2 + 2, s) > 0);
    // on: twice as wide as high, the lower half of the square stays white
    w->TrueAspectItem->trigger();
    QCOMPARE(fx.ReadSettings()->ReadBool("Scale", "TrueAspect", false), true);
    QImage img = w->ComposedImage();
    const int h = ImageExtent(s, 100, 50, true).Height;
    QVERIFY(std::abs(h - s / 2) <= 1);
    QCOMPARE(Coloured(img, s, h + 1, s), 0);
    QVERIFY(Coloured(img, s, 0, h) > s * h / 2);
    // the framed axis follows the picture: its bottom labels stand below the half-high frame
    w->XYScalingAxis1->trigger();
    img = w->ComposedImage();
    QCOMPARE(Coloured(img, s, h + 30, s), 0);
    QVERIFY(Coloured(img, s, 0, h) > 0);
    // the next window starts with it; switching it off is stored
    TMDIChild* next = MakeWindow(form, 0.0f, 1.0f, 100, 16, 16);
    QVERIFY(next->TrueAspectItem->isChecked());
    next->TrueAspectItem->trigger();
    QCOMPARE(fx.ReadSettings()->ReadBool("Scale", "TrueAspect", true), false);
}

void TImageWindowTest::processingBlockShowsEveryLine() {
    TFixture fx;
    TMainForm form;
    form.show();
    TMDIChild* w = MakeWindow(form, 0.0f, 1.0f, 10);
    w->SubWindow()->resize(520, 560);
    w->ScanInfoItem->trigger();
    // a long history whose lines are wider than the window
    for (int i = 0; i < 9; ++i)
        w->History.push_back("level:2Dim:1 with a long description of what was done, step " + std::to_string(i));
    w->ShowHistory();
    QVERIFY(w->ProcessingMemo->isVisible());
    QTRY_COMPARE(w->ProcessingMemo->verticalScrollBar()->maximum(), 0);
    QVERIFY(w->ProcessingMemo->geometry().bottom() <= w->height());
    QVERIFY(w->ScanInfoMemo->height() >= w->height() / 3);
    // a history longer than two thirds of the window scrolls
    for (int i = 0; i < 60; ++i) w->History.push_back("invert");
    w->ShowHistory();
    QVERIFY(w->ProcessingMemo->height() <= 2 * w->height() / 3);
    QTRY_VERIFY(w->ProcessingMemo->verticalScrollBar()->maximum() > 0);
}

QTEST_MAIN(TImageWindowTest)
#include "imagewindow_test.moc"
