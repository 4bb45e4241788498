#include "app/Childwin.h"

#include "app/PictureImage.h"

#include <QActionGroup>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDrag>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTextDocument>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "app/QtMessageSink.h"
#include "core/Display.h"
#include "core/Settings.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "processing/History.h"

namespace {

// Point size to the pixel height of the font (96 pixels per inch), rounded.
int PointsToPixels(int points) { return std::max(1, (points * 96 + 36) / 72); }

QColor FromTColor(int c) {
    if (c < 0) return Qt::black;  // a system colour
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

int ToTColor(const QColor& c) { return c.red() | (c.green() << 8) | (c.blue() << 16); }

// Text with its top-left corner at (x, y).
void TextOut(QPainter& p, int x, int y, const QString& text) {
    p.drawText(x, y + p.fontMetrics().ascent(), text);
}

int TextWidth(QPainter& p, const QString& text) { return p.fontMetrics().horizontalAdvance(text); }
int TextHeight(QPainter& p) { return p.fontMetrics().height(); }

// "[*]" is the title's modification mark for Qt; a doubled one shows literally.
QString TitleText(const std::string& title, const std::string& fileName) {
    QString t = TitleToQt(title, fileName);
    t.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
    return t;
}

}  // namespace

TDisplayFont DefaultDisplayFont() {
    TDisplayFont f;
    f.Font = QApplication::font();
    int points = f.Font.pointSize() > 0 ? f.Font.pointSize() : 9;
    f.Font.setPixelSize(PointsToPixels(points));
    f.Color = Qt::black;
    return f;
}

TDisplayFont ReadDisplayFont(const TSettings& settings, const std::string& section,
                             const TDisplayFont& def) {
    TDisplayFont f = def;
    std::string name = settings.ReadString(section, "Name", QtToLatin1(def.Font.family()));
    if (!name.empty()) f.Font.setFamily(Latin1ToQt(name));
    int defPoints = std::max(1, (def.Font.pixelSize() * 72 + 48) / 96);
    int size = settings.ReadInteger(section, "Size", defPoints);
    if (size < 1 || size > 400) size = defPoints;  // an unreadable size keeps the default
    f.Font.setPixelSize(PointsToPixels(size));
    if (settings.ValueExists(section, "Color"))
        f.Color = FromTColor(settings.ReadInteger(section, "Color", 0));
    return f;
}

void WriteDisplayFont(TSettings& settings, const std::string& section, const TDisplayFont& font) {
    settings.WriteString(section, "Name", QtToLatin1(font.Font.family()));
    int px = font.Font.pixelSize() > 0 ? font.Font.pixelSize() : PointsToPixels(font.Font.pointSize());
    settings.WriteInteger(section, "Size", std::max(1, (px * 72 + 48) / 96));
    settings.WriteInteger(section, "Color", ToTColor(font.Color));
}

// ---------------------------------------------------------------- Image3

TComposedView::TComposedView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Image3"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TComposedView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.drawPicture(0, 0, Picture);
}

void TComposedView::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        pressed_ = true;
        pressPos_ = e->position().toPoint();
    }
    QWidget::mousePressEvent(e);
}

void TComposedView::mouseMoveEvent(QMouseEvent* e) {
    if (pressed_ && (e->buttons() & Qt::LeftButton) &&
        (e->position().toPoint() - pressPos_).manhattanLength() >= QApplication::startDragDistance()) {
        pressed_ = false;
        emit DragStarted();
    }
    QWidget::mouseMoveEvent(e);
}

// ---------------------------------------------------------------- TMDIChild

TMDIChild::TMDIChild(TSettings* settings, QWidget* parent) : QWidget(parent), settings_(settings) {
    setObjectName(QStringLiteral("MDIChild"));
    setProperty("helpTopic", 20);
    setFocusPolicy(Qt::ClickFocus);
    setMinimumSize(1, 1);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    TDisplayFont def = DefaultDisplayFont();
    LabelFont = settings_ ? ReadDisplayFont(*settings_, "FontLabel", def) : def;
    ZBarFont = settings_ ? ReadDisplayFont(*settings_, "FontZBar", def) : def;
    if (settings_) {
        // steps kept per image, and megabytes of them for all images together
        const int steps = settings_->ReadInteger("Undo", "Steps", 32);
        const int megabytes = settings_->ReadInteger("Undo", "MemoryMB", 1024);
        TUndoStack::SetLimits({std::max(steps, 0), static_cast<size_t>(std::max(megabytes, 0)) << 20});
    }

    Image3 = new TComposedView(this);
    Image3->installEventFilter(this);
    connect(Image3, &TComposedView::DragStarted, this, &TMDIChild::StartDrag);

    ScanInfoMemo = new QPlainTextEdit(this);
    ScanInfoMemo->setObjectName(QStringLiteral("ScanInfoMemo"));
    ScanInfoMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    ScanInfoMemo->installEventFilter(this);
    ScanInfoMemo->viewport()->installEventFilter(this);
    ScanInfoMemo->hide();
    ProcessingMemo = new QPlainTextEdit(this);
    ProcessingMemo->setObjectName(QStringLiteral("ProcessingMemo"));
    ProcessingMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    ProcessingMemo->setReadOnly(true);
    ProcessingMemo->installEventFilter(this);
    ProcessingMemo->viewport()->installEventFilter(this);
    ProcessingMemo->hide();

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto add = [this](const char* name, const char* caption, bool checkable) {
        QAction* a = PopupMenu1->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
        a->setCheckable(checkable);
        return a;
    };
    ImageItem = add("ImageItem", "&Image", true);
    ScanInfoItem = add("ScanInfoItem", "&Scan info", true);
    auto* pages = new QActionGroup(this);
    pages->addAction(ImageItem);
    pages->addAction(ScanInfoItem);
    PopupMenu1->addSeparator();
    zscalingItem = add("zscalingItem", "Z Scaling", true);
    N0max1 = add("N0max1", "  0..max", true);
    minmax1 = add("minmax1", "  min..max", true);
    auto* zLabels = new QActionGroup(this);
    zLabels->addAction(N0max1);
    zLabels->addAction(minmax1);
    FontzBar1 = add("FontzBar1", "Font (z-Bar)", false);
    PopupMenu1->addSeparator();
    XYScalingnoItem = add("XYScalingnoItem", "XY Scaling no", true);
    XYScalingLabelItem = add("XYScalingLabelItem", "XY Scaling Label", true);
    XYScalingAxis1 = add("XYScalingAxis1", "XY Scaling Axis", true);
    auto* xy = new QActionGroup(this);
    xy->addAction(XYScalingnoItem);
    xy->addAction(XYScalingLabelItem);
    xy->addAction(XYScalingAxis1);
    Font1 = add("Font1", "Font (Label)", false);
    TrueAspectItem = add("TrueAspectItem", "True aspect", true);
    PopupMenu1->addSeparator();
    ExportProcessingItem = add("ExportProcessingItem", "Export processing...", false);
    ExportProcessingItem->setText(QStringLiteral("Export processing\u2026"));
    connect(ExportProcessingItem, &QAction::triggered, this, &TMDIChild::ExportProcessingClick);

    connect(ImageItem, &QAction::triggered, this, &TMDIChild::ImageItemClick);
    connect(ScanInfoItem, &QAction::triggered, this, &TMDIChild::ScanInfoItemClick);
    connect(zscalingItem, &QAction::triggered, this, &TMDIChild::zscalingItemClick);
    connect(N0max1, &QAction::triggered, this, &TMDIChild::N0max1Click);
    connect(minmax1, &QAction::triggered, this, &TMDIChild::minmax1Click);
    connect(XYScalingnoItem, &QAction::triggered, this, &TMDIChild::XYScalingnoItemClick);
    connect(XYScalingLabelItem, &QAction::triggered, this, &TMDIChild::XYScalingLabelItemClick);
    connect(XYScalingAxis1, &QAction::triggered, this, &TMDIChild::XYScalingAxis1Click);
    connect(TrueAspectItem, &QAction::triggered, this, &TMDIChild::TrueAspectItemClick);
    connect(FontzBar1, &QAction::triggered, this, [this] { emit FontRequested(this, true); });
    connect(Font1, &QAction::triggered, this, [this] { emit FontRequested(this, false); });

    ImageItem->setChecked(true);
    ScanInfoItem->setChecked(false);
    auto scale = [this](const char* key) {
        return settings_ ? settings_->ReadBool("Scale", key, false) : false;
    };
    zscalingItem->setChecked(scale("zScaleOn"));
    N0max1->setChecked(scale("zScale0max"));
    // the z labels are min..max unless 0..max was chosen: the menu shows what is in effect
    minmax1->setChecked(!N0max1->isChecked());
    N0max1->setVisible(zscalingItem->isChecked());
    minmax1->setVisible(zscalingItem->isChecked());
    XYScalingnoItem->setChecked(scale("XYNone"));
    XYScalingLabelItem->setChecked(!XYScalingnoItem->isChecked() && scale("XYLabelOn"));
    XYScalingAxis1->setChecked(!XYScalingnoItem->isChecked() && !XYScalingLabelItem->isChecked() &&
                               scale("XYAxis"));
    if (!XYScalingLabelItem->isChecked() && !XYScalingAxis1->isChecked()) XYScalingnoItem->setChecked(true);
    TrueAspectItem->setChecked(scale("TrueAspect"));

    CaptionTag.clear();
    resize(265, 265);  // the design's client height, made square
    LayoutPages();
}

TMDIChild::~TMDIChild() {
    if (watchedSub_) watchedSub_->removeEventFilter(this);
}

void TMDIChild::SetIdentity(int number, const std::string& name) {
    WindowNumber = number;
    FileName = name;
    SetTitle(name);
}

void TMDIChild::CreateImage(int32_t cols, int32_t rows) {
    Picture.SetSize(cols, rows);
    Image1 = QImage();
}

void TMDIChild::SetTitle(const std::string& title) {
    Title = title;
    setWindowTitle(TitleText(title, FileName));
    ShowModified();
}

// The frame's title carries Qt's modification mark; the window's own title (which
// dialogs and printouts take) does not.
void TMDIChild::ShowModified() {
    if (QMdiSubWindow* sub = SubWindow()) {
        sub->setWindowTitle(TitleText(Title, FileName) + QStringLiteral("[*]"));
        sub->setWindowModified(IsModified());
    }
}

// ---------------------------------------------------------------- undo

void TMDIChild::BeginChange(TSampleChange how) { UndoStack.Begin(*this, how); }

void TMDIChild::CommitChange(const std::string& name) {
    if (!UndoStack.Pending()) return;
    UndoStack.Commit(*this, name);
    ShowModified();
    emit UndoChanged(this);
}

void TMDIChild::Undo() { MoveStep(false); }
void TMDIChild::Redo() { MoveStep(true); }

void TMDIChild::MoveStep(bool redo) {
    try {
        if (!(redo ? UndoStack.Redo(*this) : UndoStack.Undo(*this))) return;
    } catch (const std::bad_alloc&) {
        ShowMessage("Can\xB4t get memory!");  // the image is as it was
        return;
    }
    Redraw();
    ShowModified();
    emit UndoChanged(this);
}

void TMDIChild::MarkSaved() {
    UndoStack.MarkSaved();
    ShowModified();
    emit UndoChanged(this);
}

void TMDIChild::NewFromCommand() {
    if (!History.empty()) UndoStack.MarkUnsaved();
    ShowModified();
}

bool TMDIChild::ConfirmClose() {
    if (!IsModified()) return true;
    const QString text = QStringLiteral("Save changes to \"%1\" before closing?").arg(TitleToQt(Title, FileName));
    switch (AskBeforeClosing(this, text)) {
    case TCloseAnswer::Save: return SaveHandler && SaveHandler(this);
    case TCloseAnswer::Discard: return true;
    case TCloseAnswer::Cancel: break;
    }
    return false;
}

std::function<TCloseAnswer(const QString& text)> CloseQuestionHook;

TCloseAnswer AskBeforeClosing(QWidget* parent, const QString& text, const QString& saveText) {
    if (CloseQuestionHook) return CloseQuestionHook(text);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Morvane"), text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setObjectName(QStringLiteral("CloseQuestion"));
    if (!saveText.isEmpty()) box.button(QMessageBox::Save)->setText(saveText);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save: return TCloseAnswer::Save;
    case QMessageBox::Discard: return TCloseAnswer::Discard;
    default: return TCloseAnswer::Cancel;
    }
}

TImageChange::TImageChange(TMDIChild* window, TSampleChange how, std::string name)
    : window_(window), name_(std::move(name)) {
    if (window_) window_->BeginChange(how);
}

TImageChange::~TImageChange() {
    if (!window_) return;
    try {
        window_->CommitChange(name_);
    } catch (...) {
        // no memory to compare: the change stays, without a step
    }
}

QMdiSubWindow* TMDIChild::SubWindow() const {
    return qobject_cast<QMdiSubWindow*>(parentWidget());
}

bool TMDIChild::ZScaling() const { return zscalingItem->isChecked(); }

TImageExtent TMDIChild::PictureExtent(int side) const {
    return ImageExtent(side, Picture.Para.XScanRange, Picture.Para.YScanRange, TrueAspectItem->isChecked());
}

void TMDIChild::ShowScanInfo() {
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(ScanInfo.size()));
    for (const std::string& l : ScanInfo) lines << QString::fromLatin1(l.data(), static_cast<qsizetype>(l.size()));
    ScanInfoMemo->setPlainText(lines.join(QLatin1Char('\n')));
}

void TMDIChild::ShowHistory() {
    QStringList lines;
    for (const std::string& l : ProcessingBlock(History))
        lines << QString::fromLatin1(l.data(), static_cast<qsizetype>(l.size()));
    if (ProcessingMemo->toPlainText() != lines.join(QLatin1Char('\n')))
        ProcessingMemo->setPlainText(lines.join(QLatin1Char('\n')));
    LayoutPages();
}

bool TMDIChild::ExportProcessing(const std::string& path) {
    try {
        CommitFile(path, ProcessingScript(*this), true);
    } catch (const std::exception& e) {
        ShowFailure(e);
        return false;
    }
    std::error_code ec;
    namespace fs = std::filesystem;
    fs::permissions(path, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, ec);
    // steps no replay can compute (an arithmetic with a processed second image...)
    std::vector<std::string> names;
    if (const std::string why = ReplayProblemsMessage(History, names); !why.empty()) ShowFileMessage(why, names);
    return true;
}

void TMDIChild::ExportProcessingClick() {
    std::string base = FileName;
    const std::string ext = ExtractFileExt(base);
    base.resize(base.size() - ext.size());
    const QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Export processing"),
                                                      Latin1ToQt(base + "_processing.sh"),
                                                      QStringLiteral("Shell scripts (*.sh);;All files (*)"));
    if (name.isEmpty()) return;
    ExportProcessing(name.toLocal8Bit().toStdString());
}

void TMDIChild::SyncScanInfo() {
    ScanInfo.clear();
    const QString text = ScanInfoMemo->toPlainText();
    if (text.isEmpty()) return;
    for (const QString& l : text.split(QLatin1Char('\n'))) ScanInfo.push_back(QtToLatin1(l));
}

void TMDIChild::Redraw() {
    ShowHistory();
    if (!Picture.HasData()) return;
    Picture.Render();
    Image1 = RenderedImage(Picture);
    MinText = RangeText(Picture.Min);
    MaxText = RangeText(Picture.Max);
    ApplyShape();
    Compose();
}

void TMDIChild::Compose() {
    const int W = width(), H = height();
    ComposedPicture = QPicture();
    {
        QPainter canvas(&ComposedPicture);
        canvas.setFont(font());
        // the picture's bounds are the whole client area, drawn or not
        canvas.setPen(Qt::NoPen);
        canvas.setBrush(Qt::NoBrush);
        canvas.drawRect(0, 0, W, H);
        canvas.setPen(Qt::black);
        const bool z = ZScaling();
        if (z) DrawZBar(canvas);
        const int s = ComposedImageSide(W, H, z);
        if (XYScalingAxis1->isChecked()) {
            DrawAxis(canvas, s);
        } else if (!Image1.isNull() && s > 0) {
            const TImageExtent e = PictureExtent(s);
            canvas.drawImage(QRect(0, 0, e.Width, e.Height), Image1);
        }
        if (XYScalingLabelItem->isChecked()) DrawScaleBar(canvas, s);
    }
    ComposedPicture.setBoundingRect(QRect(0, 0, W, H));
    Image3->Picture = ComposedPicture;
    Image3->update();
}

void TMDIChild::DrawZBar(QPainter& canvas) {
    QMdiSubWindow* sub = SubWindow();
    const int wf = sub ? sub->width() : width();
    const int hf = sub ? sub->height() : height();
    const TIntRect r = ZBarRect(wf, hf);
    if (r.Width() > 0 && r.Height() > 0) {
        // one line per pixel of the bar, from the last palette entry at the top to the
        // first at the bottom, so that both ends show their exact colours
        QImage bar(1, r.Height(), QImage::Format_Indexed8);
        bar.setColorTable(PaletteTable(Picture));
        for (int y = 0; y < r.Height(); ++y) bar.scanLine(y)[0] = ZBarIndex(y, r.Height());
        canvas.drawImage(QRect(r.Left, r.Top, r.Width(), r.Height()), bar);
    }

    const TZBarLabels labels = ZBarLabels(Picture.Min, Picture.Max, N0max1->isChecked());
    MinText = labels.MinText;
    MaxText = labels.MaxText;

    canvas.save();
    canvas.setPen(QPen(Qt::black, 1));
    const QPoint frame[] = {{r.Left, r.Top}, {r.Left, r.Bottom}, {r.Right, r.Bottom}, {r.Right, r.Top},
                            {r.Left, r.Top}};
    canvas.drawPolyline(frame, 5);

    canvas.setFont(ZBarFont.Font);
    canvas.setPen(ZBarFont.Color);
    canvas.setBackgroundMode(Qt::TransparentMode);
    const int xc = (r.Left + r.Right) / 2;
    const int fontHeight = std::abs(ZBarFont.Font.pixelSize());
    const QString upper = Latin1ToQt(ZBarText(MaxText, Picture.Para.PhysUnit));
    const QString lower = Latin1ToQt(ZBarText(MinText, Picture.Para.PhysUnit));
    TextOut(canvas, xc - TextWidth(canvas, upper) / 2, r.Top - 10 - fontHeight, upper);
    TextOut(canvas, xc - TextWidth(canvas, lower) / 2, r.Bottom + 10, lower);
    canvas.restore();
}

void TMDIChild::DrawScaleBar(QPainter& canvas, int size) {
    const TScaleBarLayout bar =
        ScaleBarLayout(PictureExtent(size), Picture.Para.XScanRange, Picture.Para.XPhysUnit);
    if (!bar.Visible) return;
    const int c = bar.Center, cy = bar.CenterY, h = bar.Half;
    canvas.save();
    canvas.setPen(QPen(LabelFont.Color, 2, Qt::SolidLine, Qt::FlatCap));
    canvas.drawLine(c - h, cy, c - h, cy + 7);
    canvas.drawLine(c + h, cy, c + h, cy + 7);
    canvas.drawLine(c - h, cy + 3, c + h, cy + 3);
    canvas.setPen(QPen(LabelFont.Color, 1));
    canvas.drawLine(c, cy + 3, c, cy + 7);
    canvas.setFont(LabelFont.Font);
    canvas.setBackgroundMode(Qt::TransparentMode);
    const QString text = Latin1ToQt(bar.Text);
    const int tw = TextWidth(canvas, text);
    int half = tw / 2;  // round(tw / 2), half to even
    if (tw % 2 != 0 && half % 2 != 0) ++half;
    TextOut(canvas, c - half, cy - TextHeight(canvas), text);
    canvas.restore();
}

void TMDIChild::DrawAxis(QPainter& canvas, int size) {
    canvas.save();
    canvas.setFont(LabelFont.Font);
    canvas.setBackgroundMode(Qt::TransparentMode);
    const TScanPara& para = Picture.Para;
    const QString zero = QStringLiteral(" 0 ");
    const QString yUnit = Latin1ToQt(" " + para.YPhysUnit + " ");
    const QString xUnit = Latin1ToQt(" " + para.XPhysUnit + " ");
    const QString yRange = Latin1ToQt(AxisRangeText(para.YScanRange));
    const QString xRange = Latin1ToQt(AxisRangeText(para.XScanRange));
    const int x = std::max({TextWidth(canvas, zero), TextWidth(canvas, yUnit), TextWidth(canvas, yRange)});
    const int top = 15;
    const int side = size - x - 15;
    if (side < 1) {
        canvas.restore();
        return;
    }
    // the frame is square, or with true aspect of the scan's shape
    const TImageExtent e = PictureExtent(side);
    const int bw = e.Width, bh = e.Height;
    if (!Image1.isNull()) canvas.drawImage(QRect(x, top, bw, bh), Image1);
    canvas.setPen(QPen(Qt::black, 1));
    canvas.setBrush(Qt::NoBrush);
    const QPoint frame[] = {{x, top}, {x, top + bh}, {x + bw, top + bh}, {x + bw, top}, {x, top}};
    canvas.drawPolyline(frame, 5);
    for (int i = 0; i <= 4; ++i) {
        const int ox = AxisTickOffset(bw, i), oy = AxisTickOffset(bh, i);
        canvas.drawLine(x, top + oy, x - 4, top + oy);              // left
        canvas.drawLine(x + ox, top + bh, x + ox, top + bh + 4);    // bottom
        canvas.drawLine(x + bw, top + oy, x + bw + 4, top + oy);    // right
        canvas.drawLine(x + ox, top, x + ox, top - 4);              // top
    }
    canvas.setPen(LabelFont.Color);
    const int th = TextHeight(canvas);
    const int below = top + bh + 2;
    TextOut(canvas, x, below, zero);
    TextOut(canvas, x + (bw - TextWidth(canvas, xUnit)) / 2, below, xUnit);
    TextOut(canvas, x + bw - TextWidth(canvas, xRange), below, xRange);
    TextOut(canvas, x - TextWidth(canvas, zero), top + bh - th, zero);
    TextOut(canvas, x - TextWidth(canvas, yUnit), top + (bh - th) / 2, yUnit);
    TextOut(canvas, x - TextWidth(canvas, yRange), top, yRange);
    canvas.restore();
}

void TMDIChild::TrueAspectItemClick() {
    if (settings_) settings_->WriteBool("Scale", "TrueAspect", TrueAspectItem->isChecked());
    Redraw();
}

void TMDIChild::SaveXYSettings() {
    if (!settings_) return;
    settings_->WriteBool("Scale", "XYNone", XYScalingnoItem->isChecked());
    settings_->WriteBool("Scale", "XYLabelOn", XYScalingLabelItem->isChecked());
    settings_->WriteBool("Scale", "XYAxis", XYScalingAxis1->isChecked());
}

// ---- shape

void TMDIChild::ApplyShape() {
    QMdiSubWindow* sub = SubWindow();
    if (!sub) {
        const int c = height();
        const int w = ZScaling() ? 3 * c / 2 : c;
        if (c >= 2 && w != width()) resize(w, c);
        return;
    }
    WatchSubWindow();
    if (shaping_ || sub->isMaximized() || sub->isMinimized() || sub->isShaded()) return;
    const QRect content = sub->contentsRect();
    const int frameWidth = sub->width() - content.width();
    const int c = content.height();
    const int w = ShapedOuterWidth(c, frameWidth, ZScaling());
    if (w < 0 || w == sub->width()) return;
    shaping_ = true;
    sub->resize(w, sub->height());
    shaping_ = false;
}

void TMDIChild::WatchSubWindow() {
    QMdiSubWindow* sub = SubWindow();
    if (sub == watchedSub_) return;
    if (watchedSub_) watchedSub_->removeEventFilter(this);
    watchedSub_ = sub;
    if (sub) sub->installEventFilter(this);
}

void TMDIChild::LayoutPages() {
    Image3->setGeometry(0, 0, width(), height());
    // the history below the file's own lines: tall enough for every line (and the
    // horizontal scroll bar a long line brings), up to two thirds of the window; beyond
    // that it scrolls
    int h = 0;
    if (!History.empty()) {
        const QFontMetrics fm = ProcessingMemo->fontMetrics();
        const QStringList lines = ProcessingMemo->toPlainText().split(QLatin1Char('\n'));
        int widest = 0;
        for (const QString& l : lines) widest = std::max(widest, fm.horizontalAdvance(l));
        const int frame = 2 * ProcessingMemo->frameWidth() +
                          2 * static_cast<int>(std::ceil(ProcessingMemo->document()->documentMargin()));
        const int bar = ProcessingMemo->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, ProcessingMemo);
        int need = static_cast<int>(lines.size()) * fm.lineSpacing() + frame + 2;
        if (widest + frame > width()) need += bar;
        h = std::min(need, 2 * height() / 3);
    }
    ScanInfoMemo->setGeometry(0, 0, width(), height() - h);
    ProcessingMemo->setGeometry(0, height() - h, width(), h);
    ProcessingMemo->setVisible(h > 0 && ScanInfoMemo->isVisible());
}

void TMDIChild::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    LayoutPages();
    if (Picture.HasData()) Compose();
}

// ---- context menu, focus

void TMDIChild::OpenPopupMenu(const QPoint& globalPos) { PopupMenu1->popup(globalPos); }

void TMDIChild::contextMenuEvent(QContextMenuEvent* e) {
    if (e->modifiers() == Qt::NoModifier) OpenPopupMenu(e->globalPos());
    e->accept();
}

bool TMDIChild::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedSub_) {
        if (event->type() == QEvent::Resize && !shaping_) ApplyShape();
        return false;
    }
    if (event->type() == QEvent::ContextMenu &&
        (watched == Image3 || watched == ScanInfoMemo || watched == ScanInfoMemo->viewport() ||
         watched == ProcessingMemo || watched == ProcessingMemo->viewport())) {
        auto* e = static_cast<QContextMenuEvent*>(event);
        if (e->modifiers() == Qt::NoModifier) OpenPopupMenu(e->globalPos());
        return true;  // the text box's own menu is suppressed
    }
    if (event->type() == QEvent::FocusIn && (watched == ScanInfoMemo)) emit Activated(this);
    return QWidget::eventFilter(watched, event);
}

void TMDIChild::closeEvent(QCloseEvent* e) {
    if (!ConfirmClose()) {
        e->ignore();
        return;
    }
    QWidget::closeEvent(e);
    if (e->isAccepted()) emit Closed(this);
}

void TMDIChild::focusInEvent(QFocusEvent* e) {
    QWidget::focusInEvent(e);
    emit Activated(this);
}

// ---- menu actions

void TMDIChild::ImageItemClick() {
    ImageItem->setChecked(true);
    ScanInfoMemo->hide();
    ProcessingMemo->hide();
    Image3->show();
}

void TMDIChild::ScanInfoItemClick() {
    ScanInfoItem->setChecked(true);
    Image3->hide();
    ScanInfoMemo->show();
    LayoutPages();
}

void TMDIChild::zscalingItemClick() {
    const bool on = zscalingItem->isChecked();
    if (settings_) settings_->WriteBool("Scale", "zScaleOn", on);
    N0max1->setVisible(on);
    minmax1->setVisible(on);
    if (on) {
        if (QMdiSubWindow* sub = SubWindow()) {
            const int frameWidth = sub->width() - sub->contentsRect().width();
            shaping_ = true;
            sub->resize(3 * width() / 2 + frameWidth, sub->height());
            shaping_ = false;
            KeepInsideWorkspace(sub);
        } else {
            resize(3 * width() / 2, height());
        }
    }
    Redraw();
}

// A window widened past the workspace's right edge moves left; one wider than the
// workspace gets smaller, keeping its shape.
void TMDIChild::KeepInsideWorkspace(QMdiSubWindow* sub) {
    QMdiArea* area = sub->mdiArea();
    if (!area || sub->isMaximized() || sub->isMinimized()) return;
    const QRect workspace = area->viewport()->rect();
    if (sub->width() > workspace.width()) {
        const int frameHeight = sub->height() - sub->contentsRect().height();
        const int c = ZScaling() ? workspace.width() * 2 / 3 : workspace.width() - (sub->width() - sub->contentsRect().width());
        if (c >= 2) sub->resize(sub->width(), c + frameHeight);  // the shape follows the height
    }
    if (sub->geometry().right() > workspace.right())
        sub->move(std::max(workspace.left(), workspace.right() + 1 - sub->width()), sub->y());
}

void TMDIChild::N0max1Click() {
    N0max1->setChecked(true);
    if (settings_) {
        settings_->WriteBool("Scale", "zScale0max", true);
        settings_->WriteBool("Scale", "zScaleminmax", false);
    }
    Redraw();
}

void TMDIChild::minmax1Click() {
    minmax1->setChecked(true);
    if (settings_) {
        settings_->WriteBool("Scale", "zScale0max", false);
        settings_->WriteBool("Scale", "zScaleminmax", true);
    }
    Redraw();
}

void TMDIChild::XYScalingnoItemClick() {
    XYScalingnoItem->setChecked(true);
    SaveXYSettings();
    Redraw();
}

void TMDIChild::XYScalingLabelItemClick() {
    XYScalingLabelItem->setChecked(true);
    SaveXYSettings();
    Redraw();
}

void TMDIChild::XYScalingAxis1Click() {
    XYScalingAxis1->setChecked(true);
    SaveXYSettings();
    Redraw();
}

// ---- composed picture out

QImage TMDIChild::ComposedImage() const {
    QImage img(std::max(1, width()), std::max(1, height()), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.drawPicture(0, 0, ComposedPicture);
    return img;
}

QByteArray TMDIChild::ComposedSvg() const {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    const QSize size(std::max(1, width()), std::max(1, height()));
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(windowTitle());
    svg.setResolution(96);
    {
        QPainter p(&svg);
        p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
        p.drawPicture(0, 0, ComposedPicture);
    }
    return buffer.data();
}

void TMDIChild::CopyToClipboard() const {
    auto* mime = new QMimeData;
    mime->setData(QStringLiteral("image/svg+xml"), ComposedSvg());
    mime->setImageData(ComposedImage());
    QGuiApplication::clipboard()->setMimeData(mime);
}

void TMDIChild::StartDrag() {
    auto* drag = new QDrag(this);
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(WindowMimeType), QByteArray::number(WindowNumber));
    mime->setImageData(ComposedImage());
    drag->setMimeData(mime);
    if (!Image1.isNull()) drag->setPixmap(QPixmap::fromImage(Image1.scaled(48, 48)));
    drag->exec(Qt::CopyAction);
}
