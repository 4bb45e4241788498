// Window tests of Analyse > Unit cell on the demo scan's hexagonal lattice: marking a
// cell with the mouse, the constants, typing them, "Cross Correlation", "Find Grid",
// the statistics plot with |a| over x, excluding and deleting points, "Copy to
// Distortion", the averaged cell, "Find Match", the settings and closing with the
// image window.
//
// With UNITCELL_SHOTS=DIR set, the window after "Find Grid" and after averaging is
// written to DIR as PNG files for looking at.
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QRadioButton>
#include <QScrollBar>

#include "GuiTest.h"
#include "analysis/Correlation.h"
#include "analysis/Lattice.h"
#include "app/EditColours.h"
#include "app/Help.h"
#include "app/LongRun.h"
#include "app/UnitCellForm.h"

using namespace guitest;

namespace {

TUnitCellForm* FindForm(TMainForm& form) {
    const QList<TUnitCellForm*> forms = form.MdiArea->findChildren<TUnitCellForm*>();
    return forms.isEmpty() ? nullptr : forms.last();
}

// The demo's "Current Fwd" channel (the lattice without the bow of the topography)
// as the current window.
TMDIChild* OpenCurrentChannel(TMainForm& form) {
    if (!OpenAndLoad(form, DemoFile())) return nullptr;
    for (TMDIChild* w : Windows(form))
        if (Title(w).contains(QStringLiteral("Current Fwd"))) {
            form.MdiArea->setActiveSubWindow(w->SubWindow());
            return w;
        }
    return nullptr;
}

void Mouse(QWidget* target, QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, at, target->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : button, held,
                  Qt::NoModifier);
    QApplication::sendEvent(target, &e);
}

// Drags on a 256-pixel control of a 512-pixel image: control = pixel / 2.
void DragPixels(QWidget* target, TPointI from, TPointI to) {
    const QPointF a(from.x / 2.0, from.y / 2.0), b(to.x / 2.0, to.y / 2.0);
    Mouse(target, QEvent::MouseButtonPress, a);
    for (int i = 1; i <= 4; ++i) Mouse(target, QEvent::MouseMove, a + (b - a) * i / 4.0);
    Mouse(target, QEvent::MouseButtonRelease, b);
}

void FrameShot(QWidget* w, const char* name) {
    const QByteArray dir = qgetenv("UNITCELL_SHOTS");
    if (dir.isEmpty()) return;
    QWidget* frame = w->parentWidget() ? w->parentWidget() : w;
    frame->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QString::fromLatin1(name));
}

// The marked cell on the demo lattice: a = (20, 8), b = (14, -14) on the screen.
const TCellCorners Marked{{300, 120}, {320, 128}, {334, 114}};

}  // namespace

class TUnitCellTest : public QObject {
    Q_OBJECT
private slots:
    void opensWithDefaultsAndClosesWithItsImage();
    void markCorrelateFindGridPlotCopyAverage();
    void typedConstantsAndLinesMode();
    void findMatchStatistics();
    void correlationStoppedKeepsWhatWasShown();
};

void TUnitCellTest::opensWithDefaultsAndClosesWithItsImage() {
    TFixture fx;
    TMainForm form;
    form.resize(1250, 1000);
    form.show();
    TMDIChild* w = OpenCurrentChannel(form);
    QVERIFY(w);
    form.Unitcell1->trigger();
    QPointer<TUnitCellForm> uc = FindForm(form);
    QVERIFY(uc);
    QCOMPARE(uc->windowTitle(), QStringLiteral("Find Unit Cell in demo_1.sin - Current Fwd"));
    QCOMPARE(uc->Corners(), (TCellCorners{{219, 292}, {292, 292}, {292, 219}}));
    QCOMPARE(uc->MarkerSize(), 6);
    QCOMPARE(uc->ComboBox1->currentText(), QStringLiteral("grid"));
    QVERIFY(!uc->Button3->isEnabled());
    QVERIFY(!uc->Button6->isEnabled());
    QVERIFY(!uc->Button4->isEnabled());
    QVERIFY(uc->Image2->isHidden());
    QVERIFY(uc->ScrollBar1->isHidden());
    QVERIFY(uc->GroupBox1->isHidden());
    QVERIFY(uc->ImageVisible->isChecked() && uc->ManuellGrid->isChecked() && !uc->AutoGrid->isChecked());
    // 73 pixels of 200 nm / 512 each way, at right angles
    QCOMPARE(uc->Edit1->text(), QString::fromLatin1(LatticeNumberText(73 * 200.0 / 512).c_str()));
    QCOMPARE(uc->Edit3->text(), QStringLiteral("90"));
    QCOMPARE(uc->Label4->text(), QStringLiteral("nm"));
    QCOMPARE(uc->Label6->text(), QStringLiteral("\u00B0"));
    QVERIFY(uc->Cut().Valid);
    QVERIFY(!uc->AveragedCellImage().isNull());
    QCOMPARE(uc->ScrollBar1->value(), 70);
    // F1 in the window opens the manual's unit-cell page
    QCOMPARE(uc->property("helpTopic").toInt(), 26);
    QCOMPARE(HelpPage(26), QStringLiteral("unitcell.html"));
    QVERIFY(QFile::exists(ManualDir() + QStringLiteral("/unitcell.html")));

    // a press 16 pixels from every corner picks none: nothing moves
    DragPixels(uc->Image1, {219 + 16, 292}, {100, 100});
    QCOMPARE(uc->Corners(), (TCellCorners{{219, 292}, {292, 292}, {292, 219}}));
    // corner 1 moves the whole cell, corner 3 only itself
    DragPixels(uc->Image1, {220, 292}, {230, 286});
    QCOMPARE(uc->Corners(), (TCellCorners{{230, 286}, {303, 286}, {303, 213}}));
    DragPixels(uc->Image1, {303, 214}, {310, 200});
    QCOMPARE(uc->Corners(), (TCellCorners{{230, 286}, {303, 286}, {310, 200}}));
    QVERIFY(fx.Messages.Shown.empty());

    // closing the image window closes the unit-cell window and keeps its corners
    w->SubWindow()->close();
    SettleDeletes();
    SettleDeletes();
    QVERIFY(uc.isNull());
    auto ini = fx.ReadSettings();
    QCOMPARE(ini->ReadInteger("Filter", "Ecke1x", 0), 230);
    QCOMPARE(ini->ReadInteger("Filter", "Ecke3y", 0), 200);
    QCOMPARE(ini->ReadInteger("Filter", "NewGridAnchorX", -1), 0);
}

void TUnitCellTest::markCorrelateFindGridPlotCopyAverage() {
    TFixture fx;
    TMainForm form;
    form.resize(1250, 1000);
    form.show();
    TMDIChild* w = OpenCurrentChannel(form);
    QVERIFY(w);
    form.Unitcell1->trigger();
    TUnitCellForm* uc = FindForm(form);
    QVERIFY(uc);
    uc->parentWidget()->move(0, 0);

    // mark one cell of the lattice: move the cell, then set a and b
    DragPixels(uc->Image1, {219, 292}, {300, 120});
    QCOMPARE(uc->Corners().Corner2, (TPointI{373, 120}));
    DragPixels(uc->Image1, {373, 120}, {320, 128});
    QCOMPARE(uc->Corners().Corner3, (TPointI{320, 55}));
    DragPixels(uc->Image1, {320, 55}, {334, 114});
    QCOMPARE(uc->Corners(), Marked);
    const TLatticeConstants k = LatticeConstants(Marked, w->Picture);
    QCOMPARE(uc->Edit1->text(), QString::fromLatin1(LatticeNumberText(k.A).c_str()));
    QCOMPARE(uc->Edit3->text(), QString::fromLatin1(LatticeNumberText(k.Phi * 180 / M_PI).c_str()));

    // the correlation: the slider and the two search buttons appear
    QTest::mouseClick(uc->Button1, Qt::LeftButton);
    QVERIFY(uc->Image2->isVisible());
    QVERIFY(uc->ScrollBar1->isVisible());
    QVERIFY(uc->Button3->isEnabled() && uc->Button6->isEnabled());
    // the same as the model's
    TCellCut cut;
    QVERIFY(ExtractCell(w->Picture, Marked, cut));
    TQTVPicture corr;
    QVERIFY(CrossCorrelate(w->Picture, cut.Cell, cut.Half, corr));
    QCOMPARE(uc->CorrPicture().Data[100][200], corr.Data[100][200]);
    uc->ScrollBar1->setValue(55);

    // "Find Grid": matches, links, the lattice plot of ax over x with its fit
    QTest::mouseClick(uc->Button3, Qt::LeftButton);
    QVERIFY(fx.Messages.Shown.empty());
    corr.UpdateMinMax();
    TRegionResult regions = LabelRegions(corr, ThresholdValue(corr, 55));
    const int32_t home = LinkNeighbours(regions.Matches, Marked, 512, 512);
    QCOMPARE(uc->Matches().size(), regions.Matches.size());
    QCOMPARE(uc->HomeMatch(), home);
    QVERIFY(home >= 0);
    QVERIFY(uc->Memo2->toPlainText().startsWith(QString::number(regions.Matches.size()) + QStringLiteral(" matches ")));
    QVERIFY(uc->AutoGrid->isChecked() && !uc->ManuellGrid->isChecked());
    QVERIFY(uc->Image4->isVisible() && uc->Panel1->isVisible() && uc->Panel2->isVisible());
    QVERIFY(uc->GroupBox1->isVisible());
    QCOMPARE(uc->PlotMode(), 1);
    QVERIFY(uc->RadioButton6->isChecked());
    QVERIFY(uc->StaticText1->text().startsWith(QStringLiteral("fit = ")));
    QVERIFY(uc->Button4->isEnabled());
    // ax about 18.8 pixels of 200/512 nm for most matches
    int near = 0;
    for (const TPlotPoint& p : uc->PlotPoints()) near += std::fabs(p.Y - 18.8 * 200 / 512) < 0.5;
    QVERIFY(near > 400);
    QVERIFY(uc->PlotPoints().size() > 300);
    FrameShot(uc, "unitcell-grid.png");
    if (!qgetenv("UNITCELL_SHOTS").isEmpty())
        uc->Image4->Picture().scaled(514, 514).save(QString::fromLocal8Bit(qgetenv("UNITCELL_SHOTS")) +
                                                    QStringLiteral("/unitcell-plot.png"));

    // |a| over x
    uc->RadioButton3->click();
    const auto expected = LatticePlotData(regions.Matches, TLatticeQuantity::A, TPlotAxis::X, w->Picture);
    QCOMPARE(uc->PlotPoints().size(), expected.size());
    QCOMPARE(uc->PlotPoints()[0].Y, expected[0].Y);
    QCOMPARE(uc->Label8->text(), QStringLiteral("0"));
    const auto fit = FitParabola(expected);
    QVERIFY(fit && uc->Fit());
    QCOMPARE(uc->Fit()->C0, fit->C0);
    QVERIFY(uc->Memo2->toPlainText().contains(QString::fromLatin1(FitText(*fit).c_str())));
    QTest::mouseClick(uc->Button4, Qt::LeftButton);
    QVERIFY(QApplication::clipboard()->text().startsWith(
        QString::fromLatin1((FormatGeneral(expected[0].X, 15) + "\t" + FormatGeneral(expected[0].Y, 15)).c_str())));

    // copy to distortion: the x keys, 4 digits
    QTest::mouseClick(uc->Button5, Qt::LeftButton);
    const TDistortionPair d = DistortionFromFit(*fit, w->Picture, TPlotAxis::X);
    auto ini = fx.ReadSettings();
    QCOMPARE(ini->ReadString("Filter", "DistortionCX", ""), DistortionText(d.C));
    QCOMPARE(ini->ReadString("Filter", "DistortionDX", ""), DistortionText(d.D));
    // the results list says what was copied
    QVERIFY(uc->Memo2->toPlainText().endsWith(QString::fromLatin1(DistortionCopiedText(d, TPlotAxis::X).c_str())));
    ScreenShot("x-unitcell-copied.png");

    // a click excludes the nearest point (red), Delete removes it and its match
    const TPlotPoint first = uc->PlotPoints()[0];
    const TPlotLayout layout = LayoutPlot(uc->PlotPoints(), 257, 257, false);
    const QPoint at(layout.PixelX(first.X), layout.PixelY(first.Y));
    QTest::mouseClick(uc->Image4, Qt::LeftButton, Qt::NoModifier, at);
    QVERIFY(uc->PlotPoints()[0].Excluded);
    QCOMPARE(uc->Image4->Picture().pixel(at), qRgb(255, 0, 0));
    const size_t points = uc->PlotPoints().size(), matches = uc->Matches().size();
    // the Delete key counts only with the mouse over the plot
    uc->Edit1->setFocus();
    QCursor::setPos(uc->Image1->mapToGlobal(QPoint(5, 5)));
    QTest::keyClick(uc->Edit1, Qt::Key_Delete);
    QCOMPARE(uc->PlotPoints().size(), points);
    QCursor::setPos(uc->Image4->mapToGlobal(at));
    QTest::keyClick(uc->Edit1, Qt::Key_Delete);
    QCOMPARE(uc->PlotPoints().size(), points - 1);
    QCOMPARE(uc->Matches().size(), matches - 1);

    // the averaged cell replaces the cut-out and becomes the template
    uc->AverageUnitCell->trigger();
    QVERIFY(fx.Messages.Shown.empty());
    QVERIFY(uc->Corners() != Marked);
    const TUnitCellMatch& h = uc->Matches()[static_cast<size_t>(uc->HomeMatch())];
    QCOMPARE(uc->Corners().Corner1.x, static_cast<int>(RoundHalfEven(h.X)) + GridAnchorOf(Marked).x);
    QCOMPARE(uc->AveragedCellImage().width(), uc->Cut().Size());
    FrameShot(uc, "unitcell-average.png");
    // a second correlation with the averaged template still finds the lattice
    QTest::mouseClick(uc->Button1, Qt::LeftButton);
    QTest::mouseClick(uc->Button3, Qt::LeftButton);
    QVERIFY(uc->Matches().size() > 300);
}

void TUnitCellTest::typedConstantsAndLinesMode() {
    TFixture fx;
    TMainForm form;
    form.show();
    TMDIChild* w = OpenCurrentChannel(form);
    QVERIFY(w);
    form.Unitcell1->trigger();
    TUnitCellForm* uc = FindForm(form);
    QVERIFY(uc);
    // |a| = 10 nm typed with a comma: 25.6 pixels, rounded to 26
    uc->Edit1->setFocus();
    uc->Edit1->selectAll();
    QTest::keyClicks(uc->Edit1, QStringLiteral("10,0"));
    QCOMPARE(EditState(uc->Edit1), TEditState::Edited);
    QTest::keyClick(uc->Edit1, Qt::Key_Return);
    QCOMPARE(EditState(uc->Edit1), TEditState::Accepted);
    QCOMPARE(uc->Corners().Corner2, (TPointI{219 + 26, 292}));
    // the angle: b turned to 60 degrees from a, still above it
    uc->Edit3->selectAll();
    QTest::keyClicks(uc->Edit3, QStringLiteral("60"));
    QTest::keyClick(uc->Edit3, Qt::Key_Return);
    QVERIFY(std::fabs(LatticeConstants(uc->Corners(), w->Picture).Phi * 180 / M_PI - 60) < 1.0);
    QVERIFY(uc->Corners().Corner3.y < uc->Corners().Corner2.y);
    // no number: red, nothing moves
    const TCellCorners before = uc->Corners();
    uc->Edit2->selectAll();
    QTest::keyClicks(uc->Edit2, QStringLiteral("abc"));
    QTest::keyClick(uc->Edit2, Qt::Key_Return);
    QCOMPARE(EditState(uc->Edit2), TEditState::Rejected);
    QCOMPARE(uc->Corners(), before);
    // "lines": only a and the line spacing
    uc->ComboBox1->setCurrentIndex(0);
    emit uc->ComboBox1->activated(0);
    QVERIFY(uc->Edit2->isHidden() && uc->Edit3->isHidden() && uc->LabelB->isHidden());
}

void TUnitCellTest::findMatchStatistics() {
    TFixture fx;
    TMainForm form;
    form.show();
    TMDIChild* w = OpenCurrentChannel(form);
    QVERIFY(w);
    form.Unitcell1->trigger();
    TUnitCellForm* uc = FindForm(form);
    QVERIFY(uc);
    uc->SetCorners(Marked);
    QTest::mouseClick(uc->Button1, Qt::LeftButton);
    // slider at 0: one huge region, the message, no matches
    uc->ScrollBar1->setValue(0);
    QTest::mouseClick(uc->Button6, Qt::LeftButton);
    QCOMPARE(fx.Messages.Texts(),
             std::vector<std::string>({"Too many datapoints above border!\rPlease use Slider to raise border!"}));
    QVERIFY(uc->Matches().empty());
    fx.Messages.Clear();
    uc->ScrollBar1->setValue(50);
    QTest::mouseClick(uc->Button6, Qt::LeftButton);
    QVERIFY(!uc->Matches().empty());
    QCOMPARE(uc->PlotMode(), 2);
    QCOMPARE(uc->RadioButton1->text(), QStringLiteral("Area"));
    QCOMPARE(uc->RadioButton2->text(), QStringLiteral("sqrt(Area)"));
    QVERIFY(uc->Panel3->isVisible() && uc->Panel2->isHidden());
    QVERIFY(uc->Button5->isHidden());
    QCOMPARE(uc->PlotPoints().size(), RegionSizeData(uc->Matches(), false).size());
    // "Height": the peak of every match over the square root of its size
    uc->RadioButton11->click();
    QVERIFY(uc->RadioButton2->isChecked());
    QCOMPARE(uc->PlotPoints().size(), uc->Matches().size());
    QCOMPARE(uc->PlotPoints()[0].X, std::sqrt(static_cast<double>(uc->Matches()[0].Pixels)));
}

// "Cancel" of the progress shown while the correlation runs leaves the last correlation
// and the image as they were, and a second run goes through; closing the image in the
// middle of a run closes the window without harm.
void TUnitCellTest::correlationStoppedKeepsWhatWasShown() {
    TFixture fx;
    TMainForm form;
    form.resize(1250, 1000);
    form.show();
    TMDIChild* w = OpenCurrentChannel(form);
    QVERIFY(w);
    const std::vector<float> source = Samples(w->Picture);
    form.Unitcell1->trigger();
    QPointer<TUnitCellForm> uc = FindForm(form);
    QVERIFY(uc);
    TLongRun::ShowAfterMs = 0;
    const std::vector<float> none = Samples(uc->CorrPicture());
    // acts at the first progress the run shows
    const auto duringRun = [&](std::function<void(QProgressDialog*)> act) {
        QTimer::singleShot(0, uc, [&, act] {
            auto* d = uc ? uc->findChild<QProgressDialog*>(QStringLiteral("RunProgress")) : nullptr;
            QVERIFY(d && d->isVisible() && d->isModal());
            act(d);
        });
    };
    duringRun([](QProgressDialog* d) {
        ScreenShot("unitcell-correlating.png");
        QTest::mouseClick(d->findChild<QPushButton*>(), Qt::LeftButton);
    });
    QTest::mouseClick(uc->Button1, Qt::LeftButton);
    QVERIFY(uc->findChild<QProgressDialog*>() == nullptr);
    QVERIFY(Samples(uc->CorrPicture()) == none);
    QVERIFY(uc->Image2->isHidden() && !uc->Button3->isEnabled());
    QVERIFY(Samples(w->Picture) == source);

    // a second run goes through: the model's correlation
    QTest::mouseClick(uc->Button1, Qt::LeftButton);
    TQTVPicture corr;
    QVERIFY(CrossCorrelate(w->Picture, uc->Cut().Cell, uc->Cut().Half, corr));
    QVERIFY(Samples(uc->CorrPicture()) == Samples(corr));
    QVERIFY(uc->Image2->isVisible() && uc->Button3->isEnabled());

    // the image closes while the correlation runs
    QPointer<TMDIChild> image(w);
    duringRun([&](QProgressDialog*) { w->SubWindow()->close(); });
    QTest::mouseClick(uc->Button1, Qt::LeftButton);
    SettleDeletes();
    SettleDeletes();
    QVERIFY(uc.isNull());
    QVERIFY(image.isNull());
    QVERIFY(fx.Messages.Shown.empty());
    TLongRun::ShowAfterMs = 250;
}

QTEST_MAIN(TUnitCellTest)
#include "unitcell_test.moc"
