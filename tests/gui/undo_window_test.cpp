// Undo and redo in the windows (Edit menu and keys), the "*" of a changed image, and
// the questions before changed images are closed or the program ends.
#include <QMessageBox>
#include <QTimer>

#include "GuiTest.h"

using namespace guitest;

namespace {

// Answers the next close question box with button (its text kept in text).
void AnswerNextQuestion(QMessageBox::StandardButton button, QString* text = nullptr, QString* saveText = nullptr) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, button, text, saveText] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box->objectName() != QLatin1String("CloseQuestion")) return;
        timer->stop();
        timer->deleteLater();
        if (text) *text = box->text();
        if (saveText) *saveText = box->button(QMessageBox::Save)->text();
        box->button(button)->click();
    });
    timer->start();
}

QString OpenScan(TMainForm& form, const TFixture& fx, const QString& name) {
    const QString path = WriteScan(fx.Dir(), name + QStringLiteral(".txt"), 12, 10, 50.0,
                                   {TChannel{(name + QStringLiteral(".sin")).toStdString(), "", "nm", 1.0,
                                             Ramp(12, 10, 0.25f, -3.0f)}});
    return OpenAndLoad(form, path) ? Title(form.Current()) : QString();
}

bool WindowListHas(TMainForm& form, const QString& entry) {
    emit form.WindowMenu->aboutToShow();
    for (QAction* a : form.WindowMenu->actions())
        if (a->text().endsWith(QLatin1Char(' ') + entry)) return true;
    return false;
}

}  // namespace

class TUndoWindowTest : public QObject {
    Q_OBJECT
private slots:
    void inverseUndoneAndRedoneThroughMenuAndKeys();
    void takeOverOfADialogUndone();
    void closeQuestionAndItsThreeAnswers();
    void exitAsksOnceListingTheChangedImages();
};

void TUndoWindowTest::inverseUndoneAndRedoneThroughMenuAndKeys() {
    TFixture fx;
    int questions = 0;
    CloseQuestionHook = [&questions](const QString&) {
        ++questions;
        return TCloseAnswer::Cancel;
    };
    TMainForm form;
    form.show();
    const QString title = OpenScan(form, fx, QStringLiteral("inv"));
    TMDIChild* w = form.Current();
    QVERIFY(w);
    const std::vector<float> before = Samples(w->Picture);
    QVERIFY(!form.UndoItem->isEnabled());
    QVERIFY(!form.RedoItem->isEnabled());
    QCOMPARE(ShownTitle(w->SubWindow()), title);

    form.Invers1->trigger();
    QCOMPARE(form.UndoItem->text(), QStringLiteral("&Undo Inverse"));
    QVERIFY(form.UndoItem->isEnabled());
    QCOMPARE(ShownTitle(w->SubWindow()), title + QLatin1Char('*'));
    QVERIFY(WindowListHas(form, title + QLatin1Char('*')));
    QCOMPARE(w->History.back(), std::string("invert"));

    QVERIFY(Activate(form));
    QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(Samples(w->Picture), before);
    QVERIFY(w->History.empty());
    QVERIFY(!form.UndoItem->isEnabled());
    QCOMPARE(form.RedoItem->text(), QStringLiteral("&Redo Inverse"));
    QCOMPARE(ShownTitle(w->SubWindow()), title);  // back to the state opened
    QVERIFY(WindowListHas(form, title));

    QTest::keyClick(&form, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(w->Picture.Data[0][1], -before[1]);
    QCOMPARE(ShownTitle(w->SubWindow()), title + QLatin1Char('*'));
    form.UndoItem->trigger();
    QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(w->History, std::vector<std::string>{"invert"});
    form.UndoItem->trigger();
    Shot(&form, "undo-edit-menu.png");

    // unchanged again: closes without a question
    QTest::keyClick(&form, Qt::Key_W, Qt::ControlModifier);
    SettleDeletes();
    QCOMPARE(questions, 0);
    QCOMPARE(form.WindowCount(), 0);
    QVERIFY(!form.UndoItem->isEnabled());
}

void TUndoWindowTest::takeOverOfADialogUndone() {
    TFixture fx;
    TMainForm form;
    form.show();
    OpenScan(form, fx, QStringLiteral("take"));
    TMDIChild* w = form.Current();
    const std::vector<float> before = Samples(w->Picture);
    const float min = w->Picture.Min, max = w->Picture.Max;

    TFilterForm* f = OpenForm(form, form.Zoom1);
    QVERIFY(f);
    Mouse(f->Image2, QEvent::MouseButtonPress, PreviewAt(f, 2, 2), Qt::LeftButton, Qt::LeftButton);
    Mouse(f->Image2, QEvent::MouseMove, PreviewAt(f, 8, 7), Qt::NoButton, Qt::LeftButton);
    Mouse(f->Image2, QEvent::MouseButtonRelease, PreviewAt(f, 8, 7), Qt::LeftButton, Qt::NoButton);
    QTest::mouseClick(f->Button4, Qt::LeftButton);
    QTest::mouseClick(f->Button3, Qt::LeftButton);
    SettleDeletes();
    QVERIFY(w->Picture.Cols < 12);
    const std::vector<float> after = Samples(w->Picture);
    const std::vector<std::string> history = w->History;
    QCOMPARE(form.UndoItem->text(), QStringLiteral("&Undo Zoom"));

    form.UndoItem->trigger();
    QCOMPARE(w->Picture.Cols, 12);
    QCOMPARE(Samples(w->Picture), before);
    QCOMPARE(w->Picture.Min, min);
    QCOMPARE(w->Picture.Max, max);
    QVERIFY(w->History.empty());
    QVERIFY(!w->IsModified());
    form.RedoItem->trigger();
    QCOMPARE(Samples(w->Picture), after);
    QCOMPARE(w->History, history);
}

void TUndoWindowTest::closeQuestionAndItsThreeAnswers() {
    TFixture fx;
    CloseQuestionHook = nullptr;  // the real question box, answered below
    TMainForm form;
    form.show();
    const QString title = OpenScan(form, fx, QStringLiteral("ask"));
    TMDIChild* w = form.Current();
    form.Invers1->trigger();
    QVERIFY(w->IsModified());

    // Cancel, through File > Close: the window stays
    QString text;
    AnswerNextQuestion(QMessageBox::Cancel, &text);
    form.FileCloseItem->trigger();
    SettleDeletes();
    QCOMPARE(text, QStringLiteral("Save changes to \"%1\" before closing?").arg(title));
    QCOMPARE(form.WindowCount(), 1);

    // Save, with Save As cancelled: the window stays (the close box this time)
    int saves = 0;
    form.Hooks.SaveAs = [&saves](QString&, int&) {
        ++saves;
        return false;
    };
    AnswerNextQuestion(QMessageBox::Save);
    w->SubWindow()->close();
    SettleDeletes();
    QCOMPARE(saves, 1);
    QCOMPARE(form.WindowCount(), 1);

    // Save, written: the window goes ("Close all")
    const QString target = fx.Dir() + QStringLiteral("/kept.txt");
    form.Hooks.SaveAs = [&target](QString& file, int& index) {
        file = target;
        index = 2;
        return true;
    };
    AnswerNextQuestion(QMessageBox::Save);
    form.CloseAllItem->trigger();
    SettleDeletes();
    QCOMPARE(form.WindowCount(), 0);
    QVERIFY(QFile::exists(target));

    // Discard: the window goes, nothing written
    OpenScan(form, fx, QStringLiteral("gone"));
    form.Invers1->trigger();
    form.Hooks.SaveAs = [&saves](QString&, int&) {
        ++saves;
        return false;
    };
    AnswerNextQuestion(QMessageBox::Discard);
    QVERIFY(Activate(form));
    QTest::keyClick(&form, Qt::Key_W, Qt::ControlModifier);
    SettleDeletes();
    QCOMPARE(form.WindowCount(), 0);
    QCOMPARE(saves, 1);

    // an image saved in the measurement format is unchanged
    OpenScan(form, fx, QStringLiteral("saved"));
    form.Invers1->trigger();
    // a save refused (the file exists already) leaves the image changed
    form.Hooks.SaveAs = [&target](QString& file, int& index) {
        file = target;
        index = 3;
        return true;
    };
    form.FileSaveAsItem->trigger();
    QVERIFY(form.Current()->IsModified());
    const QString fresh = fx.Dir() + QStringLiteral("/fresh.txt");
    form.Hooks.SaveAs = [&fresh](QString& file, int& index) {
        file = fresh;
        index = 3;
        return true;
    };
    form.FileSaveAsItem->trigger();
    QVERIFY(!form.Current()->IsModified());
    CloseQuestionHook = [](const QString&) -> TCloseAnswer { throw std::logic_error("asked"); };
    form.FileCloseItem->trigger();
    SettleDeletes();
    QCOMPARE(form.WindowCount(), 0);
}

void TUndoWindowTest::exitAsksOnceListingTheChangedImages() {
    TFixture fx;
    CloseQuestionHook = nullptr;
    TMainForm form;
    form.show();
    const QString a = OpenScan(form, fx, QStringLiteral("first"));
    form.Invers1->trigger();
    const QString b = OpenScan(form, fx, QStringLiteral("second"));
    form.Invers1->trigger();
    const QString c = OpenScan(form, fx, QStringLiteral("third"));  // unchanged

    QString text, saveText;
    AnswerNextQuestion(QMessageBox::Cancel, &text, &saveText);
    form.FileExitItem->trigger();
    QVERIFY(form.isVisible());
    QCOMPARE(form.WindowCount(), 3);
    QVERIFY(text.contains(QLatin1Char('\n') + a));
    QVERIFY(text.contains(QLatin1Char('\n') + b));
    QVERIFY(!text.contains(c));
    QCOMPARE(saveText, QStringLiteral("Save all\u2026"));

    // Save all: Save As for each changed image; the first cancelled keeps the program
    QStringList asked;
    form.Hooks.SaveAs = [&asked](QString& file, int&) {
        asked << file;
        return false;
    };
    AnswerNextQuestion(QMessageBox::Save);
    form.close();
    QVERIFY(form.isVisible());
    QCOMPARE(asked.size(), 1);

    form.Hooks.SaveAs = [&asked, &fx](QString& file, int& index) {
        file = fx.Dir() + QStringLiteral("/out%1.txt").arg(asked.size());
        index = 2;
        asked << file;
        return true;
    };
    AnswerNextQuestion(QMessageBox::Save);
    form.close();
    QVERIFY(!form.isVisible());
    QCOMPARE(asked.size(), 3);
    QVERIFY(QFile::exists(asked[1]) && QFile::exists(asked[2]));
}

QTEST_MAIN(TUndoWindowTest)
#include "undo_window_test.moc"
