// Window tests of the channel selection dialog and the message boxes of the application.
#include <QMessageBox>
#include <QTimer>

#include <QScrollArea>
#include <QScrollBar>

#include "GuiTest.h"

using namespace guitest;

namespace {

std::vector<TChannel> ThreeChannels() {
    return {{"s_0.int", "Topo", "nm", 1.0, Ramp(4, 4)},
            {"s_1.sin", "Current", "nA", 1.0, Ramp(4, 4, 0.5f)},
            {"s_2.sin", "Phase", "deg", 1.0, Ramp(4, 4, 2.0f)}};
}

QStringList LoadedCaptions(const TMainForm& form) {
    QStringList l;
    for (TMDIChild* w : Windows(form)) l << Latin1ToQt(w->CaptionTag);
    l.sort();
    return l;
}

void WritePreview(const QString& path, QColor colour) {
    QImage img(6, 6, QImage::Format_RGB32);
    img.fill(colour);
    QVERIFY(img.save(path, "BMP"));
}

}  // namespace

class TAskFormTest : public QObject {
    Q_OBJECT
private slots:
    void layoutAndPlacement();
    void checkedStateIsRememberedPerCaption();
    void cancelEscapeAndCloseBoxLoadNothing();
    void missingDataFilesAreRedAndCannotBeChosen();
    void previewsFollowTheMouse();
    void oldGenerationFilesHaveNoCaptions();
    void messageBoxesOfTheApplication();
    void manyChannelsScrollAndTheButtonsStayInReach();
};

void TAskFormTest::layoutAndPlacement() {
    TFixture fx;
    TMainForm form;
    form.move(30, 20);
    form.show();
    OpenThroughMenu(form, WriteScan(fx.Dir(), QStringLiteral("s.txt"), 4, 4, 10, ThreeChannels()));
    TAskForm* ask = FindAskForm(form);
    QVERIFY(ask && ask->isVisible());
    QVERIFY(ask->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!ask->isModal());
    QCOMPARE(ask->windowTitle(), QStringLiteral("Load s.txt"));
    QCOMPARE(ask->pos(), QPoint(form.frameGeometry().left() + 50, form.frameGeometry().top() + 121));
    QCOMPARE(ask->height(), 20 * 3 + 200);
    QCOMPARE(ask->width(), 484);  // no previews: the preview area is hidden
    QVERIFY(!ask->Image1->isVisible());
    QCOMPARE(ask->CheckBoxes.size(), size_t(3));
    for (int i = 1; i <= 3; ++i) {
        const QCheckBox* box = ask->CheckBoxes[static_cast<size_t>(i - 1)];
        QCOMPARE(box->mapTo(ask, QPoint(0, 0)), QPoint(32, 60 + 20 * i));
        QCOMPARE(box->width(), 200);
        QVERIFY(box->isChecked() && box->isEnabled());
    }
    QCOMPARE(ask->CheckBoxes[1]->text(), QStringLiteral("Current"));
    QCOMPARE(ask->BitBtn1->text(), QStringLiteral("All"));
    QCOMPARE(ask->BitBtn1->toolTip(), QStringLiteral("Select All"));
    QCOMPARE(ask->BitBtn2->toolTip(), QStringLiteral("Select None"));
    for (QPushButton* b : {ask->BitBtn1, ask->BitBtn2, ask->LoadButton, ask->Button1})
        QVERIFY(ask->rect().contains(b->geometry()));
    // the open command is finished while the dialog waits
    QCOMPARE(form.WindowCount(), 0);
    QTest::mouseClick(ask->LoadButton, Qt::LeftButton);
    SettleDeletes();
    QCOMPARE(LoadedCaptions(form), QStringList({"Current", "Phase", "Topo"}));
}

void TAskFormTest::checkedStateIsRememberedPerCaption() {
    TFixture fx;
    TMainForm form;
    form.show();
    const QString scan = WriteScan(fx.Dir(), QStringLiteral("s.txt"), 4, 4, 10, ThreeChannels());
    OpenThroughMenu(form, scan);
    TAskForm* ask = FindAskForm(form);
    QTest::mouseClick(ask->CheckBoxes[1], Qt::LeftButton, {}, QPoint(8, 10));  // Current off
    QVERIFY(!ask->CheckBoxes[1]->isChecked());
    QTest::mouseClick(ask->LoadButton, Qt::LeftButton);
    SettleDeletes();
    QCOMPARE(LoadedCaptions(form), QStringList({"Phase", "Topo"}));
    auto ini = fx.ReadSettings();
    QCOMPARE(ini->ReadBool("DefautChecked", "Current", true), false);
    QCOMPARE(ini->ReadBool("DefautChecked", "Topo", false), true);
    QCOMPARE(ini->ReadBool("DefautChecked", "Phase", false), true);

    // another file with a "Current" channel and a caption never seen
    QDir(fx.Dir()).mkdir(QStringLiteral("b"));
    const QString other = WriteScan(fx.Dir() + QStringLiteral("/b"), QStringLiteral("b.txt"), 4, 4, 10,
                                    {{"b_0.sin", "Current", "nA", 1.0, Ramp(4, 4)},
                                     {"b_1.sin", "Amplitude", "V", 1.0, Ramp(4, 4)}});
    OpenThroughMenu(form, other);
    ask = FindAskForm(form);
    QVERIFY(!ask->CheckBoxes[0]->isChecked());
    QVERIFY(ask->CheckBoxes[1]->isChecked());
    // All ticks it again; Load remembers that
    QTest::mouseClick(ask->BitBtn1, Qt::LeftButton);
    QVERIFY(ask->CheckBoxes[0]->isChecked());
    QTest::mouseClick(ask->LoadButton, Qt::LeftButton);
    SettleDeletes();
    QCOMPARE(fx.ReadSettings()->ReadBool("DefautChecked", "Current", false), true);
    QCOMPARE(form.WindowCount(), 4);
    QVERIFY(fx.Messages.Shown.empty());
}

void TAskFormTest::cancelEscapeAndCloseBoxLoadNothing() {
    TFixture fx;
    TMainForm form;
    form.show();
    const QString scan = WriteScan(fx.Dir(), QStringLiteral("s.txt"), 4, 4, 10, ThreeChannels());
    const QByteArray iniBefore = [&] {
        QFile f(fx.Ini());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    auto iniText = [&] {
        QFile f(fx.Ini());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    // Cancel
    OpenThroughMenu(form, scan);
    TAskForm* ask = FindAskForm(form);
    QPointer<TAskForm> guard = ask;
    QTest::mouseClick(ask->CheckBoxes[0], Qt::LeftButton, {}, QPoint(8, 10));
    const QByteArray afterOpen = iniText();
    QTest::mouseClick(ask->Button1, Qt::LeftButton);
    SettleDeletes();
    QVERIFY(guard.isNull());
    QCOMPARE(form.WindowCount(), 0);
    QCOMPARE(iniText(), afterOpen);  // no "DefautChecked" written
    QVERIFY(!afterOpen.contains("DefautChecked"));
    // Escape
    OpenThroughMenu(form, scan);
    guard = FindAskForm(form);
    QTest::keyClick(guard.data(), Qt::Key_Escape);
    SettleDeletes();
    QVERIFY(guard.isNull());
    QCOMPARE(form.WindowCount(), 0);
    // the window's close box
    OpenThroughMenu(form, scan);
    guard = FindAskForm(form);
    QVERIFY(guard->close());
    SettleDeletes();
    QVERIFY(guard.isNull());
    QCOMPARE(form.WindowCount(), 0);
    QVERIFY(!iniText().contains("DefautChecked"));
    // a dialog still waiting when the main window closes finishes as well
    OpenThroughMenu(form, scan);
    guard = FindAskForm(form);
    form.close();
    SettleDeletes();
    QVERIFY(guard.isNull());
    QVERIFY(fx.Messages.Shown.empty());
    Q_UNUSED(iniBefore);
}

void TAskFormTest::missingDataFilesAreRedAndCannotBeChosen() {
    TFixture fx;
    TMainForm form;
    form.show();
    auto channels = ThreeChannels();
    channels[0].Write = false;
    channels[2].Write = false;
    OpenThroughMenu(form, WriteScan(fx.Dir(), QStringLiteral("s.txt"), 4, 4, 10, channels));
    TAskForm* ask = FindAskForm(form);
    QCheckBox* missing = ask->CheckBoxes[0];
    QVERIFY(!missing->isEnabled());
    QVERIFY(!missing->isChecked());
    QCOMPARE(missing->text(), QStringLiteral("Topo - File doesn\u00B4t exist!"));
    QCOMPARE(missing->palette().color(QPalette::Disabled, QPalette::WindowText), QColor(Qt::red));
    QTest::mouseClick(ask->BitBtn1, Qt::LeftButton);  // All leaves it unchecked
    QVERIFY(!missing->isChecked());
    QVERIFY(ask->CheckBoxes[1]->isChecked());
    missing->setChecked(true);  // None also clears disabled boxes
    QTest::mouseClick(ask->BitBtn2, Qt::LeftButton);
    for (QCheckBox* b : ask->CheckBoxes) QVERIFY(!b->isChecked());
    QTest::mouseClick(ask->BitBtn1, Qt::LeftButton);
    QTest::mouseClick(ask->LoadButton, Qt::LeftButton);
    SettleDeletes();
    QCOMPARE(LoadedCaptions(form), QStringList({"Current"}));
    // the disabled boxes wrote nothing
    auto ini = fx.ReadSettings();
    QVERIFY(!ini->ValueExists("DefautChecked", "Topo"));
    QVERIFY(!ini->ValueExists("DefautChecked", "Topo - File doesn\xB4t exist!"));
    QVERIFY(ini->ValueExists("DefautChecked", "Current"));

    // all data files missing: only red boxes, All checks none, Load loads nothing
    for (auto& c : channels) c.Write = false;
    QDir(fx.Dir()).mkdir(QStringLiteral("none"));
    OpenThroughMenu(form, WriteScan(fx.Dir() + QStringLiteral("/none"), QStringLiteral("n.txt"), 4, 4, 10, channels));
    ask = FindAskForm(form);
    QTest::mouseClick(ask->BitBtn1, Qt::LeftButton);
    for (QCheckBox* b : ask->CheckBoxes) QVERIFY(!b->isChecked() && !b->isEnabled());
    QTest::mouseClick(ask->LoadButton, Qt::LeftButton);
    SettleDeletes();
    QCOMPARE(form.WindowCount(), 1);
    QVERIFY(fx.Messages.Shown.empty());
}

void TAskFormTest::previewsFollowTheMouse() {
    TFixture fx;
    TMainForm form;
    form.show();
    std::vector<TChannel> channels = {{"scanFwd.int", "Fwd", "nm", 1.0, Ramp(4, 4)},
                                      {"s_1.sin", "Two", "nm", 1.0, Ramp(4, 4)},
                                      {"s_2.sin", "Three", "nm", 1.0, Ramp(4, 4)}};
    const QString scan = WriteScan(fx.Dir(), QStringLiteral("s.txt"), 4, 4, 10, channels);
    // channel 1 with the two-blank name, channel 3 with the plain one, none for channel 2
    WritePreview(fx.Dir() + QStringLiteral("/scan  Fwd.bmp"), QColor(255, 0, 0));
    WritePreview(fx.Dir() + QStringLiteral("/s_2.bmp"), QColor(0, 0, 255));
    OpenThroughMenu(form, scan);
    TAskForm* ask = FindAskForm(form);
    QVERIFY(ask->Image1->isVisible());
    const int h = 20 * 3 + 200;
    QCOMPARE(ask->height(), h);
    QCOMPARE(ask->width(), h + 270);
    QCOMPARE(ask->Image1->geometry(), QRect(270, 0, h, h));
    QVERIFY(!ask->ImageList1[1].isNull());
    QVERIFY(ask->ImageList1[2].isNull());
    QVERIFY(!ask->ImageList1[3].isNull());
    // at first two grey diagonals on white
    const QImage start = ask->Image1->grab().toImage();
    QCOMPARE(start.pixelColor(0, 0), QColor(128, 128, 128));
    QCOMPARE(start.pixelColor(start.width() / 2, 3), QColor(Qt::white));
    QTest::mouseMove(ask->CheckBoxes[2], QPoint(10, 5));
    QTRY_COMPARE(ask->Image1->grab().toImage().pixelColor(h / 2, 3), QColor(0, 0, 255));
    QTest::mouseMove(ask->CheckBoxes[1], QPoint(10, 5));  // no preview: the picture stays
    QCOMPARE(ask->Image1->grab().toImage().pixelColor(h / 2, 3), QColor(0, 0, 255));
    ask->CheckBoxMouseMove(1);
    QCOMPARE(ask->Image1->grab().toImage().pixelColor(h / 2, 3), QColor(255, 0, 0));
    ask->CheckBoxMouseMove(99);  // out of range: nothing
    QTest::mouseClick(ask->Button1, Qt::LeftButton);
}

void TAskFormTest::oldGenerationFilesHaveNoCaptions() {
    TFixture fx;
    TMainForm form;
    form.show();
    // version 1.01: name, caption, scale and unit lines after "Files"
    std::string text = "Version : 1.01\r\nScanRange [nm]: 20\r\nPixel in X : 2\r\nPixel in Y : 2\r\nFiles\r\n"
                       "o_0.sin\r\nTopo\r\n1\r\nnm\r\n\r\n";
    WriteBytes(fx.Dir() + QStringLiteral("/o.txt"), text);
    std::string data;
    for (float v : {1.0f, 2.0f, 3.0f, 4.0f}) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        PutLE32(data, bits);
    }
    WriteBytes(fx.Dir() + QStringLiteral("/o_0.sin"), data);
    WritePreview(fx.Dir() + QStringLiteral("/o_0.bmp"), QColor(0, 255, 0));
    OpenThroughMenu(form, fx.Dir() + QStringLiteral("/o.txt"));
    TAskForm* ask = FindAskForm(form);
    QVERIFY(ask);
    QCOMPARE(ask->CheckBoxes.size(), size_t(1));
    QCOMPARE(ask->CheckBoxes[0]->text(), QString());
    ask->CheckBoxMouseMove(1);
    QCOMPARE(ask->Image1->grab().toImage().pixelColor(10, 3), QColor(0, 255, 0));
    QTest::mouseClick(ask->LoadButton, Qt::LeftButton);
    SettleDeletes();
    QCOMPARE(form.WindowCount(), 1);
    QCOMPARE(Title(form.Current()), QStringLiteral("o_0.sin - Topo"));
}

void TAskFormTest::messageBoxesOfTheApplication() {
    TFixture fx;  // the recording sink is replaced by the boxes below
    QWidget main;
    main.move(70, 40);
    main.resize(300, 200);
    main.show();
    TQtMessageSink boxes(&main);
    struct Seen {
        QString title, text;
        QPoint pos;
        Qt::TextFormat format = Qt::AutoText;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    } seen;
    auto answer = [&](QMessageBox::StandardButton button) {
        QTimer::singleShot(50, [&, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            seen = {box->windowTitle(), box->text(), box->pos(), box->textFormat(), box->icon()};
            box->button(button)->click();
        });
    };
    TMessage m;
    m.Text = "<b>File</b> x.txt not found!";
    answer(QMessageBox::Ok);
    QCOMPARE(boxes.Show(m), TMsgResult::OK);
    QCOMPARE(seen.title, QStringLiteral("morvane"));
    QCOMPARE(seen.text, QStringLiteral("<b>File</b> x.txt not found!"));
    QCOMPARE(seen.format, Qt::PlainText);
    QCOMPARE(seen.icon, QMessageBox::Information);

    m.Text = "Found 1 topographic and1 spectroscopic image(s)\r       Read spectroscopy data?";
    m.Buttons = TMsgButtons::YesNoCancel;
    m.Placed = true;
    m.Title = "Omicron";
    answer(QMessageBox::No);
    QCOMPARE(boxes.Show(m), TMsgResult::No);
    QCOMPARE(seen.title, QStringLiteral("Omicron"));
    QVERIFY(seen.text.contains(QLatin1Char('\n')));
    const QScreen* screen = main.screen();
    QCOMPARE(seen.pos, QPoint(main.frameGeometry().left() + 200, screen->geometry().height() / 2 - 100));
    answer(QMessageBox::Cancel);
    QCOMPARE(boxes.Show(m), TMsgResult::Cancel);

    TMessage e;
    e.Text = "Can\xB4t get memory!";
    e.Kind = TMsgKind::Error;
    answer(QMessageBox::Ok);
    boxes.Show(e);
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.text, QStringLiteral("Can\u00B4t get memory!"));
}

QTEST_MAIN(TAskFormTest)
#include "askform_test.moc"

void TAskFormTest::manyChannelsScrollAndTheButtonsStayInReach() {
    TFixture fx;
    TMainForm form;
    form.move(30, 20);
    form.show();
    std::vector<TChannel> channels;
    for (int i = 0; i < 60; ++i)
        channels.push_back({"m_" + std::to_string(i) + ".sin", "Channel " + std::to_string(i + 1), "nm", 1.0,
                            Ramp(4, 4, 0.5f * (i + 1))});
    OpenThroughMenu(form, WriteScan(fx.Dir(), QStringLiteral("many.txt"), 4, 4, 10, channels));
    TAskForm* ask = FindAskForm(form);
    QVERIFY(ask && ask->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(ask));
    // the dialog fits on the screen; Load and Cancel lie inside it
    const QRect screen = ask->screen()->availableGeometry();
    QVERIFY(ask->height() < 20 * 60 + 200);
    QVERIFY(screen.contains(ask->frameGeometry()));
    for (QPushButton* b : {ask->BitBtn1, ask->BitBtn2, ask->LoadButton, ask->Button1})
        QVERIFY(ask->rect().contains(b->geometry()));
    // the list scrolls to its last channel, which can then be clicked
    QScrollArea* list = ask->ChannelList;
    QVERIFY(list->verticalScrollBar()->isVisible());
    QCheckBox* last = ask->CheckBoxes.back();
    list->ensureWidgetVisible(last);
    QApplication::processEvents();
    const QRect shown(last->mapTo(list->viewport(), QPoint(0, 0)), last->size());
    QVERIFY(list->viewport()->rect().contains(shown));
    QTest::mouseClick(last, Qt::LeftButton, Qt::NoModifier, QPoint(8, last->height() / 2));
    QVERIFY(!last->isChecked());
    if (qEnvironmentVariableIsSet("MORVANE_SHOTS"))
        ask->grab().save(qEnvironmentVariable("MORVANE_SHOTS") + QStringLiteral("/ask-60.png"));
    QTest::mouseClick(ask->LoadButton, Qt::LeftButton);
    SettleDeletes();
    QCOMPARE(form.WindowCount(), 32);  // 59 ticked, 32 fit; said once
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>({"Too many Data!"}));
}
