#include "app/UnitCellForm.h"

#include "app/PictureImage.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/Childwin.h"
#include "app/EditColours.h"
#include "app/Icons.h"
#include "app/LongRun.h"
#include "app/QtMessageSink.h"
#include "core/Errors.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "core/Settings.h"

namespace {

constexpr const char* Section = "Filter";
const QColor DarkGreen(0, 128, 0);

int RoundI(double v) { return static_cast<int>(RoundHalfEven(v)); }

// The hourglass for the lifetime of the object.
class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
};

QRadioButton* Radio(const char* name, const char* caption, QWidget* parent, int x, int y, int w = 104) {
    auto* b = new QRadioButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, y, w, 20);
    return b;
}

QPushButton* Button(const char* name, const char* caption, QWidget* parent, int x, int y, int w, int h = 28) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, y, w, h);
    return b;
}

}  // namespace

// ---------------------------------------------------------------- picture control

TUnitCellImage::TUnitCellImage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void TUnitCellImage::SetPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void TUnitCellImage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (picture_.isNull()) {
        p.fillRect(rect(), palette().window());
        return;
    }
    p.drawImage(rect(), picture_);
}

void TUnitCellImage::mousePressEvent(QMouseEvent* e) {
    if (OnPress) OnPress(e);
}
void TUnitCellImage::mouseMoveEvent(QMouseEvent* e) {
    if (OnMove) OnMove(e);
}
void TUnitCellImage::mouseReleaseEvent(QMouseEvent* e) {
    if (OnRelease) OnRelease(e);
}

// ---------------------------------------------------------------- the window

TUnitCellForm* TUnitCellForm::Open(TMDIChild* window, TSettings* settings, QMdiArea* area) {
    if (!window || !window->Picture.HasData()) return nullptr;
    auto* form = new TUnitCellForm(window, settings);
    auto* sub = new QMdiSubWindow;
    sub->setWidget(form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(AppIcon());
    sub->setWindowTitle(form->windowTitle());
    // a tool window
    sub->setWindowFlags(sub->windowFlags() & ~Qt::WindowMaximizeButtonHint);
    area->addSubWindow(sub);
    sub->adjustSize();
    // the window belongs to its image window: it closes with it
    QObject::connect(window, &TMDIChild::Closed, form, &TUnitCellForm::OwnerClosing);
    QObject::connect(window, &QObject::destroyed, form, &TUnitCellForm::OwnerClosing);
    sub->show();
    area->setActiveSubWindow(sub);
    return form;
}

TUnitCellForm::TUnitCellForm(TMDIChild* window, TSettings* settings, QWidget* parent)
    : QWidget(parent), window_(window), settings_(settings) {
    setObjectName(QStringLiteral("UnitCellForm"));
    setWindowTitle(QStringLiteral("Find Unit Cell in ") + (window ? TitleToQt(window->Title, window->FileName) : QString()));
    setFixedSize(704, 628);
    setProperty("helpTopic", 26);  // F1: the unit-cell page of the manual
    source_ = window ? &window->Picture : nullptr;

    // ---- top row: the image with its lattice, the correlation, the slider, the buttons
    Image1 = new TUnitCellImage(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(8, 8, UnitCellControlSize, UnitCellControlSize);
    Image2 = new TUnitCellImage(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(272, 8, UnitCellControlSize, UnitCellControlSize);
    ScrollBar1 = new QScrollBar(Qt::Vertical, this);
    ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
    ScrollBar1->setGeometry(532, 8, 18, UnitCellControlSize);
    ScrollBar1->setRange(0, 100);
    ScrollBar1->setPageStep(10);
    ScrollBar1->setValue(50);
    ScrollBar1->hide();
    Image2->hide();  // shown by the correlation

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("lines"), QStringLiteral("grid")});
    ComboBox1->setGeometry(558, 8, 138, 26);
    Button2 = Button("Button2", "Reset", this, 558, 42, 138);
    Button1 = Button("Button1", "Cross Correlation", this, 558, 74, 138);
    Button6 = Button("Button6", "Find Match", this, 558, 106, 138);
    Button3 = Button("Button3", "Find Grid", this, 558, 138, 138);
    Button4 = Button("Button4", "Copy Data", this, 558, 170, 138);
    Image3 = new TUnitCellImage(this);
    Image3->setObjectName(QStringLiteral("Image3"));
    Image3->setGeometry(566, 206, 121, 113);

    // ---- the constants
    auto label = [this](const char* text, int x, int y, int w, const QColor* colour = nullptr) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setGeometry(x, y, w, 24);
        if (colour) {
            QPalette pal = l->palette();
            pal.setColor(QPalette::WindowText, *colour);
            l->setPalette(pal);
        }
        return l;
    };
    const QColor green(0, 128, 0), blue(0, 0, 255);
    LabelA = label("a=", 8, 276, 36, &green);
    LabelA->setObjectName(QStringLiteral("LabelA"));
    LabelB = label("b=", 8, 306, 36, &blue);
    LabelB->setObjectName(QStringLiteral("LabelB"));
    LabelPhi = label("phi=", 8, 336, 36);
    LabelPhi->setObjectName(QStringLiteral("LabelPhi"));
    QFont bold = LabelA->font();
    bold.setBold(true);
    LabelA->setFont(bold);
    LabelB->setFont(bold);
    auto edit = [this](const char* name, int y) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(44, y, 110, 24);
        WatchEdits(e);
        return e;
    };
    Edit1 = edit("Edit1", 276);
    Edit2 = edit("Edit2", 306);
    Edit3 = edit("Edit3", 336);
    Label4 = label("", 160, 276, 60);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label5 = label("", 160, 306, 60);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label6 = label("\xB0", 160, 336, 60);
    Label6->setObjectName(QStringLiteral("Label6"));

    // ---- the plot and its panels
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 372, 110, 48);
    RadioButton1 = Radio("RadioButton1", "x-Axis", Panel1, 4, 2);
    RadioButton2 = Radio("RadioButton2", "y-Axis", Panel1, 4, 24);
    RadioButton1->setChecked(true);
    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(124, 372, 110, 156);
    RadioButton3 = Radio("RadioButton3", "| a |", Panel2, 4, 2);
    RadioButton4 = Radio("RadioButton4", "| b |", Panel2, 4, 24);
    RadioButton5 = Radio("RadioButton5", "Phi(a,b)", Panel2, 4, 46);
    RadioButton6 = Radio("RadioButton6", "ax (x)", Panel2, 4, 68);
    RadioButton7 = Radio("RadioButton7", "ay (y)", Panel2, 4, 90);
    RadioButton8 = Radio("RadioButton8", "bx (x)", Panel2, 4, 112);
    RadioButton9 = Radio("RadioButton9", "by (y)", Panel2, 4, 134);
    RadioButton6->setChecked(true);
    Panel3 = new QWidget(this);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setGeometry(124, 440, 110, 48);
    RadioButton10 = Radio("RadioButton10", "Counts", Panel3, 4, 2);
    RadioButton11 = Radio("RadioButton11", "Height", Panel3, 4, 24);
    RadioButton10->setChecked(true);
    Panel3->hide();

    Image4 = new TUnitCellImage(this);
    Image4->setObjectName(QStringLiteral("Image4"));
    Image4->setGeometry(306, 272, 257, 257);
    Label7 = new QLabel(this);
    Label7->setObjectName(QStringLiteral("Label7"));
    Label7->setGeometry(236, 272, 66, 18);
    Label7->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label8 = new QLabel(this);
    Label8->setObjectName(QStringLiteral("Label8"));
    Label8->setGeometry(236, 511, 66, 18);
    Label8->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    GroupBox1 = new QGroupBox(QStringLiteral("Results"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 536, 688, 86);
    Memo2 = new QPlainTextEdit(GroupBox1);
    Memo2->setObjectName(QStringLiteral("Memo2"));
    Memo2->setGeometry(8, 20, 290, 58);
    Memo2->setReadOnly(true);
    StaticText1 = new QLabel(GroupBox1);
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    StaticText1->setGeometry(306, 20, 374, 22);
    StaticText1->setFrameShape(QFrame::StyledPanel);
    Button5 = Button("Button5", "Copy to Distortion", GroupBox1, 306, 48, 150);

    // ---- popups
    VisiblePopup = new QMenu(this);
    VisiblePopup->setObjectName(QStringLiteral("VisiblePopup"));
    ImageVisible = VisiblePopup->addAction(QStringLiteral("Image"));
    ImageVisible->setObjectName(QStringLiteral("ImageVisible"));
    ManuellGrid = VisiblePopup->addAction(QStringLiteral("Manuell Grid"));
    ManuellGrid->setObjectName(QStringLiteral("ManuellGrid"));
    AutoGrid = VisiblePopup->addAction(QStringLiteral("Auto Grid"));
    AutoGrid->setObjectName(QStringLiteral("AutoGrid"));
    for (QAction* a : {ImageVisible, ManuellGrid, AutoGrid}) {
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this] { DrawScene(); });
    }
    VisiblePopup->addSeparator();
    CopyScene = VisiblePopup->addAction(QStringLiteral("Copy"));
    connect(CopyScene, &QAction::triggered, this, [this] { QApplication::clipboard()->setImage(scene_); });
    Image1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Image1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { VisiblePopup->popup(Image1->mapToGlobal(at)); });

    UnitCellPopup = new QMenu(this);
    UnitCellPopup->setObjectName(QStringLiteral("UnitCellPopup"));
    ShowNewUnitCell = UnitCellPopup->addAction(QStringLiteral("Show New Unit Cell"));
    AverageUnitCell = UnitCellPopup->addAction(QStringLiteral("Calculus Average Unit Cell"));
    UnitCellPopup->addSeparator();
    CopyCell = UnitCellPopup->addAction(QStringLiteral("Copy"));
    connect(ShowNewUnitCell, &QAction::triggered, this, &TUnitCellForm::ShowNewUnitCellClick);
    connect(AverageUnitCell, &QAction::triggered, this, &TUnitCellForm::AverageUnitCellClick);
    connect(CopyCell, &QAction::triggered, this, [this] { QApplication::clipboard()->setImage(Image3->Picture()); });
    Image3->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Image3, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { UnitCellPopup->popup(Image3->mapToGlobal(at)); });

    // ---- wiring
    connect(ComboBox1, &QComboBox::activated, this, [this] {
        ComboBox1Change();
        // corners read back that do not fit this image give way to the defaults, as at
        // reset; the template follows them
        if (source_) {
            if (!CornersValid(corners_, source_->Cols, source_->Rows))
                corners_ = DefaultCorners(source_->Cols, source_->Rows);
            ExtractAndShowCell();
        }
        DrawScene();
    });
    connect(Button2, &QPushButton::clicked, this, &TUnitCellForm::ResetClick);
    connect(Button1, &QPushButton::clicked, this, &TUnitCellForm::Button1Click);
    connect(Button3, &QPushButton::clicked, this, &TUnitCellForm::Button3Click);
    connect(Button6, &QPushButton::clicked, this, &TUnitCellForm::Button6Click);
    connect(Button4, &QPushButton::clicked, this, &TUnitCellForm::CopyDataClick);
    connect(Button5, &QPushButton::clicked, this, &TUnitCellForm::CopyToDistortionClick);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TUnitCellForm::ScrollBar1Change);
    connect(Edit1, &QLineEdit::returnPressed, this, [this] { ApplyTyped(Edit1, 1); });
    connect(Edit2, &QLineEdit::returnPressed, this, [this] { ApplyTyped(Edit2, 2); });
    connect(Edit3, &QLineEdit::returnPressed, this, [this] { ApplyTyped(Edit3, 3); });
    connect(RadioButton1, &QRadioButton::clicked, this, [this] { AxisClick(true); });
    connect(RadioButton2, &QRadioButton::clicked, this, [this] { AxisClick(false); });
    for (QRadioButton* b : {RadioButton3, RadioButton4, RadioButton5})
        connect(b, &QRadioButton::clicked, this, &TUnitCellForm::CreateData);
    for (QRadioButton* b : {RadioButton6, RadioButton7, RadioButton8, RadioButton9})
        connect(b, &QRadioButton::clicked, this, [this, b] { QuantityClick(b); });
    // "Counts" and "Height" share the handlers of "bx (x)" and "by (y)"
    connect(RadioButton10, &QRadioButton::clicked, this, [this] { QuantityClick(RadioButton8); });
    connect(RadioButton11, &QRadioButton::clicked, this, [this] { QuantityClick(RadioButton9); });
    for (TUnitCellImage* img : {Image1, Image2}) {
        img->OnPress = [this](QMouseEvent* e) { ImageMouseDown(e); };
        img->OnMove = [this](QMouseEvent* e) { ImageMouseMove(e); };
        img->OnRelease = [this](QMouseEvent* e) { ImageMouseUp(e); };
    }
    Image4->OnPress = [this](QMouseEvent* e) { PlotMouseDown(e); };
    Image4->OnMove = [this](QMouseEvent* e) { PlotMouseMove(e); };
    // key presses reach the window before its controls: Delete over the plot
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);

    // ---- FormCreate
    if (source_) {
        const int32_t W = source_->Cols, H = source_->Rows;
        corr_.SetSize(W, H);
        threshold_.SetSize(W, H);
        cut_.Cell.SetSize(W, H);
        if (settings_) {
            // an offset beyond the picture means nothing; it must not overflow the corners
            anchorDrag_.x = std::clamp(settings_->ReadInteger(Section, "NewGridAnchorX", 0), -W, W);
            anchorDrag_.y = std::clamp(settings_->ReadInteger(Section, "NewGridAnchorY", 0), -H, H);
        }
        ComboBox1->setCurrentIndex(1);
        ComboBox1Change();
        markerSize_ = MarkerSizeFor(W);
    }
    ResetClick();
    Memo2->clear();
}

TUnitCellForm::~TUnitCellForm() {
    if (!settings_) return;
    settings_->WriteInteger(Section, "Ecke1x", corners_.Corner1.x);
    settings_->WriteInteger(Section, "Ecke1y", corners_.Corner1.y);
    settings_->WriteInteger(Section, "Ecke2x", corners_.Corner2.x);
    settings_->WriteInteger(Section, "Ecke2y", corners_.Corner2.y);
    settings_->WriteInteger(Section, "Ecke3x", corners_.Corner3.x);
    settings_->WriteInteger(Section, "Ecke3y", corners_.Corner3.y);
    settings_->WriteInteger(Section, "NewGridAnchorX", anchorDrag_.x);
    settings_->WriteInteger(Section, "NewGridAnchorY", anchorDrag_.y);
}

bool TUnitCellForm::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete && Image4->isVisible() &&
        Image4->rect().contains(Image4->mapFromGlobal(QCursor::pos()))) {
        if (event->type() == QEvent::KeyPress) DeleteExcludedPoints();
        event->accept();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TUnitCellForm::OwnerClosing() {
    source_ = nullptr;
    if (QWidget* sub = parentWidget(); sub && qobject_cast<QMdiSubWindow*>(sub))
        sub->close();
    else
        close();
}

void TUnitCellForm::SetCorners(const TCellCorners& c) {
    corners_ = c;
    ExtractAndShowCell();
    DrawScene();
}

void TUnitCellForm::ReadCorners() {
    if (!source_) return;
    const TCellCorners d = DefaultCorners(source_->Cols, source_->Rows);
    corners_ = d;
    if (!settings_) return;
    corners_.Corner1 = {settings_->ReadInteger(Section, "Ecke1x", d.Corner1.x),
                        settings_->ReadInteger(Section, "Ecke1y", d.Corner1.y)};
    corners_.Corner2 = {settings_->ReadInteger(Section, "Ecke2x", d.Corner2.x),
                        settings_->ReadInteger(Section, "Ecke2y", d.Corner2.y)};
    corners_.Corner3 = {settings_->ReadInteger(Section, "Ecke3x", d.Corner3.x),
                        settings_->ReadInteger(Section, "Ecke3y", d.Corner3.y)};
}

void TUnitCellForm::ComboBox1Change() {
    ReadCorners();
    const bool grid = ComboBox1->currentIndex() == 1;
    for (QWidget* w : std::initializer_list<QWidget*>{LabelB, LabelPhi, Edit2, Edit3, Label5, Label6})
        w->setVisible(grid);
}

void TUnitCellForm::ResetClick() {
    ImageVisible->setChecked(true);
    ManuellGrid->setChecked(true);
    AutoGrid->setChecked(false);
    Button4->setEnabled(false);
    Button3->setEnabled(false);
    Button6->setEnabled(false);
    points_.clear();
    for (QWidget* w : std::initializer_list<QWidget*>{Panel1, Panel2, Label7, Label8, Image4, GroupBox1})
        w->hide();
    if (!source_) return;
    if (!CornersValid(corners_, source_->Cols, source_->Rows))
        corners_ = DefaultCorners(source_->Cols, source_->Rows);
    ScrollBar1->setValue(70);  // redraws the threshold display while it is shown
    DrawScene();
    ExtractAndShowCell();
}

QImage TUnitCellForm::Rendered(TQTVPicture& pic) const {
    pic.Render();
    return RenderedImage(pic);
}

void TUnitCellForm::DrawScene() {
    if (!source_) return;
    const int32_t W = source_->Cols, H = source_->Rows;
    QImage scene(W, H, QImage::Format_RGB32);
    if (ImageVisible->isChecked()) {
        const int w = source_->BitmapWidth, h = source_->BitmapHeight;
        if (w == W && h == H && source_->Bitmap.size() >= static_cast<size_t>(w) * h) {
            scene = RenderedImage(*source_).convertToFormat(QImage::Format_RGB32);
        } else {
            scene.fill(QColor(128, 128, 128));
        }
    } else {
        scene.fill(QColor(128, 128, 128));
    }
    QPainter p(&scene);
    p.setRenderHint(QPainter::Antialiasing, false);
    const bool grid = ComboBox1->currentIndex() == 1;
    if (ManuellGrid->isChecked()) {
        const int penWidth = std::max(1, RoundI(static_cast<double>(W) / UnitCellControlSize));
        p.setPen(QPen(DarkGreen, penWidth));
        for (const TSegment& s : LatticeSegments(corners_, W, H, grid))
            p.drawLine(s.From.x, s.From.y, s.To.x, s.To.y);
        const int s = markerSize_;
        p.setBrush(DarkGreen);
        for (TPointI c : {corners_.Corner1, corners_.Corner2, corners_.Corner3})
            p.drawRoundedRect(QRect(c.x - s, c.y - s, 2 * s, 2 * s), RoundI(2.0 * s / 3) / 2.0, RoundI(1.5 * s) / 2.0);
        p.setBrush(Qt::NoBrush);
    }
    if (AutoGrid->isChecked()) {
        const int penWidth = H / UnitCellControlSize + 2;
        for (const TGridLine& l : FoundGridLines(matches_, gridAnchor_, anchorDrag_, H)) {
            p.setPen(QPen(l.BDirection ? QColor(0, 0, 255) : DarkGreen, penWidth));
            p.drawLine(l.From.x, l.From.y, l.To.x, l.To.y);
        }
    }
    if (newCellLine_) {
        p.setPen(QPen(QColor(255, 0, 0), H / UnitCellControlSize + 2));
        const TCellCorners& c = *newCellLine_;
        const QPoint pts[3] = {{c.Corner1.x, c.Corner1.y}, {c.Corner2.x, c.Corner2.y}, {c.Corner3.x, c.Corner3.y}};
        p.drawPolyline(pts, 3);
    }
    p.end();
    scene_ = scene;
    Image1->SetPicture(scene_);

    // the constants
    const TLatticeConstants k = LatticeConstants(corners_, *source_);
    Edit1->setText(Latin1ToQt(LatticeNumberText(grid ? k.A : k.Spacing)));
    Edit2->setText(Latin1ToQt(LatticeNumberText(k.B)));
    Edit3->setText(Latin1ToQt(LatticeNumberText(k.Phi * 180.0 / M_PI)));
    Label4->setText(Latin1ToQt(k.Unit));
    Label5->setText(Latin1ToQt(k.Unit));
}

void TUnitCellForm::ShowCellPicture(const TQTVPicture& cell) {
    TQTVPicture copy;
    copy.SetSize(cell.Cols, cell.Rows);
    copy.Palette = source_ ? source_->Palette : copy.Palette;
    for (int32_t r = 0; r < cell.Rows; ++r) std::memcpy(copy.Data[r], cell.Data[r], static_cast<size_t>(cell.Cols) * 4);
    Image3->SetPicture(Rendered(copy));
}

void TUnitCellForm::ExtractAndShowCell() {
    if (!source_) return;
    if (!ExtractCell(*source_, corners_, cut_)) return;
    ShowCellPicture(CellView(cut_, *source_));
}

void TUnitCellForm::ApplyTyped(QLineEdit* edit, int which) {
    if (!source_) return;
    long double v = 0;
    try {
        v = StrToFloatTolerant(QtToLatin1(edit->text()));
    } catch (const EConvertError&) {
        SetEditState(edit, TEditState::Rejected);
        return;
    }
    TCellCorners c = corners_;
    const bool done = which == 1   ? SetLengthA(c, *source_, static_cast<double>(v))
                      : which == 2 ? SetLengthB(c, *source_, static_cast<double>(v))
                                   : SetAngle(c, *source_, static_cast<double>(v));
    if (!done) return;
    corners_ = c;
    DrawScene();
    // the template follows the typed cell
    if (CornersValid(corners_, source_->Cols, source_->Rows)) ExtractAndShowCell();
    SetEditState(edit, TEditState::Accepted);
}

// ---------------------------------------------------------------- mouse on the images

void TUnitCellForm::ImageMouseDown(QMouseEvent* e) {
    if (!source_ || e->button() == Qt::RightButton || (e->buttons() & Qt::RightButton)) return;
    const QPointF at = e->position();
    if (ManuellGrid->isChecked()) {
        Image2->hide();
        ScrollBar1->hide();
        Button3->setEnabled(false);
        Button6->setEnabled(false);
        const double x = ControlToPixel(at.x(), source_->Cols), y = ControlToPixel(at.y(), source_->Rows);
        dragCorner_ = PickCorner(corners_, x, y);
        if (dragCorner_ > 0) savedCorners_ = corners_;
    }
    if (AutoGrid->isChecked()) {
        anchorDragging_ = true;
        anchorStart_ = at.toPoint();
    }
}

void TUnitCellForm::ImageMouseMove(QMouseEvent* e) {
    if (!source_ || !(e->buttons() & Qt::LeftButton)) return;
    const QPoint at = e->position().toPoint();
    if (ManuellGrid->isChecked() && dragCorner_ > 0) {
        const TPointI p{RoundI(ControlToPixel(at.x(), source_->Cols)), RoundI(ControlToPixel(at.y(), source_->Rows))};
        corners_ = DragCorner(savedCorners_, dragCorner_, p);
        DrawScene();
    }
    if (AutoGrid->isChecked() && anchorDragging_) {
        anchorDrag_ = {(at.x() - anchorStart_.x()) * source_->Cols / UnitCellControlSize,
                       (at.y() - anchorStart_.y()) * source_->Rows / UnitCellControlSize};
        DrawScene();
    }
}

void TUnitCellForm::ImageMouseUp(QMouseEvent* e) {
    if (!source_ || e->button() == Qt::RightButton) return;
    if (ManuellGrid->isChecked()) {
        dragCorner_ = 0;
        newCellLine_.reset();
        ExtractAndShowCell();
        DrawScene();
    }
    if (anchorDragging_) {
        const QPoint at = e->position().toPoint();
        anchorDrag_ = {(at.x() - anchorStart_.x()) * source_->Cols / UnitCellControlSize,
                       (at.y() - anchorStart_.y()) * source_->Rows / UnitCellControlSize};
        anchorDragging_ = false;
        DrawScene();
    }
}

// ---------------------------------------------------------------- correlation and matches

void TUnitCellForm::Button1Click() {
    if (!source_ || correlating_) return;
    TWaitCursor wait;
    QPointer<TUnitCellForm> self(this);
    correlating_ = true;
    bool done = false;
    {
        // a long correlation shows a bar with "Cancel"; a stopped one (or closing the
        // image or this window meanwhile) leaves the last correlation as it was
        TLongRun run(this, nullptr, QStringLiteral("Cross Correlation ..."), [&] { return self && source_; });
        done = CrossCorrelate(*source_, cut_.Cell, cut_.Half, corr_,
                              [&](int64_t at, int64_t total) { return run(at, total); });
    }
    if (!self) return;
    correlating_ = false;
    if (!done) return;
    Image2->show();
    ScrollBar1->show();
    Button3->setEnabled(true);
    Button6->setEnabled(true);
    corr_.Render();  // sets its minimum and maximum
    ScrollBar1Change();
}

void TUnitCellForm::ScrollBar1Change() {
    if (!ScrollBar1->isVisible() || !corr_.HasData()) return;
    ApplyThreshold(corr_, ThresholdValue(corr_, ScrollBar1->value()), threshold_);
    corrImage_ = Rendered(threshold_).convertToFormat(QImage::Format_RGB32);
    Image2->SetPicture(corrImage_);
}

bool TUnitCellForm::LabelRegionsHere() {
    matches_.clear();
    home_ = -1;
    TRegionResult r = LabelRegions(corr_, ThresholdValue(corr_, ScrollBar1->value()));
    if (r.TooMany) return false;
    matches_ = std::move(r.Matches);
    if (!corrImage_.isNull()) {
        QPainter p(&corrImage_);
        p.setPen(Qt::white);
        p.setBrush(Qt::white);
        const int32_t H = corr_.Rows;
        for (const TUnitCellMatch& m : matches_)
            p.drawEllipse(QPoint(RoundI(m.X), H - 1 - RoundI(m.Y)), 4, 4);
        p.end();
        Image2->SetPicture(corrImage_);
    }
    Memo2->appendPlainText(QString::number(matches_.size()) + QStringLiteral(" matches "));
    return true;
}

void TUnitCellForm::Button3Click() {
    if (!source_ || !corr_.HasData()) return;
    TWaitCursor wait;
    if (!LabelRegionsHere() || matches_.empty()) return;
    Panel1->show();
    Panel3->hide();
    Panel2->show();
    Label7->show();
    Label8->show();
    Image4->show();
    AutoGrid->setEnabled(true);
    GroupBox1->show();
    Button5->show();
    RadioButton1->setText(QStringLiteral("x-Axis"));
    RadioButton2->setText(QStringLiteral("y-Axis"));
    gridAnchor_ = GridAnchorOf(corners_);
    anchorDrag_ = {0, 0};
    home_ = LinkNeighbours(matches_, corners_, source_->Cols, source_->Rows);
    if (home_ >= 0) {
        ManuellGrid->setChecked(false);
        AutoGrid->setChecked(true);
    }
    newCellLine_.reset();
    DrawScene();
    plotMode_ = 1;
    CreateData();
}

void TUnitCellForm::Button6Click() {
    if (!source_ || !corr_.HasData()) return;
    TWaitCursor wait;
    if (!LabelRegionsHere()) return;
    GroupBox1->show();
    Button5->hide();
    StaticText1->hide();
    RadioButton1->setText(QStringLiteral("Area"));
    RadioButton2->setText(QStringLiteral("sqrt(Area)"));
    Panel1->show();
    Label7->show();
    Label8->show();
    Image4->show();
    Panel3->move(Panel2->x(), Panel3->y());
    Panel3->show();
    Panel2->hide();
    plotMode_ = 2;
    CreateData();
}

// ---------------------------------------------------------------- statistics

TLatticeQuantity TUnitCellForm::Quantity() const {
    if (RadioButton3->isChecked()) return TLatticeQuantity::A;
    if (RadioButton4->isChecked()) return TLatticeQuantity::B;
    if (RadioButton5->isChecked()) return TLatticeQuantity::Phi;
    if (RadioButton7->isChecked()) return TLatticeQuantity::Ay;
    if (RadioButton8->isChecked()) return TLatticeQuantity::Bx;
    if (RadioButton9->isChecked()) return TLatticeQuantity::By;
    return TLatticeQuantity::Ax;
}

TPlotAxis TUnitCellForm::Axis() const { return RadioButton1->isChecked() ? TPlotAxis::X : TPlotAxis::Y; }

void TUnitCellForm::QuantityClick(QRadioButton* b) {
    const bool xAxis = b == RadioButton6 || b == RadioButton8;
    if (plotMode_ == 2) {
        // "Counts" checks the first axis button ("Area"), "Height" the second
        (xAxis ? RadioButton1 : RadioButton2)->setChecked(true);
        CreateData();
        return;
    }
    AxisClick(xAxis);
}

void TUnitCellForm::AxisClick(bool xAxis) {
    (xAxis ? RadioButton1 : RadioButton2)->setChecked(true);
    if (plotMode_ == 1) {
        const QString suffix = xAxis ? QStringLiteral(" (x)") : QStringLiteral(" (y)");
        const std::pair<QRadioButton*, const char*> parts[] = {
            {RadioButton6, "ax"}, {RadioButton7, "ay"}, {RadioButton8, "bx"}, {RadioButton9, "by"}};
        for (auto [b, name] : parts)
            if (b->isChecked()) b->setText(QString::fromLatin1(name) + suffix);
    }
    CreateData();
}

void TUnitCellForm::CreateData() {
    if (!source_) return;
    if (plotMode_ == 1) {
        points_ = LatticePlotData(matches_, Quantity(), Axis(), *source_);
    } else {
        TWaitCursor wait;
        const bool sqrtArea = RadioButton2->isChecked();
        points_ = RadioButton11->isChecked() ? PeakData(matches_, sqrtArea) : RegionSizeData(matches_, sqrtArea);
    }
    if (plotMode_ == 1)
        if (auto f = FitParabola(points_)) fit_ = f;  // a singular fit keeps the previous one
    DrawPlot();
}

void TUnitCellForm::DrawPlot() {
    if (points_.empty()) {
        Button4->setEnabled(false);
        return;
    }
    const int w = Image4->width(), h = Image4->height();
    layout_ = LayoutPlot(points_, w, h, plotMode_ == 2);
    QImage plot(w, h, QImage::Format_RGB32);
    plot.fill(Qt::white);
    QPainter p(&plot);
    for (const TPlotPoint& pt : points_) {
        const int px = layout_.PixelX(pt.X), py = layout_.PixelY(pt.Y);
        p.setPen(pt.Excluded ? QColor(255, 0, 0) : QColor(0, 0, 255));
        p.drawLine(px - 3, py, px + 3, py);
        p.drawLine(px, py - 3, px, py + 3);
    }
    Label7->setText(Latin1ToQt(layout_.TopLabel()));
    Label8->setText(Latin1ToQt(layout_.BottomLabel()));
    if (plotMode_ == 2) {
        StaticText1->hide();
        Button5->hide();
    } else if (fit_) {
        p.setPen(DarkGreen);
        const std::vector<TPointI> line = layout_.FitPolyline(*fit_);
        QVector<QPoint> pts;
        for (const TPointI& q : line) pts.push_back(QPoint(q.x, q.y));
        p.drawPolyline(pts.data(), static_cast<int>(pts.size()));
        const QString text = Latin1ToQt(FitText(*fit_));
        StaticText1->setText(text);
        StaticText1->show();
        Memo2->appendPlainText(text);
        Button5->show();
        Button5->setEnabled(true);
    } else {
        // no fit yet: nothing to report or hand on
        StaticText1->setText(QStringLiteral("no fit"));
        StaticText1->show();
        Button5->show();
        Button5->setEnabled(false);
    }
    p.end();
    Image4->SetPicture(plot);
    Button4->setEnabled(true);
}

void TUnitCellForm::PlotMouseMove(QMouseEvent* e) {
    if (points_.empty()) return;
    const QPoint at = e->position().toPoint();
    const QString hint = Latin1ToQt(layout_.HintText(at.x(), at.y()));
    Image4->setToolTip(hint);
}

void TUnitCellForm::PlotMouseDown(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || points_.empty() || !source_) return;
    const QPoint at = e->position().toPoint();
    const double limit = 1.3 * source_->Cols;
    const int32_t i = PickPlotPoint(points_, layout_, at.x(), at.y(), limit * limit);
    if (i < 0) return;
    points_[static_cast<size_t>(i)].Excluded ^= 1;
    QImage plot = Image4->Picture();
    QPainter p(&plot);
    const TPlotPoint& pt = points_[static_cast<size_t>(i)];
    const int px = layout_.PixelX(pt.X), py = layout_.PixelY(pt.Y);
    p.setPen(pt.Excluded ? QColor(255, 0, 0) : QColor(0, 0, 255));
    p.drawLine(px - 3, py, px + 3, py);
    p.drawLine(px, py - 3, px, py + 3);
    p.end();
    Image4->SetPicture(plot);
}

void TUnitCellForm::DeleteExcludedPoints() {
    DeleteExcluded(points_, matches_, home_, plotMode_ == 1);
    DrawPlot();
    DrawScene();
}

void TUnitCellForm::CopyDataClick() {
    QApplication::clipboard()->setText(Latin1ToQt(PlotDataText(points_)));
}

void TUnitCellForm::CopyToDistortionClick() {
    if (!fit_ || !source_) return;
    const TPlotAxis axis = Axis();
    const TDistortionPair d = DistortionFromFit(*fit_, *source_, axis);
    if (!settings_) return;
    settings_->WriteString(Section, DistortionKeyC(axis), DistortionText(d.C));
    settings_->WriteString(Section, DistortionKeyD(axis), DistortionText(d.D));
    Memo2->appendPlainText(Latin1ToQt(DistortionCopiedText(d, axis)));
}

// ---------------------------------------------------------------- the new and the averaged cell

void TUnitCellForm::ShowNewUnitCellClick() {
    if (!source_) return;
    TCellCorners c = corners_;
    if (!NewUnitCell(matches_, home_, gridAnchor_, anchorDrag_, source_->Rows, c)) return;
    corners_ = c;
    newCellLine_ = c;
    DrawScene();
    ExtractAndShowCell();
}

void TUnitCellForm::AverageUnitCellClick() {
    if (!source_ || matches_.empty() || home_ < 0) return;
    TWaitCursor wait;
    ShowNewUnitCellClick();
    if (!ExtractCell(*source_, corners_, cut_)) return;
    ShowCellPicture(AverageCell(*source_, matches_, home_, cut_));
}
