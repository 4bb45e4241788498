// The processing history in the windows: what "Take Over" records, the Processing
// block of the scan information, Save As and open, Duplicate, and the exported script
// run against the original file giving the same samples bit for bit.
#include <QComboBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>

#include <QMimeData>
#include <QRadioButton>

#include "GuiTest.h"
#include "app/ArithForm.h"
#include "app/AxesForm.h"
#include "app/FilterForm.h"
#include "processing/Operations.h"
#include "formats/LoadFiles.h"
#include "processing/History.h"
#include "processing/Kernels.h"

using namespace guitest;

namespace {

void Click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

bool SameSamples(const TQTVPicture& a, const TQTVPicture& b)
{
    return a.Cols == b.Cols && a.Rows == b.Rows &&
           std::memcmp(a.Data.Block(), b.Data.Block(), static_cast<size_t>(a.Cols) * static_cast<size_t>(a.Rows) * 4) ==
               0;
}

std::unique_ptr<TImageDoc> LoadChannel(const std::string& path, int channel)
{
    TLoadFiles loader(path);
    if (!loader.ReadParamFile()) return nullptr;
    struct TKeep : TLoadTarget {
        std::vector<std::unique_ptr<TImageDoc>> Docs;
        TImageDoc* NewDocument(const std::string&) override
        {
            Docs.push_back(std::make_unique<TImageDoc>());
            return Docs.back().get();
        }
        void Finished(TImageDoc* d) override { d->Picture.Render(); }
        void Discard(TImageDoc*) override { Docs.pop_back(); }
    } keep;
    loader.LoadChecked(std::vector<bool>(static_cast<size_t>(loader.Count()) + 1, true), keep);
    for (auto& d : keep.Docs)
        if (d->SourceChannel == channel) return std::move(d);
    return nullptr;
}

void DropWindow(QWidget* target, const TMDIChild* w)
{
    QMimeData mime;
    mime.setData(QString::fromLatin1(WindowMimeType), QByteArray::number(w->WindowNumber));
    const QPointF pos(10, 10);
    QDragEnterEvent enter(pos.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

void Enter(QLineEdit* e, const QString& text)
{
    e->selectAll();
    QTest::keyClicks(e, text);
    QTest::keyClick(e, Qt::Key_Return);
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

class THistoryWindowTest : public QObject {
    Q_OBJECT
private slots:
    void levelFilterZoomTakeOverExportAndReplay();
    void cancelAndUndoRecordNothing();
    void saveAsOpenAndDuplicateKeepTheHistory();
    void everyDialogStepReplaysBitForBit();
    void zoomTakeOverWithoutACutKeepsTheRangeChange();
};

void THistoryWindowTest::levelFilterZoomTakeOverExportAndReplay()
{
    TFixture fx;
    TMainForm form;
    form.resize(1200, 1000);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TMDIChild* w = form.Current();
    QVERIFY(w->History.empty());
    QCOMPARE(w->SourcePath, QFile::encodeName(DemoFile()).toStdString());
    QVERIFY(w->SourceChannel >= 1);

    // leveling: lines, first order; then "Advanced" with a band of the histogram, twice
    TFilterForm* f = OpenForm(form, form.SlopeItem);
    QVERIFY(f);
    f->ComboSlop->setCurrentIndex(2);
    f->ComboSlopOrder->setCurrentIndex(1);
    Click(f->Button4);
    f->CheckBox1->setChecked(true);
    f->CheckBox1Click();
    QCoreApplication::processEvents();
    QVERIFY(f->Image3->isVisible());
    Mouse(f->Image3, QEvent::MouseButtonPress, QPoint(30, 10), Qt::LeftButton, Qt::LeftButton);
    Mouse(f->Image3, QEvent::MouseMove, QPoint(120, 10), Qt::NoButton, Qt::LeftButton);
    Mouse(f->Image3, QEvent::MouseButtonRelease, QPoint(120, 10), Qt::LeftButton, Qt::NoButton);
    f->ComboSlop->setCurrentIndex(1);
    f->ComboSlopOrder->setCurrentIndex(1);
    Click(f->Button4);
    Click(f->Button4);
    QCOMPARE(f->TakeOverEntries().size(), size_t(3));
    QVERIFY(f->TakeOverEntries()[1].rfind("level:2Dim:1:advanced:band:", 0) == 0);
    QCOMPARE(f->TakeOverEntries()[2], std::string("level:2Dim:1:advanced:kept"));
    Shot(f->SubWindow() ? static_cast<QWidget*>(f->SubWindow()) : f, "history-leveling.png");
    Click(f->Button3);
    SettleDeletes();
    QCOMPARE(w->History.size(), size_t(3));
    QCOMPARE(w->History[0], std::string("level:Lines:1"));

    // simple filter: two presses with different kernels
    f = OpenForm(form, form.LowPassItem);
    QVERIFY(f);
    f->ComboBox1->setCurrentIndex(1);
    Click(f->Button4);
    f->ComboBox1->setCurrentIndex(0);
    Click(f->Button4);
    Click(f->Button3);
    SettleDeletes();

    // zoom: two squares, only the last one counts
    f = OpenForm(form, form.Zoom1);
    QVERIFY(f);
    for (int x : {100, 40}) {
        Mouse(f->Image2, QEvent::MouseButtonPress, PreviewAt(f, x, 120), Qt::LeftButton, Qt::LeftButton);
        Mouse(f->Image2, QEvent::MouseMove, PreviewAt(f, x + 200, 330), Qt::NoButton, Qt::LeftButton);
        Mouse(f->Image2, QEvent::MouseButtonRelease, PreviewAt(f, x + 200, 330), Qt::LeftButton, Qt::NoButton);
        Click(f->Button4);
    }
    Click(f->Button3);
    SettleDeletes();
    const std::vector<std::string> expectedTail = {"filter:" + KernelNames()[1], "filter:" + KernelNames()[0],
                                                   "zoom:40:120:240:320"};
    QCOMPARE(w->History.size(), size_t(6));
    QCOMPARE(std::vector<std::string>(w->History.begin() + 3, w->History.end()), expectedTail);
    QCOMPARE(w->Picture.Cols, 200);

    // the scan information shows the block after the file's own lines
    w->ScanInfoItemClick();
    QCoreApplication::processEvents();
    QVERIFY(w->ProcessingMemo->isVisible());
    QVERIFY(w->ProcessingMemo->isReadOnly());
    const QStringList shown = w->ProcessingMemo->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(shown.size(), 7);
    QCOMPARE(shown[0], QStringLiteral("Processing"));
    QCOMPARE(shown[6], QStringLiteral("6  zoom:40:120:240:320"));
    QVERIFY(w->ProcessingMemo->geometry().top() >= w->ScanInfoMemo->geometry().bottom());
    Shot(w->SubWindow() ? static_cast<QWidget*>(w->SubWindow()) : w, "history-scaninfo.png");
    w->ImageItemClick();
    QVERIFY(!w->ProcessingMemo->isVisible());

    // both menus offer the export
    QVERIFY(w->PopupMenu1->actions().contains(w->ExportProcessingItem));
    if (!qgetenv("MORVANE_SHOTS").isEmpty()) {
        w->OpenPopupMenu(w->mapToGlobal(QPoint(20, 20)));
        QCoreApplication::processEvents();
        Shot(w->PopupMenu1, "history-menu.png");
        w->PopupMenu1->hide();
    }
    QVERIFY(form.findChild<QAction*>(QStringLiteral("ExportProcessing1")));

    // the script, run on the original file, gives these samples bit for bit
    const QString script = fx.Dir() + QStringLiteral("/replay.sh");
    QVERIFY(w->ExportProcessing(QFile::encodeName(script).toStdString()));
    QVERIFY(QFileInfo(script).isExecutable());
    const QString out = fx.Dir() + QStringLiteral("/replayed.txt");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MORVANE_CLI"), QCoreApplication::applicationDirPath() + QStringLiteral("/morvane-cli"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("sh"), {script, DemoFile(), out, QStringLiteral("--channel"),
                                   QString::number(w->SourceChannel), QStringLiteral("--data"), QStringLiteral("sin")});
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    auto replayed = LoadChannel(QFile::encodeName(out).toStdString(), 1);
    QVERIFY(replayed);
    QVERIFY(SameSamples(replayed->Picture, w->Picture));
    QCOMPARE(replayed->History, w->History);
    QCOMPARE(replayed->Picture.Para.XScanRange, w->Picture.Para.XScanRange);
    QVERIFY(fx.Messages.Shown.empty());
}

void THistoryWindowTest::cancelAndUndoRecordNothing()
{
    TFixture fx;
    TMainForm form;
    form.resize(1000, 800);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TMDIChild* w = form.Current();
    TFilterForm* f = OpenForm(form, form.LowPassItem);
    Click(f->Button4);
    Click(f->Button4);
    Click(f->Button2);  // Cancel
    SettleDeletes();
    QVERIFY(w->History.empty());

    f = OpenForm(form, form.Zoom1);
    Click(f->Button3);  // nothing cut out, the ranges stay as they are
    SettleDeletes();
    QVERIFY(w->History.empty());

    f = OpenForm(form, form.Median1);
    Click(f->Button4);
    Click(f->Button1);  // Undo: the press is gone
    Click(f->Button3);
    SettleDeletes();
    QVERIFY(w->History.empty());

    f = OpenForm(form, form.LowPassItem);
    f->ComboBox1->setCurrentIndex(2);
    Click(f->Button4);
    Click(f->Button1);
    f->ComboBox1->setCurrentIndex(3);
    Click(f->Button4);
    Click(f->Button3);
    SettleDeletes();
    QCOMPARE(w->History, std::vector<std::string>{"filter:" + KernelNames()[3]});

    form.Invers1->trigger();
    QCOMPARE(w->History.back(), std::string("invert"));
}

void THistoryWindowTest::saveAsOpenAndDuplicateKeepTheHistory()
{
    TFixture fx;
    TMainForm form;
    form.resize(1000, 800);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TMDIChild* w = form.Current();
    form.Invers1->trigger();
    TFilterForm* f = OpenForm(form, form.Median1);
    Click(f->Button4);
    Click(f->Button3);
    SettleDeletes();
    const std::vector<std::string> expected = {"invert", "median"};
    QCOMPARE(w->History, expected);

    const QString target = fx.Dir() + QStringLiteral("/saved");
    form.Hooks.SaveAs = [&](QString& file, int& index) {
        file = target;
        index = 2;
        return true;
    };
    form.FileSaveAsItem->trigger();
    QVERIFY(QFileInfo::exists(target + QStringLiteral(".txt")));
    QVERIFY(OpenAndLoad(form, target + QStringLiteral(".txt")));
    TMDIChild* back = form.Current();
    QVERIFY(back != w);
    QCOMPARE(back->History, expected);
    QVERIFY(SameSamples(back->Picture, w->Picture));
    for (const std::string& line : back->ScanInfo) QVERIFY(line.find("history") == std::string::npos);
    // the saved file holds these steps: as an operand it replays from that file
    QCOMPARE(back->HistoryInFile, expected.size());
    QCOMPARE(ArithStepEntry("+", *back), HistoryEntry(TArithOp{'+', back->SourcePath, back->SourceChannel}));

    form.Doublicate1->trigger();
    TMDIChild* copy = form.Current();
    QVERIFY(copy != back);
    QCOMPARE(copy->History, expected);
    QCOMPARE(copy->SourcePath, back->SourcePath);
}

// Bad points, histogram with a typed limit, refresh, distortion, sphere switched after
// the run, mean, Fourier twice, rescale, inverse and arithmetic on the demo: the
// entries, run through the operation table on the original channel, give the
// window's samples and range bit for bit.
void THistoryWindowTest::everyDialogStepReplaysBitForBit()
{
    TFixture fx;
    TMainForm form;
    form.resize(1200, 1000);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    const std::vector<TMDIChild*> wins = Windows(form);
    QVERIFY(wins.size() >= 2);
    TMDIChild* w = wins[0];
    TMDIChild* other = wins[1];
    form.MakeCurrent(w);
    const auto runDialog = [&](QAction* item, const std::function<void(TFilterForm*)>& steps) {
        TFilterForm* f = OpenForm(form, item);
        QVERIFY(f);
        steps(f);
        Click(f->Button3);
        SettleDeletes();
    };

    runDialog(form.NoiseItem, [](TFilterForm* f) {
        f->Edit2->setText(QStringLiteral("2"));
        Click(f->Button4);
        f->Edit2->setText(QStringLiteral("0,5"));
        Click(f->Button4);
    });
    runDialog(form.HistogramItem, [](TFilterForm* f) {
        Mouse(f->Image3, QEvent::MouseButtonPress, QPoint(40, 10), Qt::LeftButton, Qt::LeftButton);
        Mouse(f->Image3, QEvent::MouseButtonRelease, QPoint(130, 10), Qt::LeftButton, Qt::NoButton);
        Click(f->Button4);
        f->Label3Click();
        Enter(f->EditMinMax, QStringLiteral("0.75"));
    });
    QCOMPARE(w->Picture.FixedRange, 1);
    form.Refresh1->trigger();
    runDialog(form.DistortionItem, [](TFilterForm* f) {
        QCOMPARE(f->DistortionEdits.size(), size_t(4));
        const char* k[4] = {"0.05", "-0.02", "0,01", "0.03"};
        for (int i = 0; i < 4; ++i) f->DistortionEdits[static_cast<size_t>(i)]->setText(QString::fromLatin1(k[i]));
        Click(f->Button4);
    });
    runDialog(form.Shere1, [](TFilterForm* f) {
        Enter(f->RadiusEdit, QStringLiteral("3"));
        f->HighpassButton->setChecked(true);  // chosen before the run
        Click(f->Button4);
        f->LowpassButton->setChecked(true);  // the finished result becomes the lowpass
    });
    runDialog(form.MeanFilter1, [](TFilterForm* f) { Click(f->Button4); });
    form.Scale1->trigger();
    TAxesForm* ax = form.AxesForm;
    Enter(ax->Edit1, QStringLiteral("150"));
    Enter(ax->Edit3, QStringLiteral("7"));
    QTest::mouseClick(ax->BitBtn2, Qt::LeftButton);
    form.Invers1->trigger();
    runDialog(form.FFTItem, [](TFilterForm* f) {
        f->SuppZeroBox->setChecked(true);
        Click(f->Button4);
        f->SuppZeroBox->setChecked(false);
        Click(f->Button4);
    });

    const std::vector<std::string>& h = w->History;
    QCOMPARE(h.size(), size_t(11));
    QVERIFY(StartsWith(h[0], "noise:2") && h[0].find(':', 6) == std::string::npos);
    QVERIFY(StartsWith(h[1], "noise:0.5:"));
    QVERIFY(StartsWith(h[2], "clip:"));
    QCOMPARE(std::count(h[2].begin(), h[2].end(), ':'), 4L);  // the range stayed fixed
    QCOMPARE(h[3], std::string("range:auto"));
    QCOMPARE(h[4], std::string("distortion:0.05:-0.02:0.01:0.03"));
    QCOMPARE(h[5], std::string("sphere:3:high:switch"));
    QCOMPARE(h[6], std::string("mean"));
    QVERIFY(StartsWith(h[7], "rescale:150:"));
    QCOMPARE(h[8], std::string("invert"));
    QCOMPARE(h[9], std::string("fft:suppzero"));
    QCOMPARE(h[10], std::string("fft:inverse"));

    // arithmetic: the processed image minus the other channel, as read
    form.ArithmeticItem->trigger();
    TArithForm* af = form.ArithForm;
    DropWindow(af->Image1, w);
    DropWindow(af->Image2, other);
    QTest::keyClick(af->Edit1, Qt::Key_Minus);
    QTest::mouseClick(af->Label1, Qt::LeftButton);
    QTest::mouseClick(af->Button1, Qt::LeftButton);
    TMDIChild* calc = form.Current();
    QVERIFY(calc != w && calc != other);
    QCOMPARE(calc->History.size(), size_t(12));
    QCOMPARE(calc->History.back(), "arith:-:" + other->SourcePath + ":" + std::to_string(other->SourceChannel));

    SetOperandLoader([](const std::string& path, int channel) { return LoadChannel(path, channel); });
    for (const TMDIChild* target : {w, calc}) {
        auto doc = LoadChannel(QFile::encodeName(DemoFile()).toStdString(), w->SourceChannel);
        QVERIFY(doc);
        for (const std::string& entry : target->History) {
            ApplyOperation(ParseOperation(entry), *doc);
            doc->Picture.Render();
        }
        QVERIFY2(SameSamples(doc->Picture, target->Picture), target == w ? "image" : "calculus");
        QCOMPARE(doc->Picture.Min, target->Picture.Min);
        QCOMPARE(doc->Picture.Max, target->Picture.Max);
        QCOMPARE(doc->Picture.Para.XScanRange, target->Picture.Para.XScanRange);
    }
    SetOperandLoader(nullptr);
    QVERIFY(fx.Messages.Shown.empty());

    // the processed image as the second operand: its file holds it unprocessed, so no
    // replay computes this result; the export says which step and why
    form.ArithmeticItem->trigger();
    DropWindow(af->Image1, other);
    DropWindow(af->Image2, w);
    QTest::mouseClick(af->Label1, Qt::LeftButton);
    QTest::mouseClick(af->Button1, Qt::LeftButton);
    TMDIChild* calc2 = form.Current();
    QVERIFY(calc2 != calc);
    QCOMPARE(calc2->History.size(), size_t(1));
    QVERIFY(StartsWith(calc2->History[0], ("# arith:-:" + w->SourcePath).c_str()));
    QVERIFY(fx.Messages.Shown.empty());
    const QString script = fx.Dir() + QStringLiteral("/calc.sh");
    QVERIFY(calc2->ExportProcessing(QFile::encodeName(script).toStdString()));
    QCOMPARE(fx.Messages.Shown.size(), size_t(1));
    const std::string said = fx.Messages.Shown[0].Text;
    QVERIFY2(StartsWith(said, "Step 1 (arith:-:") && said.find("was processed after it was read") != std::string::npos,
             said.c_str());
    QFile f(script);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QVERIFY(text.contains("\n# Step 1 (arith:-:"));
    // run, it stops with the reason instead of computing something else
    QProcess p;
    p.start(QStringLiteral("sh"), {script, DemoFile(), fx.Dir() + QStringLiteral("/never.txt")});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(p.readAllStandardError().contains("cannot be replayed"));
    QVERIFY(!QFileInfo::exists(fx.Dir() + QStringLiteral("/never.txt")));
}

// 123.456 / 5 * 5 is not 123.456: "Take Over" of the whole picture changes the ranges
// in the last bit, and the history says so.
void THistoryWindowTest::zoomTakeOverWithoutACutKeepsTheRangeChange()
{
    TFixture fx;
    const QString path = WriteScan(fx.Dir(), QStringLiteral("odd.txt"), 5, 5, 123.456,
                                   {TChannel{"odd.sin", "", "nm", 1.0, Ramp(5, 5)}});
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, path));
    TMDIChild* w = form.Current();
    TFilterForm* f = OpenForm(form, form.Zoom1);
    Click(f->Button3);
    SettleDeletes();
    QCOMPARE(w->History, std::vector<std::string>{"zoom:0:0:5:5"});
    QVERIFY(w->Picture.Para.XScanRange != 123.456);
    auto doc = LoadChannel(QFile::encodeName(path).toStdString(), 1);
    QVERIFY(doc);
    ApplyOperation(ParseOperation(w->History[0]), *doc);
    QCOMPARE(doc->Picture.Para.XScanRange, w->Picture.Para.XScanRange);
    QCOMPARE(doc->Picture.Para.YScanRange, w->Picture.Para.YScanRange);
}

QTEST_MAIN(THistoryWindowTest)
#include "history_window_test.moc"
