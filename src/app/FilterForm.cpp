#include "app/FilterForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "app/Childwin.h"
#include "app/EditColours.h"
#include "app/LongRun.h"
#include "app/PictureImage.h"
#include "app/QtMessageSink.h"
#include "core/Errors.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "core/Settings.h"
#include "processing/FFTView.h"
#include "processing/Kernels.h"
#include "processing/WorkingCopy.h"
#include "processing/Sphere.h"

namespace {

class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
};

constexpr int LeftColumn = 185;
constexpr int ButtonPanelHeight = 70;

struct TModeInfo {
    const char* Prefix;
    int Help;
};

TModeInfo ModeInfo(int mode)
{
    if (mode == fmLowPass) return {"LowPass of ", 7};
    if (mode >= 1 && mode <= fmLastKernel) return {"", 7};
    switch (mode) {
    case fmBadPoints: return {"Bad points removal of ", 10};
    case fmHistogram: return {"Histogram of ", 12};
    case fmFFT: return {"FFT of ", 29};
    case fmLeveling: return {"Slope of ", 11};
    case fmZoom: return {"Zoom of ", 14};
    case fmSphere: return {"Sphere-Filter ", 15};
    case fmMedian: return {"Median-Filter ", 9};
    case fmDistortion: return {"Distortion ", 16};
    case fmMean: return {"Mean-Filter ", 8};
    default: return {"", 0};
    }
}

QColor BinColour(bool red) { return red ? QColor(255, 0, 0) : QColor(0, 0, 255); }

QWidget* MakePanel(QWidget* parent, const char* name)
{
    auto* p = new QWidget(parent);
    p->setObjectName(QString::fromLatin1(name));
    p->setAutoFillBackground(true);
    p->setBackgroundRole(QPalette::Button);
    p->hide();
    return p;
}

// Passes the mouse events of a control to a handler (the control still gets them).
class TMouseRelay : public QObject {
public:
    using QObject::QObject;
    std::function<void(QEvent::Type, QMouseEvent*)> Handler;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        const QEvent::Type t = e->type();
        if (Handler && (t == QEvent::MouseButtonPress || t == QEvent::MouseMove || t == QEvent::MouseButtonRelease))
            Handler(t, static_cast<QMouseEvent*>(e));
        return false;
    }
};

// The settings keys of the four distortion coefficients, in field order.
const char* const DistortionKeys[] = {"DistortionCX", "DistortionDX", "DistortionCY", "DistortionDY"};

}  // namespace

// ---------------------------------------------------------------- picture boxes

TPictureBox::TPictureBox(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void TPictureBox::SetPicture(const QImage& image)
{
    image_ = image;
    update();
}

void TPictureBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (image_.isNull()) {
        p.fillRect(rect(), palette().color(QPalette::Window));
        return;
    }
    p.drawImage(rect(), image_);
    if (Circles.empty()) return;
    const double sx = static_cast<double>(width()) / image_.width();
    const double sy = static_cast<double>(height()) / image_.height();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    for (const QPoint& c : Circles)
        p.drawEllipse(QPointF((c.x() + 0.5) * sx, (c.y() + 0.5) * sy), std::max(5 * sx, 3.0),
                      std::max(5 * sy, 3.0));
}

void TPictureBox::mousePressEvent(QMouseEvent* e) { emit MouseDown(e->button(), e->position().toPoint()); }

THistogramBox::THistogramBox(QWidget* parent, const THistogram& hist) : QWidget(parent), hist_(hist)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
}

int THistogramBox::BinAt(int x) const { return std::clamp(x, 0, HistogramBins - 1); }

void THistogramBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const int h = height();
    const int lo = std::min(DragFrom, DragTo), hi = std::max(DragFrom, DragTo);
    for (int k = 0; k < HistogramBins; ++k) {
        const int top = hist_.BarTop(k, h);
        if (top >= h) continue;
        const bool dragged = DragFrom >= 0 && k >= lo && k <= hi;
        p.setPen(BinColour(dragged ? DragRed : hist_.Selected[static_cast<size_t>(k)]));
        p.drawLine(k, h - 1, k, top);
    }
}

void THistogramBox::mousePressEvent(QMouseEvent* e)
{
    emit MouseDown(e->button(), BinAt(static_cast<int>(e->position().x())));
}

void THistogramBox::mouseMoveEvent(QMouseEvent* e)
{
    emit MouseMove1(e->buttons(), BinAt(static_cast<int>(e->position().x())));
}

void THistogramBox::mouseReleaseEvent(QMouseEvent* e)
{
    emit MouseUp(e->button(), BinAt(static_cast<int>(e->position().x())));
}

// ---------------------------------------------------------------- the form

QString TFilterForm::CaptionPrefix(int mode) { return QString::fromLatin1(ModeInfo(mode).Prefix); }
int TFilterForm::HelpContext(int mode) { return ModeInfo(mode).Help; }

TFilterForm::TFilterForm(TMDIChild* owner, TSettings* settings, QWidget* parent)
    : QWidget(parent), Owner(owner), settings_(settings)
{
    // FormCreate
    Mode = -1;
    setObjectName(QStringLiteral("FilterForm"));
    setMinimumSize(600, 450);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Dark));  // the button-shadow colour
    setPalette(pal);
    BuildControls();
}

TFilterForm::~TFilterForm()
{
    // FormDestroy
    Mode = -1;
    if (settings_) {
        settings_->WriteInteger("Filter", "ComboSlop", ComboSlop->currentIndex());
        settings_->WriteInteger("Filter", "ComboSlopOrder", ComboSlopOrder->currentIndex());
        settings_->WriteInteger("Filter", "ComboBox1", ComboBox1->currentIndex());
    }
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

QMdiSubWindow* TFilterForm::SubWindow() const { return qobject_cast<QMdiSubWindow*>(parentWidget()); }

void TFilterForm::BuildControls()
{
    Image1 = new TPictureBox(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image2 = new TPictureBox(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    connect(Image2, &TPictureBox::MouseDown, this, &TFilterForm::Image2MouseDownSlop3D);

    Panel1 = MakePanel(this, "Panel1");
    Panel1->show();
    auto button = [&](const char* name, const char* text, int x, int y) {
        auto* b = new QPushButton(QString::fromLatin1(text), Panel1);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(x, y, 84, 26);
        return b;
    };
    Button4 = button("Button4", "Do", 6, 6);
    Button1 = button("Button1", "Undo", 95, 6);
    Button3 = button("Button3", "Take Over", 6, 38);
    Button2 = button("Button2", "Cancel", 95, 38);
    Button4->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TFilterForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFilterForm::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TFilterForm::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TFilterForm::Button4Click);

    // bad points
    Panel2 = MakePanel(this, "Panel2");
    Label2 = new QLabel(QStringLiteral("% of z-axes"), Panel2);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(8, 12, 90, 20);
    Edit2 = new QLineEdit(QStringLiteral("1"), Panel2);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(100, 10, 70, 24);
    WatchEdits(Edit2);

    // simple filters
    Panel3 = MakePanel(this, "Panel3");
    Label4 = new QLabel(QStringLiteral("Filter kernel:"), Panel3);
    Label4->setObjectName(QStringLiteral("Label4"));
    QFont bold = Label4->font();
    bold.setBold(true);
    Label4->setFont(bold);
    Label4->setGeometry(8, 6, 170, 20);
    ComboBox1 = new QComboBox(Panel3);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setMaxVisibleItems(20);
    ComboBox1->setGeometry(8, 28, 169, 26);
    for (const std::string& name : KernelNames()) ComboBox1->addItem(Latin1ToQt(name));
    connect(ComboBox1, &QComboBox::activated, this, &TFilterForm::ComboBox1Change);
    StringGrid1 = new QTableWidget(3, 3, Panel3);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->horizontalHeader()->hide();
    StringGrid1->verticalHeader()->hide();
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionMode(QAbstractItemView::NoSelection);
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    {
        // cells wide enough for every coefficient of every kernel ("-1/9"), at least 30
        const QFontMetrics fm(StringGrid1->font());
        int text = 0;
        for (int k = 0; k < KernelCount(); ++k)
            for (const std::string& cell : KernelGridTexts(k))
                text = std::max(text, fm.horizontalAdvance(Latin1ToQt(cell)));
        const int margin = StringGrid1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, StringGrid1) + 1;
        const int cell = std::max(30, text + 2 * margin + 6);
        StringGrid1->horizontalHeader()->setMinimumSectionSize(1);
        StringGrid1->verticalHeader()->setMinimumSectionSize(1);
        StringGrid1->horizontalHeader()->setDefaultSectionSize(cell);
        StringGrid1->verticalHeader()->setDefaultSectionSize(std::max(30, fm.height() + 8));
        const int frame = 2 * StringGrid1->frameWidth();
        const int w = 3 * cell + frame, h = 3 * std::max(30, fm.height() + 8) + frame;
        StringGrid1->setGeometry((LeftColumn - w) / 2, 64, w, h);
    }

    // histogram
    Panel4 = MakePanel(this, "Panel4");
    Image3 = new THistogramBox(Panel4, Hist);
    Image3->setObjectName(QStringLiteral("Image3"));
    connect(Image3, &THistogramBox::MouseDown, this, &TFilterForm::Image3MouseDown);
    connect(Image3, &THistogramBox::MouseMove1, this, &TFilterForm::MouseMove1);
    connect(Image3, &THistogramBox::MouseUp, this, &TFilterForm::Image3MouseUp);
    Label1 = new QLabel(Panel4);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label3 = new QLabel(Panel4);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QLabel* l : {Label1, Label3}) {
        l->setToolTip(QStringLiteral("Click to change"));
        l->setCursor(Qt::PointingHandCursor);
        l->installEventFilter(this);
    }
    EditMinMax = new QLineEdit(Panel4);
    EditMinMax->setObjectName(QStringLiteral("EditMinMax"));
    EditMinMax->hide();
    WatchEdits(EditMinMax);
    connect(EditMinMax, &QLineEdit::returnPressed, this, &TFilterForm::EditMinMaxKeyPress);

    // leveling
    Panel6 = MakePanel(this, "Panel6");
    ComboSlop = new QComboBox(Panel6);
    ComboSlop->setObjectName(QStringLiteral("ComboSlop"));
    for (const char* t : LevelMethodNames()) ComboSlop->addItem(QString::fromLatin1(t));
    ComboSlop->setGeometry(8, 8, 169, 26);
    connect(ComboSlop, &QComboBox::activated, this, &TFilterForm::ComboSlopChange);
    ComboSlopOrder = new QComboBox(Panel6);
    ComboSlopOrder->setObjectName(QStringLiteral("ComboSlopOrder"));
    for (const char* t : LevelOrderNames()) ComboSlopOrder->addItem(QString::fromLatin1(t));
    ComboSlopOrder->setGeometry(8, 42, 169, 26);
    CheckBox1 = new QCheckBox(QStringLiteral("Advanced"), Panel6);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(8, 78, 169, 22);
    connect(CheckBox1, &QCheckBox::clicked, this, &TFilterForm::CheckBox1Click);

    Panel7 = MakePanel(this, "Panel7");

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(50);
}

// ---------------------------------------------------------------- the tools

// One family of operations in the frame: its panel's set-up, its "Do" (the operation
// struct filled from the controls, applied through the session to the working copy),
// what "Undo" does beyond restoring the copy, and its share of the layout.
class TFilterTool {
public:
    explicit TFilterTool(TFilterForm& form) : F(form) {}
    virtual ~TFilterTool() = default;
    virtual void Setup() = 0;
    virtual void Do() = 0;
    virtual void Undo() {}
    virtual void Layout(int top, int space) {}
    // "Take Over" hands over the colour range as well (the histogram)
    virtual bool HandsOverRange() const { return false; }
    // "Take Over" takes the working copy's size (the zoom)
    virtual bool Zooms() const { return false; }

protected:
    TSettings* Settings() const { return F.settings_; }
    bool Advanced() const { return F.Advanced(); }
    void Preview() { F.RenderPreview(); }
    void Histogram() { F.DrawHistogram(); }
    TFilterForm& F;
};

namespace {

class TKernelTool : public TFilterTool {
public:
    using TFilterTool::TFilterTool;
    void Setup() override
    {
        const int mode = F.Mode;
        F.Panel3->show();
        F.ComboBox1Change();
        F.Mode = mode;
    }
    void Do() override
    {
        F.Mode = std::max(0, F.ComboBox1->currentIndex());
        if (F.Source) F.Session.Do(TFilterOp{F.Mode}, *F.Source, F.Working);
        Preview();
    }
};

class TBadPointsTool : public TFilterTool {
public:
    using TFilterTool::TFilterTool;
    void Setup() override
    {
        F.Panel2->show();
        if (Settings()) F.Edit2->setText(Latin1ToQt(Settings()->ReadString("Filter", "Edit2", "1")));
    }
    void Do() override
    {
        // unreadable text is refused (it would count as 0 and smooth the whole image)
        double percent = 0;
        try {
            percent = static_cast<double>(StrToFloatTolerant(QtToLatin1(F.Edit2->text())));
        } catch (const EConvertError& e) {
            SetEditState(F.Edit2, TEditState::Rejected);
            ShowFailure(e);
            return;
        }
        SetEditState(F.Edit2, TEditState::Accepted);
        const std::string text = FormatShortest(percent);
        F.Edit2->setText(Latin1ToQt(text));
        if (Settings()) Settings()->WriteString("Filter", "Edit2", text);
        if (F.Source) F.Session.Do(F.Session.Noise(percent, *F.Source), *F.Source, F.Working);
        Preview();
    }
};

class THistogramTool : public TFilterTool {
public:
    using TFilterTool::TFilterTool;
    void Setup() override
    {
        F.Panel4->show();
        F.Working.FixedRange = 0;
        Histogram();
    }
    void Do() override
    {
        TClipOp clip;
        F.Hist.ClipLimits(clip.Low, clip.High);
        if (F.Source) F.Session.Do(clip, *F.Source, F.Working);
        Preview();
        Histogram();
    }
    void Undo() override
    {
        Preview();
        Histogram();
    }
    void Layout(int, int) override { F.Image3->setGeometry(5, 5, HistogramBins, std::max(1, F.Panel4->height() - 30)); }
    bool HandsOverRange() const override { return true; }
};

class TLevelingTool : public TFilterTool {
public:
    using TFilterTool::TFilterTool;
    void Setup() override
    {
        F.Panel6->show();
        F.MarkedPoints.clear();
        F.CheckBox1->setEnabled(true);
        F.CheckBox1->setChecked(false);
    }
    void Do() override
    {
        TLevelOp level;
        level.Method = F.ComboSlop->currentIndex();
        level.Order = F.ComboSlopOrder->currentIndex();
        level.Advanced = F.CheckBox1->isChecked();
        level.Points = F.MarkedPoints;
        level = F.Session.Level(level);
        if (F.Source && F.Session.Do(level, *F.Source, F.Working) && level.Method == static_cast<int32_t>(TLevelMethod::Points))
            F.MarkedPoints.clear();  // used up by the plane through them
        Preview();
        if (Advanced()) Histogram();
    }
    void Undo() override
    {
        Preview();
        Histogram();
    }
    void Layout(int top, int space) override
    {
        const int H = F.height();
        F.Panel6->setGeometry(0, top, LeftColumn, space >= 14 ? space - 4 : 10);
        if (!F.CheckBox1->isChecked()) {
            F.Panel4->hide();
            return;
        }
        F.Panel6->resize(LeftColumn, 120);
        int b = H - F.Panel1->height() - F.Image1->height();
        if (b < 151) b = 31;
        // kept above the buttons
        const int h = std::min(b - 120, F.Panel1->y() - 2 - (top + 122));
        F.Panel4->setGeometry(0, top + 122, LeftColumn, std::max(h, 31));
        F.Panel4->show();
        F.Image3->setGeometry(5, 5, HistogramBins, std::max(1, F.Panel4->height() - 30));
        Histogram();
    }
};

class TFFTTool : public TFilterTool {
public:
    using TFilterTool::TFilterTool;
    void Setup() override
    {
        F.Panel7->show();
        auto check = [&](const char* name, const char* text, int x, int y) {
            auto* c = new QCheckBox(QString::fromLatin1(text), F.Panel7);
            c->setObjectName(QString::fromLatin1(name));
            c->setGeometry(x, y, 130, 20);
            c->show();
            return c;
        };
        F.LogBox = check("LogBox", "Log.", 48, 88);
        F.SuppZeroBox = check("SuppZeroBox", "Suppress Zero", 48, 108);
        if (Settings()) {
            F.LogBox->setChecked(Settings()->ReadBool("FFT", "Log", false));
            F.SuppZeroBox->setChecked(Settings()->ReadBool("FFT", "SuppZero", false));
        }
        // shown only while a long transform runs
        F.ProgressBar = new QProgressBar(F.Panel7);
        F.ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
        F.ProgressBar->setGeometry(10, 140, 165, 18);
        F.ProgressBar->setTextVisible(false);
        F.ProgressBar->hide();
    }
    void Do() override { F.DoFFT(); }
};

// median and mean: the 3 x 3 neighbourhood of the source
class TNeighbourTool : public TFilterTool {
public:
    TNeighbourTool(TFilterForm& form, bool median) : TFilterTool(form), median_(median) {}
    void Setup() override { F.Panel7->show(); }
    void Do() override
    {
        if (F.Source) F.Session.Do(median_ ? TOperation(TMedianOp{}) : TOperation(TMeanOp{}), *F.Source, F.Working);
        Preview();
    }

private:
    bool median_;
};

class TZoomTool : public TFilterTool {
public:
    using TFilterTool::TFilterTool;
    void Setup() override
    {
        F.Panel7->show();
        // the zoom square follows the mouse; the position shows in the hint even without a button
        auto* relay = new TMouseRelay(F.Image2);
        relay->Handler = [&form = F](QEvent::Type type, QMouseEvent* e) {
            const QPoint pos = e->position().toPoint();
            if (type == QEvent::MouseButtonPress) form.Image2MouseDownZoom(e->button(), pos);
            else if (type == QEvent::MouseMove) form.Image2MouseMoveZoom(e->buttons(), pos);
            else form.Image2MouseUpZoom(e->button(), pos);
        };
        F.Image2->installEventFilter(relay);
        F.Image2->setMouseTracking(true);
        F.Image2->setCursor(Qt::CrossCursor);
        {
            auto* help = new QLabel(QStringLiteral("Drag a square on the picture with the left mouse "
                                                   "button, then press Do."),
                                    F.Panel7);
            help->setObjectName(QStringLiteral("ZoomHelp"));
            help->setWordWrap(true);
            help->setGeometry(10, 10, 165, 60);
            help->show();
        }
    }
    void Do() override { F.DoZoom(); }
    bool Zooms() const override { return true; }
};

class TSphereTool : public TFilterTool {
public:
    using TFilterTool::TFilterTool;
    void Setup() override
    {
        F.Panel7->show();
        F.RadiusEdit = new QLineEdit(F.Panel7);
        F.RadiusEdit->setObjectName(QStringLiteral("RadiusEdit"));
        F.RadiusEdit->setGeometry(10, 20, 100, 24);
        F.RadiusEdit->setText(Settings() ? Latin1ToQt(Settings()->ReadString("Filter", "Kugel", "0"))
                                      : QStringLiteral("0"));
        WatchEdits(F.RadiusEdit);
        F.RadiusUnit = new QLabel(Latin1ToQt(F.Source ? F.Source->Para.XPhysUnit : std::string()), F.Panel7);
        F.RadiusUnit->setObjectName(QStringLiteral("RadiusUnit"));
        F.RadiusUnit->setGeometry(116, 22, 60, 20);
        F.LowpassButton = new QRadioButton(QStringLiteral("Lowpass"), F.Panel7);
        F.LowpassButton->setObjectName(QStringLiteral("LowpassButton"));
        F.LowpassButton->setGeometry(16, 48, 120, 18);
        F.LowpassButton->setChecked(true);
        F.HighpassButton = new QRadioButton(QStringLiteral("Highpass"), F.Panel7);
        F.HighpassButton->setObjectName(QStringLiteral("HighpassButton"));
        F.HighpassButton->setGeometry(16, 64, 120, 18);
        F.ProgressBar = new QProgressBar(F.Panel7);
        F.ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
        F.ProgressBar->setGeometry(10, 90, 165, 18);
        F.ProgressBar->setRange(0, std::max(0, (F.Source ? F.Source->Rows : 1) - 1));
        F.ProgressBar->setValue(0);
        F.ProgressBar->setTextVisible(false);
        for (QWidget* w : std::initializer_list<QWidget*>{F.RadiusEdit, F.RadiusUnit, F.LowpassButton,
                                                          F.HighpassButton, F.ProgressBar})
            w->show();
        QObject::connect(F.RadiusEdit, &QLineEdit::returnPressed, &F, &TFilterForm::Edit1KeyPress);
        QObject::connect(F.LowpassButton, &QRadioButton::toggled, &F, &TFilterForm::RadioButton1Click);
        F.Edit1KeyPress();  // the stored radius, confirmed at once
    }
    void Do() override { F.DoSphere(); }
    void Undo() override
    {
        if (F.ProgressBar) F.ProgressBar->setValue(0);
    }
};

class TDistortionTool : public TFilterTool {
public:
    using TFilterTool::TFilterTool;
    void Setup() override
    {
        F.Panel7->show();
        F.FormulaLabel = new QLabel(QString::fromUtf8("f(x) = (1 - c - d) x + c x\u00B2 + d x\u00B3"), F.Panel7);
        F.FormulaLabel->setObjectName(QStringLiteral("FormulaLabel"));
        F.FormulaLabel->setGeometry(10, 10, 172, 20);
        {
            QFont small = F.FormulaLabel->font();  // the whole formula on the panel's width
            while (small.pointSizeF() > 6 && QFontMetrics(small).horizontalAdvance(F.FormulaLabel->text()) > 170)
                small.setPointSizeF(small.pointSizeF() - 0.5);
            F.FormulaLabel->setFont(small);
        }
        F.FormulaLabel->show();
        const char* names[] = {"EditCX", "EditDX", "EditCY", "EditDY"};
        const char* captions[] = {"c_x :", "d_x :", "c_y :", "d_y :"};
        for (int i = 0; i < 4; ++i) {
            auto* l = new QLabel(QString::fromLatin1(captions[i]), F.Panel7);
            l->setGeometry(10, 35 + 25 * i + 3, 38, 18);
            l->show();
            auto* e = new QLineEdit(F.Panel7);
            e->setObjectName(QString::fromLatin1(names[i]));
            e->setGeometry(50, 35 + 25 * i, 100, 22);
            e->setText(Settings() ? Latin1ToQt(Settings()->ReadString("Filter", DistortionKeys[i], "0"))
                                 : QStringLiteral("0"));
            WatchEdits(e);
            QObject::connect(e, &QLineEdit::returnPressed, &F, &TFilterForm::Button4Click);
            e->show();
            F.DistortionEdits.push_back(e);
        }
    }
    void Do() override { F.DoDistortion(); }
};

// the tool of a mode; none for a mode that does not exist
std::unique_ptr<TFilterTool> MakeFilterTool(TFilterForm& form, int mode)
{
    if (mode >= fmLowPass && mode <= fmLastKernel) return std::make_unique<TKernelTool>(form);
    switch (mode) {
    case fmBadPoints: return std::make_unique<TBadPointsTool>(form);
    case fmHistogram: return std::make_unique<THistogramTool>(form);
    case fmFFT: return std::make_unique<TFFTTool>(form);
    case fmLeveling: return std::make_unique<TLevelingTool>(form);
    case fmZoom: return std::make_unique<TZoomTool>(form);
    case fmSphere: return std::make_unique<TSphereTool>(form);
    case fmMedian: return std::make_unique<TNeighbourTool>(form, true);
    case fmMean: return std::make_unique<TNeighbourTool>(form, false);
    case fmDistortion: return std::make_unique<TDistortionTool>(form);
    default: return nullptr;
    }
}

}  // namespace

void TFilterForm::Setup(TQTVPicture* source, int mode)
{
    // 1. the working copy
    Source = source;
    if (Source) BeginWorkingCopy(*Source, Working);
    // 2. the source in both pictures
    const QImage src = SourceImage();
    Image1->SetPicture(src);
    Image2->SetPicture(src);
    // 3. saved choices
    if (settings_) {
        ComboBox1->setCurrentIndex(settings_->ReadInteger("Filter", "ComboBox1", 0));
        ComboSlop->setCurrentIndex(settings_->ReadInteger("Filter", "ComboSlop", 0));
        ComboSlopOrder->setCurrentIndex(settings_->ReadInteger("Filter", "ComboSlopOrder", 0));
    }
    // 4. the mode
    Mode = mode;
    setProperty("helpTopic", HelpContext(mode));
    if (mode < 0 || mode > MaxMode) {
        Beep();
        FormResize();
        return;
    }
    // 5. the tool of the mode: its panel and its saved choices
    tool_ = MakeFilterTool(*this, mode);
    tool_->Setup();
    // 6. layout
    FormResize();
    RenderPreview();
}

QImage TFilterForm::SourceImage() const
{
    if (Owner && !Owner->Image1.isNull() && Source == &Owner->Picture) return Owner->Image1;
    return Source ? RenderedImage(*Source) : QImage();
}

bool TFilterForm::Advanced() const { return Mode == fmLeveling && CheckBox1->isChecked(); }

void TFilterForm::ShowPicture(TPictureBox* box, const QImage& image) { box->SetPicture(image); }

void TFilterForm::RenderPreview()
{
    if (!Working.HasData()) return;
    if (Advanced()) {
        Image2->SetPicture(MarkedImage(Working));
    } else {
        Working.Render();
        Image2->SetPicture(RenderedImage(Working));
    }
    Image2->Circles.clear();
    for (const TMarkedPoint& p : MarkedPoints) Image2->Circles.emplace_back(p.X, Working.Rows - 1 - p.Row);
}

void TFilterForm::DrawHistogram()
{
    Hist.Count(Working);
    Image3->DragFrom = Image3->DragTo = -1;
    UpdateHistogramLabels();
    Image3->update();
}

void TFilterForm::UpdateHistogramLabels()
{
    Label1->setText(Latin1ToQt(HistogramLimitText(Hist.HistLow)));
    Label3->setText(Latin1ToQt(HistogramLimitText(Hist.HistHigh)));
}

// ---------------------------------------------------------------- layout

void TFilterForm::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    FormResize();
}

void TFilterForm::FormResize()
{
    const int W = width(), H = height();
    Image1->setGeometry(0, 0, LeftColumn, LeftColumn);
    Panel1->setGeometry(0, H - ButtonPanelHeight, LeftColumn, ButtonPanelHeight);
    const int top = LeftColumn + 2;
    const int space = Panel1->y() - LeftColumn - 4;  // between thumbnail and buttons
    for (QWidget* p : {Panel2, Panel3, Panel4, Panel6, Panel7}) p->setGeometry(0, top, LeftColumn, std::max(space, 10));
    if (tool_) tool_->Layout(top, space);
    Label1->setGeometry(5, Panel4->height() - 22, 85, 18);
    Label3->setGeometry(LeftColumn - 90, Panel4->height() - 22, 85, 18);
    EditMinMax->setGeometry(5, Panel4->height() - 55, 120, 24);
    const int s = static_cast<int>(std::min(std::nearbyint(0.9 * H), std::nearbyint(0.9 * (W - LeftColumn))));
    Image2->setGeometry(LeftColumn + (W - s - LeftColumn) / 2, (H - s) / 2, std::max(s, 1), std::max(s, 1));
}

// ---------------------------------------------------------------- buttons

void TFilterForm::Button4Click()
{
    if (Mode < 0 || !Working.HasData()) return;
    TWaitCursor wait;
    if (!tool_) {
        Beep();
        return;
    }
    tool_->Do();
}

void TFilterForm::Button1Click()
{
    if (!Source) return;
    RestoreWorkingCopy(*Source, Working);  // every mark 1 again, Transformed cleared
    Image1->SetPicture(SourceImage());
    MarkedPoints.clear();
    Image2->Circles.clear();
    RenderPreview();  // the copy over its own values
    Session.Undo();
    if (tool_) tool_->Undo();
}

std::vector<std::string> TFilterForm::TakeOverEntries() const
{
    if (!Source) return {};
    return Session.TakeOverEntries(*Source, Working, tool_ && tool_->HandsOverRange(), tool_ && tool_->Zooms());
}

void TFilterForm::Button3Click()
{
    TImageChange step(Owner && Source == &Owner->Picture ? Owner : nullptr);
    if (Source && Working.HasData() && Owner && Source == &Owner->Picture) {
        const std::vector<std::string> entries = TakeOverEntries();
        Owner->History.insert(Owner->History.end(), entries.begin(), entries.end());
    }
    const bool newScale = Session.NewScale();
    if (Source) TakeOverWorkingCopy(Working, *Source, tool_ && tool_->Zooms(), tool_ && tool_->HandsOverRange());
    // values on a new scale: the image's colour range follows them
    if (Source && newScale) FollowNewValueScale(*Source);
    Mode = -1;
    close();
}

void TFilterForm::Button2Click()
{
    Mode = -1;
    close();
}

void TFilterForm::OwnerClosing()
{
    Source = nullptr;
    Owner = nullptr;
    Mode = -1;
    if (QMdiSubWindow* sub = SubWindow()) sub->close();
    else close();
}

void TFilterForm::closeEvent(QCloseEvent* e)
{
    // FormClose: the image window shows what was taken over
    Mode = -1;
    QWidget::closeEvent(e);
    if (closing_) return;
    closing_ = true;
    if (QMdiSubWindow* sub = SubWindow()) sub->close();
    if (Owner && Source == &Owner->Picture) {
        Owner->Redraw();
        // back to the image the dialog worked on, not whichever window comes next
        if (QMdiSubWindow* own = Owner->SubWindow())
            if (QMdiArea* area = own->mdiArea()) area->setActiveSubWindow(own);
    }
}

void TFilterForm::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape) {
        if (EditMinMax->isVisible() && EditMinMax->hasFocus()) {
            EditMinMax->hide();
            return;
        }
        Button2Click();
        return;
    }
    QWidget::keyPressEvent(e);
}

// ---------------------------------------------------------------- leveling

void TFilterForm::ComboSlopChange()
{
    CheckBox1->setEnabled(ComboSlop->currentIndex() != 0);
}

void TFilterForm::CheckBox1Click()
{
    FormResize();
    RenderPreview();
}

void TFilterForm::Image2MouseDownSlop3D(Qt::MouseButton, QPoint pos)
{
    if (Mode != fmLeveling || ComboSlop->currentIndex() != 0 || !Working.HasData()) return;
    if (static_cast<int>(MarkedPoints.size()) >= MaxMarkedPoints) return;
    const TMarkedPoint p = PreviewPoint(Working, pos.x(), pos.y(), Image2->width(), Image2->height());
    MarkedPoints.push_back(p);
    Image2->Circles.emplace_back(p.X, Working.Rows - 1 - p.Row);
    Image2->update();
}

// ---------------------------------------------------------------- kernels

void TFilterForm::ComboBox1Change()
{
    if (ComboBox1->currentIndex() < 0) ComboBox1->setCurrentIndex(0);
    const int kernel = ComboBox1->currentIndex();
    if (kernel < 0) return;
    Mode = kernel;
    // the kernel's coefficients in the grid
    const std::array<std::string, 9> cells = KernelGridTexts(kernel);
    for (int k = 0; k < 9; ++k) {
        auto* item = new QTableWidgetItem(Latin1ToQt(cells[static_cast<size_t>(k)]));
        item->setTextAlignment(Qt::AlignCenter);
        StringGrid1->setItem(k / 3, k % 3, item);
    }
}

// ---------------------------------------------------------------- histogram

void TFilterForm::Image3MouseDown(Qt::MouseButton, int bin) { dragStart_ = bin; }

void TFilterForm::MouseMove1(Qt::MouseButtons buttons, int bin)
{
    if (!isActiveWindow() && !(SubWindow() && SubWindow()->isActiveWindow())) return;
    if (!(buttons & (Qt::LeftButton | Qt::RightButton))) return;
    Image3->DragFrom = dragStart_;
    Image3->DragTo = bin;
    Image3->DragRed = buttons & Qt::LeftButton;
    Image3->update();
}

void TFilterForm::Image3MouseUp(Qt::MouseButton button, int bin)
{
    Hist.Select(dragStart_, bin, button == Qt::LeftButton);
    Image3->DragFrom = Image3->DragTo = -1;
    Image3->update();
    // marks update
    Hist.UpdateMarks(Working);
    Session.SelectBands(Hist.SelectedBands());
    if (Mode == fmLeveling) Image2->SetPicture(MarkedImage(Working));
}

bool TFilterForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == Label1) {
            Label1Click();
            return true;
        }
        if (watched == Label3) {
            Label3Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFilterForm::Label1Click() { OpenLimitEdit(false); }
void TFilterForm::Label3Click() { OpenLimitEdit(true); }

void TFilterForm::OpenLimitEdit(bool upper)
{
    editingUpper_ = upper;
    EditMinMax->setText(upper ? Label3->text() : Label1->text());
    SetEditState(EditMinMax, TEditState::Standard);
    EditMinMax->setGeometry(upper ? LeftColumn - 125 : 5, Panel4->height() - 55, 120, 24);
    EditMinMax->show();
    EditMinMax->raise();
    EditMinMax->setFocus();
    EditMinMax->selectAll();
}

void TFilterForm::EditMinMaxKeyPress()
{
    float value = 0;
    try {
        value = ReadHistogramLimit(QtToLatin1(EditMinMax->text()));
    } catch (const EConvertError&) {
        SetEditState(EditMinMax, TEditState::Rejected);
        return;
    }
    (editingUpper_ ? Working.Max : Working.Min) = value;
    DrawHistogram();
    SetEditState(EditMinMax, TEditState::Accepted);
    EditMinMax->hide();
    Working.FixedRange = 1;
    RenderPreview();
}

// ---------------------------------------------------------------- zoom

QPoint TFilterForm::PicturePoint(QPoint pos) const
{
    const int w = std::max(Image2->width(), 1), h = std::max(Image2->height(), 1);
    return QPoint(static_cast<int>(std::nearbyint(static_cast<double>(Working.Cols) * pos.x() / w)),
                  static_cast<int>(std::nearbyint(static_cast<double>(Working.Rows) * pos.y() / h)));
}

void TFilterForm::DrawZoomSquare()
{
    QImage img = Image2->Picture();
    if (img.isNull()) return;
    const bool erasing = zoomDrawnOn_ != 0;
    if (erasing && img.cacheKey() != zoomDrawnOn_) {
        zoomDrawnOn_ = 0;  // the preview was replaced: the old square went with it
        return;
    }
    img = img.convertToFormat(QImage::Format_RGB32);
    {
        QPainter p(&img);
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        const int width = img.width() / std::max(Image2->width(), 1) + 1;
        p.setPen(QPen(QColor(255, 255, 255), width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        const QPoint pts[5] = {{ZoomRect.X1, ZoomRect.Y1}, {ZoomRect.X1, ZoomRect.Y2}, {ZoomRect.X2, ZoomRect.Y2},
                               {ZoomRect.X2, ZoomRect.Y1}, {ZoomRect.X1, ZoomRect.Y1}};
        p.drawPolyline(pts, 5);
    }
    Image2->SetPicture(img);
    zoomDrawnOn_ = erasing ? 0 : Image2->Picture().cacheKey();
}

void TFilterForm::Image2MouseDownZoom(Qt::MouseButton button, QPoint pos)
{
    if (Mode != fmZoom || button != Qt::LeftButton) return;
    if (zoomDrawnOn_) DrawZoomSquare();  // a new square replaces the old one
    const QPoint p = PicturePoint(pos);
    ZoomRect.X1 = ZoomRect.X2 = p.x();
    ZoomRect.Y1 = ZoomRect.Y2 = p.y();
}

void TFilterForm::Image2MouseMoveZoom(Qt::MouseButtons buttons, QPoint pos)
{
    const QPoint p = PicturePoint(pos);
    QString hint = QStringLiteral("X= %1  Y= %2").arg(p.x()).arg(p.y());
    if (Mode == fmZoom && (buttons & Qt::LeftButton) && Source) {
        if (zoomDrawnOn_) DrawZoomSquare();
        ZoomDragTo(ZoomRect, p.x(), p.y(), Source->Cols, Source->Rows);
        DrawZoomSquare();
        double w = 0, h = 0;
        ZoomRange(ZoomRect, *Source, w, h);
        hint += Latin1ToQt(" Range: " + FormatSig(3, w) + Source->Para.XPhysUnit + " * " + FormatSig(3, h) +
                           Source->Para.YPhysUnit);
    }
    setToolTip(hint);
    Image2->setToolTip(hint);
}

void TFilterForm::Image2MouseUpZoom(Qt::MouseButton button, QPoint pos)
{
    if (Mode != fmZoom || button != Qt::LeftButton || !Source) return;
    const QPoint p = PicturePoint(pos);
    ZoomDragTo(ZoomRect, p.x(), p.y(), Source->Cols, Source->Rows);
}

void TFilterForm::DoZoom()
{
    if (!Source) return;
    if (!Session.Do(TZoomOp{ZoomRect}, *Source, Working)) return;  // no square of positive size
    zoomDrawnOn_ = 0;
    RenderPreview();
}

// ---------------------------------------------------------------- sphere filter

void TFilterForm::Edit1KeyPress()
{
    if (!RadiusEdit || !Source) return;
    long double value = 0;
    try {
        value = StrToFloat(QtToLatin1(RadiusEdit->text()));
    } catch (const EConvertError& e) {
        SetEditState(RadiusEdit, TEditState::Edited);  // stays unconfirmed; "Do" will not run
        ShowFailure(e);
        return;
    }
    const TSphereRadius accepted = AcceptSphereRadius(static_cast<double>(value), *Source);
    SphereRadius = accepted.Radius;
    if (accepted.CutBack) RadiusEdit->setText(Latin1ToQt(FormatShortest(accepted.Radius)));
    // the lower half of the ball on the thumbnail, in invert mode
    QImage thumb = SourceImage().convertToFormat(QImage::Format_RGB32);
    if (!thumb.isNull()) {
        const int h = Source->Cols / 2, r = accepted.Pixels;
        QPainter p(&thumb);
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        const int pen = static_cast<int>(std::nearbyint(static_cast<double>(thumb.width()) / Image1->width() + 2));
        p.setPen(QPen(QColor(255, 255, 255), pen));
        p.drawArc(QRect(h - r, h - r, 2 * r, 2 * r), 180 * 16, 180 * 16);
    }
    Image1->SetPicture(thumb);
    if (ProgressBar) ProgressBar->setValue(0);
    SetEditState(RadiusEdit, TEditState::Accepted);
    RadiusEdit->setToolTip(QStringLiteral("Radius= ") + RadiusEdit->text() + QLatin1Char(' ') +
                           Latin1ToQt(Source->Para.XPhysUnit));
    if (settings_) settings_->WriteString("Filter", "Kugel", QtToLatin1(RadiusEdit->text()));
}

bool TFilterForm::SphereComplete() const
{
    return ProgressBar && !sphereRunning_ && ProgressBar->maximum() > 0 &&
           ProgressBar->value() == ProgressBar->maximum();
}

void TFilterForm::DoSphere()
{
    if (!Source || !RadiusEdit || sphereRunning_) return;
    if (EditState(RadiusEdit) == TEditState::Edited) {
        Edit1KeyPress();
        QApplication::processEvents();
    }
    if (EditState(RadiusEdit) != TEditState::Accepted) return;
    QPointer<TFilterForm> self(this);
    sphereRunning_ = true;
    const std::initializer_list<QWidget*> locked = {Button1, Button3, Button4, LowpassButton, HighpassButton,
                                                    RadiusEdit};
    for (QWidget* w : locked) w->setEnabled(false);
    const bool lowpass = LowpassButton->isChecked();
    // the window stays responsive: "Cancel" (or closing the image) ends the run and
    // drops the working copy
    const TSphereOp sphere{SphereRadius, lowpass, 0};
    const TSphereOutcome outcome = sphere.Do(*Source, Working, [&](int32_t row) {
        if (!self || Mode != fmSphere) return false;
        ProgressBar->setValue(row);
        QApplication::processEvents();
        return self && Mode == fmSphere;
    });
    if (!self) return;
    sphereRunning_ = false;
    for (QWidget* w : locked) w->setEnabled(true);
    if (outcome != TSphereOutcome::Done) return;
    Session.Record(sphere);
    ProgressBar->setValue(ProgressBar->maximum());
    RenderPreview();
}

void TFilterForm::RadioButton1Click()
{
    if (!Source || !SphereComplete()) return;  // otherwise only the choice for the next run
    Session.SwitchSphere(*Source, Working);
    RenderPreview();
}

// ---------------------------------------------------------------- FFT

void TFilterForm::DoFFT()
{
    if (!Source || fftRunning_) return;
    const bool log = LogBox && LogBox->isChecked();
    const bool suppZero = SuppZeroBox && SuppZeroBox->isChecked();
    if (settings_) {
        settings_->WriteBool("FFT", "Log", log);
        settings_->WriteBool("FFT", "SuppZero", suppZero);
    }
    const TFFTOp fft = Session.FFT(log, suppZero);
    QPointer<TFilterForm> self(this);
    fftRunning_ = true;
    const std::initializer_list<QWidget*> locked = {Button1, Button3, Button4, LogBox, SuppZeroBox};
    for (QWidget* w : locked) w->setEnabled(false);
    bool done = false;
    {
        // a long transform shows the bar; "Cancel" (or closing the image) ends the run
        // and drops the working copy
        TLongRun run(this, ProgressBar, QString(), [&] { return self && Mode == fmFFT; });
        done = fft.Do(*Source, Working, [&](int64_t at, int64_t total) { return run(at, total); });
    }
    if (!self) return;
    fftRunning_ = false;
    for (QWidget* w : locked) w->setEnabled(true);
    if (!done) return;
    Session.Record(fft);
    RenderPreview();
}

// ---------------------------------------------------------------- distortion

void TFilterForm::DoDistortion()
{
    if (!Source || DistortionEdits.size() != 4) return;
    double k[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        QLineEdit* e = DistortionEdits[static_cast<size_t>(i)];
        try {
            k[i] = static_cast<double>(StrToFloatTolerant(QtToLatin1(e->text())));
        } catch (const EConvertError&) {
            SetEditState(e, TEditState::Rejected);
            return;
        }
        SetEditState(e, TEditState::Standard);
        if (settings_) settings_->WriteString("Filter", DistortionKeys[i], QtToLatin1(e->text()));
    }
    if (const std::string fold = DistortionFoldText(k[0], k[1], k[2], k[3]); !fold.empty()) {
        ShowMessage(fold);
        return;
    }
    Session.Do(TDistortionOp{k[0], k[1], k[2], k[3]}, *Source, Working);
    RenderPreview();
}
