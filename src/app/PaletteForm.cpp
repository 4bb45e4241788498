#include "app/PaletteForm.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLinearGradient>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "app/QtMessageSink.h"
#include "core/Messages.h"
#include "formats/LoadFiles.h"

namespace {

constexpr int BoxSize = 257;
constexpr int ToolBarHeight = 25;
constexpr int ClientWidth = 569;
constexpr int ClientHeight = 332;
constexpr int StatusHeight = 19;

const char* const ModifiedQuestion = "Palette wurde ver\xE4ndert. Speichern?";
const char* const EditorTitle = "Paletten-Editor";

template <typename F>
void Guarded(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        ShowFailure(e, EditorTitle);
    }
}

// A 16 x 16 toolbar glyph drawn by paint.
template <typename F>
QIcon Glyph(F&& paint) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    paint(p);
    p.end();
    return QIcon(pm);
}

QIcon ChannelGlyph(const QColor& c, const char* letter) {
    return Glyph([&](QPainter& p) {
        p.setPen(QPen(c.darker(150), 1));
        p.setBrush(c);
        p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2, 2);
        p.setPen(Qt::white);
        QFont f = p.font();
        f.setPixelSize(10);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QString::fromLatin1(letter));
    });
}

QIcon UndoGlyph() {
    return Glyph([](QPainter& p) {
        QPainterPath path;
        path.moveTo(4, 7);
        path.cubicTo(7, 3, 14, 4, 13, 11);
        p.setPen(QPen(QColor(40, 40, 120), 2));
        p.drawPath(path);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 40, 120));
        p.drawPolygon(QPolygonF({QPointF(1, 3), QPointF(7, 4), QPointF(2, 10)}));
    });
}

QIcon ConnectGlyph() {
    return Glyph([](QPainter& p) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(200, 0, 0), 2));
        p.drawEllipse(QRectF(1.5, 4.5, 6, 6));
        p.setPen(QPen(QColor(0, 128, 0), 2));
        p.drawEllipse(QRectF(5.5, 4.5, 6, 6));
        p.setPen(QPen(QColor(0, 0, 220), 2));
        p.drawEllipse(QRectF(9, 4.5, 6, 6));
    });
}

QIcon SmoothGlyph() {
    return Glyph([](QPainter& p) {
        QPainterPath path;
        path.moveTo(1, 12);
        path.cubicTo(5, 12, 5, 3, 8, 3);
        path.cubicTo(11, 3, 11, 12, 15, 12);
        p.setPen(QPen(QColor(30, 30, 30), 1.6));
        p.drawPath(path);
    });
}

QIcon CheckGlyph() {
    return Glyph([](QPainter& p) {
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(QColor(230, 120, 40));
        p.drawRect(QRectF(1.5, 1.5, 6, 6));
        p.drawRect(QRectF(8.5, 8.5, 6, 6));
        p.setPen(QPen(QColor(60, 60, 60), 1.4));
        p.drawLine(QPointF(8, 4), QPointF(12, 4));
        p.drawLine(QPointF(4, 8), QPointF(4, 12));
    });
}

QIcon FillGlyph() {
    return Glyph([](QPainter& p) {
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(QColor(40, 140, 220));
        p.drawRect(QRectF(1.5, 4.5, 13, 8));
    });
}

QIcon GradientGlyph() {
    return Glyph([](QPainter& p) {
        QLinearGradient g(1, 0, 15, 0);
        g.setColorAt(0, Qt::black);
        g.setColorAt(1, Qt::white);
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(g);
        p.drawRect(QRectF(1.5, 4.5, 13, 8));
    });
}

QIcon MirrorGlyph() {
    return Glyph([](QPainter& p) {
        p.setPen(QPen(QColor(30, 30, 30), 1.5));
        p.drawLine(QPointF(2, 8), QPointF(14, 8));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 30, 30));
        p.drawPolygon(QPolygonF({QPointF(0.5, 8), QPointF(5, 4), QPointF(5, 12)}));
        p.drawPolygon(QPolygonF({QPointF(15.5, 8), QPointF(11, 4), QPointF(11, 12)}));
    });
}

QIcon InvertGlyph() {
    return Glyph([](QPainter& p) {
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::black);
        QPainterPath half;
        half.moveTo(8, 1.5);
        half.arcTo(QRectF(1.5, 1.5, 13, 13), 90, -180);
        half.closeSubpath();
        p.drawPath(half);
    });
}

QIcon PlainGlyph(const QColor& c) {
    return Glyph([&](QPainter& p) {
        p.setPen(QPen(c, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(2.5, 2.5, 11, 11));
    });
}

// The dialogs' filters; the open dialog writes the last one without its blank.
QStringList PaletteFilters(bool open) {
    return {QStringLiteral("JASC-Palette (*.PAL *.pal)"), QStringLiteral("Text-Datei (*.TXT *.txt)"),
            open ? QStringLiteral("Bin\u00e4r-Datei(*)") : QStringLiteral("Bin\u00e4r-Datei (*)")};
}

TPaletteKind KindOfFilter(int index) {
    switch (index) {
    case 1: return TPaletteKind::Jasc;
    case 2: return TPaletteKind::Text;
    default: return TPaletteKind::Binary;
    }
}

}  // namespace

// ---------------------------------------------------------------- paint box

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent) {
    setFixedSize(BoxSize, BoxSize);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPaintBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (Buffer) p.drawImage(0, 0, *Buffer);
}

void TPaintBox::contextMenuEvent(QContextMenuEvent* e) { emit ContextMenu(e->globalPos()); }

// ---------------------------------------------------------------- the form

TPaletteForm::TPaletteForm(TMDIChild* target)
    : QMainWindow(target, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      TargetWindow(target) {
    setObjectName(QStringLiteral("PaletteForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Palette-Editor"));
    setProperty("helpTopic", 18);

    channelBuffer_ = QImage(BoxSize, BoxSize, QImage::Format_RGB32);
    paletteBuffer_ = QImage(BoxSize, BoxSize, QImage::Format_RGB32);

    // the file dialogs start in the folder of the file the program was started on
    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1) dialogDir_ = QFileInfo(args.at(1)).absolutePath();

    CreateMenus();
    CreateToolBar();
    CreateViews();

    Statusleiste = new QStatusBar(this);
    Statusleiste->setObjectName(QStringLiteral("Statusleiste"));
    Statusleiste->setSizeGripEnabled(false);
    Statusleiste->setFixedHeight(StatusHeight);
    const int widths[3] = {142, 142, 200};
    for (int i = 0; i < 3; ++i) {
        Panels[i] = new QLabel(Statusleiste);
        Panels[i]->setObjectName(QStringLiteral("Panel%1").arg(i));
        // the last panel takes what the others leave (block texts are long)
        if (i < 2)
            Panels[i]->setFixedWidth(widths[i]);
        else
            Panels[i]->setMinimumWidth(widths[i]);
        Panels[i]->setFrameShape(QFrame::StyledPanel);
        Panels[i]->setFrameShadow(QFrame::Sunken);
        Panels[i]->setContentsMargins(3, 0, 3, 0);
        Statusleiste->addWidget(Panels[i], i == 2 ? 1 : 0);
    }
    Panels[0]->setText(QStringLiteral("Index 255"));
    Panels[1]->setText(QStringLiteral("RGB 255,255,255"));
    setStatusBar(Statusleiste);

    if (target) {
        setWindowTitle(QStringLiteral("Choose Palette for ") + TitleToQt(target->Title, target->FileName));
        Model.Colours = ColoursOf(target->Picture.Palette);
    }
    SyncChannelControls();
    AfterHistoryChange();
    FitHeight();
    RedrawViews();
}

TPaletteForm::~TPaletteForm() = default;

void TPaletteForm::CreateMenus() {
    QMenuBar* bar = menuBar();
    auto menu = [&](QMenu* parent, const char* name, const QString& text) {
        QMenu* m = parent ? parent->addMenu(text) : bar->addMenu(text);
        m->setObjectName(QString::fromLatin1(name));
        return m;
    };
    auto item = [&](QMenu* m, const char* name, const QString& text, bool enabled = true) {
        QAction* a = m->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        a->setEnabled(enabled);
        return a;
    };
    auto check = [&](QMenu* m, const char* name, const QString& text, bool on) {
        QAction* a = item(m, name, text);
        a->setCheckable(true);
        a->setChecked(on);
        return a;
    };

    QMenu* file = menu(nullptr, "Datei", QStringLiteral("&File"));
    Oeffnen = item(file, "Oeffnen", QStringLiteral("&Open..."));
    Speichern = item(file, "Speichern", QStringLiteral("S&ave"));
    SpeichernAls = item(file, "SpeichernAls", QStringLiteral("&Save as..."));
    Use = item(file, "Use", QStringLiteral("&Use"));
    file->addSeparator();
    Beenden = item(file, "Beenden", QStringLiteral("&Exit"));

    QMenu* edit = menu(nullptr, "Bearbeiten", QStringLiteral("&Edit"));
    UndoItem = item(edit, "UndoItem", QStringLiteral("Undo"), false);
    UndoItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    edit->addSeparator();
    QMenu* block = menu(edit, "Block", QStringLiteral("Block"));
    item(block, "Ausschneiden", QStringLiteral("Ausschneiden"), false);
    item(block, "Kopieren", QStringLiteral("Kopieren"), false);
    item(block, "Einfuegen", QStringLiteral("Einf\u00fcgen"), false);
    item(block, "Loeschen", QStringLiteral("L\u00f6schen"), false);
    block->addSeparator();
    Glaetten = item(block, "Glaetten", QStringLiteral("Gl\u00e4tten"));
    FuellenMit = item(block, "FuellenMit", QStringLiteral("F\u00fcllen mit..."));
    Verlauf = item(block, "Verlauf", QStringLiteral("Verlauf"));
    Invertieren = item(block, "Invertieren", QStringLiteral("Invertieren"));
    item(block, "Offset", QStringLiteral("Offset"), false);
    Spiegeln = item(block, "Spiegeln", QStringLiteral("Spiegeln"));
    item(block, "Verschieben", QStringLiteral("Verschieben"), false);
    QMenu* sort = menu(edit, "SortBy", QStringLiteral("Sort by"));
    sort->setEnabled(false);
    for (const char* s : {"Red", "Green", "Blue", "Color Nr.", "Saturation", "Intensity", "Cyan",
                          "Magenta", "Yellow", "HTML-Value"})
        sort->addAction(QString::fromLatin1(s));
    edit->addSeparator();
    Check = item(edit, "Check", QStringLiteral("&Check"));

    QMenu* channels = menu(nullptr, "Farbkanaele", QStringLiteral("&Color Channels"));
    QMenu* editCh = menu(channels, "KanalEdit", QStringLiteral("&Edit"));
    EditRed = check(editCh, "EditRed", QStringLiteral("Red"), true);
    EditGreen = check(editCh, "EditGreen", QStringLiteral("Green"), false);
    EditBlue = check(editCh, "EditBlue", QStringLiteral("Blue"), false);
    QMenu* showCh = menu(channels, "KanalShow", QStringLiteral("&Show"));
    ShowRot = check(showCh, "ShowRot", QStringLiteral("Rot"), true);
    ShowGruen = check(showCh, "ShowGruen", QStringLiteral("Gr\u00fcn"), true);
    ShowBlau = check(showCh, "ShowBlau", QStringLiteral("Blau"), true);
    Connect = check(channels, "Connect", QStringLiteral("&Connect"), false);

    QMenu* view = menu(nullptr, "Ansicht", QStringLiteral("&View"));
    Symbols = check(view, "Symbols", QStringLiteral("Symbols"), true);
    StatusBarItem = check(view, "StatusBarItem", QStringLiteral("Status Bar"), true);
    QMenu* model = menu(view, "ColorModel", QStringLiteral("Color Model"));
    model->setEnabled(false);
    auto* group = new QActionGroup(this);
    for (const char* s : {"RGB", "HSI", "CMY", "Hex"}) {
        QAction* a = check(model, s, QString::fromLatin1(s), std::string(s) == "RGB");
        group->addAction(a);
    }

    QMenu* help = menu(nullptr, "Hilfe", QStringLiteral("&Help"));
    About = item(help, "About", QStringLiteral("About..."));
    item(help, "Bedienung", QStringLiteral("Bedienung"), false);

    connect(Oeffnen, &QAction::triggered, this, &TPaletteForm::OeffnenClick);
    connect(Speichern, &QAction::triggered, this, &TPaletteForm::SpeichernClick);
    connect(SpeichernAls, &QAction::triggered, this, &TPaletteForm::SpeichernAlsClick);
    connect(Use, &QAction::triggered, this, &TPaletteForm::GiveBackPalette);
    connect(Beenden, &QAction::triggered, this, &TPaletteForm::BeendenClick);
    connect(UndoItem, &QAction::triggered, this, &TPaletteForm::UndoButtonClick);
    connect(Glaetten, &QAction::triggered, this, &TPaletteForm::GlaettenClick);
    connect(FuellenMit, &QAction::triggered, this, &TPaletteForm::FuellenClick);
    connect(Verlauf, &QAction::triggered, this, &TPaletteForm::VerlaufClick);
    connect(Invertieren, &QAction::triggered, this, &TPaletteForm::InvertierenClick);
    connect(Spiegeln, &QAction::triggered, this, &TPaletteForm::SpiegelnClick);
    connect(Check, &QAction::triggered, this, &TPaletteForm::CheckClick);
    connect(EditRed, &QAction::triggered, this, [this] { ChannelClick(TChannel::Red); });
    connect(EditGreen, &QAction::triggered, this, [this] { ChannelClick(TChannel::Green); });
    connect(EditBlue, &QAction::triggered, this, [this] { ChannelClick(TChannel::Blue); });
    for (QAction* a : {ShowRot, ShowGruen, ShowBlau})
        connect(a, &QAction::triggered, this, &TPaletteForm::ShowChannelClick);
    connect(Connect, &QAction::triggered, this, &TPaletteForm::ConnectClick);
    connect(Symbols, &QAction::triggered, this, &TPaletteForm::SymbolsClick);
    connect(StatusBarItem, &QAction::triggered, this, &TPaletteForm::StatusBarClick);
    connect(About, &QAction::triggered, this, &TPaletteForm::AboutClick);

    PalettePopup = new QMenu(this);
    PalettePopup->setObjectName(QStringLiteral("PalettePopup"));
    PopupFarbe = item(PalettePopup, "PopupFarbe", QStringLiteral("Farbe"));
    PopupVerlauf = item(PalettePopup, "PopupVerlauf", QStringLiteral("Verlauf"));
    PopupInvertieren = item(PalettePopup, "PopupInvertieren", QStringLiteral("Invertieren"));
    PopupSpiegeln = item(PalettePopup, "PopupSpiegeln", QStringLiteral("Spiegeln"));
    item(PalettePopup, "PopupVerschieben", QStringLiteral("Verschieben"), false);
    item(PalettePopup, "PopupOffset", QStringLiteral("Offset"), false);
    connect(PopupFarbe, &QAction::triggered, this, &TPaletteForm::FuellenClick);
    connect(PopupVerlauf, &QAction::triggered, this, &TPaletteForm::VerlaufClick);
    connect(PopupInvertieren, &QAction::triggered, this, &TPaletteForm::InvertierenClick);
    connect(PopupSpiegeln, &QAction::triggered, this, &TPaletteForm::SpiegelnClick);
}

void TPaletteForm::CreateToolBar() {
    Symbolleiste = new QToolBar(this);
    Symbolleiste->setObjectName(QStringLiteral("Symbolleiste"));
    Symbolleiste->setMovable(false);
    Symbolleiste->setFloatable(false);
    Symbolleiste->setIconSize(QSize(16, 16));
    Symbolleiste->setFixedHeight(ToolBarHeight);
    Symbolleiste->toggleViewAction()->setVisible(false);
    Symbolleiste->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, Symbolleiste);

    auto button = [&](const char* name, const QIcon& icon, const QString& hint, bool checkable = false) {
        auto* b = new QToolButton(Symbolleiste);
        b->setObjectName(QString::fromLatin1(name));
        b->setIcon(icon);
        b->setToolTip(hint);
        b->setAutoRaise(true);
        b->setCheckable(checkable);
        b->setFixedSize(23, 22);
        Symbolleiste->addWidget(b);
        return b;
    };
    UndoButton = button("UndoButton", UndoGlyph(), QStringLiteral("R\u00fcckg\u00e4ngig"));
    Symbolleiste->addSeparator();
    RotButton = button("RotButton", ChannelGlyph(QColor(210, 0, 0), "R"), QStringLiteral("Rot-Kanal"), true);
    GruenButton = button("GruenButton", ChannelGlyph(QColor(0, 128, 0), "G"),
                         QStringLiteral("Gr\u00fcn-Kanal"), true);
    BlauButton = button("BlauButton", ChannelGlyph(QColor(0, 0, 220), "B"), QStringLiteral("Blau-Kanal"), true);
    VerbindenButton = button("VerbindenButton", ConnectGlyph(), QStringLiteral("Kan\u00e4le verbinden"), true);
    Symbolleiste->addSeparator();
    GlaettenButton = button("GlaettenButton", SmoothGlyph(), QStringLiteral("Gl\u00e4tten"));
    WiederholungButton =
        button("WiederholungButton", CheckGlyph(), QStringLiteral("Auf Wiederholungen testen"));
    Symbolleiste->addSeparator();
    FuellenButton = button("FuellenButton", FillGlyph(), QStringLiteral("Block mit Farbe f\u00fcllen"));
    VerlaufButton = button("VerlaufButton", GradientGlyph(), QStringLiteral("Block mit Verlauf f\u00fcllen"));
    SpiegelnButton = button("SpiegelnButton", MirrorGlyph(), QStringLiteral("Block spiegeln"));
    InvertierenButton = button("InvertierenButton", InvertGlyph(), QStringLiteral("Block invertieren"));
    // block commands that are not offered (yet)
    const std::pair<const char*, const char*> hidden[] = {
        {"KopierenButton", "Block kopieren"},       {"EinfuegenButton", "Block einf\u00fcgen"},
        {"AusschneidenButton", "Block ausschneiden"}, {"LoeschenButton", "Block l\u00f6schen"},
        {"VerschiebenButton", "Block verschieben"},   {"OffsetButton", "Block senken/anheben"}};
    for (const auto& [name, hint] : hidden) {
        QToolButton* b = button(name, PlainGlyph(Qt::gray), QString::fromUtf8(hint));
        for (QAction* a : Symbolleiste->actions())
            if (Symbolleiste->widgetForAction(a) == b) a->setVisible(false);
    }

    connect(UndoButton, &QToolButton::clicked, this, &TPaletteForm::UndoButtonClick);
    connect(RotButton, &QToolButton::clicked, this, [this] { ChannelClick(TChannel::Red); });
    connect(GruenButton, &QToolButton::clicked, this, [this] { ChannelClick(TChannel::Green); });
    connect(BlauButton, &QToolButton::clicked, this, [this] { ChannelClick(TChannel::Blue); });
    connect(VerbindenButton, &QToolButton::clicked, this, &TPaletteForm::ConnectClick);
    connect(GlaettenButton, &QToolButton::clicked, this, &TPaletteForm::GlaettenClick);
    connect(WiederholungButton, &QToolButton::clicked, this, &TPaletteForm::CheckClick);
    connect(FuellenButton, &QToolButton::clicked, this, &TPaletteForm::FuellenClick);
    connect(VerlaufButton, &QToolButton::clicked, this, &TPaletteForm::VerlaufClick);
    connect(SpiegelnButton, &QToolButton::clicked, this, &TPaletteForm::SpiegelnClick);
    connect(InvertierenButton, &QToolButton::clicked, this, &TPaletteForm::InvertierenClick);
}

void TPaletteForm::CreateViews() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Client"));
    centralHeight_ = ClientHeight - ToolBarHeight - StatusHeight;
    central->setFixedSize(ClientWidth, centralHeight_);
    auto group = [&](const char* name, const QString& title, int left) {
        auto* g = new QGroupBox(title, central);
        g->setObjectName(QString::fromLatin1(name));
        g->setGeometry(left, 2, BoxSize + 18, centralHeight_ - 6);
        return g;
    };
    QGroupBox* rgb = group("GroupKanaele", QStringLiteral("RGB-Kan\u00e4le"), 7);
    QGroupBox* entries = group("GroupPalette", QStringLiteral("Paletteneintr\u00e4ge"), ClientWidth - 7 - BoxSize - 18);
    const int top = centralHeight_ - 6 - BoxSize - 9;
    Kanaele = new TPaintBox(rgb);
    Kanaele->setObjectName(QStringLiteral("Kanaele"));
    Kanaele->move(9, top);
    Kanaele->Buffer = &channelBuffer_;
    Kanaele->setCursor(Qt::CrossCursor);
    Palette = new TPaintBox(entries);
    Palette->setObjectName(QStringLiteral("Palette"));
    Palette->move(9, top);
    Palette->Buffer = &paletteBuffer_;
    setCentralWidget(central);

    connect(Kanaele, &TPaintBox::Pressed, this, &TPaletteForm::KanaelePress);
    connect(Kanaele, &TPaintBox::Moved, this, &TPaletteForm::KanaeleMove);
    connect(Kanaele, &TPaintBox::Released, this, &TPaletteForm::KanaeleRelease);
    connect(Palette, &TPaintBox::Pressed, this, &TPaletteForm::PalettePress);
    connect(Palette, &TPaintBox::Moved, this, &TPaletteForm::PaletteMove);
    connect(Palette, &TPaintBox::Released, this, &TPaletteForm::PaletteRelease);
    connect(Palette, &TPaintBox::DoubleClicked, this, &TPaletteForm::PaletteDoubleClick);
    connect(Palette, &TPaintBox::ContextMenu, this, [this](const QPoint& pos) { PalettePopup->popup(pos); });
}

// The window is as wide as its client and as high as the bars shown make it.
void TPaletteForm::FitHeight() {
    int h = menuBar()->sizeHint().height() + centralHeight_;
    if (Symbolleiste->isVisibleTo(this)) h += ToolBarHeight;
    if (Statusleiste->isVisibleTo(this)) h += StatusHeight;
    setFixedSize(ClientWidth, h);
}

// ---------------------------------------------------------------- painting

void TPaletteForm::RedrawViews() {
    PaintChannels();
    PaintPalette();
}

void TPaletteForm::PaintChannels() {
    channelBuffer_.fill(Qt::black);
    QPainter p(&channelBuffer_);
    // overlapping curves mix their colours
    p.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    const QColor pens[3] = {QColor(255, 0, 0), QColor(0, 128, 0), QColor(0, 0, 255)};
    for (int ch = 0; ch < 3; ++ch) {
        if (!Model.Visible[static_cast<size_t>(ch)]) continue;
        p.setPen(QPen(pens[ch], 1));
        const auto v = [&](int i) { return 255 - Model.Colours[static_cast<size_t>(3 * i + ch)]; };
        p.drawPoint(0, v(0));
        for (int i = 1; i < PaletteEntries; ++i) {
            if (v(i) == v(i - 1))
                p.drawPoint(i, v(i));
            else
                p.drawLine(i, v(i - 1), i, v(i));
        }
    }
    p.end();
    Kanaele->update();
}

void TPaletteForm::PaintPalette() {
    paletteBuffer_.fill(Qt::black);
    QPainter p(&paletteBuffer_);
    for (int e = 0; e < PaletteEntries; ++e) {
        const size_t at = static_cast<size_t>(3 * e);
        const QColor c(Model.Colours[at], Model.Colours[at + 1], Model.Colours[at + 2]);
        p.fillRect(QRect(16 * (e % 16) + 1, 16 * (e / 16) + 1, 15, 15), c);
    }
    QPen dotted(Qt::white, 1, Qt::DotLine);
    p.setPen(dotted);
    p.setBrush(Qt::NoBrush);
    const auto outline = BlockOutline(Model.BlockFirst, Model.BlockLast);
    QPolygon poly;
    for (const auto& [x, y] : outline) poly << QPoint(x, y);
    p.drawPolyline(poly);
    p.end();
    Palette->update();
}

void TPaletteForm::ShowEntry(int entry) {
    if (entry < 0 || entry >= PaletteEntries) return;
    Panels[0]->setText(Latin1ToQt(EntryIndexText(entry)));
    Panels[1]->setText(Latin1ToQt(EntryColourText(Model.Colours, entry)));
}

// ---------------------------------------------------------------- history and state

void TPaletteForm::PushUndo() {
    Model.PushUndo();
    AfterHistoryChange();
}

void TPaletteForm::AfterHistoryChange() {
    const bool modified = Model.Modified();
    // the caption follows the file and the modified mark once there is either
    if (modified || Model.FileKind != TPaletteKind::None) captionFollows_ = true;
    if (captionFollows_) setWindowTitle(TitleToQt(Model.Caption(), ExtractFileName(Model.FileName)));
    UndoItem->setEnabled(modified);
    UndoButton->setEnabled(modified);
}

void TPaletteForm::UndoButtonClick() {
    if (!Model.Undo()) return;
    AfterHistoryChange();
    RedrawViews();
}

void TPaletteForm::SyncChannelControls() {
    EditRed->setChecked(Model.Channels[TChannel::Red]);
    EditGreen->setChecked(Model.Channels[TChannel::Green]);
    EditBlue->setChecked(Model.Channels[TChannel::Blue]);
    Connect->setChecked(Model.Channels.Connect);
    RotButton->setChecked(EditRed->isChecked());
    GruenButton->setChecked(EditGreen->isChecked());
    BlauButton->setChecked(EditBlue->isChecked());
    VerbindenButton->setChecked(Connect->isChecked());
    UndoButton->setEnabled(UndoItem->isEnabled());
}

void TPaletteForm::ChannelClick(TChannel channel) {
    Model.Channels.Choose(channel);
    SyncChannelControls();
}

void TPaletteForm::ConnectClick() {
    Model.Channels.ToggleConnect();
    SyncChannelControls();
}

void TPaletteForm::ShowChannelClick() {
    Model.Visible = {ShowRot->isChecked(), ShowGruen->isChecked(), ShowBlau->isChecked()};
    PaintChannels();
}

// ---------------------------------------------------------------- edits

void TPaletteForm::GlaettenClick() {
    Model.Smooth();
    AfterHistoryChange();
    RedrawViews();
}

void TPaletteForm::CheckClick() {
    ShowMessage(RepeatMessage(RepeatCount(Model.Colours)), TMsgKind::Information, TMsgButtons::OK, EditorTitle);
}

bool TPaletteForm::ChooseColour(int entry, int& colour) {
    colour = EntryColourValue(Model.Colours, entry);
    if (Hooks.Colour) return Hooks.Colour(colour);
    const QColor start(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    const QColor c = QColorDialog::getColor(start, this);
    if (!c.isValid()) return false;
    colour = c.red() + 256 * c.green() + 65536 * c.blue();
    return true;
}

void TPaletteForm::FuellenClick() {
    const int shown = Model.PrepareFill();
    AfterHistoryChange();
    PaintPalette();
    int colour = 0;
    if (ChooseColour(shown, colour))
        Model.FillWith(static_cast<uint8_t>(colour & 0xFF), static_cast<uint8_t>((colour >> 8) & 0xFF),
                       static_cast<uint8_t>((colour >> 16) & 0xFF));
    RedrawViews();
}

void TPaletteForm::VerlaufClick() {
    Model.Gradient();
    AfterHistoryChange();
    RedrawViews();
}

void TPaletteForm::SpiegelnClick() {
    Model.Mirror();
    AfterHistoryChange();
    RedrawViews();
}

void TPaletteForm::InvertierenClick() {
    Model.Invert();
    AfterHistoryChange();
    RedrawViews();
}

// ---------------------------------------------------------------- mouse: channel curves

void TPaletteForm::KanaelePress(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const QPoint p = e->position().toPoint();
    if (Model.CurvePress(p.x(), p.y())) AfterHistoryChange();
}

void TPaletteForm::KanaeleMove(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (Model.CurveMove(p.x(), p.y())) {
        PaintChannels();
        ShowEntry(p.x());
        Panels[2]->setText(QStringLiteral("Kanal-Wert %1").arg(255 - p.y()));
    } else if (!Model.Drawing && p.x() >= 0 && p.x() <= 255) {
        ShowEntry(p.x());
    }
}

void TPaletteForm::KanaeleRelease(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (e->button() == Qt::LeftButton) {
        Model.CurveRelease();
        RedrawViews();
        return;
    }
    // right or middle: the colour of the entry under the mouse
    if (p.x() < 0 || p.x() > 255) return;
    int colour = 0;
    if (ChooseColour(p.x(), colour))
        FillBlock(Model.Colours, p.x(), p.x(), static_cast<uint8_t>(colour & 0xFF),
                  static_cast<uint8_t>((colour >> 8) & 0xFF), static_cast<uint8_t>((colour >> 16) & 0xFF));
    RedrawViews();
}

// ---------------------------------------------------------------- mouse: palette grid

void TPaletteForm::PalettePress(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    Model.GridPress(p.x(), p.y(), e->button() == Qt::LeftButton);
    ShowEntry(Model.CurrentEntry);
}

void TPaletteForm::PaletteMove(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    int entry = -1;
    if (Model.GridMove(p.x(), p.y(), entry)) {
        Panels[2]->setText(Latin1ToQt(BlockText(Model.BlockFirst, Model.BlockLast)));
        PaintPalette();
    }
    ShowEntry(entry);
}

void TPaletteForm::PaletteRelease(QMouseEvent*) { Model.GridRelease(); }

void TPaletteForm::PaletteDoubleClick(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    int colour = 0;
    if (ChooseColour(Model.CurrentEntry, colour)) {
        PushUndo();
        FillBlock(Model.Colours, Model.CurrentEntry, Model.CurrentEntry, static_cast<uint8_t>(colour & 0xFF),
                  static_cast<uint8_t>((colour >> 8) & 0xFF), static_cast<uint8_t>((colour >> 16) & 0xFF));
        RedrawViews();
    }
    Model.Selecting = false;
}

// ---------------------------------------------------------------- files

bool TPaletteForm::SaveIfModified() {
    if (!Model.Modified()) return true;
    switch (ShowMessage(ModifiedQuestion, TMsgKind::Confirmation, TMsgButtons::YesNoCancel, EditorTitle)) {
    case TMsgResult::Yes:
        SpeichernAlsClick();
        // a save that was cancelled or failed keeps the changes and the command stops
        return !Model.Modified();
    case TMsgResult::No:
        return true;
    default:
        return false;
    }
}

void TPaletteForm::ReadFile(const std::string& path, TPaletteKind kind) {
    Guarded([&] {
        const TPaletteRead read = Model.Open(path, kind);
        AfterHistoryChange();
        if (read.Failed) ShowMessage(ReadFailureText(read), TMsgKind::Error, TMsgButtons::OK, EditorTitle);
    });
    AfterHistoryChange();
    RedrawViews();
}

void TPaletteForm::OeffnenClick() {
    if (!SaveIfModified()) return;
    QString file = dialogDir_;
    int filter = 1;
    bool ok;
    if (Hooks.Open) {
        ok = Hooks.Open(file, filter);
    } else {
        QFileDialog dlg(this, QStringLiteral("Open"), dialogDir_);
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(QFileDialog::ExistingFile);
        dlg.setNameFilters(PaletteFilters(true));
        ok = dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty();
        if (ok) {
            file = dlg.selectedFiles().first();
            filter = static_cast<int>(dlg.nameFilters().indexOf(dlg.selectedNameFilter())) + 1;
        }
    }
    if (!ok || file.isEmpty()) return;
    dialogDir_ = QFileInfo(file).absolutePath();
    ReadFile(QtToPath(file), KindOfFilter(filter));
}

void TPaletteForm::SpeichernAlsClick() {
    QString file = dialogDir_;
    int filter = static_cast<int>(Model.FileKind == TPaletteKind::None ? TPaletteKind::Jasc : Model.FileKind);
    bool ok;
    if (Hooks.SaveAs) {
        ok = Hooks.SaveAs(file, filter);
    } else {
        QFileDialog dlg(this, QStringLiteral("Save as"), dialogDir_);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setNameFilters(PaletteFilters(false));
        dlg.selectNameFilter(PaletteFilters(false).value(filter - 1));
        // the extension follows the chosen type; the question below asks before replacing
        dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
        ok = dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty();
        if (ok) {
            file = dlg.selectedFiles().first();
            filter = static_cast<int>(dlg.nameFilters().indexOf(dlg.selectedNameFilter())) + 1;
        }
    }
    if (!ok || file.isEmpty()) return;
    const TPaletteKind kind = KindOfFilter(filter);
    std::string name = QtToPath(file);
    if (ExtractFileExt(name).empty()) name += "." + PaletteExtension(kind);
    if (QFileInfo::exists(PathToQt(name)) &&
        ShowFileMessage(ExtractFileName(name) + " already exists.\r\nDo you want to replace it?",
                        {ExtractFileName(name)}, TMsgKind::Confirmation, TMsgButtons::YesNo,
                        EditorTitle) != TMsgResult::Yes)
        return;
    dialogDir_ = QFileInfo(PathToQt(name)).absolutePath();
    Guarded([&] { Model.SaveAs(name, kind); });
    AfterHistoryChange();
    setWindowTitle(TitleToQt(Model.Caption(), ExtractFileName(Model.FileName)));
}

void TPaletteForm::SpeichernClick() {
    if (Model.FileKind == TPaletteKind::None) {
        SpeichernAlsClick();
        return;
    }
    Guarded([&] { Model.Write(); });
    AfterHistoryChange();
}

void TPaletteForm::GiveBackPalette() {
    if (!TargetWindow) return;
    TImageChange step(TargetWindow, TSampleChange::None, "Palette");
    ApplyColours(Model.Colours, TargetWindow->Picture.Palette);
    TargetWindow->Redraw();
}

void TPaletteForm::BeendenClick() { close(); }

void TPaletteForm::closeEvent(QCloseEvent* event) {
    if (!SaveIfModified()) {
        event->ignore();
        return;
    }
    Model.History.Clear();
    event->accept();
}

// ---------------------------------------------------------------- view and help

void TPaletteForm::SymbolsClick() {
    Symbolleiste->setVisible(Symbols->isChecked());
    FitHeight();
}

void TPaletteForm::StatusBarClick() {
    Statusleiste->setVisible(StatusBarItem->isChecked());
    FitHeight();
}

void TPaletteForm::AboutClick() {
    ShowMessage("Paletten-Editor 1.3\r\nFarbpaletten mit 256 Eintr\xE4gen: Kan\xE4le zeichnen, "
                "Bl\xF6""cke f\xFCllen, Verl\xE4ufe, Spiegeln, Invertieren, Gl\xE4tten.\r\n"
                "Dateien: JASC-Palette, Text, Bin\xE4r (768 Bytes).",
                TMsgKind::Information, TMsgButtons::OK, EditorTitle);
}
