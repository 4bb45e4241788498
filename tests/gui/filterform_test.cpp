// Window tests of the processing dialog: the mode table, Do / Undo / Take Over /
// Cancel, leveling with its settings, the histogram's bands and typed limits, and the
// dialog's life with its image window.
#include <QComboBox>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QTableWidget>

#include "GuiTest.h"
#include "app/EditColours.h"
#include "app/FilterForm.h"
#include "processing/FFTView.h"
#include "processing/Leveling.h"

using namespace guitest;

namespace {

// A mouse event at column x, half way up w.
void MouseAtColumn(QWidget* w, QEvent::Type type, int x, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    Mouse(w, type, QPoint(x, w->height() / 2), button, buttons);
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
    form.resize(1000, 760);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
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

QTEST_MAIN(TFilterFormTest)
#include "filterform_test.moc"
