#include "app/ArithForm.h"

#include "processing/History.h"
#include "processing/Operations.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>

#include <QMdiArea>
#include <QScreen>

#include <algorithm>

#include "app/PictureImage.h"
#include "app/MainForm.h"
#include "app/QtMessageSink.h"
#include "core/Display.h"
#include "core/Errors.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "core/Settings.h"
#include "processing/Arithmetic.h"

// ---------------------------------------------------------------- pictures

TDropPicture::TDropPicture(QWidget* parent, bool dropTarget) : QWidget(parent)
{
    setAcceptDrops(dropTarget);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void TDropPicture::SetPicture(const QImage& image)
{
    image_ = image;
    update();
}

void TDropPicture::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (image_.isNull()) {
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        return;
    }
    p.drawImage(rect(), image_);
}

void TDropPicture::mousePressEvent(QMouseEvent*) { emit Clicked(); }

void TDropPicture::dragEnterEvent(QDragEnterEvent* e) { e->acceptProposedAction(); }  // ImageDragOver
void TDropPicture::dragMoveEvent(QDragMoveEvent* e) { e->acceptProposedAction(); }

void TDropPicture::dropEvent(QDropEvent* e)
{
    const QMimeData* mime = e->mimeData();
    if (!mime || !mime->hasFormat(QString::fromLatin1(WindowMimeType))) return;
    bool ok = false;
    const int number = mime->data(QString::fromLatin1(WindowMimeType)).toInt(&ok);
    if (!ok) return;
    e->acceptProposedAction();
    emit WindowDropped(number);
}

// ---------------------------------------------------------------- the form

TArithForm::TArithForm(TMainForm* main, TSettings* settings)
    : QWidget(main, Qt::Tool), main_(main), settings_(settings)
{
    // FormCreate
    setObjectName(QStringLiteral("ArithForm"));
    setWindowTitle(QStringLiteral("Arithmetic"));
    setProperty("helpTopic", 13);
    setFixedSize(676, 312);
    auto label = [&](const char* name, const QString& text, int x, int y, int w, int h) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(x, y, w, h);
        return l;
    };
    Image1 = new TDropPicture(this, true);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(8, 28, 201, 201);
    Image2 = new TDropPicture(this, true);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(245, 28, 201, 201);
    Image3 = new TDropPicture(this, false);
    Image3->setObjectName(QStringLiteral("Image3"));
    Image3->setGeometry(467, 28, 201, 201);
    Image3->setCursor(Qt::PointingHandCursor);
    for (TDropPicture* p : {Image1, Image2}) p->setToolTip(QStringLiteral("Drag an image window's picture here"));
    Image3->setToolTip(QStringLiteral("Click to compute"));

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    QFont big = Edit1->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    Edit1->setFont(big);
    Edit1->setAlignment(Qt::AlignCenter);
    Edit1->setGeometry(211, 108, 32, 40);
    Edit1->installEventFilter(this);
    Label1 = label("Label1", QStringLiteral("="), 448, 108, 18, 40);
    Label1->setFont(big);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->installEventFilter(this);

    Label2 = label("Label2", QString(), 8, 6, 201, 18);
    Label3 = label("Label3", QString(), 245, 6, 201, 18);
    label("ResultCaption", QStringLiteral("Result"), 467, 6, 201, 18);
    Label4 = label("Label4", QString(), 8, 232, 100, 18);
    Label5 = label("Label5", QString(), 109, 232, 100, 18);
    Label6 = label("Label6", QString(), 245, 232, 100, 18);
    Label7 = label("Label7", QString(), 346, 232, 100, 18);
    // the result's limits on one line, as the operands' are
    Label8 = label("Label8", QString(), 467, 232, 100, 18);
    Label9 = label("Label9", QString(), 568, 232, 100, 18);
    for (QLabel* l : {Label5, Label7, Label9}) l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    Button1 = new QPushButton(QStringLiteral("Use"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(584, 276, 84, 28);
    Button1->setEnabled(false);

    connect(Image1, &TDropPicture::WindowDropped, this, [this](int n) { SetOperand(1, main_->ImageWindow(n)); });
    connect(Image2, &TDropPicture::WindowDropped, this, [this](int n) { SetOperand(2, main_->ImageWindow(n)); });
    connect(Image3, &TDropPicture::Clicked, this, &TArithForm::Image3Click);
    connect(Button1, &QPushButton::clicked, this, &TArithForm::Button1Click);

    const std::string op = settings_ ? settings_->ReadString("Arithmetic", "Op", "/") : std::string("/");
    Edit1->setText(Latin1ToQt(" " + op));
}

void TArithForm::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    PlaceInWorkspace();
    FormShow();
}

void TArithForm::PlaceInWorkspace()
{
    if (!main_ || !main_->MdiArea) return;
    QWidget* area = main_->MdiArea->viewport();
    // the part of the workspace that is on the screen
    QRect work(area->mapToGlobal(QPoint(0, 0)), area->size());
    if (const QScreen* screen = area->screen()) work &= screen->availableGeometry();
    if (work.isEmpty()) return;
    const QRect frame = frameGeometry();
    if (work.contains(frame)) return;
    // in the bottom right corner, away from the image windows that open at the top
    // left and whose pictures are dragged onto it; the top left corner where the
    // workspace is too small (move places the frame)
    const QPoint at(std::max(work.left(), work.right() + 1 - 8 - frame.width()),
                    std::max(work.top(), work.bottom() + 1 - 8 - frame.height()));
    move(at);
}

void TArithForm::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(e);
}

void TArithForm::FormShow()
{
    const int n = main_->WindowCount();
    if (n < 2) return;
    // the two most recent windows of the table
    if (TMDIChild* w = main_->ImageWindow(n - 1)) SetOperand(1, w);
    if (TMDIChild* w = main_->ImageWindow(n - 2)) SetOperand(2, w);
    QApplication::processEvents();
    // computed at once only where it can be: operands of another size wait for the
    // user's choice rather than greet the opening with a message
    if (FirstWindow && SecondWindow && FirstWindow->Picture.Cols == SecondWindow->Picture.Cols &&
        FirstWindow->Picture.Rows == SecondWindow->Picture.Rows && !Operator().empty())
        Image3Click();
}

void TArithForm::SetOperand(int side, TMDIChild* window)
{
    Button1->setEnabled(false);
    QPointer<TMDIChild>& slot = side == 1 ? FirstWindow : SecondWindow;
    slot = window;
    TDropPicture* image = side == 1 ? Image1 : Image2;
    QLabel* caption = side == 1 ? Label2 : Label3;
    QLabel* low = side == 1 ? Label4 : Label6;
    QLabel* high = side == 1 ? Label5 : Label7;
    if (!window) {
        image->SetPicture(QImage());
        for (QLabel* l : {caption, low, high}) l->clear();
        return;
    }
    // a closed operand leaves its side empty (unless another window has taken the side)
    auto gone = [this, side](QObject* w) {
        const QPointer<TMDIChild>& s = side == 1 ? FirstWindow : SecondWindow;
        if (s.isNull() || static_cast<QObject*>(s.data()) == w) SetOperand(side, nullptr);
    };
    connect(window, &TMDIChild::Closed, this, [gone](TMDIChild* w) { gone(w); });
    connect(window, &QObject::destroyed, this, gone);
    caption->setText(window->windowTitle());
    image->SetPicture(window->Image1.isNull() ? RenderedImage(window->Picture) : window->Image1);
    low->setText(Latin1ToQt(window->MinText + " " + window->Picture.Para.PhysUnit));
    high->setText(Latin1ToQt(window->MaxText + " " + window->Picture.Para.PhysUnit));
}

bool TArithForm::ReportMissingOperand()
{
    if (!FirstWindow) {
        ShowMessage("The first image is missing: drop an image window's picture on the left field!");
        return true;
    }
    if (!SecondWindow) {
        ShowMessage("The second image is missing: drop an image window's picture on the middle field!");
        return true;
    }
    if (Operator().empty()) {
        ShowMessage(NoOperatorText);
        return true;
    }
    return false;
}

std::string TArithForm::Operator() const { return ArithmeticOperator(QtToLatin1(Edit1->text())); }

void TArithForm::Image3Click()
{
    if (ReportMissingOperand()) return;
    const std::string ops = QtToLatin1(Edit1->text());
    if (!ComputeArithmetic(FirstWindow->Picture, SecondWindow->Picture, ops, ResultPicture)) return;
    ResultPicture.FixedRange = 0;
    ResultPicture.Render();
    ResultHistory = FirstWindow->History;
    // the step naming the second image's file, or why a replay cannot compute it
    ResultHistory.push_back(ArithStepEntry(Operator(), *SecondWindow));
    Image3->SetPicture(RenderedImage(ResultPicture));
    // the short form of the z bar, as the operands' limits show
    const std::string& unit = ResultPicture.Para.PhysUnit;
    const TZBarLabels limits = ZBarLabels(ResultPicture.Min, ResultPicture.Max, false);
    Label8->setText(Latin1ToQt(limits.MinText + " " + unit));
    Label9->setText(Latin1ToQt(limits.MaxText + " " + unit));
    Button1->setEnabled(true);
}

void TArithForm::Button1Click()
{
    if (ReportMissingOperand()) return;
    if (!ResultPicture.HasData()) return;
    TMDIChild* first = FirstWindow;
    first->SyncScanInfo();
    TMDIChild* w = nullptr;
    try {
        w = main_->CreateImageWindow("Calculus");
        w->CreateImage(ResultPicture.Cols, ResultPicture.Rows);
        w->ScanInfo = first->ScanInfo;
        w->History = ResultHistory;
        w->SourcePath = first->SourcePath;
        w->SourceChannel = first->SourceChannel;
        TakeArithmeticResult(ResultPicture, first->Picture.Para, w->Picture);
        w->Title = "Calculus";
        w->NewFromCommand();
        main_->ShowImageWindow(w);
    } catch (const EAbort&) {
        return;  // "Too many Data!" has been shown
    } catch (const std::exception& e) {
        if (w) main_->Discard(w);
        ShowFailure(e);
        return;
    }
    hide();
    main_->MakeCurrent(w);
}

bool TArithForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label1 && event->type() == QEvent::MouseButtonPress) {
        Image3Click();
        return true;
    }
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Escape) {
            hide();
            return true;
        }
        if (k->text().isEmpty() || k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) return false;
        Edit1KeyPress(k->text());
        return true;  // the key itself never reaches the field
    }
    return QWidget::eventFilter(watched, event);
}

bool TArithForm::Edit1KeyPress(const QString& key)
{
    if (key == QLatin1String("+") || key == QLatin1String("-") || key == QLatin1String("/") ||
        key == QLatin1String("*")) {
        Edit1->setText(QLatin1Char(' ') + key);
        if (settings_) settings_->WriteString("Arithmetic", "Op", QtToLatin1(key));
        return true;
    }
    Beep();  // the operator stays as it was
    return false;
}
