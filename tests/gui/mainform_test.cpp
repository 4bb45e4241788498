// Window tests of the main window: start-up and shut-down, the open flow, the enabling
// rules, window numbers, the Edit/Process/View commands, save, export and print.
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <QMimeData>
#include <QPageSize>
#include <QPrinter>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QTextCursor>

#include "GuiTest.h"
#include "app/About.h"
#include "app/Help.h"
#include "app/Rename.h"
#include "core/Display.h"
#include "core/Picture.h"
#include "formats/ImageWriters.h"

using namespace guitest;

namespace {

QString SmallScan(const QString& dir, const QString& name = QStringLiteral("scan.txt")) {
    return WriteScan(dir, name, 4, 3, 9.6,
                     {{"scan_0.int", "Topography Fwd", "nm", 0.5, Ramp(4, 3, 0.5f, -1.0f)},
                      {"scan_1.sin", "Current Fwd", "nA", 1.0, Ramp(4, 3, 0.25f)}});
}


}  // namespace

class TMainFormTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartAndGeometryPersisted();
    void enablingRulesFollowTheWindows();
    void demoOpensThroughMenuAndDialog();
    void windowNumbersNeverNameAClosedWindow();
    void windowMenuArrangesAndListsWindows();
    void thirtyThirdWindowIsRefused();
    void duplicateInverseRefresh();
    void renameChangesOnlyTheTitle();
    void startParameterAndUnknownType();
    void saveAsNativeAndReopen();
    void saveAsPictures();
    void exportTableAndMesh();
    void printToPdf();
    void copyPutsVectorAndBitmap();
    void singleFileFormatsFromCommandLine();
    void helpAboutAndPendingCommands();
    void cascadeKeepsEveryWindowVisible();
    void printedPictureStaysOnThePage();
    void saveAsOffersReplacingOnlyWhereItHappens();
    void standardShortcuts();
    void fileNamesShowAsTheFileSystemSpellsThem();
    void messagesQuoteFileNamesAsTheFileSystemSpellsThem();
    void fileMenuMnemonicsAreUnique();
    void roughnessBoxNamesItsImage();
    void commandLineHelpVersionAndFailedScreenshot();
};

void TMainFormTest::firstStartAndGeometryPersisted() {
    TFixture fx;
    {
        TMainForm form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Morvane"));
        // the settings file is the one the settings rules choose (here: MORVANE_INI)
        QCOMPARE(PathToQt(form.Settings().FileName()), fx.Ini());
        // a first start: about 80 % of the screen, centred on it
        const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(form.size(), QSize(avail.width() * 4 / 5, avail.height() * 4 / 5));
        QVERIFY(avail.contains(form.geometry()));
        QCOMPARE(form.CurrentWindow, -1);
        QVERIFY(form.RenameForm && !form.RenameForm->isVisible());
        // the open dialog starts at the root with the first filter
        QString startDir;
        int startIndex = -1;
        form.Hooks.Open = [&](QString& file, int& index) {
            startDir = file;
            startIndex = index;
            return false;
        };
        form.FileOpenItem->trigger();
        QCOMPARE(startDir, QDir::rootPath());
        QCOMPARE(startIndex, 1);
        form.show();
        form.move(40, 30);
        form.resize(700, 520);
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.close();
    }
    {
        auto ini = fx.ReadSettings();
        QCOMPARE(ini->ReadInteger("MainForm", "Width", 0), 700);
        QCOMPARE(ini->ReadInteger("MainForm", "Height", 0), 520);
        TMainForm again;
        QCOMPARE(again.size(), QSize(700, 520));
        QCOMPARE(again.pos(), QPoint(ini->ReadInteger("MainForm", "Left", -1),
                                     ini->ReadInteger("MainForm", "Top", -1)));
    }
    {
        // unreadable sizes fall back to the defaults rather than making a useless window
        TSettings ini(QFile::encodeName(fx.Ini()).toStdString());
        ini.WriteInteger("MainForm", "Width", -5);
        ini.WriteInteger("MainForm", "Height", 999999);
        TMainForm odd;
        QCOMPARE(odd.size(), QSize(400, 300));
    }
    QVERIFY(fx.Messages.Shown.empty());
}

void TMainFormTest::enablingRulesFollowTheWindows() {
    TFixture fx;
    TMainForm form;
    form.show();
    auto check = [&](bool any) {
        for (QAction* a : {form.FileCloseItem, form.CloseAllItem, form.FileSaveAsItem,
                           form.FileExportItem, form.Print1, form.CopyItem, form.Doublicate1,
                           form.Invers1, form.SlopeItem, form.Refresh1, form.ScaleBars1, form.Line1,
                           form.Rename1, form.WindowTileItem})
            QVERIFY2(a->isEnabled() == any, qPrintable(a->objectName()));
        for (QMenu* m : {form.EditMenu, form.ProcessMenu, form.ViewMenu, form.WindowMenu, form.AnalyseMenu})
            QVERIFY2(m->menuAction()->isEnabled() == any, qPrintable(m->objectName()));
        for (QToolButton* b : {form.SaveBtn, form.FilterButton, form.LevelButton, form.HistoButton})
            QVERIFY2(b->isEnabled() == any, qPrintable(b->objectName()));
        QVERIFY(!form.CutItem->isEnabled());
        QVERIFY(!form.PasteItem->isEnabled());
        QVERIFY(form.FileOpenItem->isEnabled() && form.FileExitItem->isEnabled());
        QVERIFY(form.OpenBtn->isEnabled() && form.ExitBtn->isEnabled());
        QVERIFY(form.HelpMenu->menuAction()->isEnabled() && form.HelpAboutItem->isEnabled());
    };
    check(false);
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    QCOMPARE(form.WindowCount(), 2);
    check(true);
    form.FileCloseItem->trigger();
    SettleDeletes();
    QCOMPARE(form.WindowCount(), 1);
    check(true);
    form.CloseAllItem->trigger();
    SettleDeletes();
    QCOMPARE(form.WindowCount(), 0);
    QCOMPARE(form.CurrentWindow, -1);
    check(false);
    // hints: the part before "|" is the tooltip, the rest the status text
    QCOMPARE(form.OpenBtn->toolTip(), QStringLiteral("Open"));
    QCOMPARE(form.OpenBtn->statusTip(), QString());
    QCOMPARE(form.FilterButton->toolTip(), QStringLiteral("Simple Filter"));
    QCOMPARE(form.FilterButton->statusTip(), QStringLiteral("Simple Filter"));
    QCOMPARE(form.CopyItem->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
}

void TMainFormTest::demoOpensThroughMenuAndDialog() {
    TFixture fx;
    TMainForm form;
    form.show();
    OpenThroughMenu(form, DemoFile());
    TAskForm* ask = FindAskForm(form);
    QVERIFY(ask);
    QCOMPARE(ask->windowTitle(), QStringLiteral("Load demo.txt"));
    QCOMPARE(ask->CheckBoxes.size(), size_t(2));
    // the open command remembered where the file was
    auto ini = fx.ReadSettings();
    QCOMPARE(PathToQt(ini->ReadString("Open", "Path", "")), QStringLiteral(MORVANE_DEMO_DIR "/"));
    QCOMPARE(ini->ReadInteger("Open", "Index", 0), 1);
    QCOMPARE(PathToQt(ini->ReadString("Save", "Path", "")), QStringLiteral(MORVANE_DEMO_DIR "/"));
    QTest::mouseClick(ask->LoadButton, Qt::LeftButton);
    SettleDeletes();
    QVERIFY(!FindAskForm(form));
    const auto windows = Windows(form);
    QCOMPARE(windows.size(), size_t(2));
    QStringList titles;
    for (TMDIChild* w : windows) {
        titles << Title(w);
        QCOMPARE(ShownTitle(w->SubWindow()), Title(w));
        QCOMPARE(w->Picture.Cols, 512);
        QVERIFY(!w->ScanInfo.empty());
        QVERIFY(w->ScanInfoMemo->toPlainText().contains(QStringLiteral("FileDescBegin")));
    }
    titles.sort();
    QCOMPARE(titles, QStringList({QStringLiteral("demo_0.int - Topography Fwd"),
                                  QStringLiteral("demo_1.sin - Current Fwd")}));
    // the last channel is loaded first, so the first one ends up current
    QCOMPARE(Title(form.Current()), QStringLiteral("demo_0.int - Topography Fwd"));
    QCOMPARE(form.Current()->CaptionTag, std::string("Topography Fwd"));
    QVERIFY(fx.Messages.Shown.empty());
}

void TMainFormTest::windowNumbersNeverNameAClosedWindow() {
    TFixture fx;
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    form.Doublicate1->trigger();
    form.Doublicate1->trigger();
    QCOMPARE(form.WindowCount(), 4);
    auto numbersAreDistinctAndCurrentIsOpen = [&] {
        std::vector<int> seen;
        for (TMDIChild* w : Windows(form)) {
            QVERIFY(w->isVisible());
            QCOMPARE(form.ImageWindow(w->WindowNumber), w);
            QVERIFY(std::find(seen.begin(), seen.end(), w->WindowNumber) == seen.end());
            seen.push_back(w->WindowNumber);
        }
        if (form.WindowCount() > 0) {
            QVERIFY(form.Current() != nullptr);
            QVERIFY(form.Current()->SubWindow()->isVisible());
        } else {
            QCOMPARE(form.CurrentWindow, -1);
        }
    };
    numbersAreDistinctAndCurrentIsOpen();
    // close the current window by its own close box: the number leaves at once
    TMDIChild* current = form.Current();
    const int closedNumber = current->WindowNumber;
    current->SubWindow()->close();
    QVERIFY(form.ImageWindow(closedNumber) == nullptr);
    QVERIFY(form.CurrentWindow != closedNumber);
    numbersAreDistinctAndCurrentIsOpen();
    SettleDeletes();
    numbersAreDistinctAndCurrentIsOpen();
    // a window that is not the current one closes; then a new window takes a free number
    TMDIChild* other = nullptr;
    for (TMDIChild* w : Windows(form))
        if (w != form.Current()) other = w;
    QVERIFY(other);
    const int otherNumber = other->WindowNumber;
    delete other->SubWindow();
    numbersAreDistinctAndCurrentIsOpen();
    form.Doublicate1->trigger();
    QCOMPARE(form.WindowCount(), 3);
    numbersAreDistinctAndCurrentIsOpen();
    QCOMPARE(form.Current()->WindowNumber, std::min(closedNumber, otherNumber));
    // activating another window makes it current
    TMDIChild* first = Windows(form).front();
    form.MdiArea->setActiveSubWindow(first->SubWindow());
    QCOMPARE(form.Current(), first);
    form.CloseAllItem->trigger();
    numbersAreDistinctAndCurrentIsOpen();
}

void TMainFormTest::windowMenuArrangesAndListsWindows() {
    TFixture fx;
    TMainForm form;
    form.resize(1000, 700);
    form.show();
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    form.Doublicate1->trigger();
    form.Current()->zscalingItem->trigger();  // one window with the z bar
    form.WindowTileItem->trigger();
    const QRect area = form.MdiArea->viewport()->rect();
    QList<QRect> placed;
    for (TMDIChild* w : Windows(form)) {
        const QRect g = w->SubWindow()->geometry();
        QVERIFY2(area.contains(g), qPrintable(Title(w)));
        for (const QRect& other : placed) QVERIFY(!g.intersects(other));
        placed << g;
        if (w->ZScaling())
            QCOMPARE(g.width(), 3 * w->height() / 2);
        else
            QCOMPARE(w->width(), w->height());
    }
    // the Window menu lists the open windows; choosing one activates it
    emit form.WindowMenu->aboutToShow();
    QList<QAction*> entries;
    for (QAction* a : form.WindowMenu->actions())
        if (a->isCheckable()) entries << a;
    QCOMPARE(entries.size(), 3);
    QVERIFY(entries[0]->text().contains(QStringLiteral("scan_1.sin - Current Fwd")));
    entries[0]->trigger();
    QCOMPARE(Title(form.Current()), QStringLiteral("scan_1.sin - Current Fwd"));
    form.WindowMinimizeItem->trigger();
    for (TMDIChild* w : Windows(form)) QVERIFY(w->SubWindow()->isMinimized());
    form.WindowCascadeItem->trigger();
    form.WindowArrangeItem->trigger();
    QCOMPARE(form.WindowCount(), 3);
}

void TMainFormTest::thirtyThirdWindowIsRefused() {
    TFixture fx;
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    while (form.WindowCount() < TMainForm::MaxImageWindows) form.Doublicate1->trigger();
    QVERIFY(fx.Messages.Shown.empty());
    form.Doublicate1->trigger();
    QCOMPARE(form.WindowCount(), 32);
    // said once: no second box with the same words
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>({"Too many Data!"}));
    QVERIFY(form.Current() != nullptr);
    // a load is refused the same way, once, and stops there
    fx.Messages.Clear();
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir(), QStringLiteral("again.txt"))));
    QCOMPARE(form.WindowCount(), 32);
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>({"Too many Data!"}));
    fx.Messages.Clear();
    form.OpenFile(QStringLiteral(MORVANE_TEST_DATA "/broken/bitmap/ok8.bmp"));
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>({"Too many Data!"}));
    // after one closes, a new one fits again
    delete form.Current()->SubWindow();
    fx.Messages.Clear();
    form.Doublicate1->trigger();
    QCOMPARE(form.WindowCount(), 32);
    QVERIFY(fx.Messages.Shown.empty());
}

void TMainFormTest::duplicateInverseRefresh() {
    TFixture fx;
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    TMDIChild* src = form.Current();
    QCOMPARE(Title(src), QStringLiteral("scan_0.int - Topography Fwd"));
    // an edited palette and an edited scan information
    src->Picture.Palette.Entries[0].Red = 1;
    src->Picture.Palette.Entries[255].Green = 2;
    src->ScanInfoMemo->appendPlainText(QStringLiteral("my note"));
    src->Picture.FixedRange = 1;
    form.Doublicate1->trigger();
    TMDIChild* copy = form.Current();
    QVERIFY(copy != src);
    QCOMPARE(Title(copy), Title(src));
    QCOMPARE(copy->FileName, src->FileName);
    QCOMPARE(copy->CaptionTag, src->CaptionTag);
    QCOMPARE(Samples(copy->Picture), Samples(src->Picture));
    QCOMPARE(copy->Picture.Para.XScanRange, src->Picture.Para.XScanRange);
    QCOMPARE(copy->Picture.Para.PhysUnit, std::string("nm"));
    QCOMPARE(copy->ScanInfo.back(), std::string("my note"));
    TQTVPicture fresh;
    QCOMPARE(copy->Picture.Palette.Entries[0].Red, fresh.Palette.Entries[0].Red);
    QCOMPARE(copy->Picture.Palette.Entries[255].Green, fresh.Palette.Entries[255].Green);
    QCOMPARE(copy->Picture.FixedRange, 0);

    // Inverse negates every sample of the current image only
    const std::vector<float> before = Samples(copy->Picture);
    form.Invers1->trigger();
    const std::vector<float> after = Samples(copy->Picture);
    for (size_t i = 0; i < before.size(); ++i) QCOMPARE(after[i], -before[i]);
    QCOMPARE(Samples(src->Picture), before);
    QCOMPARE(copy->Picture.Max, -before.front());

    // Refresh lets a fixed range follow the data again
    copy->Picture.FixedRange = 1;
    copy->Picture.Min = -100;
    copy->Picture.Max = 100;
    form.Refresh1->trigger();
    QCOMPARE(copy->Picture.FixedRange, 0);
    QCOMPARE(copy->Picture.Max, -before.front());
    QCOMPARE(copy->MaxText, RangeText(copy->Picture.Max));
}

void TMainFormTest::renameChangesOnlyTheTitle() {
    TFixture fx;
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    TMDIChild* w = form.Current();
    form.Rename1->trigger();
    TRenameForm* rename = form.RenameForm;
    QVERIFY(rename->isVisible());
    QCOMPARE(rename->windowTitle(), QStringLiteral("Rename"));
    QCOMPARE(rename->Edit1->text(), QStringLiteral("scan_0.int - Topography Fwd"));
    rename->Edit1->setText(QStringLiteral("terrace \xB5m"));
    QTest::keyClick(rename->Edit1, Qt::Key_Return);
    QVERIFY(!rename->isVisible());
    QCOMPARE(w->Title, std::string("terrace \xB5m"));
    QCOMPARE(ShownTitle(w->SubWindow()), QStringLiteral("terrace \xB5m"));
    QCOMPARE(w->FileName, std::string("scan_0.int"));
    QCOMPARE(w->CaptionTag, std::string("Topography Fwd"));
    // Cancel and Escape leave the title
    form.Rename1->trigger();
    rename->Edit1->setText(QStringLiteral("other"));
    QTest::mouseClick(rename->BitBtn2, Qt::LeftButton);
    QVERIFY(!rename->isVisible());
    form.Rename1->trigger();
    rename->Edit1->setText(QStringLiteral("other"));
    QTest::keyClick(rename->Edit1, Qt::Key_Escape);
    QVERIFY(!rename->isVisible());
    QCOMPARE(w->Title, std::string("terrace \xB5m"));
    // OK after the window was closed renames nothing
    form.Rename1->trigger();
    rename->Edit1->setText(QStringLiteral("gone"));
    delete w->SubWindow();
    QTest::mouseClick(rename->BitBtn1, Qt::LeftButton);
    for (TMDIChild* other : Windows(form)) QVERIFY(other->Title != "gone");
}

void TMainFormTest::startParameterAndUnknownType() {
    TFixture fx;
    TMainForm form;
    form.CheckStartParameter({QStringLiteral("/no/such/file.txt")});
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>({"Start parameter is not a valid file!"}));
    QCOMPARE(fx.Messages.Shown[0].Kind, TMsgKind::Information);
    fx.Messages.Clear();
    form.CheckStartParameter({fx.Dir()});  // a folder is no file either
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>({"Start parameter is not a valid file!"}));
    fx.Messages.Clear();
    form.CheckStartParameter({});
    QVERIFY(fx.Messages.Shown.empty());

    // the extension is compared case-sensitively: .TXT is unknown
    const QString upper = SmallScan(fx.Dir(), QStringLiteral("SCAN.TXT"));
    form.CheckStartParameter({upper, QStringLiteral("ignored")});
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>({"Unknown file type"}));
    QCOMPARE(fx.Messages.Shown[0].Title, std::string("Error"));
    QCOMPARE(form.WindowCount(), 0);
    QVERIFY(!FindAskForm(form));
    fx.Messages.Clear();
    WriteBytes(fx.Dir() + QStringLiteral("/noext"), "x");
    form.OpenFile(fx.Dir() + QStringLiteral("/noext"));
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>({"Unknown file type"}));
    // a native file from the command line opens its selection dialog
    fx.Messages.Clear();
    form.CheckStartParameter({SmallScan(fx.Dir())});
    QVERIFY(FindAskForm(form));
    QVERIFY(fx.Messages.Shown.empty());
}

void TMainFormTest::saveAsNativeAndReopen() {
    TFixture fx;
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    TMDIChild* w = form.Current();
    // an edit of the header part of the scan information goes into the saved file
    QTextCursor cursor(w->ScanInfoMemo->document());
    cursor.insertText(QStringLiteral("edited line\n"));
    QString proposed;
    int proposedIndex = 0;
    const QString target = fx.Dir() + QStringLiteral("/saved");
    form.Hooks.SaveAs = [&](QString& file, int& index) {
        proposed = file;
        proposedIndex = index;
        file = target;  // no extension: the filter's is added
        index = 3;
        return true;
    };
    form.FileSaveAsItem->trigger();
    QCOMPARE(QFileInfo(proposed).fileName(), QStringLiteral("scan_0"));
    QCOMPARE(proposedIndex, 2);
    QVERIFY(QFileInfo::exists(target + QStringLiteral(".txt")));
    QVERIFY(QFileInfo::exists(target + QStringLiteral(".int")));
    QVERIFY(fx.Messages.Shown.empty());
    // the chosen filter stays the dialog's default
    form.FileSaveAsItem->trigger();
    QCOMPARE(proposedIndex, 3);
    QCOMPARE(fx.Messages.Texts(),
             std::vector<std::string>({QtToPath(target + QStringLiteral(".txt")) + " already exists! Abort!"}));
    fx.Messages.Clear();

    const std::vector<float> saved = Samples(w->Picture);
    const float step = (w->Picture.Max - w->Picture.Min) / 1000000.0f;
    form.CloseAllItem->trigger();
    QVERIFY(OpenAndLoad(form, target + QStringLiteral(".txt")));
    QCOMPARE(form.WindowCount(), 1);
    TMDIChild* back = form.Current();
    QCOMPARE(Title(back), QStringLiteral("saved.int - Topography Fwd"));
    QVERIFY(back->ScanInfoMemo->toPlainText().contains(QStringLiteral("edited line")));
    const std::vector<float> loaded = Samples(back->Picture);
    QCOMPARE(loaded.size(), saved.size());
    for (size_t i = 0; i < saved.size(); ++i) QVERIFY(std::fabs(loaded[i] - saved[i]) <= step);
    QVERIFY(fx.Messages.Shown.empty());
}

void TMainFormTest::saveAsPictures() {
    TFixture fx;
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    auto saveAs = [&](const QString& name, int filter) {
        form.Hooks.SaveAs = [=](QString& file, int& index) {
            file = name;
            index = filter;
            return true;
        };
        form.FileSaveAsItem->trigger();
    };
    const QString bmp = fx.Dir() + QStringLiteral("/picture.bmp");
    saveAs(bmp, 1);
    QFile b(bmp);
    QVERIFY(b.open(QIODevice::ReadOnly));
    const QByteArray bmpBytes = b.readAll();
    QVERIFY(bmpBytes.startsWith("BM"));
    QImage bmpImage(bmp);
    QCOMPARE(bmpImage.size(), QSize(4, 3));
    QCOMPARE(bmpImage.pixel(0, 0), form.Current()->Image1.pixel(0, 0));

    const QString jpg = fx.Dir() + QStringLiteral("/picture");
    saveAs(jpg, 4);
    QFile j(jpg + QStringLiteral(".jpg"));
    QVERIFY(j.open(QIODevice::ReadOnly));
    QVERIFY(j.readAll().startsWith("\xFF\xD8"));
    QCOMPARE(QImage(jpg + QStringLiteral(".jpg")).size(), QSize(4, 3));
    // a cancelled dialog writes nothing
    form.Hooks.SaveAs = [](QString&, int&) { return false; };
    form.FileSaveAsItem->trigger();
    QCOMPARE(QDir(fx.Dir()).entryList(QDir::Files).size(), 6);  // ini, scan + 2 data, bmp, jpg
    QVERIFY(fx.Messages.Shown.empty());
}

void TMainFormTest::exportTableAndMesh() {
    TFixture fx;
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    QString startDir;
    auto exportAs = [&](const QString& name, int filter) {
        form.Hooks.Export = [&, name, filter](QString& file, int& index) {
            startDir = file;
            file = name;
            index = filter;
            return true;
        };
        form.FileExportItem->trigger();
    };
    QDir(fx.Dir()).mkdir(QStringLiteral("out"));
    const QString out = fx.Dir() + QStringLiteral("/out/");
    exportAs(out + QStringLiteral("table.dat"), 1);
    QCOMPARE(startDir, QDir::currentPath() + QLatin1Char('/'));
    auto ini = fx.ReadSettings();
    QCOMPARE(PathToQt(ini->ReadString("File", "ExportPath", "")), out);
    QFile table(out + QStringLiteral("table.dat"));
    QVERIFY(table.open(QIODevice::ReadOnly));
    const QByteArray text = table.readAll();
    QCOMPARE(text.count("\r\n"), 3);
    QCOMPARE(text.count('\t'), 9);

    exportAs(out + QStringLiteral("mesh"), 2);
    QCOMPARE(startDir, out);
    QFile mesh(out + QStringLiteral("mesh.StL"));
    QVERIFY(mesh.open(QIODevice::ReadOnly));
    QCOMPARE(mesh.size(), qint64(84 + 50 * (2 * 3 * 2)));
    QVERIFY(mesh.read(16) == "Velkore StL file");
    // an export into a folder that does not exist is reported, not ignored
    exportAs(fx.Dir() + QStringLiteral("/missing/x.dat"), 1);
    QCOMPARE(fx.Messages.Shown.size(), size_t(1));
    QCOMPARE(fx.Messages.Shown[0].Kind, TMsgKind::Error);
}

void TMainFormTest::printToPdf() {
    TFixture fx;
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    const QString pdf = fx.Dir() + QStringLiteral("/print.pdf");
    form.Hooks.Print = [&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    };
    form.Print1->trigger();
    QFile f(pdf);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith("%PDF"));
    // the job is titled with the window (PDF text strings are UTF-16 with a byte-order mark)
    const QString title = QStringLiteral("scan_0.int - Topography Fwd");
    QByteArray utf16("\xFE\xFF");
    for (QChar ch : title) utf16 += QByteArray(1, 0) + QByteArray(1, static_cast<char>(ch.unicode()));
    QVERIFY(bytes.contains(utf16) || bytes.contains(title.toLatin1()));
    QVERIFY(fx.Messages.Shown.empty());
    // a printer that cannot start the job
    form.Hooks.Print = [&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(fx.Dir() + QStringLiteral("/no/such/dir/print.pdf"));
        return true;
    };
    form.Print1->trigger();
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>({"Printing Error"}));
    QCOMPARE(fx.Messages.Shown[0].Kind, TMsgKind::Error);
}

void TMainFormTest::copyPutsVectorAndBitmap() {
    TFixture fx;
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    QApplication::clipboard()->clear();
    form.CopyItem->trigger();
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    QVERIFY(mime);
    QVERIFY(mime->hasFormat(QStringLiteral("image/svg+xml")));
    QVERIFY(mime->data(QStringLiteral("image/svg+xml")).contains("<svg"));
    QVERIFY(mime->hasImage());
    const QImage img = qvariant_cast<QImage>(mime->imageData());
    QCOMPARE(img.size(), form.Current()->size());
}

void TMainFormTest::singleFileFormatsFromCommandLine() {
    TFixture fx;
    TMainForm form;
    form.show();
    // Windows bitmap, written from a record
    TQTVPicture pic;
    pic.SetSize(5, 4);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c) pic.Data[r][c] = static_cast<float>(r * 5 + c);
    pic.Render();
    const QString bmp = fx.Dir() + QStringLiteral("/grey.bmp");
    WriteBitmapFile(pic, QtToPath(bmp));
    form.CheckStartParameter({bmp});
    QCOMPARE(form.WindowCount(), 1);
    QCOMPARE(Title(form.Current()), QStringLiteral("grey.bmp"));
    QCOMPARE(form.Current()->Picture.Cols, 5);
    QCOMPARE(form.Current()->Picture.Para.XPhysUnit, std::string("Pixel"));

    // Burleigh: mark, 2 x 2 samples, 40-byte trailer
    std::string burleigh("\x66\x66\x06\x40\x02\x00\x02\x00", 8);
    for (int v : {1, 2, 3, 4}) burleigh += std::string{static_cast<char>(v), 0};
    std::string trailer(40, '\0');
    trailer[12] = 100;  // scan range X
    trailer[16] = 100;  // scan range Y
    trailer[20] = 10;   // scan range Z
    trailer[26] = 1;    // zoom 1
    trailer[28] = 1;    // height
    WriteBytes(fx.Dir() + QStringLiteral("/b.IMG"), burleigh + trailer);
    form.CheckStartParameter({fx.Dir() + QStringLiteral("/b.IMG")});
    QCOMPARE(form.WindowCount(), 2);
    QCOMPARE(Title(form.Current()), QStringLiteral("b.IMG"));
    QCOMPARE(form.Current()->Picture.Para.XScanRange, 100.0);
    QVERIFY(form.Current()->ScanInfoMemo->toPlainText().contains(QStringLiteral("zoom level : 1")));

    // TopoMetrix: 512-byte header, samples at offset 512
    std::string topo(512, '\0');
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&topo[at], &v, 4); };
    put32(260, 512);
    put32(406, 2);
    put32(410, 2);
    const float scale = 0.5f;
    std::memcpy(&topo[434], &scale, 4);
    for (int v : {1, 2, 3, 4}) topo += std::string{static_cast<char>(v), 0};
    WriteBytes(fx.Dir() + QStringLiteral("/t.3fp"), topo);
    form.CheckStartParameter({fx.Dir() + QStringLiteral("/t.3fp")});
    QCOMPARE(form.WindowCount(), 3);
    QCOMPARE(Title(form.Current()), QStringLiteral("t.3fp"));
    QCOMPARE(form.Current()->Picture.Data[0][1], 1.5f);

    // Omicron: parameter file with one topographic channel, 2 x 2 big-endian samples
    std::string par = "; Parameter file for SPM data\n";
    par.resize(470, ' ');
    par += "\nField X Size in nm      :      50.000 ;\nField Y Size in nm      :      50.000 ;\n"
           "Image Size in X         :   2 ;\nImage Size in Y         :   2 ;\n"
           "Increment X             :   1 ;\nIncrement Y             :   1 ;\n"
           "Scan Angle              :   0 ;\nX Offset                :   0 ;\nY Offset                :   0 ;\n"
           "Topographic Channel             : Forward ;\n"
           "  -32768 ;Minimum raw value\n  32767 ;Maximum raw value\n"
           "  -10.0 ;Minimum value in physical unit\n  10.0 ;Maximum value in physical unit\n"
           "  0.5 ;Resolution\n  nm ;Physical unit\n  topo.tf0 ;Filename\n";
    WriteBytes(fx.Dir() + QStringLiteral("/o.par"), par);
    WriteBytes(fx.Dir() + QStringLiteral("/topo.tf0"), std::string("\x00\x02\x00\x04\xFF\xFE\x00\x00", 8));
    fx.Messages.DefaultAnswer = TMsgResult::No;
    form.CheckStartParameter({fx.Dir() + QStringLiteral("/o.par")});
    QCOMPARE(form.WindowCount(), 4);
    QVERIFY(Title(form.Current()).endsWith(QStringLiteral("topo.tf0 :F channel")));
    QCOMPARE(form.Current()->Picture.Para.XScanRange, 50.0);
    QCOMPARE(form.Current()->Picture.Data[1][0], -1.0f);
    QVERIFY(fx.Messages.Shown.empty());  // no spectroscopy found: nothing to ask

    // a single-file format that is missing
    fx.Messages.Clear();
    form.OpenFile(fx.Dir() + QStringLiteral("/none.bmp"));
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>({"File none.bmp not found!"}));
    QCOMPARE(form.WindowCount(), 4);
}

void TMainFormTest::helpAboutAndPendingCommands() {
    TFixture fx;
    TMainForm form;
    form.show();
    QVERIFY(!ManualDir().isEmpty());
    form.HelpMorvaneHelpItem->trigger();
    THelpForm* help = form.HelpForm();
    QVERIFY(help && help->isVisible());
    QCOMPARE(help->Browser->source().fileName(), QStringLiteral("index.html"));
    QVERIFY(!help->Browser->toPlainText().isEmpty());
    // every help topic of the commands leads to an existing page
    for (QMenu* m : {form.FileMenu, form.EditMenu, form.ProcessMenu, form.ViewMenu, form.AnalyseMenu,
                     form.WindowMenu, form.HelpMenu})
        for (QAction* a : m->actions()) {
            if (a->isSeparator() || !a->property("helpTopic").isValid()) continue;
            const QString page = HelpPage(a->property("helpTopic").toInt()).section(QLatin1Char('#'), 0, 0);
            QVERIFY2(QFileInfo::exists(ManualDir() + QLatin1Char('/') + page), qPrintable(page));
        }
    // F1 on an open menu's item opens that item's topic
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    form.FileMenu->popup(form.mapToGlobal(QPoint(10, 10)));
    QVERIFY(QTest::qWaitForWindowExposed(form.FileMenu));
    form.FileMenu->setActiveAction(form.FileSaveAsItem);
    QTest::keyClick(form.FileMenu, Qt::Key_F1);
    QCOMPARE(help->Browser->source().fileName(), QStringLiteral("files.html"));
    form.ViewMenu->popup(form.mapToGlobal(QPoint(10, 10)));
    QVERIFY(QTest::qWaitForWindowExposed(form.ViewMenu));
    form.ViewMenu->setActiveAction(form.FontItem);
    QTest::keyClick(form.ViewMenu, Qt::Key_F1);
    QCOMPARE(help->Browser->source().fileName(), QStringLiteral("display.html"));
    QCOMPARE(help->Browser->source().fragment(), QStringLiteral("fonts"));

    form.HelpAboutItem->trigger();
    auto* about = form.findChild<TAboutBox*>();
    QVERIFY(about && about->isVisible() && !about->isModal());
    QCOMPARE(about->windowTitle(), QStringLiteral("About"));
    QCOMPARE(about->Version->text(), QStringLiteral("Ver. 1.03.00g"));
    QVERIFY(!(about->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                                      Qt::WindowSystemMenuHint)));
    QPointer<TAboutBox> guard = about;
    QTest::mouseClick(about->OKbtn, Qt::LeftButton);
    SettleDeletes();
    QVERIFY(guard.isNull());
}

QTEST_MAIN(TMainFormTest)

namespace {

// Runs act on the first modal widget of type T that shows up while the caller's
// command runs (polled, for at most five seconds).
template <class T>
void WhenModal(std::function<void(T*)> act) {
    auto* timer = new QTimer;
    auto* tries = new int(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, act] {
        if (T* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            delete tries;
            act(w);
        } else if (++*tries > 250) {
            timer->stop();
            timer->deleteLater();
            delete tries;
        }
    });
    timer->start(20);
}

}  // namespace

void TMainFormTest::cascadeKeepsEveryWindowVisible() {
    TFixture fx;
    TMainForm form;
    form.resize(1000, 760);
    form.show();
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    form.Doublicate1->trigger();
    form.Doublicate1->trigger();
    // new windows lie inside the visible area; windows moved beyond it can be scrolled to
    {
        const QRect area = form.MdiArea->viewport()->rect();
        for (QMdiSubWindow* sub : form.MdiArea->subWindowList())
            QVERIFY2(area.contains(sub->geometry()), qPrintable(sub->windowTitle()));
        QCOMPARE(form.MdiArea->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
        QCOMPARE(form.MdiArea->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    }
    // one window shrunk to almost nothing
    Windows(form)[0]->SubWindow()->resize(120, 30);
    form.WindowCascadeItem->trigger();
    QApplication::processEvents();
    const QRect area = form.MdiArea->viewport()->rect();
    QList<QMdiSubWindow*> subs = form.MdiArea->subWindowList(QMdiArea::CreationOrder);
    QCOMPARE(subs.size(), 4);
    int lastTop = -1;
    for (QMdiSubWindow* sub : subs) {
        const QRect client = sub->contentsRect();
        QVERIFY2(client.width() >= 200 && client.height() >= 200, qPrintable(sub->windowTitle()));
        QVERIFY(area.contains(sub->geometry().topLeft()));
        // each title bar shows below the one before
        const int titleBar = sub->height() - client.height();
        if (lastTop >= 0)
            QVERIFY2(sub->y() >= lastTop + std::min(titleBar, 20),
                 qPrintable(QStringLiteral("%1 after %2").arg(sub->y()).arg(lastTop)));
        lastTop = sub->y();
    }
    // the image keeps its square shape
    for (TMDIChild* w : Windows(form)) QCOMPARE(w->width(), w->height());
    if (qEnvironmentVariableIsSet("MORVANE_SHOTS"))
        form.grab().save(qEnvironmentVariable("MORVANE_SHOTS") + QStringLiteral("/cascade.png"));
}

void TMainFormTest::printedPictureStaysOnThePage() {
    // where the picture goes: 5 printer pixels per sample from (10, 10), scaled down
    // to the printable area with its shape kept
    const struct {
        QSize image, page;
        QRect want;
    } cases[] = {
        {{512, 512}, {9917, 14033}, {10, 10, 2560, 2560}},
        {{2048, 2048}, {4000, 6000}, {10, 10, 3980, 3980}},
        {{2048, 1024}, {3000, 9000}, {10, 10, 2980, 1490}},
        {{100, 400}, {5000, 1020}, {10, 10, 250, 1000}},
        {{0, 0}, {5000, 5000}, QRect()},
    };
    for (const auto& c : cases) QCOMPARE(PrintRect(c.image, c.page), c.want);

    if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
        QSKIP("pdftoppm (poppler-utils) is not installed");
    TFixture fx;
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    QCOMPARE(form.Current()->Picture.Cols, 512);
    const QString pdf = fx.Dir() + QStringLiteral("/page.pdf");
    form.Hooks.Print = [&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageSize(QPageSize(QPageSize::A4));
        return true;
    };
    form.Print1->trigger();
    QVERIFY(fx.Messages.Shown.empty());
    // render the page at 72 dpi: one pixel per point, A4 is 595 x 842
    QProcess render;
    render.start(QStringLiteral("pdftoppm"),
                 {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-png"), QStringLiteral("-singlefile"),
                  pdf, fx.Dir() + QStringLiteral("/page")});
    QVERIFY(render.waitForFinished(30000));
    QCOMPARE(render.exitCode(), 0);
    QImage page(fx.Dir() + QStringLiteral("/page.png"));
    QVERIFY(!page.isNull());
    QVERIFY(qAbs(page.width() - 595) <= 1 && qAbs(page.height() - 842) <= 1);
    QRect ink;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (page.pixelColor(x, y) != QColor(Qt::white)) ink |= QRect(x, y, 1, 1);
    QVERIFY(!ink.isEmpty());
    // the whole picture lies on the page, square, 5 printer pixels per sample
    QVERIFY(page.rect().adjusted(1, 1, -1, -1).contains(ink));
    QVERIFY(qAbs(ink.width() - ink.height()) <= 2);
    QVERIFY2(ink.width() > 100 && ink.width() < 595 / 2, qPrintable(QString::number(ink.width())));
    if (qEnvironmentVariableIsSet("MORVANE_SHOTS")) page.save(qEnvironmentVariable("MORVANE_SHOTS") + QStringLiteral("/printed-page.png"));
}

void TMainFormTest::saveAsOffersReplacingOnlyWhereItHappens() {
    TFixture fx;
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    const QString kept = fx.Dir() + QStringLiteral("/exists.txt");
    const QString pic = fx.Dir() + QStringLiteral("/pic.bmp");
    WriteBytes(kept, "keep");
    WriteBytes(pic, "old");
    QStringList questions;
    // answers the file dialog (filter position index, 1-based; 0 keeps its choice)
    auto save = [&](const QString& file, int index) {
        WhenModal<QFileDialog>([&, file, index](QFileDialog* dialog) {
            if (index > 0) dialog->selectNameFilter(dialog->nameFilters().value(index - 1));
            // typed into the name field, as a user does
            dialog->setDirectory(QFileInfo(file).absolutePath());
            QLineEdit* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (edit) edit->setText(QFileInfo(file).fileName());
            else dialog->selectFile(file);
            WhenModal<QMessageBox>([&](QMessageBox* box) {
                questions << box->text();
                box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes)->click() : box->accept();
            });
            static_cast<QDialog*>(dialog)->accept();  // as the Save button does
        });
        form.FileSaveAsItem->trigger();
        QApplication::processEvents();
    };
    // the native types never replace a file: the dialog does not offer it
    save(kept, 0);  // the dialog starts with the native .sin type
    QVERIFY(questions.isEmpty());
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>({QtToPath(kept) + " already exists! Abort!"}));
    save(kept, 3);
    QVERIFY(questions.isEmpty());
    QCOMPARE(fx.Messages.Texts().size(), size_t(2));
    QFile f(kept);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("keep"));
    // a bitmap replaces the file once the dialog's question is answered: asked once
    fx.Messages.Clear();
    save(pic, 1);
    QCOMPARE(questions.size(), 1);
    QVERIFY(questions[0].contains(QStringLiteral("pic.bmp")));
    QVERIFY(fx.Messages.Shown.empty());
    QFile b(pic);
    QVERIFY(b.open(QIODevice::ReadOnly));
    QVERIFY(b.readAll().startsWith("BM"));
}

void TMainFormTest::standardShortcuts() {
    TFixture fx;
    TMainForm form;
    form.show();
    QCOMPARE(form.FileOpenItem->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    QCOMPARE(form.FileSaveAsItem->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    QCOMPARE(form.FileCloseItem->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_W));
    QCOMPARE(form.Print1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    QCOMPARE(form.FileExitItem->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    QCOMPARE(form.CopyItem->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    QCOMPARE(form.WindowCount(), 2);
    QVERIFY(Activate(form));
    QTest::keyClick(&form, Qt::Key_W, Qt::ControlModifier);
    SettleDeletes();
    QCOMPARE(form.WindowCount(), 1);
    // the open dialog lists every readable type first, Omicron files among them
    QString filter;
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        filter = dialog->nameFilters().join(QLatin1Char('|'));
        dialog->reject();
    });
    form.Settings().WriteInteger("Open", "Index", 0);
    form.FileOpenItem->trigger();
    QVERIFY2(filter.startsWith(QStringLiteral("All supported files (")), qPrintable(filter));
    QVERIFY(filter.section(QLatin1Char('|'), 0, 0).contains(QStringLiteral("*.par")));
    QVERIFY(filter.contains(QStringLiteral("Omicron (*.par)")));
    for (const char* type : {"Gwyddion (*.gwy)", "Gwyddion Simple Field (*.gsf)", "Nanonis (*.sxm)"}) {
        QVERIFY2(filter.contains(QLatin1String(type)), type);
        const QString pattern = QString::fromLatin1(type).section(QLatin1Char('('), 1).chopped(1);
        QVERIFY(filter.section(QLatin1Char('|'), 0, 0).contains(pattern));
    }
    // the active image saved as Gwyddion files opens again, caption and all
    const QString caption = form.Current()->windowTitle().section(QStringLiteral(" - "), 1);
    for (int type : {5, 6}) {
        form.Hooks.SaveAs = [&](QString& file, int& index) {
            file = fx.Dir() + QStringLiteral("/field");
            index = type;
            return true;
        };
        form.FileSaveAsItem->trigger();
    }
    QVERIFY(fx.Messages.Shown.empty());
    for (const char* name : {"field.gwy", "field.gsf"}) {
        form.OpenFile(fx.Dir() + QLatin1Char('/') + QLatin1String(name));
        QCOMPARE(form.Current()->windowTitle(), QLatin1String(name) + QStringLiteral(" - ") + caption);
    }
    QCOMPARE(form.WindowCount(), 3);
}

void TMainFormTest::fileNamesShowAsTheFileSystemSpellsThem() {
    TFixture fx;
    TMainForm form;
    form.show();
    // data file "Messung_ü_0.int" (UTF-8, as the file system has it) with the Latin-1
    // caption "Höhe"
    const std::string name = "Messung_\xC3\xBC_0.int";
    const QString path = WriteScan(fx.Dir(), QStringLiteral("m.txt"), 4, 3, 9.6,
                                   {{name, "H\xF6he", "nm", 1.0, Ramp(4, 3)}});
    QVERIFY(OpenAndLoad(form, path));
    TMDIChild* w = form.Current();
    QVERIFY(w);
    const QString shown = QString::fromUtf8("Messung_\u00FC_0.int - H\u00F6he");
    QCOMPARE(w->FileName, name);
    QCOMPARE(w->windowTitle(), shown);
    QCOMPARE(ShownTitle(w->SubWindow()), shown);
    // windows of one title are told apart in the Window menu
    form.Doublicate1->trigger();
    emit form.WindowMenu->aboutToShow();
    QStringList entries;
    for (QAction* a : form.WindowMenu->actions())
        if (a->isCheckable()) entries << a->text();
    QCOMPARE(entries, QStringList({QStringLiteral("&1 ") + shown, QStringLiteral("&2 ") + shown + QStringLiteral(":2")}));
    // renaming shows the same text and keeps the name's bytes where it is left alone
    form.Rename1->trigger();
    QCOMPARE(form.RenameForm->Edit1->text(), shown);
    form.RenameForm->Edit1->setText(shown + QStringLiteral(" \u00B5m"));
    form.RenameForm->BitBtn1->click();
    QCOMPARE(form.Current()->Title, name + " - H\xF6he \xB5m");
    QCOMPARE(form.Current()->windowTitle(), shown + QStringLiteral(" \u00B5m"));
    // the model keeps the bytes: Save As proposes the name without its extension
    QString proposed;
    form.Hooks.SaveAs = [&](QString& file, int&) {
        proposed = file;
        return false;
    };
    form.FileSaveAsItem->trigger();
    QVERIFY(proposed.endsWith(QString::fromUtf8("Messung_\u00FC_0")));
}

void TMainFormTest::messagesQuoteFileNamesAsTheFileSystemSpellsThem() {
    TFixture fx;
    TMainForm form;
    form.show();
    const QString u = QString::fromUtf8("Messung_\u00FC");
    const QString dir = fx.Dir() + QLatin1Char('/');
    // a missing single file, and one that cannot be read whole
    form.OpenFile(dir + u + QStringLiteral(".bmp"));
    WriteBytes(dir + u + QStringLiteral(".tfp"), std::string(100, 'x'));
    form.OpenFile(dir + u + QStringLiteral(".tfp"));
    // Save As in the native format over an existing parameter file
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    WriteBytes(dir + u + QStringLiteral(".txt"), "keep");
    form.Hooks.SaveAs = [&](QString& file, int& filter) {
        file = dir + u + QStringLiteral(".txt");
        filter = 3;
        return true;
    };
    form.FileSaveAsItem->trigger();
    QStringList shown;
    for (const TMessage& m : fx.Messages.Shown) shown << MessageToQt(m.Text, m.Names);
    QVERIFY2(shown.size() >= 3, qPrintable(shown.join(QLatin1Char('|'))));
    QCOMPARE(shown[0], QStringLiteral("File ") + u + QStringLiteral(".bmp not found!"));
    QVERIFY2(shown[1].startsWith(QStringLiteral("File ") + u + QStringLiteral(".tfp is truncated")), qPrintable(shown[1]));
    QVERIFY2(shown.last().endsWith(u + QStringLiteral(".txt already exists! Abort!")), qPrintable(shown.last()));
    // the message's own text stays Latin-1 around the name
    const std::string name = "Messung_\xC3\xBC.int";
    QCOMPARE(MessageToQt("\xB5m: " + name, {name}), QString::fromUtf8("\u00B5m: Messung_\u00FC.int"));
    // a name that is no UTF-8 still shows, as Latin-1
    QCOMPARE(MessageToQt("File a\xFC not found!", {"a\xFC"}), QString::fromUtf8("File a\u00FC not found!"));
}

void TMainFormTest::fileMenuMnemonicsAreUnique() {
    TFixture fx;
    TMainForm form;
    QStringList letters;
    for (QAction* a : form.FileMenu->actions()) {
        if (a->isSeparator()) continue;
        const QString t = a->text();
        const qsizetype at = t.indexOf(QLatin1Char('&'));
        QVERIFY2(at >= 0 && at + 1 < t.size(), qPrintable(t));
        const QString key = t.mid(at + 1, 1).toLower();
        QVERIFY2(!letters.contains(key), qPrintable(t));
        letters << key;
    }
    QCOMPARE(form.CloseAllItem->text().remove(QLatin1Char('&')), QStringLiteral("Close all"));
}

void TMainFormTest::roughnessBoxNamesItsImage() {
    TFixture fx;
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, SmallScan(fx.Dir())));
    TMDIChild* w = form.Current();
    QVERIFY(w);
    fx.Messages.Clear();
    form.Roughness1->trigger();
    QCOMPARE(fx.Messages.Shown.size(), size_t(1));
    const TMessage& m = fx.Messages.Shown[0];
    QCOMPARE(MessageToQt(m.Title, m.Names), w->windowTitle());
    QVERIFY(m.Text.rfind("Mean = ", 0) == 0);
}

void TMainFormTest::commandLineHelpVersionAndFailedScreenshot() {
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/morvane");
    if (!QFileInfo(program).isExecutable()) QSKIP("the morvane program is not built beside the tests");
    TFixture fx;
    auto run = [&](const QStringList& args, QString* out = nullptr) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MORVANE_INI"), fx.Ini());
        p.setProcessEnvironment(env);
        p.start(program, args);
        p.waitForFinished(60000);
        if (out) *out = QString::fromUtf8(p.readAllStandardOutput());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    };
    QString out;
    // answered without a window, even without a display
    QCOMPARE(run({QStringLiteral("--help")}, &out), 0);
    QVERIFY(out.startsWith(QStringLiteral("Usage: morvane [FILE]")));
    QCOMPARE(run({QStringLiteral("--version")}, &out), 0);
    QCOMPARE(out, QStringLiteral("Ver. 1.03.00g\n"));
    // a screenshot of a file that did not open is a failure
    const QString shot = fx.Dir() + QStringLiteral("/shot.png");
    QCOMPARE(run({QStringLiteral("--screenshot"), shot, fx.Dir() + QStringLiteral("/missing.txt")}), 1);
    QCOMPARE(run({QStringLiteral("--screenshot"), shot, DemoFile()}), 0);
    QVERIFY(QFileInfo(shot).size() > 0);
}

#include "mainform_test.moc"
