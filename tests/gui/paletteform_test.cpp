// Window tests of the palette editor: opened from View > Palette on the demo scan,
// curves drawn with the mouse, undo, blocks chosen in the grid, the three file types,
// "&Use" and the question on closing a changed palette.
#include <QMenuBar>
#include <QScreen>
#include <QMouseEvent>
#include <QStatusBar>
#include <QToolBar>

#include "GuiTest.h"
#include "app/PaletteForm.h"

using namespace guitest;

namespace {

void Drag(QWidget* w, QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton) {
    Mouse(w, QEvent::MouseButtonPress, from, button, button);
    Mouse(w, QEvent::MouseMove, to, Qt::NoButton, button);
    Mouse(w, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
}

// The demo scan loaded, View > Palette on its first window.
struct TEditorOnDemo {
    TMainForm form;
    TMDIChild* window = nullptr;
    TPaletteForm* editor = nullptr;

    TEditorOnDemo() {
        form.show();
        if (!OpenAndLoad(form, DemoFile())) return;
        window = form.Current();
        if (!window) return;
        form.PaletteItem->trigger();
        const auto editors = window->findChildren<TPaletteForm*>();
        if (editors.size() == 1) editor = editors.front();
    }
};

int Value(const TColours& c, int entry, int channel) { return c[static_cast<size_t>(3 * entry + channel)]; }

QString Caption(const TPaletteForm* f) { return f->windowTitle(); }

}  // namespace

class TPaletteFormTest : public QObject {
    Q_OBJECT
private slots:
    void opensOnTheCurrentImage();
    void strokeAndUndo();
    void channelChoiceAndVisibleCurves();
    void blockSelectionAndBlockCommands();
    void savesEachFileType();
    void opensFilesAndReportsBrokenLines();
    void useRecoloursTheImageWindow();
    void closingAChangedPaletteAsks();
    void screenshotWithBlockAndCurves();
};

void TPaletteFormTest::opensOnTheCurrentImage() {
    TFixture fx;
    TEditorOnDemo d;
    QVERIFY(d.editor);
    QVERIFY(d.editor->isVisible());
    QCOMPARE(Caption(d.editor), QStringLiteral("Choose Palette for ") + Title(d.window));
    QCOMPARE(d.editor->Model.Colours, ColoursOf(d.window->Picture.Palette));
    QCOMPARE(d.editor->Panels[0]->text(), QStringLiteral("Index 255"));
    QCOMPARE(d.editor->Panels[1]->text(), QStringLiteral("RGB 255,255,255"));
    QVERIFY(!d.editor->UndoItem->isEnabled());
    QVERIFY(!d.editor->UndoButton->isEnabled());
    QVERIFY(d.editor->EditRed->isChecked() && d.editor->RotButton->isChecked());
    QVERIFY(!d.editor->EditGreen->isChecked() && !d.editor->GruenButton->isChecked());
    QVERIFY(d.editor->ShowRot->isChecked() && d.editor->ShowGruen->isChecked() && d.editor->ShowBlau->isChecked());
    QCOMPARE(d.editor->RotButton->toolTip(), QStringLiteral("Rot-Kanal"));
    QCOMPARE(d.editor->FuellenButton->toolTip(), QStringLiteral("Block mit Farbe f\u00fcllen"));
    QCOMPARE(d.editor->Kanaele->size(), QSize(257, 257));
    QCOMPARE(d.editor->Palette->size(), QSize(257, 257));
    QCOMPARE(d.editor->Symbolleiste->height(), 25);
    QCOMPARE(d.editor->width(), 569);
    // the client below the menu bar is 569 x 332; hiding the bars makes the window shorter
    const int full = d.editor->height() - d.editor->menuBar()->height();
    QCOMPARE(full, 332);
    d.editor->Symbols->trigger();
    QCOMPARE(d.editor->height() - d.editor->menuBar()->height(), 332 - 25);
    d.editor->StatusBarItem->trigger();
    QVERIFY(!d.editor->Statusleiste->isVisible());
    d.editor->Symbols->trigger();
    d.editor->StatusBarItem->trigger();
    QCOMPARE(d.editor->height() - d.editor->menuBar()->height(), 332);
    // the editor belongs to the image window: closing the window closes it
    QPointer<TPaletteForm> editor = d.editor;
    d.window->SubWindow()->close();
    SettleDeletes();
    QVERIFY(editor.isNull());
}

void TPaletteFormTest::strokeAndUndo() {
    TFixture fx;
    TEditorOnDemo d;
    QVERIFY(d.editor);
    TPaletteForm* f = d.editor;
    const TColours before = f->Model.Colours;
    Mouse(f->Kanaele, QEvent::MouseButtonPress, QPoint(10, 255), Qt::LeftButton, Qt::LeftButton);
    Mouse(f->Kanaele, QEvent::MouseMove, QPoint(10, 255), Qt::NoButton, Qt::LeftButton);  // entry 10: 0
    Mouse(f->Kanaele, QEvent::MouseMove, QPoint(20, 155), Qt::NoButton, Qt::LeftButton);  // to 100
    QCOMPARE(f->Panels[2]->text(), QStringLiteral("Kanal-Wert 100"));
    QCOMPARE(f->Panels[0]->text(), QStringLiteral("Index 20"));
    Mouse(f->Kanaele, QEvent::MouseButtonRelease, QPoint(20, 155), Qt::LeftButton, Qt::NoButton);
    for (int i = 10; i <= 20; ++i) QCOMPARE(Value(f->Model.Colours, i, 0), 10 * (i - 10));
    QCOMPARE(Value(f->Model.Colours, 15, 1), Value(before, 15, 1));
    QCOMPARE(Caption(f), QStringLiteral("Paletten-Editor <NewPalette>*"));
    QVERIFY(f->UndoButton->isEnabled() && f->UndoItem->isEnabled());
    // the curve shows in the channel box: red at (15, 255 - 50)
    QCOMPARE(QColor(f->Kanaele->grab().toImage().pixel(15, 205)).red(), 255);

    QTest::mouseClick(f->UndoButton, Qt::LeftButton);
    QCOMPARE(f->Model.Colours, before);
    QCOMPARE(Caption(f), QStringLiteral("Paletten-Editor <NewPalette>"));
    QVERIFY(!f->UndoButton->isEnabled() && !f->UndoItem->isEnabled());
    // a press outside the box starts nothing
    Mouse(f->Kanaele, QEvent::MouseButtonPress, QPoint(256, 10), Qt::LeftButton, Qt::LeftButton);
    Mouse(f->Kanaele, QEvent::MouseMove, QPoint(30, 10), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(f->Model.Colours, before);
    QVERIFY(!f->UndoItem->isEnabled());
    // right button release: the colour dialog for that entry, no snapshot
    int offered = -1;
    f->Hooks.Colour = [&](int& colour) {
        offered = colour;
        colour = 1 + 256 * 2 + 65536 * 3;
        return true;
    };
    Mouse(f->Kanaele, QEvent::MouseButtonRelease, QPoint(40, 100), Qt::RightButton, Qt::NoButton);
    QCOMPARE(offered, EntryColourValue(before, 40));
    QCOMPARE(Value(f->Model.Colours, 40, 2), 3);
}

void TPaletteFormTest::channelChoiceAndVisibleCurves() {
    TFixture fx;
    TEditorOnDemo d;
    QVERIFY(d.editor);
    TPaletteForm* f = d.editor;
    QTest::mouseClick(f->BlauButton, Qt::LeftButton);
    QVERIFY(f->EditBlue->isChecked() && !f->EditRed->isChecked() && f->BlauButton->isChecked());
    QVERIFY(!f->RotButton->isChecked());
    f->Connect->trigger();
    QVERIFY(f->VerbindenButton->isChecked());
    QVERIFY(f->EditRed->isChecked() && f->EditGreen->isChecked() && f->EditBlue->isChecked());
    QTest::mouseClick(f->GruenButton, Qt::LeftButton);
    QVERIFY(!f->EditGreen->isChecked() && !f->GruenButton->isChecked());
    f->Connect->trigger();
    QVERIFY(f->EditRed->isChecked() && !f->EditBlue->isChecked() && !f->VerbindenButton->isChecked());

    // a flat palette: red 200, green 100, blue 50 in every entry
    for (int i = 0; i < 256; ++i) {
        f->Model.Colours[3 * i] = 200;
        f->Model.Colours[3 * i + 1] = 100;
        f->Model.Colours[3 * i + 2] = 50;
    }
    f->RedrawViews();
    auto at = [&](int value) { return QColor(f->Kanaele->grab().toImage().pixel(128, 255 - value)); };
    QCOMPARE(at(200), QColor(255, 0, 0));
    QCOMPARE(at(100), QColor(0, 128, 0));
    QCOMPARE(at(50), QColor(0, 0, 255));
    // each of the three toggles repaints at once
    f->ShowRot->trigger();
    QCOMPARE(at(200), QColor(0, 0, 0));
    f->ShowBlau->trigger();
    QCOMPARE(at(50), QColor(0, 0, 0));
    f->ShowGruen->trigger();
    QCOMPARE(at(100), QColor(0, 0, 0));
    f->ShowRot->trigger();
    QCOMPARE(at(200), QColor(255, 0, 0));
    // overlapping curves mix
    for (int i = 0; i < 256; ++i) f->Model.Colours[3 * i + 2] = 200;
    f->ShowBlau->trigger();
    QCOMPARE(at(200), QColor(255, 0, 255));
}

void TPaletteFormTest::blockSelectionAndBlockCommands() {
    TFixture fx;
    TEditorOnDemo d;
    QVERIFY(d.editor);
    TPaletteForm* f = d.editor;
    const TColours start = f->Model.Colours;
    Drag(f->Palette, QPoint(40, 20), QPoint(100, 60));  // entries 18 .. 54
    QCOMPARE(f->Model.BlockFirst, 18);
    QCOMPARE(f->Model.BlockLast, 54);
    QCOMPARE(f->Panels[2]->text(), QStringLiteral("Index 18 bis 54 ausgew\u00e4hlt (37 Eintr\u00e4ge)"));
    QCOMPARE(f->Panels[0]->text(), QStringLiteral("Index 54"));
    // the dotted outline runs along the top of row 1 from column 2 to the right edge
    const QImage grid = f->Palette->grab().toImage();
    int white = 0;
    for (int x = 32; x <= 256; ++x) white += QColor(grid.pixel(x, 16)) == QColor(Qt::white);
    QVERIFY2(white > 50 && white < 200, qPrintable(QString::number(white)));

    QTest::mouseClick(f->SpiegelnButton, Qt::LeftButton);
    for (int i = 18; i <= 54; ++i)
        for (int ch = 0; ch < 3; ++ch) QCOMPARE(Value(f->Model.Colours, i, ch), Value(start, 72 - i, ch));
    QCOMPARE(Caption(f), QStringLiteral("Paletten-Editor <NewPalette>*"));
    QTest::mouseClick(f->VerlaufButton, Qt::LeftButton);
    QTest::mouseClick(f->InvertierenButton, Qt::LeftButton);
    QCOMPARE(Value(f->Model.Colours, 18, 0), 255 - Value(start, 54, 0));
    QCOMPARE(Value(f->Model.Colours, 18, 1), Value(start, 54, 1));
    QCOMPARE(f->Model.History.Count(), 3u);

    // fill: the dialog starts with the middle entry's colour
    int offered = -1;
    f->Hooks.Colour = [&](int& colour) {
        offered = colour;
        colour = 0x102030;
        return true;
    };
    const int middle = EntryColourValue(f->Model.Colours, (18 + 54) / 2);
    QTest::mouseClick(f->FuellenButton, Qt::LeftButton);
    QCOMPARE(offered, middle);
    for (int i = 18; i <= 54; ++i) {
        QCOMPARE(Value(f->Model.Colours, i, 0), 0x30);
        QCOMPARE(Value(f->Model.Colours, i, 2), 0x10);
    }
    // cancelled: nothing changes, the snapshot stays
    f->Hooks.Colour = [](int&) { return false; };
    const TColours filled = f->Model.Colours;
    f->PopupFarbe->trigger();
    QCOMPARE(f->Model.Colours, filled);
    QCOMPARE(f->Model.History.Count(), 5u);

    // a double click gives one entry its colour
    f->Hooks.Colour = [](int& colour) {
        colour = 0xFFFFFF;
        return true;
    };
    Mouse(f->Palette, QEvent::MouseButtonPress, QPoint(250, 250), Qt::LeftButton, Qt::LeftButton);
    Mouse(f->Palette, QEvent::MouseButtonRelease, QPoint(250, 250), Qt::LeftButton, Qt::NoButton);
    Mouse(f->Palette, QEvent::MouseButtonDblClick, QPoint(250, 250), Qt::LeftButton, Qt::LeftButton);
    QCOMPARE(f->Model.CurrentEntry, 255);
    QCOMPARE(Value(f->Model.Colours, 255, 1), 255);
    QCOMPARE(f->Model.History.Count(), 6u);

    // the repeat check
    for (int i = 0; i < 768; ++i) f->Model.Colours[static_cast<size_t>(i)] = 9;
    fx.Messages.Clear();
    QTest::mouseClick(f->WiederholungButton, Qt::LeftButton);
    QCOMPARE(fx.Messages.Texts(), (std::vector<std::string>{"255 Wiederholungen, d.h. 1 verschiedene Farben."}));
    // smoothing keeps a constant palette
    f->Glaetten->trigger();
    for (int i = 0; i < 768; ++i) QCOMPARE(int(f->Model.Colours[static_cast<size_t>(i)]), 9);
}

void TPaletteFormTest::savesEachFileType() {
    TFixture fx;
    TEditorOnDemo d;
    QVERIFY(d.editor);
    TPaletteForm* f = d.editor;
    const struct {
        int Filter;
        QString Name, Written;
        TPaletteKind Kind;
    } cases[] = {
        {1, QStringLiteral("warm"), QStringLiteral("warm.pal"), TPaletteKind::Jasc},
        {2, QStringLiteral("warm"), QStringLiteral("warm.txt"), TPaletteKind::Text},
        {3, QStringLiteral("warm"), QStringLiteral("warm.bin"), TPaletteKind::Binary},
        // a name in the file system's UTF-8 shows as such in the title
        {1, QString::fromUtf8("w\u00E4rme"), QString::fromUtf8("w\u00E4rme.pal"), TPaletteKind::Jasc},
        {3, QStringLiteral("cold.act"), QStringLiteral("cold.act"), TPaletteKind::Binary},
    };
    for (const auto& t : cases) {
        f->Model.BlockFirst = 0;
        f->Model.BlockLast = 255;
        f->SpiegelnClick();
        QVERIFY(Caption(f).endsWith(QLatin1Char('*')));
        f->Hooks.SaveAs = [&](QString& file, int& filter) {
            file = fx.Dir() + QLatin1Char('/') + t.Name;
            filter = t.Filter;
            return true;
        };
        f->SpeichernAls->trigger();
        const QString path = fx.Dir() + QLatin1Char('/') + t.Written;
        QVERIFY2(QFile::exists(path), qPrintable(path));
        QCOMPARE(Caption(f), QStringLiteral("Paletten-Editor <") + t.Written + QLatin1Char('>'));
        QVERIFY(!f->UndoItem->isEnabled());
        TColours back{};
        ReadPaletteFile(QtToPath(path), t.Kind, back);
        QCOMPARE(back, f->Model.Colours);
    }
    QCOMPARE(QFileInfo(fx.Dir() + QStringLiteral("/warm.bin")).size(), 768);
    QVERIFY(fx.Messages.Texts().empty());

    // "S&ave" writes the same file again; replacing through "Save as" asks first
    f->Hooks.SaveAs = [](QString&, int&) { return false; };
    f->SpiegelnClick();
    f->Speichern->trigger();
    QVERIFY(!f->Model.Modified());
    TColours back{};
    ReadPaletteFile(QtToPath(fx.Dir() + QStringLiteral("/cold.act")), TPaletteKind::Binary, back);
    QCOMPARE(back, f->Model.Colours);
    f->SpiegelnClick();
    f->Hooks.SaveAs = [&](QString& file, int& filter) {
        file = fx.Dir() + QStringLiteral("/warm.pal");
        filter = 1;
        return true;
    };
    fx.Messages.Answers = {TMsgResult::No};
    f->SpeichernAls->trigger();
    QCOMPARE(fx.Messages.Texts(), (std::vector<std::string>{"warm.pal already exists.\r\nDo you want to replace it?"}));
    QVERIFY(f->Model.Modified());
}

void TPaletteFormTest::opensFilesAndReportsBrokenLines() {
    TFixture fx;
    TEditorOnDemo d;
    QVERIFY(d.editor);
    TPaletteForm* f = d.editor;
    const TColours start = f->Model.Colours;
    WriteBytes(fx.Dir() + QStringLiteral("/old.PAL"), "JASC-PAL\r\n0101\r\n256\r\n300 20\r\n1 2 3\r\nrot 0 0\r\n9 9 9\r\n");
    f->Hooks.Open = [&](QString& file, int& filter) {
        file = fx.Dir() + QStringLiteral("/old.PAL");
        filter = 1;
        return true;
    };
    f->Oeffnen->trigger();
    QCOMPARE(fx.Messages.Texts(), (std::vector<std::string>{
                                      "Falsche Version.", "Fehler in Zeile 6: 'rot' is not a valid integer value"}));
    QCOMPARE(Value(f->Model.Colours, 0, 0), 44);
    QCOMPARE(Value(f->Model.Colours, 0, 1), 20);
    QCOMPARE(Value(f->Model.Colours, 0, 2), 0);
    QCOMPARE(Value(f->Model.Colours, 1, 2), 3);
    QCOMPARE(Value(f->Model.Colours, 2, 0), Value(start, 2, 0));
    QCOMPARE(Caption(f), QStringLiteral("Paletten-Editor <old.PAL>"));
    QCOMPARE(f->Model.FileKind, TPaletteKind::Jasc);

    // opening with changes asks first; Cancel keeps everything
    f->SpiegelnClick();
    fx.Messages.Clear();
    fx.Messages.Answers = {TMsgResult::Cancel};
    bool asked = false;
    f->Hooks.Open = [&](QString&, int&) {
        asked = true;
        return false;
    };
    f->Oeffnen->trigger();
    QCOMPARE(fx.Messages.Texts(), (std::vector<std::string>{"Palette wurde ver\xE4ndert. Speichern?"}));
    QVERIFY(!asked);
    QVERIFY(f->Model.Modified());
    // a short binary file changes nothing
    WriteBytes(fx.Dir() + QStringLiteral("/short.bin"), std::string(100, 'x'));
    const TColours now = f->Model.Colours;
    fx.Messages.Answers = {TMsgResult::No};
    f->Hooks.Open = [&](QString& file, int& filter) {
        file = fx.Dir() + QStringLiteral("/short.bin");
        filter = 3;
        return true;
    };
    f->Oeffnen->trigger();
    QCOMPARE(f->Model.Colours, now);
    QVERIFY(!f->Model.Modified());
    QCOMPARE(Caption(f), QStringLiteral("Paletten-Editor <short.bin>"));
}

void TPaletteFormTest::useRecoloursTheImageWindow() {
    TFixture fx;
    TEditorOnDemo d;
    QVERIFY(d.editor);
    TPaletteForm* f = d.editor;
    const QList<QRgb> before = d.window->Image1.colorTable();
    QCOMPARE(before.size(), 256);
    d.window->Picture.Palette.Entries[5].Flags = 3;
    // grey ramp over the whole palette
    f->Model.BlockFirst = 0;
    f->Model.BlockLast = 255;
    for (int ch = 0; ch < 3; ++ch) {
        f->Model.Colours[static_cast<size_t>(ch)] = 0;
        f->Model.Colours[static_cast<size_t>(765 + ch)] = 255;
    }
    f->VerlaufClick();
    QCOMPARE(d.window->Image1.colorTable(), before);  // nothing reaches the image before "&Use"
    f->Use->trigger();
    QVERIFY(f->isVisible());
    const QList<QRgb> after = d.window->Image1.colorTable();
    QCOMPARE(after.size(), 256);
    for (int i = 0; i < 256; i += 51) QCOMPARE(QColor(after[i]), QColor(i, i, i));
    QCOMPARE(d.window->Picture.Palette.Entries[5].Flags, uint8_t(3));
    QCOMPARE(d.window->Picture.Palette.Entries[200].Green, uint8_t(200));
}

void TPaletteFormTest::closingAChangedPaletteAsks() {
    TFixture fx;
    TEditorOnDemo d;
    QVERIFY(d.editor);
    QPointer<TPaletteForm> f = d.editor;
    const std::string question = "Palette wurde ver\xE4ndert. Speichern?";

    // unchanged: closes without a question
    f->Beenden->trigger();
    SettleDeletes();
    QVERIFY(f.isNull());
    QVERIFY(fx.Messages.Texts().empty());

    d.form.PaletteItem->trigger();
    f = d.window->findChild<TPaletteForm*>();
    QVERIFY(f);
    f->GlaettenClick();
    fx.Messages.Answers = {TMsgResult::Cancel};
    f->close();
    QVERIFY(f && f->isVisible());
    // Yes, but the save dialog is cancelled: the changes stay, so does the window
    fx.Messages.Answers = {TMsgResult::Yes};
    f->Hooks.SaveAs = [](QString&, int&) { return false; };
    f->close();
    SettleDeletes();
    QVERIFY(f && f->isVisible());
    // Yes and a name: saved, then closed
    fx.Messages.Answers = {TMsgResult::Yes};
    const QString path = fx.Dir() + QStringLiteral("/kept");
    f->Hooks.SaveAs = [&](QString& file, int& filter) {
        file = path;
        filter = 2;
        return true;
    };
    const TColours colours = f->Model.Colours;
    f->Beenden->trigger();
    SettleDeletes();
    QVERIFY(f.isNull());
    TColours back{};
    ReadPaletteFile(QtToPath(path + QStringLiteral(".txt")), TPaletteKind::Text, back);
    QCOMPARE(back, colours);
    QCOMPARE(fx.Messages.Texts(), (std::vector<std::string>(3, question)));

    // No: closed without saving
    d.form.PaletteItem->trigger();
    f = d.window->findChild<TPaletteForm*>();
    QVERIFY(f);
    f->GlaettenClick();
    fx.Messages.Answers = {TMsgResult::No};
    f->close();
    SettleDeletes();
    QVERIFY(f.isNull());
}

void TPaletteFormTest::screenshotWithBlockAndCurves() {
    TFixture fx;
    TEditorOnDemo d;
    QVERIFY(d.editor);
    TPaletteForm* f = d.editor;
    Drag(f->Palette, QPoint(100, 40), QPoint(100, 100));  // entries 38 .. 102
    QCOMPARE(f->Model.BlockFirst, 38);
    QCOMPARE(f->Model.BlockLast, 102);
    f->move(d.form.geometry().topLeft() + QPoint(120, 140));
    f->raise();
    QTest::qWait(50);
    const QImage shot = f->grab().toImage();
    QCOMPARE(shot.width(), 569);
    const QByteArray dir = qgetenv("MORVANE_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QVERIFY(shot.save(QString::fromLocal8Bit(dir) + QStringLiteral("/paletteform.png")));
        // the editor over its image window, as a user sees the screen
        d.form.setGeometry(20, 40, 900, 640);
        f->move(300, 300);
        f->raise();
        QTest::qWait(100);
        QVERIFY(QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(dir) +
                                                                      QStringLiteral("/paletteform-screen.png")));
    }
}

QTEST_MAIN(TPaletteFormTest)
#include "paletteform_test.moc"
