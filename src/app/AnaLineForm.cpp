#include "app/AnaLineForm.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSvgGenerator>
#include <QTableWidget>

#include <algorithm>
#include <cmath>

#include "analysis/ProfileOutput.h"
#include "app/Childwin.h"
#include "app/EditColours.h"
#include "app/LongRun.h"
#include "app/PictureImage.h"
#include "app/Icons.h"
#include "app/WindowPlacement.h"
#include "app/MainForm.h"
#include "app/QtMessageSink.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "core/Settings.h"

namespace {

constexpr int RowHeight = 16;
constexpr double Pi = 3.14159265358979323846;
const char* const Section = "AnaLine";
const char* const DataFilter = "Text-File (*.dat)|*.dat|Picture (*.bmp)|*.bmp|Crosssection (*.svg)|*.svg";
const char* const BmpFilter = "Picture (*.bmp)|*.bmp";
const char* const SvgFilter = "Picture (*.svg)|*.svg";

int Rnd(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int>(std::nearbyint(std::clamp(v, -1e8, 1e8)));
}

// The busy mark of a window for a scope; the window may go away within it.
class TBusy {
public:
    TBusy(bool& flag, QObject* window) : flag_(flag), window_(window) {
        flag_ = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~TBusy() {
        QApplication::restoreOverrideCursor();
        if (window_) flag_ = false;
    }

private:
    bool& flag_;
    QPointer<QObject> window_;
};

QPen Pen(const QColor& colour, int width, Qt::PenStyle style = Qt::SolidLine) {
    QPen p(colour, width, style);
    p.setCapStyle(Qt::FlatCap);
    return p;
}

// "Text|*.a|Picture|*.b" as a Qt filter list.
QStringList QtFilters(const char* filter) {
    const QStringList parts = QString::fromLatin1(filter).split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) out << parts[i];
    return out;
}

QString FilterExt(const char* filter, int index) {
    const QStringList parts = QString::fromLatin1(filter).split(QLatin1Char('|'));
    const int k = 2 * (index - 1) + 1;
    if (k < 0 || k >= parts.size()) return QString();
    return parts[k].mid(1);  // "*.dat" -> ".dat"
}

QByteArray BmpBytes(const QImage& img) {
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "BMP");
    return bytes;
}

}  // namespace

// ---------------------------------------------------------------- canvas

TCanvasBox::TCanvasBox(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void TCanvasBox::SizePicture() {
    Picture = QImage(std::max(width(), 1), std::max(height(), 1), QImage::Format_RGB32);
    Picture.fill(Qt::white);
}

void TCanvasBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (Picture.isNull()) {
        p.fillRect(rect(), Qt::white);
        return;
    }
    p.drawImage(0, 0, Picture);
    if (Picture.width() < width()) p.fillRect(Picture.width(), 0, width() - Picture.width(), height(), Qt::white);
    if (Picture.height() < height()) p.fillRect(0, Picture.height(), width(), height() - Picture.height(), Qt::white);
}

void TCanvasBox::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton && contextMenuPolicy() == Qt::CustomContextMenu) {
        QWidget::mousePressEvent(e);
        return;
    }
    emit MouseDown(e->button(), e->position().toPoint());
}
void TCanvasBox::mouseMoveEvent(QMouseEvent* e) { emit MouseMove(e->buttons(), e->position().toPoint()); }
void TCanvasBox::mouseReleaseEvent(QMouseEvent* e) { emit MouseUp(e->button(), e->position().toPoint()); }
void TCanvasBox::dragEnterEvent(QDragEnterEvent* e) {
    if (acceptDrops()) e->acceptProposedAction();
}
void TCanvasBox::dragMoveEvent(QDragMoveEvent* e) {
    if (acceptDrops()) e->acceptProposedAction();
}
void TCanvasBox::dropEvent(QDropEvent* e) { emit Dropped(e); }

// ---------------------------------------------------------------- the form

TAnaLineForm::TAnaLineForm(TMDIChild* owner, TSettings* settings, QWidget* parent)
    : QWidget(parent), Owner(owner), settings_(settings) {
    // FormCreate
    setObjectName(QStringLiteral("AnaLineForm"));
    setMinimumSize(600, 500);
    setProperty("helpTopic", 23);
    BuildControls();
    const int dir = settings_ ? settings_->ReadInteger(Section, "Dir", 0) : 0;
    LineWidth = settings_ ? settings_->ReadInteger(Section, "Width", 1) : 1;
    if (LineWidth < 1) LineWidth = 1;
    Edit1->setText(QString::number(LineWidth));
    const std::string number = settings_ ? settings_->ReadString(Section, "Number", "1") : "1";
    Edit2->setText(Latin1ToQt(number));
    int n = 0;
    if (!TryStrToInt(number, n)) n = 0;
    RowIndex = ColIndex = n;
    ComboBox1->blockSignals(true);
    ComboBox1->setCurrentIndex(dir >= 0 && dir <= 3 ? dir : 0);
    ComboBox1->blockSignals(false);
}

TAnaLineForm::~TAnaLineForm() {
    // FormDestroy
    if (settings_) {
        settings_->WriteInteger(Section, "Dir", ComboBox1->currentIndex());
        settings_->WriteString(Section, "Width", QtToLatin1(Edit1->text()));
        settings_->WriteString(Section, "Number", QtToLatin1(Edit2->text()));
        settings_->WriteInteger(Section, "AnyPoint1X", AnyLine.X1);
        settings_->WriteInteger(Section, "AnyPoint1Y", AnyLine.Y1);
        settings_->WriteInteger(Section, "AnyPoint2X", AnyLine.X2);
        settings_->WriteInteger(Section, "AnyPoint2Y", AnyLine.Y2);
        const QWidget* frame = SubWindow() ? static_cast<QWidget*>(SubWindow()) : this;
        if (!(frame->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized))) {
            settings_->WriteInteger(Section, "FormWidth", frame->width());
            settings_->WriteInteger(Section, "FormHeight", frame->height());
        }
    }
}

QMdiSubWindow* TAnaLineForm::SubWindow() const { return qobject_cast<QMdiSubWindow*>(parentWidget()); }

TLineMode TAnaLineForm::Mode() const {
    const int i = ComboBox1->currentIndex();
    return i >= 0 && i <= 3 ? static_cast<TLineMode>(i) : TLineMode::Row;
}

TAnaLineForm* TAnaLineForm::Open(QMdiArea* area, TMDIChild* owner, TSettings* settings, bool dual) {
    if (!area || !owner || !owner->Picture.HasData()) return nullptr;
    auto* form = new TAnaLineForm(owner, settings);
    auto* sub = new QMdiSubWindow;
    sub->setWidget(form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(AppIcon());
    area->addSubWindow(sub);
    // the window belongs to the image window: it closes with it
    connect(owner, &TMDIChild::Closed, form, &TAnaLineForm::OwnerClosing);
    connect(owner, &QObject::destroyed, form, &TAnaLineForm::OwnerClosing);
    form->setWindowTitle(owner->windowTitle());
    sub->setWindowTitle(owner->windowTitle());
    form->DualWindow = dual;
    // a normal window beside the image (the size the user last gave it), whole inside
    // the workspace where it fits
    const QSize start(800, 600);
    const int w = settings ? settings->ReadInteger(Section, "FormWidth", start.width()) : start.width();
    const int h = settings ? settings->ReadInteger(Section, "FormHeight", start.height()) : start.height();
    ShowToolWindow(area, sub, QSize(w, h), owner);
    form->Setup(&owner->Picture);
    form->setFocus();
    return form;
}

void TAnaLineForm::BuildControls() {
    auto label = [this](const char* name, const char* text) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    auto edit = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->installEventFilter(this);
        return e;
    };
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("row"), QStringLiteral("col"), QStringLiteral("any"), QStringLiteral("radial")});
    ComboBox1->setGeometry(8, 8, 129, 24);
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { ComboBox1Change(); });

    Label3 = label("Label3", "width");
    Label3->setGeometry(8, 42, 54, 20);
    Edit1 = edit("Edit1");
    Edit1->setGeometry(62, 40, 44, 24);
    WatchEdits(Edit1);
    Label4 = label("Label4", "Pixel");
    Label4->setGeometry(110, 42, 34, 20);
    Label2 = label("Label2", "number");
    Label2->setGeometry(8, 72, 54, 20);
    Edit2 = edit("Edit2");
    Edit2->setGeometry(62, 70, 44, 24);
    WatchEdits(Edit2);

    RoughnessButton = new QPushButton(QStringLiteral("Roughness"), this);
    RoughnessButton->setObjectName(QStringLiteral("RoughnessButton"));
    RoughnessButton->setGeometry(8, 104, 129, 26);
    connect(RoughnessButton, &QPushButton::clicked, this, &TAnaLineForm::RoughnessClick);
    Button1 = new QPushButton(QStringLiteral("Cancel"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(8, 136, 129, 26);
    connect(Button1, &QPushButton::clicked, this, &TAnaLineForm::Button1Click);

    auto grid = [this](const char* name, int rows, int top) {
        auto* g = new QTableWidget(rows, 2, this);
        g->setObjectName(QString::fromLatin1(name));
        g->horizontalHeader()->hide();
        g->verticalHeader()->hide();
        // rows of 16 pixels, or as tall as the font needs
        const int rowHeight = std::max(RowHeight, g->fontMetrics().height() + 2);
        g->verticalHeader()->setMinimumSectionSize(rowHeight);
        g->verticalHeader()->setDefaultSectionSize(rowHeight);
        g->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        g->horizontalHeader()->setDefaultSectionSize(62);
        g->setEditTriggers(QAbstractItemView::NoEditTriggers);
        g->setSelectionMode(QAbstractItemView::NoSelection);
        g->setFocusPolicy(Qt::NoFocus);
        g->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        g->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        g->setGeometry(4, top, 137, rows * rowHeight + 2 * g->frameWidth());
        g->setContextMenuPolicy(Qt::CustomContextMenu);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < 2; ++c) g->setItem(r, c, new QTableWidgetItem);
        return g;
    };
    StringGrid1 = grid("StringGrid1", 11, 176);
    StringGrid2 = grid("StringGrid2", 6, StringGrid1->geometry().bottom() + 12);
    StringGrid2->hide();

    Image1 = new TCanvasBox(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setContextMenuPolicy(Qt::CustomContextMenu);
    Image1->setCursor(Qt::CrossCursor);
    Image3 = new TCanvasBox(this);
    Image3->setObjectName(QStringLiteral("Image3"));
    Image3->setAcceptDrops(true);
    Image3->hide();
    Image2 = new TCanvasBox(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setContextMenuPolicy(Qt::CustomContextMenu);
    Image2->setCursor(Qt::CrossCursor);
    for (TCanvasBox* box : {Image1, Image3}) {
        connect(box, &TCanvasBox::MouseDown, this, [this](Qt::MouseButton b, QPoint p) { Image1MouseDown(b, p); });
        connect(box, &TCanvasBox::MouseMove, this, [this](Qt::MouseButtons b, QPoint p) { Image1MouseDown(b, p); });
    }
    connect(Image2, &TCanvasBox::MouseDown, this, &TAnaLineForm::Image2MouseDown);
    connect(Image2, &TCanvasBox::MouseMove, this, &TAnaLineForm::Image2MouseMove);
    connect(Image3, &TCanvasBox::Dropped, this, &TAnaLineForm::Image3DragDrop);

    auto marker = [this](const char* name, const QColor& colour) {
        auto* p = new QWidget(this);
        p->setObjectName(QString::fromLatin1(name));
        p->setAutoFillBackground(true);
        QPalette pal = p->palette();
        pal.setColor(QPalette::Window, colour);
        p->setPalette(pal);
        p->resize(8, 8);
        p->setCursor(Qt::SizeAllCursor);
        p->installEventFilter(this);
        p->hide();
        return p;
    };
    Panel1 = marker("Panel1", Qt::black);
    Panel2 = marker("Panel2", QColor(0, 255, 0));

    Label1 = label("Label1", "");
    Label5 = label("Label5", "0");
    Label6 = label("Label6", "");
    Label7 = label("Label7", "");
    Label8 = label("Label8", "");
    Label9 = label("Label9", "");
    for (QLabel* l : {Label1, Label5, Label6, Label7, Label8, Label9}) {
        l->setToolTip(QStringLiteral("Click to Change"));
        l->setCursor(Qt::PointingHandCursor);
        l->installEventFilter(this);
    }
    Label6->setAutoFillBackground(true);
    Edit3 = edit("Edit3");
    Edit3->hide();
    CheckBox1 = new QCheckBox(QStringLiteral("Cursor Stick to Graph"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(true);
    CheckBox1->setEnabled(false);
    Edit4 = edit("Edit4");
    Edit4->setReadOnly(true);
    Edit4->setToolTip(QStringLiteral("Selected cursor: Space switches, Left/Right move, Up/Down change the curve"));

    // popup menus
    auto item = [this](QMenu* m, const char* name, const char* text, void (TAnaLineForm::*slot)()) {
        QAction* a = m->addAction(QString::fromLatin1(text));
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    PopupMenuPicture = new QMenu(this);
    PopupMenuPicture->setObjectName(QStringLiteral("PopupMenuPicture"));
    CopyPictureItem = item(PopupMenuPicture, "CopyPicture1", "Copy Picture", &TAnaLineForm::CopyImageClick);
    SaveAsItem = item(PopupMenuPicture, "SaveAs1", "SaveAs...", &TAnaLineForm::SaveAsClick);
    PopupMenuCrosssection = new QMenu(this);
    PopupMenuCrosssection->setObjectName(QStringLiteral("PopupMenuCrosssection"));
    CopyCrosssectionItem = item(PopupMenuCrosssection, "CopyCrosssection", "Copy Data", &TAnaLineForm::CopyCrosssectionClick);
    CopyPlotItem = item(PopupMenuCrosssection, "CopyPicture2", "Copy Picture", &TAnaLineForm::CopyImageClick);
    PopupMenuCrosssection->addSeparator();
    SavePlotBmpItem = item(PopupMenuCrosssection, "SavePictureAsbmp", "Save Picture As *.bmp ...", &TAnaLineForm::SaveAsClick);
    SavePictureAswmfItem = item(PopupMenuCrosssection, "SavePictureAswmf", "Save Picture As *.svg", &TAnaLineForm::SavePictureAswmfClick);
    SaveDataItem = item(PopupMenuCrosssection, "SaveData", "Save Data As ...", &TAnaLineForm::SaveDataClick);
    PopupMenuCrossData = new QMenu(this);
    PopupMenuCrossData->setObjectName(QStringLiteral("PopupMenuCrossData"));
    CopyData3Item = item(PopupMenuCrossData, "CopyData3", "Copy Data", &TAnaLineForm::CopyData3Click);
    PopupMenuRoughness = new QMenu(this);
    PopupMenuRoughness->setObjectName(QStringLiteral("PopupMenuRoughness"));
    CopyData2Item = item(PopupMenuRoughness, "CopyData2", "Copy Data", &TAnaLineForm::CopyData2Click);
    connect(Image1, &QWidget::customContextMenuRequested, this,
            [this](QPoint p) { PopupMenuPicture->popup(Image1->mapToGlobal(p)); });
    connect(Image2, &QWidget::customContextMenuRequested, this,
            [this](QPoint p) { PopupMenuCrosssection->popup(Image2->mapToGlobal(p)); });
    connect(StringGrid1, &QWidget::customContextMenuRequested, this,
            [this](QPoint p) { PopupMenuCrossData->popup(StringGrid1->viewport()->mapToGlobal(p)); });
    connect(StringGrid2, &QWidget::customContextMenuRequested, this,
            [this](QPoint p) { PopupMenuRoughness->popup(StringGrid2->viewport()->mapToGlobal(p)); });
}

// ---------------------------------------------------------------- opening

void TAnaLineForm::Setup(TQTVPicture* source) {
    Source = source;
    if (!Source) return;
    Image1->SizePicture();
    if (DualWindow) {
        RoughnessButton->hide();
        Image2->setToolTip(QStringLiteral("Use cursor keys and space to navigate."));
        Image3->show();
        Image3->setToolTip(QStringLiteral("use drag and drop"));
        Image3->SizePicture();
        QPainter p(&Image3->Picture);
        p.setPen(Pen(QColor(0, 128, 0), 1));
        p.drawLine(0, 0, Image3->Picture.width() - 1, Image3->Picture.height() - 1);
        p.drawLine(0, Image3->Picture.height() - 1, Image3->Picture.width() - 1, 0);
        p.end();
        SecondBitmap = Image3->Picture.copy();
    }
    AvgImage.SetSize(Source->Cols, Source->Rows);
    SecondImage = TQTVPicture();
    SecondAvgImage = TQTVPicture();
    Profile.Resize(0);
    if (settings_) {
        AnyLine.X1 = settings_->ReadInteger(Section, "AnyPoint1X", 1);
        AnyLine.Y1 = settings_->ReadInteger(Section, "AnyPoint1Y", 1);
        AnyLine.X2 = settings_->ReadInteger(Section, "AnyPoint2X", 10);
        AnyLine.Y2 = settings_->ReadInteger(Section, "AnyPoint2Y", 10);
    }
    const auto& names = MeasurementNames();
    FillTable(StringGrid1, std::vector<std::string>(names.begin(), names.end()), {});
    setUp_ = true;
    FormResize();
}

QImage TAnaLineForm::SourceImage() const {
    if (Owner && Source == &Owner->Picture && !Owner->Image1.isNull()) return Owner->Image1;
    return Source ? RenderedImage(*Source) : QImage();
}

// ---------------------------------------------------------------- layout

void TAnaLineForm::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    FormResize();
}

void TAnaLineForm::FormResize() {
    if (!setUp_ || busy_) return;
    const int CW = width(), CH = height();
    const TProfileLayout l = ProfileWindowLayout(CW, CH, DualWindow, LabelRoom());
    const int S = l.Side, top = l.Top, left = l.Left;
    Image1->setGeometry(left, top, S, S);
    Image1->SizePicture();
    if (DualWindow) {
        Image3->setGeometry(left + S + 50, top, S, S);
        if (!HasSecond) {
            const QImage placeholder = SecondBitmap;
            Image3->SizePicture();
            QPainter p(&Image3->Picture);
            p.setPen(Pen(QColor(0, 128, 0), 1));
            p.drawLine(0, 0, S - 1, S - 1);
            p.drawLine(0, S - 1, S - 1, 0);
            p.end();
            SecondBitmap = Image3->Picture.copy();
        } else {
            Image3->SizePicture();
        }
    }
    Image2->setGeometry(left, l.PlotTop, l.PlotWidth, l.PlotHeight);
    Image2->SizePicture();
    base1_ = QImage();
    base3_ = QImage();
    PlaceLabels();
    ApplyMode();
}

int TAnaLineForm::LabelRoom() const {
    // the widest height label the short number format writes, or the unit label if wider
    const QFontMetrics fm = Label7->fontMetrics();
    return std::max({fm.horizontalAdvance(QStringLiteral("-8.888E-88")), fm.horizontalAdvance(Label8->text()),
                     fm.horizontalAdvance(Label7->text()), fm.horizontalAdvance(Label9->text())});
}

void TAnaLineForm::PlaceLabels() {
    const int L = Image2->x(), T = Image2->y(), W = Image2->width(), H = Image2->height();
    const int S = Image1->width();
    CheckBox1->adjustSize();
    CheckBox1->move(L + 40, T - 21);
    Edit4->setGeometry(L + 60 + CheckBox1->width(), T - 23, 40, 20);
    for (QLabel* l : {Label1, Label5, Label6, Label7, Label8, Label9}) l->adjustSize();
    const int below = T + H + S / 30;
    Label1->move(L + (W - Label1->width()) / 2, below);
    Label5->move(L, below);
    Label6->move(L + W - Label6->width(), below);
    Label7->move(L - 10 - Label7->width(), T);
    Label8->move(L - 10 - Label8->width(), T + H / 2);
    Label9->move(Label7->x(), T + H - Label9->height());
}

// ---------------------------------------------------------------- modes

void TAnaLineForm::ComboBox1Change() {
    if (!setUp_) return;
    int w = 1;
    if (!TryStrToInt(QtToLatin1(Edit1->text()), w) || w <= 0) w = 1;
    LineWidth = w;
    Edit1->setText(QString::number(LineWidth));
    switch (Mode()) {
    case TLineMode::Row: Edit2->setText(QString::number(RowIndex)); break;
    case TLineMode::Col: Edit2->setText(QString::number(ColIndex)); break;
    case TLineMode::Radial: Edit2->setText(Latin1ToQt(FormatFixed(Angle, 4, 0))); break;
    case TLineMode::Any: break;
    }
    ApplyMode();
}

void TAnaLineForm::ApplyMode() {
    if (!Source || !setUp_ || busy_) return;
    const TLineMode mode = Mode();
    const bool any = mode == TLineMode::Any;
    Label2->setVisible(!any);
    Edit2->setVisible(!any);
    Panel1->setVisible(any);
    Panel2->setVisible(any);
    QPalette pal = Label6->palette();
    pal.setColor(QPalette::Window, palette().color(QPalette::Button));
    Label6->setPalette(pal);
    LineWidth = EffectiveWidth(mode, LineWidth);
    QPointer<TAnaLineForm> self(this);
    bool stopped = false;
    {
        TBusy busy(busy_, this);
        switch (mode) {
        case TLineMode::Row:
            Label2->setText(QStringLiteral("number"));
            AverageRows(*Source, LineWidth, AvgImage);
            if (HasSecond) AverageRows(SecondImage, LineWidth, SecondAvgImage);
            SetRowStep(*Source, Profile);
            Label4->setText(QStringLiteral("Pixel"));
            break;
        case TLineMode::Col:
            Label2->setText(QStringLiteral("number"));
            AverageColumns(*Source, LineWidth, AvgImage);
            if (HasSecond) AverageColumns(SecondImage, LineWidth, SecondAvgImage);
            SetColumnStep(*Source, Profile);
            Label4->setText(QStringLiteral("Pixel"));
            break;
        case TLineMode::Any:
            SetFreeStep(*Source, Profile);
            pal.setColor(QPalette::Window, QColor(0, 255, 0));
            Label6->setPalette(pal);
            Label4->setText(QStringLiteral("Pixel"));
            break;
        case TLineMode::Radial: {
            Label2->setText(QStringLiteral("angle"));
            Label4->setText(QString::fromLatin1("\xb0"));
            if (reuseAverage_) {
                SetFreeStep(*Source, Profile);
                break;
            }
            // A long average shows a bar with "Cancel" and keeps the window painting;
            // both averages are complete before either takes the place of the shown one.
            TLongRun run(this, nullptr, QStringLiteral("Averaging along arcs ..."),
                         [&] { return self && Source && !closeAfterRun_; });
            int pass = 0;
            const int passes = HasSecond ? 2 : 1;
            // the work of the distances done so far grows with the cube of the distance
            const TArcProgress progress = [&](int32_t done, int32_t total) {
                const int64_t d = done, t = std::max(total, 1);
                return run(pass * t + d * d * d / (t * t), passes * t);
            };
            TQTVPicture first;
            stopped = !AverageArc(*Source, LineWidth, first, progress);
            if (!stopped && HasSecond) {
                pass = 1;
                stopped = !AverageArc(SecondImage, LineWidth, SecondAvgImage, progress);
            }
            if (stopped) break;
            AvgImage.CopySamplesFrom(first);
            SetFreeStep(*Source, Profile);
            break;
        }
        }
    }
    if (!self) return;
    if (closeAfterRun_) {  // closed while the average ran
        closeAfterRun_ = false;
        Button1Click();
        return;
    }
    if (stopped) {
        RevertMode();
        return;
    }
    made_ = {mode, LineWidth, secondStamp_};
    Label1->setText(Latin1ToQt(Profile.XLabel));
    Edit1->setText(QString::number(LineWidth));
    ResetCursors();
    Extract();
}

// A stopped average: back to the profile shown before (the arc average it used is
// still there unless another second image came since; the row average otherwise).
void TAnaLineForm::RevertMode() {
    const bool reuse = made_.Valid && made_.Mode == TLineMode::Radial && made_.Second == secondStamp_;
    const TLineMode back = made_.Valid && (made_.Mode != TLineMode::Radial || reuse) ? made_.Mode : TLineMode::Row;
    if (made_.Valid) Edit1->setText(QString::number(made_.Width));
    {
        const QSignalBlocker block(ComboBox1);
        ComboBox1->setCurrentIndex(static_cast<int>(back));
    }
    reuseAverage_ = reuse;
    ComboBox1Change();
    reuseAverage_ = false;
}

void TAnaLineForm::ResetCursors() { Cursors.Reset(); }

void TAnaLineForm::RedrawImages() {
    const QSize s1 = Image1->size();
    if (base1_.size() != s1) {
        base1_ = QImage(s1, QImage::Format_RGB32);
        base1_.fill(Qt::white);
        QPainter p(&base1_);
        const QImage src = SourceImage();
        if (!src.isNull()) p.drawImage(QRect(QPoint(0, 0), s1), src);
    }
    Image1->Picture = base1_.copy();
    if (HasSecond && !Image3->isHidden()) {
        const QSize s3 = Image3->size();
        if (base3_.size() != s3) {
            base3_ = QImage(s3, QImage::Format_RGB32);
            base3_.fill(Qt::white);
            QPainter p(&base3_);
            p.drawImage(QRect(QPoint(0, 0), s3), SecondBitmap);
        }
        Image3->Picture = base3_.copy();
    } else if (DualWindow) {
        Image3->Picture = SecondBitmap.size() == Image3->size() ? SecondBitmap.copy() : Image3->Picture;
    }
}

void TAnaLineForm::Extract() {
    if (!Source || !setUp_) return;
    RedrawImages();
    const TQTVPicture* second = HasSecond ? &SecondAvgImage : nullptr;
    switch (Mode()) {
    case TLineMode::Row: RowIndex = ExtractRow(AvgImage, RowIndex, Profile, second); break;
    case TLineMode::Col: ColIndex = ExtractColumn(AvgImage, ColIndex, Profile, second); break;
    case TLineMode::Any:
        SampleAny(*Source, AnyLine, LineWidth, Profile, HasSecond ? &SecondImage : nullptr);
        PlaceMarkers();
        break;
    case TLineMode::Radial: ExtractRadial(AvgImage, Angle, Profile, second); break;
    }
    DrawLineOn(Image1->Picture, false);
    if (HasSecond) DrawLineOn(Image3->Picture, true);
    Image1->update();
    Image3->update();
    DrawPlot();
}

void TAnaLineForm::PlaceMarkers() {
    const double PW = Image1->Picture.width(), PH = Image1->Picture.height();
    double sx = Source->Cols / PW, sy = Source->Rows / PH;
    if (sx == 0) sx = 1;
    if (sy == 0) sy = 1;
    Panel1->move(Image1->x() + Rnd(AnyLine.X1 / sx) - 4, Image1->y() + Rnd(AnyLine.Y1 / sy) - 4);
    Panel2->move(Image1->x() + Rnd(AnyLine.X2 / sx) - 4, Image1->y() + Rnd(AnyLine.Y2 / sy) - 4);
    Panel1->raise();
    Panel2->raise();
}

void TAnaLineForm::DrawLineOn(QImage& pic, bool second) {
    if (pic.isNull() || !Source) return;
    const TQTVPicture& img = second ? SecondImage : *Source;
    if (img.Rows <= 0 || img.Cols <= 0) return;
    const int PW = pic.width(), PH = pic.height();
    const int W = LineWidth;
    const QColor colour = second ? QColor(0, 128, 0) : QColor(0, 0, 255);
    QPainter p(&pic);
    const QPen solid = Pen(colour, 1), dotted = Pen(colour, 1, Qt::DotLine);
    switch (Mode()) {
    case TLineMode::Row: {
        const int a = second ? MapIndex(RowIndex, Source->Rows, img.Rows) : RowIndex;
        if (W >= 2) {
            p.setPen(dotted);
            for (int s : {-1, 1}) {
                const int y = Rnd(static_cast<double>(PH) * (a + s * (W / 2)) / img.Rows);
                p.drawLine(0, y, PW, y);
            }
        }
        p.setPen(solid);
        const int y = Rnd(static_cast<double>(PH) * a / img.Rows);
        p.drawLine(0, y, PW, y);
        break;
    }
    case TLineMode::Col: {
        const int a = second ? MapIndex(ColIndex, Source->Cols, img.Cols) : ColIndex;
        if (W >= 2) {
            p.setPen(dotted);
            for (int s : {-1, 1}) {
                const int x = Rnd(static_cast<double>(PW) * (a + s * (W / 2)) / img.Cols);
                p.drawLine(x, 0, x, PH);
            }
        }
        p.setPen(solid);
        const int x = Rnd(static_cast<double>(PW) * a / img.Cols);
        p.drawLine(x, 0, x, PH);
        break;
    }
    case TLineMode::Any: {
        if (second && (img.Cols != Source->Cols || img.Rows != Source->Rows)) break;
        const QPoint c1(Panel1->x() + 4 - Image1->x(), Panel1->y() + 4 - Image1->y());
        const QPoint c2(Panel2->x() + 4 - Image1->x(), Panel2->y() + 4 - Image1->y());
        if (W >= 2) {
            const double ex = c2.x() - c1.x(), ey = c2.y() - c1.y();
            double l2 = ex * ex + ey * ey;
            if (l2 < 0.1) l2 = 0.1;
            const double L = std::sqrt(l2);
            const int ox = Rnd(PW * ex / L * W * 0.5 / Source->Cols);
            const int oy = Rnd(PH * ey / L * W * 0.5 / Source->Rows);
            p.setPen(dotted);
            p.drawLine(c1 + QPoint(oy, -ox), c2 + QPoint(oy, -ox));
            p.drawLine(c1 + QPoint(-oy, ox), c2 + QPoint(-oy, ox));
        }
        p.setPen(solid);
        p.drawLine(c1, c2);
        break;
    }
    case TLineMode::Radial: {
        const int cx = PW / 2, cy = PH / 2;
        auto ray = [&](double deg) {
            const double a = deg * Pi / 180.0;
            p.drawLine(cx, cy, static_cast<int>(std::trunc(cx * (std::cos(a) + 1))),
                       static_cast<int>(std::trunc(cy * (1 - std::sin(a)))));
        };
        p.setPen(dotted);
        ray(W / 2 + static_cast<double>(Angle));
        ray(static_cast<double>(Angle) - W / 2);
        p.setPen(solid);
        ray(Angle);
        break;
    }
    }
}

// ---------------------------------------------------------------- plot

void TAnaLineForm::DrawPlot() {
    for (int r = 0; r < StringGrid1->rowCount(); ++r) StringGrid1->item(r, 1)->setText(QString());
    if (Image2->Picture.size() != Image2->size()) Image2->SizePicture();
    Plot = MakePlotScale(Profile, Image2->Picture.width(), Image2->Picture.height());
    Label7->setText(Latin1ToQt(PlotLimitText(Plot.Max)));
    Label9->setText(Latin1ToQt(PlotLimitText(Plot.Min)));
    Label8->setText(Latin1ToQt("[" + (Source ? Source->Para.PhysUnit : std::string()) + "]"));
    {
        QPainter p(&Image2->Picture);
        DrawPlotOn(p, Image2->Picture.width(), Image2->Picture.height());
        // the frame around the plot, as the drawing has it
        p.setPen(Pen(QColor(128, 128, 128), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(0, 0, Image2->Picture.width() - 1, Image2->Picture.height() - 1);
    }
    Label6->setText(Latin1ToQt(PlotLengthText(Profile)));
    PlaceLabels();
    Image2->update();
}

void TAnaLineForm::DrawPlotOn(QPainter& p, int w, int h) {
    p.fillRect(0, 0, w, h, Qt::white);
    if (Profile.Count <= 0) return;
    QPolygon line;
    for (int j = 0; j < Profile.Count; ++j) line << QPoint(Plot.PointX(j), Plot.PointY(Profile.Z[static_cast<size_t>(j)]));
    p.setPen(Pen(QColor(0, 0, 255), 1));
    p.drawPolyline(line);
    if (Profile.HasSecond) {
        QPolygon line2;
        for (int j = 0; j < Profile.Count; ++j)
            line2 << QPoint(Plot.PointX(j), std::clamp(Plot.PointY(Profile.Z2[static_cast<size_t>(j)]), 0, h - 1));
        p.setPen(Pen(QColor(0, 128, 0), 1));
        p.drawPolyline(line2);
    }
}

void TAnaLineForm::ShowCursors() {
    if (!Source) return;
    Extract();
    QPainter p(&Image2->Picture);
    const QColor colours[2] = {QColor(255, 0, 0), QColor(0, 128, 0)};
    for (int i = 0; i < 2; ++i) {
        const TCursor& c = Cursors.C[static_cast<size_t>(i)];
        if (!c.Active) continue;
        if (i == Cursors.Selected) {
            p.setPen(Pen(QColor(128, 128, 128), 1));
            p.drawLine(0, c.Y, Image2->Picture.width(), c.Y);
            p.drawLine(c.X, 0, c.X, Image2->Picture.height());
        }
        p.setPen(Pen(colours[i], 5));
        p.drawLine(c.X - 5, c.Y, c.X, c.Y);
        p.drawLine(c.X + 1, c.Y, c.X + 5, c.Y);
        p.drawLine(c.X, c.Y - 5, c.X, c.Y);
        p.drawLine(c.X, c.Y + 1, c.X, c.Y + 5);
        // the place on the image
        if (c.Sample >= 0 && c.Sample < Profile.Count) {
            TCanvasBox* box = c.Curve == 1 && HasSecond ? Image3 : Image1;
            QPainter q(&box->Picture);
            q.setPen(Pen(colours[i], 3));
            const int x = Rnd(static_cast<double>(box->Picture.width()) * Profile.X[static_cast<size_t>(c.Sample)] / Source->Cols);
            const int y = Rnd(static_cast<double>(box->Picture.height()) * Profile.Y[static_cast<size_t>(c.Sample)] / Source->Rows);
            q.drawLine(x - 6, y, x + 5, y);
            q.drawLine(x, y - 6, x, y + 5);
            box->update();
        }
    }
    p.end();
    const auto values = MeasurementValues(Profile, Cursors, *Source);
    for (int r = 0; r < 11; ++r) StringGrid1->item(r, 1)->setText(Latin1ToQt(values[static_cast<size_t>(r)]));
    StringGrid1->show();
    Image2->update();
}

void TAnaLineForm::FillTable(QTableWidget* grid, const std::vector<std::string>& names,
                             const std::vector<std::string>& values) {
    const QColor face = palette().color(QPalette::Button);
    const QColor base = palette().color(QPalette::Base);
    int widest = 0;
    const QFontMetrics fm(grid->font());
    for (int r = 0; r < grid->rowCount(); ++r) {
        QTableWidgetItem* name = grid->item(r, 0);
        QTableWidgetItem* value = grid->item(r, 1);
        if (r < static_cast<int>(names.size())) name->setText(Latin1ToQt(names[static_cast<size_t>(r)]));
        value->setText(r < static_cast<int>(values.size()) ? Latin1ToQt(values[static_cast<size_t>(r)]) : QString());
        QColor bg = face;
        if (grid == StringGrid1 && r <= 2) bg = QColor(255, 0, 0);
        if (grid == StringGrid1 && r >= 3 && r <= 5) bg = QColor(0, 255, 0);
        name->setBackground(bg);
        value->setBackground(base);
        widest = std::max(widest, fm.horizontalAdvance(name->text()));
    }
    const int first = widest + 20;
    grid->setColumnWidth(0, first);
    grid->setColumnWidth(1, std::max(grid->width() - first - 3, 20));
}

// ---------------------------------------------------------------- mouse and keys

void TAnaLineForm::Image1MouseDown(Qt::MouseButtons buttons, QPoint pos) {
    if (!(buttons & Qt::LeftButton) || !Source || busy_) return;
    const int X = pos.x(), Y = pos.y();
    switch (Mode()) {
    case TLineMode::Row:
        RowIndex = ClampIndex(Rnd(static_cast<double>(Y) * Source->Rows / std::max(Image1->height(), 1)), 0, Source->Rows - 1);
        Edit2->setText(QString::number(RowIndex));
        break;
    case TLineMode::Col:
        ColIndex = ClampIndex(Rnd(static_cast<double>(X) * Source->Cols / std::max(Image1->width(), 1)), 0, Source->Cols - 1);
        Edit2->setText(QString::number(ColIndex));
        break;
    case TLineMode::Radial: {
        const int PW = Image1->Picture.width(), PH = Image1->Picture.height();
        const double ex = X - PW / 2, ey = PH / 2 - Y;
        double a = std::fabs(ey) < 10000 * std::fabs(ex) ? std::atan(std::fabs(ey / ex)) * 180.0 / Pi : 90.0;
        if (ex < 0 && ey >= 0) a = 180 - a;
        else if (ex < 0 && ey < 0) a = a + 180;
        else if (ex >= 0 && ey < 0) a = 360 - a;
        Angle = static_cast<float>(a);
        Edit2->setText(QString::number(Rnd(a)));
        break;
    }
    case TLineMode::Any: break;
    }
    ResetCursors();
    Extract();
}

void TAnaLineForm::Panel1MouseMove(QWidget* marker, QPoint pos) {
    if (!Source || busy_) return;
    const double PW = Image1->Picture.width(), PH = Image1->Picture.height();
    const double px = PW > 0 ? Source->Cols / PW : 0, py = PH > 0 ? Source->Rows / PH : 0;
    const int x = Rnd((pos.x() - 4 + marker->x() - Image1->x()) * px);
    const int y = Rnd((pos.y() - 4 + marker->y() - Image1->y()) * py);
    if (marker == Panel1) {
        AnyLine.X1 = x;
        AnyLine.Y1 = y;
    } else {
        AnyLine.X2 = x;
        AnyLine.Y2 = y;
    }
    ResetCursors();
    Extract();  // clamps the point and moves the markers there
    HintText = marker == Panel1
                   ? QStringLiteral("left: x/y [Pixel] : %1/%2").arg(AnyLine.X1).arg(AnyLine.Y1)
                   : QStringLiteral("right: x/y [Pixel] : %1/%2").arg(AnyLine.X2).arg(AnyLine.Y2);
    marker->setToolTip(HintText);
    setToolTip(HintText);
}

void TAnaLineForm::Image2MouseDown(Qt::MouseButton button, QPoint pos) {
    if (button != Qt::LeftButton || !Source) return;
    Cursors.MouseDown(Profile, Plot, pos.x(), pos.y());
    Edit4->setText(Cursors.Selected < 0 ? QString() : QString::number(Cursors.Selected));
    Edit4->setFocus();
    ShowCursors();
}

void TAnaLineForm::Image2MouseMove(Qt::MouseButtons buttons, QPoint pos) {
    if (!(buttons & Qt::LeftButton) || !Source) return;
    if (Cursors.MouseMove(Profile, Plot, pos.x())) ShowCursors();
}

void TAnaLineForm::Edit4KeyDown(int key) {
    TCursorKey k;
    switch (key) {
    case Qt::Key_Space: k = TCursorKey::Space; break;
    case Qt::Key_Up: k = TCursorKey::Up; break;
    case Qt::Key_Down: k = TCursorKey::Down; break;
    case Qt::Key_Left: k = TCursorKey::Left; break;
    case Qt::Key_Right: k = TCursorKey::Right; break;
    default: return;
    }
    if (Cursors.Key(Profile, Plot, k)) {
        Edit4->setText(QString::number(Cursors.Selected));
        ShowCursors();
    }
}

void TAnaLineForm::Edit1KeyPress() {
    int w = 0;
    if (TryStrToInt(QtToLatin1(Edit1->text()), w)) {
        LineWidth = w <= 0 ? 1 : w;
        Edit1->setText(QString::number(LineWidth));
        ComboBox1Change();
        SetEditState(Edit1, TEditState::Standard);
    } else {
        SetEditState(Edit1, TEditState::Rejected);
        LineWidth = 1;
    }
}

void TAnaLineForm::Edit2KeyPress() {
    long double v = 0;
    bool ok = true;
    try {
        v = StrToFloatTolerant(QtToLatin1(Edit2->text()));
        ok = std::isfinite(static_cast<double>(v));
    } catch (const std::exception&) {
        ok = false;
    }
    if (ok) {
        const double d = std::clamp(static_cast<double>(v), -1e9, 1e9);
        switch (Mode()) {
        case TLineMode::Row: RowIndex = static_cast<int32_t>(RoundHalfEven(d)); break;
        case TLineMode::Col: ColIndex = static_cast<int32_t>(RoundHalfEven(d)); break;
        case TLineMode::Radial: Angle = static_cast<float>(d); break;
        case TLineMode::Any: break;
        }
        ResetCursors();
        Extract();
        SetEditState(Edit2, TEditState::Accepted);
    } else {
        SetEditState(Edit2, TEditState::Rejected);
        DrawPlot();
    }
}

void TAnaLineForm::LabelClick(QLabel* label) {
    Edit3->setText(label->text());
    Edit3->setProperty("tag", label->objectName().right(1).toInt());
    Edit3->setGeometry(label->x() + 10, label->y() - 30, std::max(label->width() + 40, 80), 24);
    Edit3->show();
    Edit3->raise();
    Edit3->setFocus();
}

void TAnaLineForm::Edit3KeyPress() {
    const int tag = Edit3->property("tag").toInt();
    QLabel* labels[] = {nullptr, Label1, nullptr, nullptr, nullptr, Label5, Label6, Label7, Label8, Label9};
    if (tag >= 0 && tag <= 9 && labels[tag]) {
        labels[tag]->setText(Edit3->text());
        PlaceLabels();
    }
    Edit3->hide();
}

bool TAnaLineForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        const bool enter = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter;
        if (watched == Edit1 && enter) {
            Edit1KeyPress();
            return true;
        }
        if (watched == Edit2 && enter) {
            Edit2KeyPress();
            return true;
        }
        if (watched == Edit3 && enter) {
            Edit3KeyPress();
            return true;
        }
        if (watched == Edit3 && k->key() == Qt::Key_Escape) {
            Edit3->hide();
            return true;
        }
        if (watched == Edit4) {
            switch (k->key()) {
            case Qt::Key_Space:
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_Left:
            case Qt::Key_Right:
                Edit4KeyDown(k->key());
                return true;
            default:
                break;
            }
        }
    }
    if (event->type() == QEvent::MouseButtonPress) {
        if (auto* l = qobject_cast<QLabel*>(watched)) {
            LabelClick(l);
            return true;
        }
    }
    if (event->type() == QEvent::MouseMove && (watched == Panel1 || watched == Panel2)) {
        auto* m = static_cast<QMouseEvent*>(event);
        if (m->buttons() & Qt::LeftButton) Panel1MouseMove(static_cast<QWidget*>(watched), m->position().toPoint());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TAnaLineForm::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        Button1Click();
        return;
    }
    QWidget::keyPressEvent(e);
}

// ---------------------------------------------------------------- dual line

void TAnaLineForm::Image3DragDrop(QDropEvent* event) {
    if (DropData(event->mimeData(), event->source())) event->acceptProposedAction();
}

bool TAnaLineForm::DropData(const QMimeData* mime, QObject* source) {
    TMDIChild* window = nullptr;
    for (QObject* o = source; o && !window; o = o->parent()) window = qobject_cast<TMDIChild*>(o);
    if (!window && mime && mime->hasFormat(QString::fromLatin1(WindowMimeType)) && MainForm) {
        bool ok = false;
        const int n = mime->data(QString::fromLatin1(WindowMimeType)).toInt(&ok);
        if (ok && n >= 0 && n < TMainForm::MaxImageWindows) window = MainForm->ImageWindows[static_cast<size_t>(n)];
    }
    const bool taken = window && DropSecond(window);
    setFocus();
    return taken;
}

bool TAnaLineForm::DropSecond(TMDIChild* window) {
    if (!window || !window->Picture.HasData() || !Source || busy_) return false;
    SecondBitmap = window->Image1.isNull() ? RenderedImage(window->Picture) : window->Image1.copy();
    SecondImage.CopySamplesFrom(window->Picture);
    SecondAvgImage.SetSize(SecondImage.Cols, SecondImage.Rows);
    HasSecond = true;
    ++secondStamp_;
    base3_ = QImage();
    ApplyMode();
    Image3->setToolTip(QString());
    setFocus();
    return true;
}

// ---------------------------------------------------------------- roughness

void TAnaLineForm::RoughnessClick() {
    if (!Source || Profile.Count <= 0) return;
    LastRoughness = EvaluateRoughness(Profile.Z, Profile.Count);
    {
        QPainter p(&Image2->Picture);
        const TPlotScale& s = Plot;
        for (const TRoughSegment& g : LastRoughness.Segments) {
            auto y = [&](double v) { return s.PointY(v); };
            const int x1 = s.PointX(g.First), x2 = s.PointX(g.Last);
            const double m1 = g.A + g.B * g.First, m2 = g.A + g.B * g.Last;
            p.setPen(Pen(QColor(255, 0, 0), 2));
            p.drawLine(x1, y(m1), x2, y(m2));
            p.setPen(Pen(QColor(0, 128, 0), 1));
            p.drawLine(x1, y(m1 + g.Peak), x2, y(m2 + g.Peak));
            p.drawLine(x1, y(m1 + g.Valley), x2, y(m2 + g.Valley));
        }
    }
    Image2->update();
    const auto names = RoughnessNames();
    const auto texts = RoughnessTexts(LastRoughness, Source->Para.PhysUnit);
    FillTable(StringGrid2, std::vector<std::string>(names.begin(), names.end()),
              std::vector<std::string>(texts.begin(), texts.end()));
    StringGrid2->setColumnWidth(0, StringGrid1->columnWidth(0));
    StringGrid2->setColumnWidth(1, StringGrid1->columnWidth(1));
    StringGrid2->show();
}

// ---------------------------------------------------------------- clipboard

void TAnaLineForm::CopyCrosssectionClick() {
    QGuiApplication::clipboard()->setText(Latin1ToQt(ProfileClipboardText(Profile)));
}

namespace {
void CopyGrid(QTableWidget* grid) {
    std::vector<std::string> names, values;
    for (int r = 0; r < grid->rowCount(); ++r) {
        names.push_back(QtToLatin1(grid->item(r, 0)->text()));
        values.push_back(QtToLatin1(grid->item(r, 1)->text()));
    }
    QGuiApplication::clipboard()->setText(Latin1ToQt(TableText(names, values)));
}
}  // namespace

void TAnaLineForm::CopyData3Click() { CopyGrid(StringGrid1); }
void TAnaLineForm::CopyData2Click() { CopyGrid(StringGrid2); }

void TAnaLineForm::CopyImageClick() {
    const bool picture = sender() == CopyPictureItem;
    QGuiApplication::clipboard()->setImage(picture ? Image1->Picture : Image2->Picture);
}

// ---------------------------------------------------------------- saving

TDisplayFont TAnaLineForm::DrawingFont() const {
    // the labels' font as the default, in pixels as the settings keep it
    TDisplayFont def;
    def.Font = Label7->font();
    def.Font.setPixelSize(std::max(QFontInfo(Label7->font()).pixelSize(), 1));
    def.Color = Qt::black;
    TDisplayFont f = settings_ ? ReadDisplayFont(*settings_, "FontLabel", def) : def;
    f.Font.setBold(font().bold());
    f.Font.setItalic(font().italic());
    return f;
}

QByteArray TAnaLineForm::PlotSvg() {
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    const TDisplayFont drawing = DrawingFont();
    const QFont& font = drawing.Font;
    const QFontMetrics fm(font);
    const int tw = fm.horizontalAdvance(QStringLiteral("1,234E-2")), th = fm.height();
    const int pw = Image2->Picture.width(), ph = Image2->Picture.height();
    const int width = pw + tw, height = ph + th + 4;
    QSvgGenerator gen;
    gen.setOutputDevice(&buf);
    gen.setSize(QSize(width, height));
    gen.setViewBox(QRect(0, 0, width, height));
    gen.setTitle(windowTitle());
    gen.setResolution(96);
    QPainter p(&gen);
    p.fillRect(0, 0, width, height, Qt::white);
    p.save();
    p.translate(tw, 0);
    DrawPlotOn(p, pw, ph);
    p.setPen(Pen(QColor(128, 128, 128), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, pw - 1, ph - 1);
    p.restore();
    p.setFont(font);
    p.setPen(drawing.Color);
    auto text = [&](int x, int y, const QString& s) { p.drawText(x, y + fm.ascent(), s); };
    text(2, 2, Label7->text());
    text(2, (height - th) / 2, Label8->text());
    text(2, height - 2 * th - 2, Label9->text());
    text(tw, height - th - 3, Label5->text());
    text(width / 2 + tw - fm.horizontalAdvance(Label1->text()), height - th - 3, Label1->text());
    text(width - fm.horizontalAdvance(Label6->text()) - 2, height - th - 3, Label6->text());
    p.end();
    return bytes;
}

bool TAnaLineForm::AskSaveName(const char* filter, int& filterIndex, QString& file) {
    QString dir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    if (settings_) dir = Latin1ToQt(settings_->ReadString("Save", "Path", QtToLatin1(dir)));
    QString name = windowTitle();
    const int dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) name = name.left(dot);
    file = QDir(dir).filePath(name);
    if (SaveDialogHook) return SaveDialogHook(file, filterIndex);
    const QStringList filters = QtFilters(filter);
    QString selected = filters.value(filterIndex - 1);
    const QString chosen = QFileDialog::getSaveFileName(this, QString(), file, filters.join(QStringLiteral(";;")), &selected);
    if (chosen.isEmpty()) return false;
    file = chosen;
    filterIndex = static_cast<int>(filters.indexOf(selected)) + 1;
    if (filterIndex <= 0) filterIndex = 1;
    return true;
}

bool TAnaLineForm::WriteSaved(const QString& file, const QByteArray& bytes, bool replace) {
    const TSaveResult r = SaveOutputFile(QtToPath(file), std::string(bytes.constData(), static_cast<size_t>(bytes.size())), replace);
    if (r != TSaveResult::Saved) return false;
    if (settings_) settings_->WriteString("Save", "Path", QtToLatin1(QFileInfo(file).absolutePath() + QLatin1Char('/')));
    return true;
}

namespace {
// A name without "." gets the filter's extension and may not replace a file; a name
// with one was confirmed by the dialog.
QString Completed(const QString& file, const QString& ext, bool& replace) {
    const std::string done = WithDefaultExt(QtToPath(file), QtToLatin1(ext));
    replace = done == QtToPath(file);
    return PathToQt(done);
}
}  // namespace

void TAnaLineForm::SaveAsClick() {
    const bool picture = sender() == SaveAsItem;
    int index = 1;
    QString file;
    if (!AskSaveName(BmpFilter, index, file)) return;
    bool replace = false;
    file = Completed(file, QStringLiteral(".bmp"), replace);
    WriteSaved(file, BmpBytes(picture ? Image1->Picture : Image2->Picture), replace);
}

void TAnaLineForm::SavePictureAswmfClick() {
    int index = 1;
    QString file;
    if (!AskSaveName(SvgFilter, index, file)) return;
    bool replace = false;
    file = Completed(file, QStringLiteral(".svg"), replace);
    WriteSaved(file, PlotSvg(), replace);
    DrawPlot();  // the frame shows on screen as well
}

void TAnaLineForm::SaveDataClick() {
    int index = 1;
    QString file;
    if (!AskSaveName(DataFilter, index, file)) return;
    if (index < 1 || index > 3) index = 1;
    bool replace = false;
    file = Completed(file, FilterExt(DataFilter, index), replace);
    switch (index) {
    case 1: {
        const std::string text = ProfileDatText(Profile);
        WriteSaved(file, QByteArray(text.data(), static_cast<qsizetype>(text.size())), replace);
        break;
    }
    case 2: WriteSaved(file, BmpBytes(Image1->Picture), replace); break;
    case 3: WriteSaved(file, PlotSvg(), replace); break;
    }
}

// ---------------------------------------------------------------- closing

void TAnaLineForm::Button1Click() {
    if (QMdiSubWindow* sub = SubWindow()) sub->close();
    else close();
}

void TAnaLineForm::OwnerClosing() {
    Source = nullptr;
    Owner = nullptr;
    setUp_ = false;
    if (QMdiSubWindow* sub = SubWindow()) sub->close();
    else close();
}

void TAnaLineForm::closeEvent(QCloseEvent* e) {
    // FormClose: while an averaging runs it stops first, then the window closes
    if (busy_) {
        closeAfterRun_ = true;
        e->ignore();
        return;
    }
    QWidget::closeEvent(e);
    if (closing_) return;
    closing_ = true;
    if (QMdiSubWindow* sub = SubWindow()) sub->close();
    if (MainForm && Owner) MainForm->Refresh1Click();
}
