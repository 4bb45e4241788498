// Window tests of the processing dialog: the mode table, Do / Undo / Take Over /
// Cancel, leveling with its settings, the histogram's bands and typed limits, and the
// dialog's life with its image window.
#include <QComboBox>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>

#include "GuiTest.h"
#include "app/EditColours.h"
#include "app/AxesForm.h"
#include "app/FilterForm.h"
#include "app/LongRun.h"
#include "app/PictureImage.h"
#include "core/Display.h"
#include "processing/FFTView.h"
#include "processing/History.h"
#include "processing/Kernels.h"
#include "processing/Leveling.h"

using namespace guitest;

namespace {

// A mouse event at column x, half way up w.
void MouseAtColumn(QWidget* w, QEvent::Type type, int x, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    Mouse(w, type, QPoint(x, w->height() / 2), button, buttons);
}

// The main window at a comfortable size with the demo scan loaded.
bool ShowDemo(TMainForm& form)
{
    form.resize(1000, 760);
    form.show();
    return OpenAndLoad(form, DemoFile());
}

void Drag(QWidget* w, int from, int to, Qt::MouseButton button)
{
    MouseAtColumn(w, QEvent::MouseButtonPress, from, button, button);
    MouseAtColumn(w, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, button);
    MouseAtColumn(w, QEvent::MouseMove, to, Qt::NoButton, button);
    MouseAtColumn(w, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
}

}  // namespace

class TFilterFormTest : public QObject {
    Q_OBJECT
private slots:
    void everyModeOpensWithItsPanelAndCaption();
    void levelingDoUndoTakeOverCancel();
    void histogramBandsAndTypedLimits();
    void pointsAndAdvancedMarks();
    void settingsComeBackAndTheDialogClosesWithItsWindow();
    void filtersAndFourierChangeThePreview();
    void unreadableAndFoldingInputIsRefused();
    void kernelGridShowsEveryCoefficientInFull();
    void previewsShowTheirOwnRangeAndNewScalesFollow();
    void longFourierShowsProgressAndCancelEndsIt();
};

void TFilterFormTest::everyModeOpensWithItsPanelAndCaption()
{
    TFixture fx;
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TMDIChild* w = form.Current();
    QVERIFY(w);
    const QString title = w->windowTitle();
    struct Case {
        QAction* item;
        const char* prefix;
        const char* panel;
    };
    const std::vector<Case> cases = {
        {form.LowPassItem, "LowPass of ", "Panel3"},     {form.NoiseItem, "Bad points removal of ", "Panel2"},
        {form.HistogramItem, "Histogram of ", "Panel4"}, {form.FFTItem, "FFT of ", "Panel7"},
        {form.SlopeItem, "Slope of ", "Panel6"},         {form.Zoom1, "Zoom of ", "Panel7"},
        {form.Shere1, "Sphere-Filter ", "Panel7"},       {form.Median1, "Median-Filter ", "Panel7"},
        {form.DistortionItem, "Distortion ", "Panel7"},  {form.MeanFilter1, "Mean-Filter ", "Panel7"},
    };
    for (const Case& c : cases) {
        TFilterForm* f = OpenForm(form, c.item);
        QVERIFY(f);
        QCOMPARE(f->windowTitle(), QString::fromLatin1(c.prefix) + title);
        QVERIFY2(f->findChild<QWidget*>(QString::fromLatin1(c.panel))->isVisible(), c.panel);
        QVERIFY(f->Image2->width() == f->Image2->height());
        f->Button2Click();
        SettleDeletes();
    }
    // the speed buttons open it too
    QTest::mouseClick(form.LevelButton, Qt::LeftButton);
    QCoreApplication::processEvents();
    QVERIFY(!form.findChildren<TFilterForm*>().isEmpty());
}

void TFilterFormTest::levelingDoUndoTakeOverCancel()
{
    TFixture fx;
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TMDIChild* w = form.Current();
    const std::vector<float> original = Samples(w->Picture);

    // Cancel after several Do leaves the image bit for bit as it was
    TFilterForm* f = OpenForm(form, form.SlopeItem);
    QVERIFY(f);
    f->ComboSlop->setCurrentIndex(1);
    f->ComboSlopOrder->setCurrentIndex(1);
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QVERIFY(Samples(f->Working) != original);
    QTest::mouseClick(f->Button2, Qt::LeftButton);
    SettleDeletes();
    QVERIFY(Samples(w->Picture) == original);

    // Do twice, Undo, Do once, Take Over: the image is leveled once
    f = OpenForm(form, form.SlopeItem);
    QCOMPARE(f->ComboSlop->currentIndex(), 1);
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QTest::mouseClick(f->Button1, Qt::LeftButton);
    QVERIFY(Samples(f->Working) == original);
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QTest::mouseClick(f->Button3, Qt::LeftButton);
    SettleDeletes();
    TQTVPicture expect;
    expect.CopySamplesFrom(w->Picture);
    std::memcpy(expect.Data.Block(), original.data(), original.size() * 4);
    LevelPlane2D(expect);
    QVERIFY(Samples(w->Picture) == Samples(expect));
    QVERIFY(fx.Messages.Shown.empty());
    QVERIFY(form.findChildren<TFilterForm*>().isEmpty());

    // a pair without an algorithm
    f = OpenForm(form, form.SlopeItem);
    f->ComboSlop->setCurrentIndex(0);
    f->ComboSlopOrder->setCurrentIndex(2);
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>{"Method not supported!"});
    // Escape is Cancel
    QTest::keyClick(f, Qt::Key_Escape);
    SettleDeletes();
    QVERIFY(form.findChildren<TFilterForm*>().isEmpty());
}

void TFilterFormTest::histogramBandsAndTypedLimits()
{
    TFixture fx;
    TMainForm form;
    form.resize(1100, 800);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TMDIChild* w = form.Current();
    TFilterForm* f = OpenForm(form, form.HistogramItem);
    QVERIFY(f);
    QCOMPARE(f->Working.FixedRange, 0);
    QCOMPARE(f->Image3->width(), 175);
    QCOMPARE(f->Label1->toolTip(), QStringLiteral("Click to change"));
    QCOMPARE(f->Label1->text(), Latin1ToQt(HistogramLimitText(w->Picture.Min)));

    // a left drag selects a band (right to left works too), a right drag takes part back
    Drag(f->Image3, 120, 40, Qt::LeftButton);
    Drag(f->Image3, 100, 130, Qt::RightButton);
    for (int k = 0; k < HistogramBins; ++k) QCOMPARE(f->Hist.Selected[k], k >= 40 && k < 100);
    Shot(&form, "histogram-dialog.png");
    const float low = f->Hist.HistLow + f->Hist.BinWidth * 40;
    const float high = f->Hist.HistLow + f->Hist.BinWidth * 99;
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    float mn = 1e30f, mx = -1e30f;
    for (float v : Samples(f->Working)) mn = std::min(mn, v), mx = std::max(mx, v);
    QVERIFY(std::abs(mn - low) < 1e-6f * std::max(1.0f, std::abs(low)));
    QVERIFY(std::abs(mx - high) < 1e-6f * std::max(1.0f, std::abs(high)));

    // typed limits: either decimal mark; unreadable text turns the field red
    for (const char* text : {"1,5", "1.5"}) {
        QTest::mouseClick(f->Label3, Qt::LeftButton);
        QVERIFY(f->EditMinMax->isVisible());
        f->EditMinMax->clear();
        QTest::keyClicks(f->EditMinMax, QString::fromLatin1(text));
        QCOMPARE(EditColour(f->EditMinMax), EditedColour);
        QTest::keyClick(f->EditMinMax, Qt::Key_Return);
        QVERIFY(!f->EditMinMax->isVisible());
        QCOMPARE(f->Working.Max, 1.5f);
        QCOMPARE(f->Label3->text(), QStringLiteral("1.500"));
    }
    QTest::mouseClick(f->Label1, Qt::LeftButton);
    f->EditMinMax->setText(QStringLiteral("low"));
    QTest::keyClick(f->EditMinMax, Qt::Key_Return);
    QVERIFY(f->EditMinMax->isVisible());
    QCOMPARE(EditColour(f->EditMinMax), RejectedColour);
    QCOMPARE(f->Working.FixedRange, 1);
    // Take Over hands samples, Min, Max and FixedRange to the image
    const float wantMin = f->Working.Min;
    QTest::mouseClick(f->Button3, Qt::LeftButton);
    SettleDeletes();
    QCOMPARE(w->Picture.FixedRange, 1);
    QCOMPARE(w->Picture.Max, 1.5f);
    QCOMPARE(w->Picture.Min, wantMin);
}

void TFilterFormTest::pointsAndAdvancedMarks()
{
    TFixture fx;
    TMainForm form;
    form.resize(1100, 800);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TFilterForm* f = OpenForm(form, form.SlopeItem);
    // "Points": clicks mark up to 30 points, a run uses them once
    f->ComboSlop->setCurrentIndex(0);
    f->ComboSlopChange();
    QVERIFY(!f->CheckBox1->isEnabled());
    f->ComboSlopOrder->setCurrentIndex(1);
    const int s = f->Image2->width();
    for (int i = 0; i < 32; ++i)
        QTest::mouseClick(f->Image2, Qt::LeftButton, {}, QPoint(i % 2 ? s - 1 : 0, i * (s - 1) / 31));
    QCOMPARE(static_cast<int>(f->MarkedPoints.size()), 30);
    for (const TMarkedPoint& p : f->MarkedPoints) {
        QVERIFY(p.X >= 0 && p.X < f->Working.Cols);
        QVERIFY(p.Row >= 0 && p.Row < f->Working.Rows);
    }
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QVERIFY(f->MarkedPoints.empty());
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QCOMPARE(fx.Messages.Texts(),
             std::vector<std::string>{"Not enough points!\nPlease mark points with left mouse button."});

    // "Advanced": the histogram under the leveling panel; a band marks the fit set
    f->ComboSlop->setCurrentIndex(2);
    f->ComboSlopChange();
    QVERIFY(f->CheckBox1->isEnabled());
    QTest::mouseClick(f->CheckBox1, Qt::LeftButton, {}, QPoint(6, f->CheckBox1->height() / 2));
    QVERIFY(f->Panel4->isVisible());
    QCOMPARE(f->Panel6->height(), 120);
    QVERIFY(f->Panel4->geometry().bottom() < f->Panel1->y());
    Drag(f->Image3, 30, 90, Qt::LeftButton);
    int marked = 0;
    for (int c = 0; c < f->Working.Cols; ++c)
        for (int r = 0; r < f->Working.Rows; ++r) marked += f->Working.Marks[c][r] == 1;
    QVERIFY(marked > 0 && marked < f->Working.Cols * f->Working.Rows);
    // marked samples show green in the preview
    const QImage preview = f->Image2->Picture();
    QVERIFY(preview.format() == QImage::Format_ARGB32);
    Shot(&form, "leveling-advanced.png");
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QVERIFY(fx.Messages.Texts().size() == 1);
}

void TFilterFormTest::settingsComeBackAndTheDialogClosesWithItsWindow()
{
    TFixture fx;
    {
        TMainForm form;
        form.show();
        QVERIFY(OpenAndLoad(form, DemoFile()));
        TFilterForm* f = OpenForm(form, form.SlopeItem);
        f->ComboSlop->setCurrentIndex(3);
        f->ComboSlopOrder->setCurrentIndex(2);
        QTest::mouseClick(f->Button2, Qt::LeftButton);
        SettleDeletes();
        auto ini = fx.ReadSettings();
        QCOMPARE(ini->ReadInteger("Filter", "ComboSlop", -1), 3);
        QCOMPARE(ini->ReadInteger("Filter", "ComboSlopOrder", -1), 2);
    }
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TMDIChild* w = form.Current();
    const std::vector<float> original = Samples(w->Picture);
    TFilterForm* f = OpenForm(form, form.SlopeItem);
    QCOMPARE(f->ComboSlop->currentIndex(), 3);
    QCOMPARE(f->ComboSlopOrder->currentIndex(), 2);
    QVERIFY(f->CheckBox1->isEnabled());
    QVERIFY(!f->CheckBox1->isChecked());
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QPointer<TFilterForm> guard(f);
    QPointer<TFilterForm> second(OpenForm(form, form.HistogramItem));
    QVERIFY(second && second != guard);
    // closing the image window closes its dialogs and leaves the image alone
    form.MakeCurrent(w);
    w->SubWindow()->close();
    SettleDeletes();
    QVERIFY(guard.isNull());
    QVERIFY(second.isNull());
    QVERIFY(form.findChildren<TFilterForm*>().isEmpty());
    QVERIFY(fx.Messages.Shown.empty());
}

void TFilterFormTest::filtersAndFourierChangeThePreview()
{
    TFixture fx;
    {
        auto ini = fx.ReadSettings();
        ini->WriteInteger("Filter", "ComboBox1", 5);
    }
    TMainForm form;
    QVERIFY(ShowDemo(form));
    TMDIChild* w = form.Current();
    const std::vector<float> original = Samples(w->Picture);

    // a kernel saved as index 5 comes back as "Laplace 2" under the "LowPass of " caption
    TFilterForm* f = OpenForm(form, form.LowPassItem);
    QVERIFY(f->windowTitle().startsWith(QStringLiteral("LowPass of ")));
    QCOMPARE(f->ComboBox1->currentText(), QStringLiteral("Laplace 2"));
    QCOMPARE(f->ComboBox1->count(), 15);
    QVERIFY(!f->StringGrid1->item(1, 1)->text().isEmpty());
    const QImage before = f->Image2->Picture();
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QCOMPARE(f->Mode, 5);
    QVERIFY(f->Image2->Picture() != before);
    QVERIFY(Samples(f->Working) != original);
    Shot(&form, "simple-filter.png");
    QTest::mouseClick(f->Button2, Qt::LeftButton);
    SettleDeletes();

    // median, mean and bad points read the source: "Do" twice gives what "Do" once gave
    for (QAction* item : {form.Median1, form.MeanFilter1, form.NoiseItem}) {
        f = OpenForm(form, item);
        QTest::mouseClick(f->Button4, Qt::LeftButton);
        const std::vector<float> once = Samples(f->Working);
        QVERIFY(once != original);
        if (item != form.NoiseItem) {
            QTest::mouseClick(f->Button4, Qt::LeftButton);
            QVERIFY(Samples(f->Working) == once);
        }
        QTest::mouseClick(f->Button2, Qt::LeftButton);
        SettleDeletes();
    }

    // FFT: each "Do" transforms what the preview holds, the second one with the centred
    // input flag (the magnitude keeps no phase, so it is the spectrum of the spectrum)
    f = OpenForm(form, form.FFTItem);
    QVERIFY(f->LogBox && f->SuppZeroBox);
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QVERIFY(f->Working.Transformed);
    Shot(&form, "fft.png");
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QVERIFY(!f->Working.Transformed);
    TQTVPicture expect;
    expect.CopySamplesFrom(w->Picture);
    FFTView(expect, false, false);
    FFTView(expect, false, false);
    QVERIFY(Samples(f->Working) == Samples(expect));
    QTest::mouseClick(f->Button1, Qt::LeftButton);
    QVERIFY(!f->Working.Transformed);
    f->LogBox->setChecked(true);
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QVERIFY(fx.ReadSettings()->ReadBool("FFT", "Log", false));
    QTest::mouseClick(f->Button2, Qt::LeftButton);
    SettleDeletes();
    QVERIFY(Samples(w->Picture) == original);
    QVERIFY(fx.Messages.Shown.empty());
}

void TFilterFormTest::unreadableAndFoldingInputIsRefused()
{
    TFixture fx;
    TMainForm form;
    QVERIFY(ShowDemo(form));
    TMDIChild* w = form.Current();
    const std::vector<float> original = Samples(w->Picture);

    // letters in the bad-points field: red, the reason shown, nothing smoothed
    TFilterForm* f = OpenForm(form, form.NoiseItem);
    f->Edit2->selectAll();
    QTest::keyClicks(f->Edit2, QStringLiteral("5x"));
    QCOMPARE(EditState(f->Edit2), TEditState::Edited);
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QCOMPARE(EditState(f->Edit2), TEditState::Rejected);
    QCOMPARE(fx.Messages.Shown.size(), size_t{1});
    QVERIFY(fx.Messages.Texts()[0].find("5x") != std::string::npos);
    QVERIFY(Samples(f->Working) == original);
    QVERIFY(f->Session.Steps().empty());
    // a number is taken again
    f->Edit2->setText(QStringLiteral("0,5"));
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QCOMPARE(EditState(f->Edit2), TEditState::Accepted);
    QCOMPARE(f->TakeOverEntries(), std::vector<std::string>{"noise:0.5"});
    QTest::mouseClick(f->Button2, Qt::LeftButton);
    SettleDeletes();
    fx.Messages.Clear();

    // distortion coefficients that fold the scan: said so, the preview keeps the source
    f = OpenForm(form, form.DistortionItem);
    QCOMPARE(f->DistortionEdits.size(), size_t{4});
    f->DistortionEdits[0]->setText(QStringLiteral("100"));
    f->DistortionEdits[1]->setText(QStringLiteral("-1e30"));
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>{DistortionFoldText(100, -1e30, 0, 0)});
    QVERIFY(Samples(f->Working) == original);
    QVERIFY(f->Session.Steps().empty());
    Shot(&form, "distortion-refused.png");
    ScreenShot("x-distortion-refused.png");
    QTest::mouseClick(f->Button3, Qt::LeftButton);
    SettleDeletes();
    QVERIFY(Samples(w->Picture) == original);
    QVERIFY(w->History.empty());
}

void TFilterFormTest::kernelGridShowsEveryCoefficientInFull()
{
    TFixture fx;
    TMainForm form;
    QVERIFY(ShowDemo(form));
    TFilterForm* f = OpenForm(form, form.LowPassItem);
    QTableWidget* grid = f->StringGrid1;
    QVERIFY(grid->isVisible());
    const QFontMetrics fm(grid->font());
    const int margin = grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
    // the grid lies inside its panel and shows all nine cells
    QVERIFY(f->Panel3->rect().contains(grid->geometry()));
    for (int k = 0; k < f->ComboBox1->count(); ++k) {
        f->ComboBox1->setCurrentIndex(k);
        f->ComboBox1Change();
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                const QTableWidgetItem* item = grid->item(r, c);
                QVERIFY(item);
                QCOMPARE(item->text(), Latin1ToQt(KernelGridTexts(k)[static_cast<size_t>(3 * r + c)]));
                const QRect cell = grid->visualItemRect(item);
                QVERIFY(grid->viewport()->rect().contains(cell));
                // the whole text fits: nothing is elided
                QVERIFY2(fm.horizontalAdvance(item->text()) + 2 * margin <= cell.width(),
                         qPrintable(QStringLiteral("kernel %1 cell %2,%3").arg(k).arg(r).arg(c)));
            }
    }
    f->ComboBox1->setCurrentIndex(3);  // HighPass 3: -1/9 and 8/9
    f->ComboBox1Change();
    Shot(&form, "kernel-grid.png");
    ScreenShot("x-kernel-grid.png");
}

namespace {

// Histogram with a typed upper limit, taken over: the image's colour range is fixed.
void FixRange(TMainForm& form, TMDIChild* w, const QString& upper)
{
    TFilterForm* f = OpenForm(form, form.HistogramItem);
    f->Label3Click();
    f->EditMinMax->setText(upper);
    QTest::keyClick(f->EditMinMax, Qt::Key_Return);
    QTest::mouseClick(f->Button3, Qt::LeftButton);
    SettleDeletes();
    QCOMPARE(w->Picture.FixedRange, 1);
}

// The working copy rendered over its own values, as the preview should show it.
QImage OwnRange(const TQTVPicture& working)
{
    TQTVPicture own;
    own.CopySamplesFrom(working);
    own.Palette = working.Palette;
    own.Render();
    return RenderedImage(own);
}

}  // namespace

void TFilterFormTest::previewsShowTheirOwnRangeAndNewScalesFollow()
{
    TFixture fx;
    TMainForm form;
    QVERIFY(ShowDemo(form));
    TMDIChild* w = form.Current();
    // a narrow fixed range, as typed under the histogram
    const QString upper = Latin1ToQt(FormatShortest(w->Picture.Min + 0.05 * (w->Picture.Max - w->Picture.Min)));
    FixRange(form, w, upper);

    // a kernel that keeps the scale: its preview shows the copy's own range, and Take
    // Over leaves the image's fixed range alone
    TFilterForm* f = OpenForm(form, form.LowPassItem);
    QCOMPARE(f->Image2->Picture(), OwnRange(f->Working));  // at once, before any "Do"
    f->ComboBox1->setCurrentIndex(KernelIndex("LowPass"));
    f->ComboBox1Change();
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QCOMPARE(f->Image2->Picture(), OwnRange(f->Working));
    QTest::mouseClick(f->Button3, Qt::LeftButton);
    SettleDeletes();
    QCOMPARE(w->Picture.FixedRange, 1);
    QCOMPARE(w->History.back(), std::string("filter:LowPass"));

    // an edge kernel (its coefficients add up to 0): the slopes over their own range, not
    // one washed-out band; Take Over lets the image's range follow them
    f = OpenForm(form, form.LowPassItem);
    f->ComboBox1->setCurrentIndex(KernelIndex("Edges left"));
    f->ComboBox1Change();
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QCOMPARE(f->Image2->Picture(), OwnRange(f->Working));
    Shot(&form, "edges-left-preview.png");
    ScreenShot("x-edges-left-preview.png");
    QTest::mouseClick(f->Button3, Qt::LeftButton);
    SettleDeletes();
    QCOMPARE(w->Picture.FixedRange, 0);
    const std::vector<std::string> tail(w->History.end() - 2, w->History.end());
    QCOMPARE(tail, (std::vector<std::string>{"filter:Edges left", "range:auto"}));

    // the FFT preview likewise; "Undo" shows the copy over its own range again
    FixRange(form, w, upper);
    f = OpenForm(form, form.FFTItem);
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QCOMPARE(f->Image2->Picture(), OwnRange(f->Working));
    QTest::mouseClick(f->Button1, Qt::LeftButton);
    QCOMPARE(f->Image2->Picture(), OwnRange(f->Working));
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QTest::mouseClick(f->Button3, Qt::LeftButton);
    SettleDeletes();
    QCOMPARE(w->Picture.FixedRange, 0);
    QCOMPARE(w->History.back(), std::string("range:auto"));

    // Rescale to a new z range: the z bar follows the new heights
    FixRange(form, w, upper);
    form.Scale1->trigger();
    form.AxesForm->Edit3->setText(QStringLiteral("1000"));
    QTest::mouseClick(form.AxesForm->BitBtn2, Qt::LeftButton);
    QCOMPARE(w->Picture.FixedRange, 0);
    QCOMPARE(w->History.back(), std::string("range:auto"));
    QVERIFY(w->History[w->History.size() - 2].rfind("rescale:", 0) == 0);
    QCOMPARE(w->MaxText, RangeText(w->Picture.Max));
    QVERIFY(fx.Messages.Shown.empty());
}

QTEST_MAIN(TFilterFormTest)

// A transform that runs long shows the bar; "Cancel" in the middle closes the dialog
// and leaves the image as it was, and the next dialog's run goes through.
void TFilterFormTest::longFourierShowsProgressAndCancelEndsIt()
{
    TFixture fx;
    TMainForm form;
    form.resize(1100, 800);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TMDIChild* w = form.Current();
    const std::vector<float> original = Samples(w->Picture);
    TLongRun::ShowAfterMs = 0;
    QPointer<TFilterForm> f = OpenForm(form, form.FFTItem);
    QVERIFY(f && f->ProgressBar && f->ProgressBar->isHidden());
    f->SuppZeroBox->setChecked(true);  // the mean comes off the working copy as well
    int seen = 0;
    QTimer::singleShot(0, f, [&] {
        if (!f || !f->FFTRunning() || !f->ProgressBar->isVisible() || f->Button4->isEnabled()) return;
        ++seen;
        ScreenShot("fft-running.png");
        QTest::mouseClick(f->Button2, Qt::LeftButton);
    });
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    SettleDeletes();
    QCOMPARE(seen, 1);
    QVERIFY(f.isNull());
    QVERIFY(Samples(w->Picture) == original);

    // an uninterrupted run: the model's spectrum, the bar gone again
    f = OpenForm(form, form.FFTItem);
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QVERIFY(f->ProgressBar->isHidden() && f->Button4->isEnabled());
    TQTVPicture expect;
    expect.CopySamplesFrom(w->Picture);
    FFTView(expect, false, true);
    QVERIFY(Samples(f->Working) == Samples(expect) && f->Working.Transformed);
    QVERIFY(fx.Messages.Shown.empty());
    TLongRun::ShowAfterMs = 250;
}

#include "filterform_test.moc"
