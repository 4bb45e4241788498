// The processing history in the windows: what "Take Over" records, the Processing
// block of the scan information, Save As and open, Duplicate, and the exported script
// run against the original file giving the same samples bit for bit.
#include <QComboBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>

#include "GuiTest.h"
#include "app/FilterForm.h"
#include "formats/LoadFiles.h"
#include "processing/Kernels.h"

using namespace guitest;

namespace {

TFilterForm* OpenForm(TMainForm& form, QAction* item)
{
    const auto before = form.findChildren<TFilterForm*>();
    item->trigger();
    QCoreApplication::processEvents();
    for (TFilterForm* f : form.findChildren<TFilterForm*>())
        if (!before.contains(f)) return f;
    return nullptr;
}

void Mouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

QPoint PreviewAt(TFilterForm* f, int x, int y)
{
    return QPoint(static_cast<int>(std::lround(static_cast<double>(x) * f->Image2->width() / f->Working.Cols)),
                  static_cast<int>(std::lround(static_cast<double>(y) * f->Image2->height() / f->Working.Rows)));
}

void Shot(QWidget* w, const char* name)
{
    const QByteArray dir = qgetenv("MORVANE_SHOTS");
    if (dir.isEmpty()) return;
    QCoreApplication::processEvents();
    w->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name));
}

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

}  // namespace

class THistoryWindowTest : public QObject {
    Q_OBJECT
private slots:
    void levelFilterZoomTakeOverExportAndReplay();
    void cancelAndUndoRecordNothing();
    void saveAsOpenAndDuplicateKeepTheHistory();
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
    QCOMPARE(f->Recorded.Entries().size(), size_t(3));
    QVERIFY(f->Recorded.Entries()[1].rfind("level:2Dim:1:advanced:band:", 0) == 0);
    QCOMPARE(f->Recorded.Entries()[2], std::string("level:2Dim:1:advanced:kept"));
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

    form.Doublicate1->trigger();
    TMDIChild* copy = form.Current();
    QVERIFY(copy != back);
    QCOMPARE(copy->History, expected);
    QCOMPARE(copy->SourcePath, back->SourcePath);
}

QTEST_MAIN(THistoryWindowTest)
#include "history_window_test.moc"
