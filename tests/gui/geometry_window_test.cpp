// Window tests of zoom, sphere filter and distortion correction in the processing
// dialog, and of the arithmetic and rescale dialogs.
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include "GuiTest.h"
#include "app/ArithForm.h"
#include "app/AxesForm.h"
#include "app/EditColours.h"
#include "app/FilterForm.h"
#include "core/Display.h"
#include "processing/Arithmetic.h"
#include "processing/Geometry.h"
#include "processing/Sphere.h"

using namespace guitest;

namespace {

void DropWindow(QWidget* target, const TMDIChild* w)
{
    QMimeData mime;
    mime.setData(QString::fromLatin1(WindowMimeType), QByteArray::number(w->WindowNumber));
    const QPointF pos(10, 10);
    QDragEnterEvent enter(pos.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

void Enter(QLineEdit* e, const QString& text)
{
    e->selectAll();
    QTest::keyClicks(e, text);
    QTest::keyClick(e, Qt::Key_Return);
}

}  // namespace

class TGeometryWindowTest : public QObject {
    Q_OBJECT
private slots:
    void zoomSquareDoAndTakeOver();
    void sphereRadiusRunSwitchAndCancel();
    void distortionFieldsAndKeys();
    void arithmeticDropsComputesAndUses();
    void arithmeticOperandClosedOrOfAnotherSize();
    void rescaleSaveAndReopen();
};

void TGeometryWindowTest::zoomSquareDoAndTakeOver()
{
    TFixture fx;
    TMainForm form;
    form.resize(1200, 1000);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TMDIChild* w = form.Current();
    const std::vector<float> original = Samples(w->Picture);
    const double xRange = w->Picture.Para.XScanRange, yRange = w->Picture.Para.YScanRange;
    TFilterForm* f = OpenForm(form, form.Zoom1);
    QVERIFY(f);
    QCOMPARE(f->Working.Cols, 512);
    QVERIFY2(f->Image2->width() > 512, "the preview is larger than the picture");
    QCOMPARE(f->PicturePoint(PreviewAt(f, 130, 170)), QPoint(130, 170));
    const QImage plain = f->Image2->Picture().convertToFormat(QImage::Format_RGB32);

    // a drag 30 columns to the right and 50 lines down gives a 30 x 30 square
    Mouse(f->Image2, QEvent::MouseButtonPress, PreviewAt(f, 100, 120), Qt::LeftButton, Qt::LeftButton);
    Mouse(f->Image2, QEvent::MouseMove, PreviewAt(f, 120, 140), Qt::NoButton, Qt::LeftButton);
    Mouse(f->Image2, QEvent::MouseMove, PreviewAt(f, 130, 170), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(f->ZoomRect.X1, 100);
    QCOMPARE(f->ZoomRect.X2, 130);
    QCOMPARE(f->ZoomRect.Y2, 150);
    QVERIFY(f->toolTip().startsWith(QStringLiteral("X= 130  Y= 170 Range: ")));
    QVERIFY(f->toolTip().endsWith(QStringLiteral("nm")));
    QVERIFY(f->Image2->Picture().convertToFormat(QImage::Format_RGB32) != plain);  // the square shows
    Shot(f->SubWindow() ? static_cast<QWidget*>(f->SubWindow()) : f, "zoom-square.png");
    Mouse(f->Image2, QEvent::MouseButtonRelease, PreviewAt(f, 130, 170), Qt::LeftButton, Qt::NoButton);
    // a new press takes the old square away: the preview is the picture again
    Mouse(f->Image2, QEvent::MouseButtonPress, PreviewAt(f, 300, 300), Qt::LeftButton, Qt::LeftButton);
    QCOMPARE(f->Image2->Picture().convertToFormat(QImage::Format_RGB32), plain);
    // moving without a button only tells the position
    Mouse(f->Image2, QEvent::MouseMove, PreviewAt(f, 10, 20), Qt::NoButton, Qt::NoButton);
    QCOMPARE(f->toolTip(), QStringLiteral("X= 10  Y= 20"));
    // dragging beyond the right edge: x2 stops at Cols - 1, the square follows
    Mouse(f->Image2, QEvent::MouseMove, QPoint(f->Image2->width() + 40, f->Image2->height() - 5), Qt::NoButton,
          Qt::LeftButton);
    Mouse(f->Image2, QEvent::MouseButtonRelease, QPoint(f->Image2->width() + 40, f->Image2->height() - 5),
          Qt::LeftButton, Qt::NoButton);
    QCOMPARE(f->ZoomRect.X2, 511);
    QCOMPARE(f->ZoomRect.Y2, 511);

    // Do twice gives the same region; Undo restores the full size
    const TZoomRect square{100, 164, 100, 164};
    f->ZoomRect = square;
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QCOMPARE(f->Working.Cols, 64);
    QCOMPARE(f->Working.Rows, 64);
    QTest::mouseClick(f->Button1, Qt::LeftButton);
    QCOMPARE(f->Working.Cols, 512);
    f->ZoomRect = square;
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    TQTVPicture expect;
    QVERIFY(ZoomCut(w->Picture, expect, square));
    QVERIFY(Samples(f->Working) == Samples(expect));
    QTest::mouseClick(f->Button3, Qt::LeftButton);
    SettleDeletes();
    QCOMPARE(w->Picture.Cols, 64);
    QCOMPARE(w->Picture.Rows, 64);
    QCOMPARE(w->Picture.Para.XScanRange, xRange / 512 * 64);
    QCOMPARE(w->Picture.Para.YScanRange, yRange / 512 * 64);
    QVERIFY(Samples(w->Picture) == Samples(expect));
    QVERIFY(original.size() == 512u * 512u);
    QVERIFY(fx.Messages.Shown.empty());
}

void TGeometryWindowTest::sphereRadiusRunSwitchAndCancel()
{
    TFixture fx;
    TMainForm form;
    form.resize(1200, 1000);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TMDIChild* w = form.Current();
    const std::vector<float> original = Samples(w->Picture);
    form.Settings().WriteString("Filter", "Kugel", "abc");
    TFilterForm* f = OpenForm(form, form.Shere1);
    QVERIFY(f);
    // an unreadable stored radius is reported and the field waits for a new one
    QCOMPARE(fx.Messages.Shown.size(), size_t(1));
    QCOMPARE(EditState(f->RadiusEdit), TEditState::Edited);
    fx.Messages.Clear();
    QTest::mouseClick(f->Button4, Qt::LeftButton);  // confirms first: still unreadable, nothing runs
    QVERIFY(Samples(f->Working) == original);
    fx.Messages.Clear();

    // a radius beyond a quarter of the width is cut back
    const double perPixel = w->Picture.Para.XScanRange / 512;
    Enter(f->RadiusEdit, QString::number(200 * perPixel));
    QCOMPARE(EditState(f->RadiusEdit), TEditState::Accepted);
    QCOMPARE(f->RadiusEdit->text(), Latin1ToQt(FormatShortest(128 * perPixel)));
    QVERIFY(f->RadiusEdit->toolTip().startsWith(QStringLiteral("Radius= ")));
    QCOMPARE(Latin1ToQt(fx.ReadSettings()->ReadString("Filter", "Kugel", "")), f->RadiusEdit->text());

    // typed but not confirmed: "Do" confirms, then runs
    f->RadiusEdit->selectAll();
    QTest::keyClicks(f->RadiusEdit, QString::number(3 * perPixel));
    QCOMPARE(EditState(f->RadiusEdit), TEditState::Edited);
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QCOMPARE(EditState(f->RadiusEdit), TEditState::Accepted);
    QCOMPARE(f->ProgressBar->value(), f->ProgressBar->maximum());
    TQTVPicture low, high;
    QCOMPARE(SphereFilter(w->Picture, low, f->SphereRadius, true), TSphereOutcome::Done);
    QCOMPARE(SphereFilter(w->Picture, high, f->SphereRadius, false), TSphereOutcome::Done);
    QVERIFY(Samples(f->Working) == Samples(low));
    Shot(f->SubWindow() ? static_cast<QWidget*>(f->SubWindow()) : f, "sphere.png");
    // switching a finished result
    f->HighpassButton->click();
    QVERIFY(Samples(f->Working) == Samples(high));
    // after Undo the choice only applies to the next run
    QTest::mouseClick(f->Button1, Qt::LeftButton);
    f->LowpassButton->click();
    QVERIFY(Samples(f->Working) == original);
    f->HighpassButton->click();
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QVERIFY(Samples(f->Working) == Samples(high));
    QTest::mouseClick(f->Button3, Qt::LeftButton);
    SettleDeletes();
    QVERIFY(Samples(w->Picture) == Samples(high));
    QVERIFY(fx.Messages.Shown.empty());

    // "Cancel" while a run goes on: the dialog closes, the image stays as it was
    const std::vector<float> before = Samples(w->Picture);
    f = OpenForm(form, form.Shere1);
    QVERIFY(f);
    QPointer<TFilterForm> guard = f;
    Enter(f->RadiusEdit, QString::number(60 * perPixel));
    int seenRunning = 0;
    QTimer::singleShot(0, f, [&] {
        if (guard && guard->SphereRunning()) {
            ++seenRunning;
            QTest::mouseClick(guard->Button2, Qt::LeftButton);
        }
    });
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    SettleDeletes();
    QCOMPARE(seenRunning, 1);
    QVERIFY(guard.isNull());
    QVERIFY(Samples(w->Picture) == before);
    QVERIFY(fx.Messages.Shown.empty());
}

void TGeometryWindowTest::distortionFieldsAndKeys()
{
    TFixture fx;
    TMainForm form;
    form.resize(1200, 1000);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TMDIChild* w = form.Current();
    const std::vector<float> original = Samples(w->Picture);
    form.Settings().WriteString("Filter", "DistortionCX", "0,05");
    form.Settings().WriteString("Filter", "DistortionDY", "0.02");
    TFilterForm* f = OpenForm(form, form.DistortionItem);
    QVERIFY(f);
    QCOMPARE(f->DistortionEdits.size(), size_t(4));
    QCOMPARE(f->DistortionEdits[0]->text(), QStringLiteral("0,05"));
    QCOMPARE(f->DistortionEdits[1]->text(), QStringLiteral("0"));
    QCOMPARE(f->DistortionEdits[3]->text(), QStringLiteral("0.02"));
    Shot(f->SubWindow() ? static_cast<QWidget*>(f->SubWindow()) : f, "distortion.png");

    // a field that is no number turns red; the keys before it are written
    f->DistortionEdits[1]->setText(QStringLiteral("0,1"));
    f->DistortionEdits[2]->setText(QStringLiteral("x"));
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QCOMPARE(EditState(f->DistortionEdits[2]), TEditState::Rejected);
    QCOMPARE(EditState(f->DistortionEdits[0]), TEditState::Standard);
    QVERIFY(Samples(f->Working) == original);
    QCOMPARE(fx.ReadSettings()->ReadString("Filter", "DistortionDX", ""), std::string("0,1"));

    f->DistortionEdits[2]->setText(QStringLiteral("-0.03"));
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QCOMPARE(EditState(f->DistortionEdits[2]), TEditState::Standard);
    TQTVPicture expect;
    CorrectDistortion(w->Picture, expect, 0.05, 0.1, -0.03, 0.02);
    QVERIFY(Samples(f->Working) == Samples(expect));
    QCOMPARE(fx.ReadSettings()->ReadString("Filter", "DistortionCY", ""), std::string("-0.03"));
    QTest::mouseClick(f->Button3, Qt::LeftButton);
    SettleDeletes();
    QVERIFY(Samples(w->Picture) == Samples(expect));
    QVERIFY(fx.Messages.Shown.empty());
}

void TGeometryWindowTest::arithmeticDropsComputesAndUses()
{
    TFixture fx;
    TMainForm form;
    form.resize(1200, 1000);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    const std::vector<TMDIChild*> wins = Windows(form);
    QVERIFY(wins.size() >= 2);
    TMDIChild* a = wins[0];
    TMDIChild* b = wins[1];
    QVERIFY(a->Picture.Para.PhysUnit != b->Picture.Para.PhysUnit);
    form.ArithmeticItem->trigger();
    TArithForm* af = form.ArithForm;
    QVERIFY(af->isVisible());
    QCOMPARE(af->windowTitle(), QStringLiteral("Arithmetic"));
    // inside the workspace, clear of the menu and tool bar, and not on top of everything
    const QWidget* work = form.MdiArea->viewport();
    QVERIFY((QRect(work->mapToGlobal(QPoint(0, 0)), work->size()) & work->screen()->availableGeometry())
                .contains(af->frameGeometry()));
    QVERIFY(!(af->windowFlags() & Qt::WindowStaysOnTopHint));
    Shot(&form, "arithmetic-placed.png");
    QCOMPARE(af->Edit1->text(), QStringLiteral(" /"));
    QVERIFY(af->FirstWindow && af->SecondWindow);  // the two windows of the table

    DropWindow(af->Image1, b);
    DropWindow(af->Image2, a);
    QCOMPARE(af->FirstWindow.data(), b);
    QCOMPARE(af->SecondWindow.data(), a);
    QCOMPARE(af->Label2->text(), b->windowTitle());
    QVERIFY(!af->Button1->isEnabled());
    QCOMPARE(af->Label4->text(), Latin1ToQt(b->MinText + " " + b->Picture.Para.PhysUnit));

    QTest::keyClick(af->Edit1, Qt::Key_Q);  // not an operator: a beep, the operator stays
    QCOMPARE(af->Edit1->text(), QStringLiteral(" /"));
    QCOMPARE(fx.Messages.Beeps, 1);
    QTest::keyClick(af->Edit1, Qt::Key_Asterisk);
    QCOMPARE(af->Edit1->text(), QStringLiteral(" *"));
    QCOMPARE(fx.ReadSettings()->ReadString("Arithmetic", "Op", ""), std::string("*"));
    QTest::mouseClick(af->Label1, Qt::LeftButton);  // "="
    QVERIFY(af->Button1->isEnabled());
    const std::string unit = b->Picture.Para.PhysUnit + " " + a->Picture.Para.PhysUnit;
    QCOMPARE(af->ResultPicture.Para.PhysUnit, unit);
    // the limits in the z bar's short form, on one line
    const TZBarLabels limits = ZBarLabels(af->ResultPicture.Min, af->ResultPicture.Max, false);
    QCOMPARE(af->Label8->text(), Latin1ToQt(limits.MinText + " " + unit));
    QCOMPARE(af->Label9->text(), Latin1ToQt(limits.MaxText + " " + unit));
    QCOMPARE(af->Label8->y(), af->Label9->y());
    QVERIFY(af->Label8->geometry().right() < af->Label9->geometry().left());
    Shot(af, "arithmetic.png");
    ScreenShot("x-arithmetic.png");

    QTest::mouseClick(af->Button1, Qt::LeftButton);  // "Use"
    QVERIFY(!af->isVisible());
    // Escape closes the window
    af->show();
    QVERIFY(af->isVisible());
    QTest::keyClick(af->Edit1, Qt::Key_Escape);
    QVERIFY(!af->isVisible());
    af->show();
    QTest::keyClick(af, Qt::Key_Escape);
    QVERIFY(!af->isVisible());
    TMDIChild* calc = form.Current();
    QVERIFY(calc && calc != a && calc != b);
    QCOMPARE(calc->windowTitle(), QStringLiteral("Calculus"));
    // the first operand's scan record, its unit included; the product as samples
    QCOMPARE(calc->Picture.Para.PhysUnit, b->Picture.Para.PhysUnit);
    QCOMPARE(calc->Picture.Para.XScanRange, b->Picture.Para.XScanRange);
    QVERIFY(calc->ScanInfo == b->ScanInfo);
    QCOMPARE(calc->Picture.Data[7][9], b->Picture.Data[7][9] * a->Picture.Data[7][9]);
    QVERIFY(fx.Messages.Shown.empty());
}

void TGeometryWindowTest::arithmeticOperandClosedOrOfAnotherSize()
{
    TFixture fx;
    TMainForm form;
    form.resize(1200, 1000);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    const std::vector<TMDIChild*> wins = Windows(form);
    TMDIChild* a = wins[0];
    TMDIChild* b = wins[1];
    TArithForm* af = form.ArithForm;
    af->show();
    DropWindow(af->Image1, a);
    DropWindow(af->Image2, b);
    QTest::keyClick(af->Edit1, Qt::Key_Minus);
    QTest::mouseClick(af->Image3, Qt::LeftButton);
    QVERIFY(af->Button1->isEnabled());

    // the first operand's window closes: its side empties, "=" and "Use" say so
    a->SubWindow()->close();
    SettleDeletes();
    QVERIFY(af->FirstWindow.isNull());
    QCOMPARE(af->Label2->text(), QString());
    QVERIFY(!af->Button1->isEnabled());
    fx.Messages.Clear();
    QTest::mouseClick(af->Label1, Qt::LeftButton);
    af->Button1Click();
    QCOMPARE(fx.Messages.Shown.size(), size_t(2));
    QVERIFY(fx.Messages.Shown[0].Text.find("first image is missing") != std::string::npos);
    QCOMPARE(form.WindowCount(), 1);

    // operands of another size
    OpenAndLoad(form, WriteScan(fx.Dir(), QStringLiteral("small.txt"), 4, 3, 10,
                                {{"small.sin", "Small", "nm", 1.0, Ramp(4, 3)}}));
    TMDIChild* small = form.Current();
    QCOMPARE(small->Picture.Cols, 4);
    DropWindow(af->Image1, small);
    fx.Messages.Clear();
    QTest::mouseClick(af->Label1, Qt::LeftButton);
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>{"Pictures must have some size!"});
    QVERIFY(!af->Button1->isEnabled());
    // the same image twice with "-": zero everywhere, in its own unit
    DropWindow(af->Image2, small);
    QTest::mouseClick(af->Label1, Qt::LeftButton);
    QCOMPARE(af->ResultPicture.Para.PhysUnit, std::string("nm"));
    QCOMPARE(af->Label8->text(), QStringLiteral("0 nm"));
    QCOMPARE(af->Label9->text(), QStringLiteral("0 nm"));

    // opened again with operands of different sizes: nothing said before the user chose
    af->hide();
    fx.Messages.Clear();
    form.ArithmeticItem->trigger();
    QVERIFY(af->FirstWindow && af->SecondWindow);
    QVERIFY(af->FirstWindow->Picture.Cols != af->SecondWindow->Picture.Cols);
    QVERIFY(fx.Messages.Shown.empty());
    // no operator in the field (a hand-edited setting): "=" and "Use" say so
    af->Edit1->setText(QStringLiteral(" "));
    DropWindow(af->Image1, small);
    DropWindow(af->Image2, small);
    QTest::mouseClick(af->Label1, Qt::LeftButton);
    af->Button1Click();
    QCOMPARE(fx.Messages.Texts(), (std::vector<std::string>{NoOperatorText, NoOperatorText}));
    QVERIFY(!af->Button1->isEnabled());
}

void TGeometryWindowTest::rescaleSaveAndReopen()
{
    TFixture fx;
    TMainForm form;
    form.resize(1200, 1000);
    form.show();
    const QString scan = WriteScan(fx.Dir(), QStringLiteral("r.txt"), 4, 3, 9.6,
                                   {{"r_0.sin", "Topo", "nm", 1.0, Ramp(4, 3, 0.5f, -1.0f)},
                                    {"r_1.sin", "Flat", "nA", 1.0, std::vector<float>(12, 2.0f)}});
    QVERIFY(OpenAndLoad(form, scan));
    TMDIChild* flat = nullptr;
    TMDIChild* topo = nullptr;
    for (TMDIChild* w : Windows(form)) (w->Picture.Para.PhysUnit == "nA" ? flat : topo) = w;
    QVERIFY(flat && topo);

    // a constant image cannot be stretched to a range: told, nothing changed
    form.MakeCurrent(flat);
    form.Scale1->trigger();
    TAxesForm* ax = form.AxesForm;
    QVERIFY(ax->isVisible());
    QCOMPARE(ax->Edit3->text(), QStringLiteral("0"));
    Enter(ax->Edit3, QStringLiteral("5"));
    QTest::mouseClick(ax->BitBtn2, Qt::LeftButton);
    QCOMPARE(fx.Messages.Shown.size(), size_t(1));
    QVERIFY(ax->isVisible());
    QCOMPARE(flat->Picture.Data[1][1], 2.0f);
    QCOMPARE(flat->Picture.Para.XScanRange, 9.6);
    QTest::mouseClick(ax->BitBtn1, Qt::LeftButton);
    QVERIFY(!ax->isVisible());
    fx.Messages.Clear();

    form.MakeCurrent(topo);
    form.Scale1->trigger();
    QCOMPARE(ax->Edit1->text(), QStringLiteral("9.6"));
    QCOMPARE(ax->Edit3->text(), QStringLiteral("5.5"));
    QCOMPARE(ax->Edit6->text(), QStringLiteral("nm"));
    Enter(ax->Edit1, QStringLiteral("1,5"));  // the system's format only: red
    QCOMPARE(EditState(ax->Edit1), TEditState::Rejected);
    QTest::mouseClick(ax->BitBtn2, Qt::LeftButton);
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>{"Please confirm all values first!"});
    fx.Messages.Clear();
    Enter(ax->Edit1, QStringLiteral("120"));
    QCOMPARE(EditState(ax->Edit1), TEditState::Accepted);
    ax->Edit2->setText(QStringLiteral("60"));  // typed, not confirmed: accepted as it is
    ax->Edit3->setText(QStringLiteral("11"));
    ax->Edit4->setText(QString::fromUtf8("\u00B5m"));
    ax->Edit5->setText(QStringLiteral("mm"));
    ax->Edit6->setText(QStringLiteral("pm"));
    Shot(ax, "rescale.png");
    QTest::mouseClick(ax->BitBtn2, Qt::LeftButton);
    QVERIFY(!ax->isVisible());
    QCOMPARE(topo->Picture.Para.XScanRange, 120.0);
    QCOMPARE(topo->Picture.Para.YScanRange, 60.0);
    QCOMPARE(topo->Picture.Para.XPhysUnit, std::string("\xB5m"));
    QCOMPARE(topo->Picture.Data[2][3], 2 * (-1.0f + 0.5f * 11));  // heights doubled about 0
    QVERIFY(fx.Messages.Shown.empty());

    // Save As in the native format and open again: ranges and units are kept
    const QString target = fx.Dir() + QStringLiteral("/rescaled");
    form.Hooks.SaveAs = [&](QString& file, int& index) {
        file = target;
        index = 3;
        return true;
    };
    form.FileSaveAsItem->trigger();
    QVERIFY(QFileInfo::exists(target + QStringLiteral(".txt")));
    QVERIFY(OpenAndLoad(form, target + QStringLiteral(".txt")));
    TMDIChild* back = form.Current();
    QVERIFY(back != topo);
    QCOMPARE(back->Picture.Para.XScanRange, 120.0);
    QCOMPARE(back->Picture.Para.YScanRange, 60.0);
    QCOMPARE(back->Picture.Para.XPhysUnit, std::string("\xB5m"));
    QCOMPARE(back->Picture.Para.YPhysUnit, std::string("mm"));
    QCOMPARE(back->Picture.Para.PhysUnit, std::string("pm"));
    QVERIFY(std::fabs(back->Picture.Data[2][3] - 9.0f) < 1e-4);
    QVERIFY(fx.Messages.Shown.empty());
}

QTEST_MAIN(TGeometryWindowTest)
#include "geometry_window_test.moc"
