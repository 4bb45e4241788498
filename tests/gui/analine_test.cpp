// Window tests of the line analysis: the four modes, the mouse on the image and the
// markers, typed values, the cursors and their table, data and pictures written and
// copied, roughness, the dual line with a dropped image, the settings and the life of
// the window with its image window.
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QSvgRenderer>
#include <QTableWidget>
#include <QTimer>

#include "GuiTest.h"
#include "analysis/ProfileOutput.h"
#include "analysis/Roughness.h"
#include "app/AnaLineForm.h"
#include "app/EditColours.h"
#include "app/LongRun.h"
#include "analysis/LineProfile.h"

using namespace guitest;

namespace {

TAnaLineForm* OpenLine(TMainForm& form, QAction* item) {
    const auto before = form.findChildren<TAnaLineForm*>();
    item->trigger();
    QCoreApplication::processEvents();
    for (TAnaLineForm* f : form.findChildren<TAnaLineForm*>())
        if (!before.contains(f)) return f;
    return nullptr;
}

void Click(QWidget* w, QPoint pos) {
    Mouse(w, QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton);
    Mouse(w, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
}

void Type(QLineEdit* e, const QString& text) {
    e->setFocus();
    e->selectAll();
    QTest::keyClicks(e, text);
    QTest::keyClick(e, Qt::Key_Return);
}

// The clipboard's text; line ends compared without their carriage returns, which the
// X clipboard may drop.
QString Clip() { return QGuiApplication::clipboard()->text().remove(QLatin1Char('\r')); }

QString Cell(QTableWidget* g, int r, int c = 1) { return g->item(r, c)->text(); }

}  // namespace

class TAnaLineTest : public QObject {
    Q_OBJECT
private slots:
    void modesMouseAndTypedValues();
    void cursorsTableAndRoughness();
    void dataAndPicturesOut();
    void dualLineWithADroppedImage();
    void settingsAndLifeWithTheImageWindow();
    void labelsClearOfTheTablesAtTheMinimumSize();
    void stoppedArcAverageGoesBackToTheShownProfile();
};

void TAnaLineTest::modesMouseAndTypedValues() {
    TFixture fx;
    TMainForm form;
    form.resize(1200, 900);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TMDIChild* w = form.Current();
    TAnaLineForm* f = OpenLine(form, form.Line1);
    QVERIFY(f);
    QCOMPARE(f->windowTitle(), w->windowTitle());
    QVERIFY(!f->SubWindow()->isMaximized());  // a normal window beside the image
    QVERIFY(!f->Image3->isVisible());
    QCOMPARE(f->Image1->width(), f->Image1->height());
    QVERIFY(f->Image2->y() > f->Image1->geometry().bottom());

    // row: the profile of displayed row R is stored row Rows-1-R
    QCOMPARE(f->ComboBox1->currentIndex(), 0);
    QCOMPARE(f->Profile.Count, 512);
    Click(f->Image1, QPoint(10, f->Image1->height() / 4));
    const int R = f->RowIndex;
    QCOMPARE(R, static_cast<int>(std::nearbyint(f->Image1->height() / 4 * 512.0 / f->Image1->height())));
    QCOMPARE(f->Edit2->text(), QString::number(R));
    QCOMPARE(f->Profile.Z[100], w->Picture.Data[511 - R][100]);
    QCOMPARE(f->Label1->text(), QStringLiteral("[nm]"));
    QCOMPARE(f->Label4->text(), QStringLiteral("Pixel"));

    // width: not an integer turns red; a number re-averages
    Type(f->Edit1, QStringLiteral("x"));
    QCOMPARE(EditState(f->Edit1), TEditState::Rejected);
    Type(f->Edit1, QStringLiteral("5"));
    QCOMPARE(f->LineWidth, 5);
    QCOMPARE(EditState(f->Edit1), TEditState::Standard);
    Type(f->Edit2, QStringLiteral("20,4"));
    QCOMPARE(f->RowIndex, 20);
    QCOMPARE(EditState(f->Edit2), TEditState::Accepted);
    Type(f->Edit2, QStringLiteral("abc"));
    QCOMPARE(EditState(f->Edit2), TEditState::Rejected);
    QCOMPARE(f->RowIndex, 20);
    Shot(&form, "line-row.png");

    // col
    f->ComboBox1->setCurrentIndex(1);
    QCOMPARE(f->Label2->text(), QStringLiteral("number"));
    QCOMPARE(f->Profile.Count, 512);
    Click(f->Image1, QPoint(f->Image1->width() / 2, 5));
    QCOMPARE(f->ColIndex, 256);
    QCOMPARE(f->Profile.X[0], 256);

    // any: markers instead of the number field; dragging a marker moves the point
    f->ComboBox1->setCurrentIndex(2);
    QVERIFY(!f->Edit2->isVisible());
    QVERIFY(f->Panel1->isVisible() && f->Panel2->isVisible());
    QCOMPARE(f->Label6->palette().color(QPalette::Window), QColor(0, 255, 0));
    const TAnyLine before = f->AnyLine;
    const QPoint target(f->Image1->width() * 3 / 4, f->Image1->height() / 2);
    // the drag position relative to the marker: the new centre lands under target - 4 + 4
    const QPoint rel = target - (f->Panel2->pos() - f->Image1->pos()) + QPoint(4, 4) - QPoint(4, 4);
    Mouse(f->Panel2, QEvent::MouseMove, rel + QPoint(4, 4), Qt::NoButton, Qt::LeftButton);
    QVERIFY(f->AnyLine.X2 != before.X2 || f->AnyLine.Y2 != before.Y2);
    QVERIFY(std::abs(f->AnyLine.X2 - 384) <= 2);
    QVERIFY(std::abs(f->AnyLine.Y2 - 256) <= 2);
    QCOMPARE(f->HintText, QStringLiteral("right: x/y [Pixel] : %1/%2").arg(f->AnyLine.X2).arg(f->AnyLine.Y2));
    QVERIFY(f->Profile.Count > 300);
    QVERIFY(std::abs(f->Panel2->x() + 4 - f->Image1->x() - target.x()) <= 2);
    Shot(&form, "line-any.png");

    // radial: the angle by mouse and typed, brought into 0..360
    f->ComboBox1->setCurrentIndex(3);
    QCOMPARE(f->Label2->text(), QStringLiteral("angle"));
    QCOMPARE(f->Label4->text(), QString::fromLatin1("\xb0"));
    QCOMPARE(f->Profile.Count, 256);
    Type(f->Edit2, QStringLiteral("400"));
    QCOMPARE(f->Angle, 40.0f);
    Type(f->Edit2, QStringLiteral("-30"));
    QCOMPARE(f->Angle, 330.0f);
    Click(f->Image1, QPoint(f->Image1->width() / 2, 3));  // straight up
    QCOMPARE(f->Angle, 90.0f);
    QCOMPARE(f->Edit2->text(), QStringLiteral("90"));
    QVERIFY(fx.Messages.Shown.empty());
}

void TAnaLineTest::cursorsTableAndRoughness() {
    TFixture fx;
    TMainForm form;
    form.resize(1200, 900);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TAnaLineForm* f = OpenLine(form, form.Line1);
    QVERIFY(f);
    Type(f->Edit2, QStringLiteral("100"));
    const int pw = f->Image2->width();
    Click(f->Image2, QPoint(pw / 4, 10));
    QCOMPARE(f->Cursors.Selected, 0);
    QVERIFY(f->Cursors.C[0].Active);
    QVERIFY(!Cell(f->StringGrid1, 0).isEmpty());
    QVERIFY(Cell(f->StringGrid1, 3).isEmpty());
    QVERIFY(Cell(f->StringGrid1, 6).isEmpty());  // one cursor: no differences
    Click(f->Image2, QPoint(pw * 3 / 4, 10));
    QCOMPARE(f->Cursors.Selected, 1);
    const auto want = MeasurementValues(f->Profile, f->Cursors, *f->Source);
    for (int r = 0; r < 11; ++r) QCOMPARE(Cell(f->StringGrid1, r), Latin1ToQt(want[static_cast<size_t>(r)]));
    QVERIFY(Cell(f->StringGrid1, 10).endsWith(QStringLiteral(" nm")));
    QCOMPARE(Cell(f->StringGrid1, 9, 0), QStringLiteral("dXY"));
    QCOMPARE(f->StringGrid1->item(0, 0)->background().color(), QColor(255, 0, 0));
    QCOMPARE(f->StringGrid1->item(4, 0)->background().color(), QColor(0, 255, 0));

    // keys on Edit4: Right steps the selected cursor, Space switches
    const int s = f->Cursors.C[1].Sample;
    QTest::keyClick(f->Edit4, Qt::Key_Right);
    QCOMPARE(f->Cursors.C[1].Sample, s + 1);
    QTest::keyClick(f->Edit4, Qt::Key_Space);
    QCOMPARE(f->Cursors.Selected, 0);
    QTest::keyClick(f->Edit4, Qt::Key_Left);
    // the red cursor shows on the plot
    const TCursor& c0 = f->Cursors.C[0];
    QCOMPARE(f->PlotImage().pixelColor(c0.X - 3, c0.Y), QColor(255, 0, 0));

    // the copied table
    f->CopyData3Item->trigger();
    const QString table = Clip();
    QVERIFY(table.startsWith(QStringLiteral("X \t") + Cell(f->StringGrid1, 0) + QStringLiteral("\n")));
    QCOMPARE(table.count(QStringLiteral("\n")), 11);

    // roughness
    QVERIFY(!f->StringGrid2->isVisible());
    QTest::mouseClick(f->RoughnessButton, Qt::LeftButton);
    QVERIFY(f->StringGrid2->isVisible());
    const auto texts = RoughnessTexts(EvaluateRoughness(f->Profile.Z, f->Profile.Count), "nm");
    for (int r = 0; r < 6; ++r) {
        QCOMPARE(Cell(f->StringGrid2, r, 0), Latin1ToQt(RoughnessNames()[static_cast<size_t>(r)]));
        QCOMPARE(Cell(f->StringGrid2, r), Latin1ToQt(texts[static_cast<size_t>(r)]));
    }
    Shot(&form, "line-cursors-roughness.png");
    f->CopyData2Item->trigger();
    QVERIFY(Clip().startsWith(QStringLiteral("Ra\t")));

    // moving the line deselects the cursors
    Type(f->Edit2, QStringLiteral("300"));
    QCOMPARE(f->Cursors.Selected, -1);
    QVERIFY(!f->Cursors.C[0].Active && !f->Cursors.C[1].Active);

    // an axis label edited by hand
    QTest::mouseClick(f->Label5, Qt::LeftButton);
    QVERIFY(f->Edit3->isVisible());
    f->Edit3->selectAll();
    QTest::keyClicks(f->Edit3, QStringLiteral("start"));
    QTest::keyClick(f->Edit3, Qt::Key_Return);
    QCOMPARE(f->Label5->text(), QStringLiteral("start"));
    QVERIFY(!f->Edit3->isVisible());

    // every mode with both cursors and the roughness table, as a user sees it
    const char* shots[] = {"line-mode-row.png", "line-mode-col.png", "line-mode-any.png", "line-mode-radial.png"};
    Type(f->Edit1, QStringLiteral("9"));
    for (int mode = 0; mode < 4; ++mode) {
        f->ComboBox1->setCurrentIndex(mode);
        const int w2 = f->Image2->width();
        Click(f->Image2, QPoint(w2 / 5, 10));
        Click(f->Image2, QPoint(w2 * 4 / 5, 10));
        QTest::mouseClick(f->RoughnessButton, Qt::LeftButton);
        QVERIFY(f->Cursors.C[0].Active && f->Cursors.C[1].Active);
        QVERIFY(!Cell(f->StringGrid1, 10).isEmpty());
        Shot(&form, shots[mode]);
    }

    // Analyse > Roughness on the image
    form.Roughness1->trigger();
    const TImageStats st = ImageStatistics(form.Current()->Picture);
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>{ImageStatisticsText(st, "nm")});
}

void TAnaLineTest::dataAndPicturesOut() {
    TFixture fx;
    TMainForm form;
    form.resize(1200, 900);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TAnaLineForm* f = OpenLine(form, form.Line1);
    QVERIFY(f);
    f->CopyCrosssectionItem->trigger();
    QCOMPARE(Clip(), Latin1ToQt(ProfileClipboardText(f->Profile)).remove(QLatin1Char('\r')));
    f->CopyPlotItem->trigger();
    QCOMPARE(QGuiApplication::clipboard()->image().size(), f->Image2->size());

    QString proposed;
    auto answer = [&](const QString& name, int index) {
        f->SaveDialogHook = [&, name, index](QString& file, int& filterIndex) {
            proposed = file;
            file = fx.Dir() + QLatin1Char('/') + name;
            filterIndex = index;
            return true;
        };
    };
    answer(QStringLiteral("prof"), 1);
    f->SaveDataItem->trigger();
    QVERIFY(proposed.endsWith(QLatin1Char('/') + f->windowTitle().section(QLatin1Char('.'), 0, 0)));
    QVERIFY(!proposed.contains(QStringLiteral(".int")));
    const QString dat = fx.Dir() + QStringLiteral("/prof.dat");
    QFile file(dat);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().toStdString(), ProfileDatText(f->Profile));
    file.close();
    QCOMPARE(fx.ReadSettings()->ReadString("Save", "Path", ""), QtToLatin1(fx.Dir() + QLatin1Char('/')));
    // a second save under the same plain name is refused
    f->SaveDataItem->trigger();
    QCOMPARE(fx.Messages.Texts(), std::vector<std::string>{"File exist! Save Canceled!"});
    fx.Messages.Clear();

    answer(QStringLiteral("pic"), 2);
    f->SaveDataItem->trigger();
    QImage bmp(fx.Dir() + QStringLiteral("/pic.bmp"));
    QCOMPARE(bmp.size(), f->Image1->size());
    answer(QStringLiteral("plot"), 3);
    f->SaveDataItem->trigger();
    QFile svg(fx.Dir() + QStringLiteral("/plot.svg"));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    const QByteArray drawing = svg.readAll();
    QVERIFY(drawing.contains("<svg"));
    QVERIFY(drawing.contains(f->Label7->text().toUtf8()));
    QVERIFY(drawing.contains("[nm]"));
    {
        // the drawing as a viewer shows it
        QSvgRenderer renderer(drawing);
        QVERIFY(renderer.isValid());
        QImage look(renderer.defaultSize(), QImage::Format_RGB32);
        look.fill(Qt::white);
        QPainter p(&look);
        renderer.render(&p);
        p.end();
        const QByteArray dir = qgetenv("MORVANE_SHOTS");
        if (!dir.isEmpty()) look.save(QString::fromLocal8Bit(dir) + QStringLiteral("/line-plot-svg.png"));
        // the plot sits right of a text margin, framed in grey, white inside
        QFont labels = f->Label7->font();
        labels.setPixelSize(QFontInfo(labels).pixelSize());
        const QFontMetrics fm(labels);
        const int tw = fm.horizontalAdvance(QStringLiteral("1,234E-2"));
        QCOMPARE(renderer.viewBox(), QRect(0, 0, f->Image2->width() + tw, f->Image2->height() + fm.height() + 4));
        QCOMPARE(look.pixelColor(look.width() - 1, look.height() / 3).red(), look.pixelColor(look.width() - 1, look.height() / 3).blue());
        QVERIFY(look.pixelColor(look.width() - 1, look.height() / 3) != QColor(Qt::white));
    }
    answer(QStringLiteral("curve"), 1);
    f->SavePictureAswmfItem->trigger();
    QVERIFY(QFile::exists(fx.Dir() + QStringLiteral("/curve.svg")));
    answer(QStringLiteral("plot2.bmp"), 1);
    f->SavePlotBmpItem->trigger();
    QCOMPARE(QImage(fx.Dir() + QStringLiteral("/plot2.bmp")).size(), f->Image2->size());
    QVERIFY(fx.Messages.Shown.empty());
}

void TAnaLineTest::dualLineWithADroppedImage() {
    TFixture fx;
    TMainForm form;
    form.resize(1200, 900);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    const auto windows = Windows(form);
    QCOMPARE(windows.size(), size_t(2));
    TMDIChild* first = form.Current();
    TMDIChild* other = windows[0] == first ? windows[1] : windows[0];
    TAnaLineForm* f = OpenLine(form, form.DualLine1);
    QVERIFY(f);
    QVERIFY(f->DualWindow);
    QVERIFY(!f->SubWindow()->isMaximized());
    QVERIFY(!f->RoughnessButton->isVisible());
    QVERIFY(f->Image3->isVisible());
    QCOMPARE(f->Image3->toolTip(), QStringLiteral("use drag and drop"));
    QCOMPARE(f->Image3->x(), f->Image1->geometry().right() + 1 + 50);
    QCOMPARE(f->Image2->width(), 2 * f->Image1->width() + 50);
    QVERIFY(!f->Profile.HasSecond);

    // something that is no image window changes nothing
    {
        QMimeData mime;
        mime.setText(QStringLiteral("hello"));
        QVERIFY(!f->DropData(&mime, f->Image3));
        QVERIFY(!f->HasSecond);
    }
    // the image window's picture, as its drag carries it
    {
        QMimeData mime;
        mime.setData(QString::fromLatin1(WindowMimeType), QByteArray::number(other->WindowNumber));
        QVERIFY(f->DropData(&mime, nullptr));
    }
    QVERIFY(f->HasSecond);
    QVERIFY(f->Profile.HasSecond);
    QVERIFY(f->Image3->toolTip().isEmpty());
    Type(f->Edit2, QStringLiteral("77"));
    for (int i : {0, 100, 511}) QCOMPARE(f->Profile.Z2[static_cast<size_t>(i)], other->Picture.Data[511 - 77][i]);
    // a cursor clicked next to the second curve sits on it
    const int k = 200;
    const int x = f->Plot.PointX(k);
    const int y2 = f->Plot.CursorY(f->Profile.Z2[k]), y1 = f->Plot.CursorY(f->Profile.Z[k]);
    if (y1 != y2) {
        Click(f->Image2, QPoint(x, y2));
        QCOMPARE(f->Cursors.C[0].Curve, 1);
    }
    Shot(&form, "line-dual-row.png");
    f->ComboBox1->setCurrentIndex(2);
    for (int i = 0; i < f->Profile.Count; ++i)
        QCOMPARE(f->Profile.Z2[static_cast<size_t>(i)],
                 other->Picture.Data[511 - f->Profile.Y[static_cast<size_t>(i)]][f->Profile.X[static_cast<size_t>(i)]]);
    f->ComboBox1->setCurrentIndex(3);
    QCOMPARE(f->Profile.Count, 256);
    Shot(&form, "line-dual-radial.png");
    f->CopyCrosssectionItem->trigger();
    QCOMPARE(Clip().split(QLatin1Char('\n'))[0].count(QLatin1Char('\t')), 2);
    QVERIFY(fx.Messages.Shown.empty());
}

void TAnaLineTest::settingsAndLifeWithTheImageWindow() {
    TFixture fx;
    {
        TMainForm form;
        form.show();
        QVERIFY(OpenAndLoad(form, DemoFile()));
        TAnaLineForm* f = OpenLine(form, form.Line1);
        QVERIFY(f);
        f->ComboBox1->setCurrentIndex(1);
        Type(f->Edit1, QStringLiteral("3"));
        Type(f->Edit2, QStringLiteral("42"));
        f->ComboBox1->setCurrentIndex(2);
        f->AnyLine = {5, 6, 70, 80};
        QTest::mouseClick(f->Button1, Qt::LeftButton);
        SettleDeletes();
        QVERIFY(form.findChildren<TAnaLineForm*>().isEmpty());
        auto ini = fx.ReadSettings();
        QCOMPARE(ini->ReadInteger("AnaLine", "Dir", -1), 2);
        QCOMPARE(ini->ReadInteger("AnaLine", "Width", -1), 3);
        QCOMPARE(ini->ReadString("AnaLine", "Number", ""), std::string("42"));
        QCOMPARE(ini->ReadInteger("AnaLine", "AnyPoint2Y", -1), 80);
    }
    TMainForm form;
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TMDIChild* w = form.Current();
    TAnaLineForm* f = OpenLine(form, form.Line1);
    QVERIFY(f);
    QCOMPARE(f->ComboBox1->currentIndex(), 2);
    QCOMPARE(f->LineWidth, 3);
    QCOMPARE(f->Edit1->text(), QStringLiteral("3"));
    QCOMPARE(f->RowIndex, 42);
    QCOMPARE(f->AnyLine.X1, 5);
    QCOMPARE(f->AnyLine.Y2, 80);
    QCOMPARE(f->Profile.X[0], 5);
    // closing the image window closes the line window
    QPointer<TAnaLineForm> guard(f);
    QPointer<TAnaLineForm> dual(OpenLine(form, form.DualLine1));
    QVERIFY(dual);
    form.MakeCurrent(w);
    w->SubWindow()->close();
    SettleDeletes();
    QVERIFY(guard.isNull());
    QVERIFY(dual.isNull());
    QVERIFY(fx.Messages.Shown.empty());
}

void TAnaLineTest::labelsClearOfTheTablesAtTheMinimumSize() {
    TFixture fx;
    TMainForm form;
    form.resize(1200, 900);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TMDIChild* w = form.Current();
    for (QAction* item : {form.Line1, form.DualLine1}) {
        form.MdiArea->setActiveSubWindow(w->SubWindow());
        TAnaLineForm* f = OpenLine(form, item);
        QVERIFY(f);
        QWidget* sub = f->parentWidget();
        sub->showNormal();
        sub->resize(sub->size() - f->size() + f->minimumSize());
        QCoreApplication::processEvents();
        QCOMPARE(f->size(), QSize(600, 500));
        for (QLabel* l : {f->Label7, f->Label8, f->Label9}) {
            QVERIFY2(!l->geometry().intersects(f->StringGrid1->geometry()), qPrintable(l->text()));
            QVERIFY(l->geometry().right() < f->Image2->x());
        }
        QVERIFY(f->Image2->geometry().right() < f->width());
        // the short number format of the rest of the program
        for (QLabel* l : {f->Label6, f->Label7, f->Label9})
            QVERIFY2(l->text().remove(QLatin1Char('-')).size() <= 6, qPrintable(l->text()));
        Shot(f, item == form.Line1 ? "line_min.png" : "dual_min.png");
        sub->close();
        SettleDeletes();
    }
}

QTEST_MAIN(TAnaLineTest)

// "Cancel" of the progress shown while the arc average runs: the window goes back to
// the profile it showed (mode and width as they were), the image untouched, and the
// next average goes through; closing the window in the middle stops the run first.
void TAnaLineTest::stoppedArcAverageGoesBackToTheShownProfile() {
    TFixture fx;
    TMainForm form;
    form.resize(1200, 900);
    form.show();
    QVERIFY(OpenAndLoad(form, DemoFile()));
    TMDIChild* w = form.Current();
    const std::vector<float> source = Samples(w->Picture);
    QPointer<TAnaLineForm> f = OpenLine(form, form.Line1);
    QVERIFY(f);
    f->ComboBox1->setCurrentIndex(1);
    Type(f->Edit1, QStringLiteral("3"));
    TLongRun::ShowAfterMs = 0;
    int stops = 0;
    const auto stopAtFirstProgress = [&](const char* shot) {
        QTimer::singleShot(0, f, [&, shot] {
            auto* d = f ? f->findChild<QProgressDialog*>(QStringLiteral("RunProgress")) : nullptr;
            QVERIFY(d && d->isVisible() && f->Busy());
            if (shot) ScreenShot(shot);
            ++stops;
            QTest::mouseClick(d->findChild<QPushButton*>(), Qt::LeftButton);
        });
    };
    // mode, width, profile and average as shown
    const auto shown = [&] {
        return std::make_tuple(f->ComboBox1->currentIndex(), f->Edit1->text(), Samples(f->AvgImage),
                               std::vector<float>(f->Profile.Z.begin(), f->Profile.Z.begin() + f->Profile.Count));
    };

    // from column averages to arcs, stopped: the columns again
    const auto columns = shown();
    stopAtFirstProgress("line-radial-running.png");
    f->ComboBox1->setCurrentIndex(3);
    QCOMPARE(stops, 1);
    QVERIFY(!f->Busy() && f->findChild<QProgressDialog*>() == nullptr);
    QVERIFY(shown() == columns);
    QVERIFY(Samples(w->Picture) == source);

    // the arcs again, to the end: the model's average
    f->ComboBox1->setCurrentIndex(3);
    TQTVPicture arcs;
    AverageArc(w->Picture, 3, arcs);
    QVERIFY(Samples(f->AvgImage) == Samples(arcs));
    const auto radial = shown();
    QCOMPARE(std::get<0>(radial), 3);

    // a wider arc stopped: the narrow one stays without being averaged again
    stopAtFirstProgress(nullptr);
    Type(f->Edit1, QStringLiteral("40"));
    QCOMPARE(stops, 2);
    QVERIFY(shown() == radial);

    // closing the window while it averages
    QTimer::singleShot(0, f, [&] {
        if (f && f->Busy()) f->SubWindow()->close();
    });
    Type(f->Edit1, QStringLiteral("40"));
    SettleDeletes();
    QVERIFY(f.isNull());
    QVERIFY(Samples(w->Picture) == source);
    QVERIFY(fx.Messages.Shown.empty());
    TLongRun::ShowAfterMs = 250;
}

#include "analine_test.moc"
