#include "app/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

#include "app/About.h"
#include "app/ArithForm.h"
#include "app/AskUnit.h"
#include "app/AxesForm.h"
#include "app/FontDialog.h"
#include "analysis/Roughness.h"
#include "app/AnaLineForm.h"
#include "app/FilterForm.h"
#include "app/Help.h"
#include "app/Icons.h"
#include "app/PaletteForm.h"
#include "app/QtMessageSink.h"
#include "app/Rename.h"
#include "app/Form3DSetting.h"
#include "app/S3DForm.h"
#include "app/UnitCellForm.h"
#include "app/WindowPlacement.h"
#include "core/Display.h"
#include "core/Errors.h"
#include "core/Messages.h"
#include "core/Settings.h"
#include "core/Threads.h"
#include "formats/Export.h"
#include "formats/FieldFiles.h"
#include "formats/ImageWriters.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "formats/OpenFlow.h"
#include "frontend/Output.h"
#include "processing/Operations.h"

TMainForm* MainForm = nullptr;

namespace {

const char* const OpenFilter =
    "All supported files|*.txt; *.img; *.IMG; *.tfp; *.*fp; *.par; *.bmp; *.gwy; *.gsf; *.sxm|"
    "Velkore|*.txt|Burleigh|*.img|TopoMetrix|*.tfp; *.*fp; *.2fp; *.3fp |Omicron|*.par|"
    "Windows-Bitmap|*.bmp|Gwyddion (*.gwy)|*.gwy|Gwyddion Simple Field (*.gsf)|*.gsf|Nanonis (*.sxm)|*.sxm|"
    "All files|*.*";
const char* const SaveFilter =
    "Windows bitmap (*.bmp)|*.bmp|Velkore (*.txt & *.sin)|*.txt|Velkore (*.txt & *.int)|*.txt|"
    "Jpeg Graphic (*.jpg)|*.jpg|Gwyddion (*.gwy)|*.gwy|Gwyddion Simple Field (*.gsf)|*.gsf";
const char* const ExportFilter = "ASCII (*.dat)|*.dat|StL Binary Format (*.StL)|*.StL";

// The file dialog; ConfirmOverwrite, when set, decides by the chosen type at the
// moment the user accepts whether an existing file is asked about.
class TFileDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    std::function<bool(const QString& nameFilter)> ConfirmOverwrite;

protected:
    void accept() override {
        if (ConfirmOverwrite) setOption(QFileDialog::DontConfirmOverwrite, !ConfirmOverwrite(selectedNameFilter()));
        QFileDialog::accept();
    }
};

// Whether saving through filter position index of the dialog replaces an existing
// file: the native and Gwyddion writers (Save As positions 2, 3, 5 and 6) never do.
bool SaveReplaces(const std::string& filter, int index) {
    return !(filter == SaveFilter && (index == 2 || index == 3 || index == 5 || index == 6));
}

// Runs a command; a failure that escapes it gets the application's error report.
template <class F>
void Guarded(F&& f) {
    try {
        f();
    } catch (const ETooManyWindows&) {
        // "Too many Data!" has been said; a second box would only repeat it
    } catch (const std::exception& e) {
        ShowFailure(e);
    }
}

class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

QRect PrintRect(const QSize& image, const QSize& page) {
    // five printer pixels per sample from (10, 10); a picture that would leave the
    // printable area is scaled down to fit, keeping its shape
    if (image.isEmpty()) return QRect();
    QSize size(5 * image.width(), 5 * image.height());
    const QSize room(std::max(1, page.width() - 20), std::max(1, page.height() - 20));
    if (size.width() > room.width() || size.height() > room.height())
        size = size.scaled(room, Qt::KeepAspectRatio);
    return QRect(QPoint(10, 10), size.expandedTo(QSize(1, 1)));
}

namespace {

QString DirWithSeparator(const QString& file) {
    return QFileInfo(file).absolutePath() + QLatin1Char('/');
}

// The Qt name filter of a (description, patterns) pair: the description, followed by
// the patterns in parentheses unless it ends with exactly those.
QString QtNameFilter(const std::string& description, const std::vector<std::string>& patterns) {
    QString pats;
    for (const std::string& p : patterns) {
        if (!pats.isEmpty()) pats += QLatin1Char(' ');
        pats += Latin1ToQt(p);
    }
    const QString desc = Latin1ToQt(description);
    if (desc.endsWith(QLatin1Char('(') + pats + QLatin1Char(')'))) return desc;
    return desc + QStringLiteral(" (") + pats + QLatin1Char(')');
}

}  // namespace

// ---------------------------------------------------------------- creation

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    MainForm = this;
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Morvane"));
    setWindowIcon(AppIcon());
    setProperty("helpTopic", 1);

    MdiArea = new QMdiArea(this);
    MdiArea->setObjectName(QStringLiteral("MdiArea"));
    MdiArea->setBackground(QColor(128, 128, 128));
    setCentralWidget(MdiArea);
    connect(MdiArea, &QMdiArea::subWindowActivated, this, &TMainForm::SubWindowActivated);

    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar"));
    setStatusBar(status);

    CreateMenus();
    CreateSpeedButtons();
    OpenSettings();
    RestoreGeometry();
    CurrentWindow = -1;

    RenameForm = new TRenameForm(this);
    RenameForm->hide();
    ArithForm = new TArithForm(this, settings_.get());
    ArithForm->hide();
    AxesForm = new TAxesForm(this);
    AxesForm->hide();

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::ApplicationShortcut);
    connect(help, &QShortcut::activated, this, [this] { ShowHelp(FocusedHelpTopic()); });

    // the usual keys where the commands have none of their own
    FileOpenItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    FileSaveAsItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    FileCloseItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    Print1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    FileExitItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // windows beyond the visible area can be scrolled to
    MdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    MdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    UpdateMenuItems();
}

TMainForm::~TMainForm() {
    closing_ = true;
    for (auto& w : ImageWindows)
        if (w) disconnect(w, nullptr, this, nullptr);
    for (TAskForm* ask : findChildren<TAskForm*>(QString(), Qt::FindDirectChildrenOnly)) delete ask;
    delete MdiArea;  // every image window and what it owns, while the settings still exist
    MdiArea = nullptr;
    delete helpForm_;
    if (MainForm == this) MainForm = nullptr;
}

void TMainForm::OpenSettings() {
    settings_ = std::make_unique<TSettings>(
        TSettings::DefaultPath(QtToPath(QCoreApplication::applicationDirPath() + QLatin1Char('/'))));
    // the size of the processing thread pool: 0 = every core (MORVANE_THREADS wins)
    if (!settings_->ValueExists(PerformanceSection, ThreadsKey)) settings_->WriteInteger(PerformanceSection, ThreadsKey, 0);
    ApplyThreadSetting(settings_->ReadInteger(PerformanceSection, ThreadsKey, 0));
}

void TMainForm::RestoreGeometry() {
    if (!settings_->ValueExists("MainForm", "Width") || !settings_->ValueExists("MainForm", "Height")) {
        // first start: most of the screen, centred
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect avail = screen->availableGeometry();
            const QSize size(avail.width() * 4 / 5, avail.height() * 4 / 5);
            resize(size);
            move(avail.left() + (avail.width() - size.width()) / 2,
                 avail.top() + (avail.height() - size.height()) / 2);
            return;
        }
    }
    int left = settings_->ReadInteger("MainForm", "Left", 0);
    int top = settings_->ReadInteger("MainForm", "Top", 0);
    int width = settings_->ReadInteger("MainForm", "Width", 400);
    int height = settings_->ReadInteger("MainForm", "Height", 300);
    if (width < 100 || width > 20000) width = 400;
    if (height < 100 || height > 20000) height = 300;
    // a window stored on a screen that is gone comes back at the top-left corner
    const QRect wanted(left, top, width, height);
    bool visible = false;
    for (QScreen* s : QGuiApplication::screens())
        if (s->availableGeometry().intersects(wanted.adjusted(0, 0, 0, -height + 40))) visible = true;
    if (!visible && !QGuiApplication::screens().isEmpty()) {
        left = 0;
        top = 0;
    }
    move(left, top);
    resize(width, height);
}

QAction* NewItem(QMenu* menu, const char* name, const char* caption, int topic, const char* tip) {
    QAction* a = menu->addAction(QString::fromLatin1(caption));
    a->setObjectName(QString::fromLatin1(name));
    a->setProperty("helpTopic", topic);
    a->setStatusTip(QString::fromLatin1(tip));
    return a;
}

void TMainForm::CreateMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto menu = [&](const char* name, const char* caption) {
        QMenu* m = bar->addMenu(QString::fromLatin1(caption));
        m->setObjectName(QString::fromLatin1(name));
        m->installEventFilter(this);
        return m;
    };
    FileMenu = menu("FileMenu", "&File");
    FileOpenItem = NewItem(FileMenu, "FileOpenItem", "&Open", 3, "Open a measurement file");
    FileCloseItem = NewItem(FileMenu, "FileCloseItem", "&Close", 3, "Close the active image window");
    CloseAllItem = NewItem(FileMenu, "CloseAllItem", "Close a&ll", 3, "Close every image window");
    FileMenu->addSeparator();
    Print1 = NewItem(FileMenu, "Print1", "&Print", 3, "Print the active image");
    FileSaveAsItem = NewItem(FileMenu, "FileSaveAsItem", "Save &As...", 3,
                             "Save the active image as bitmap, JPEG or measurement file");
    FileExportItem = NewItem(FileMenu, "FileExportItem", "&Export", 3,
                             "Export the active image as ASCII table or STL mesh");
    FileMenu->addSeparator();
    FileExitItem = NewItem(FileMenu, "FileExitItem", "E&xit", 3, "Leave the program");

    EditMenu = menu("EditMenu", "&Edit");
    UndoItem = NewItem(EditMenu, "UndoItem", "&Undo", 41, "Take back the last change of the active image");
    UndoItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    RedoItem = NewItem(EditMenu, "RedoItem", "&Redo", 41, "Make the change taken back again");
    RedoItem->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    connect(UndoItem, &QAction::triggered, this, [this] {
        if (TMDIChild* w = Current()) w->Undo();
    });
    connect(RedoItem, &QAction::triggered, this, [this] {
        if (TMDIChild* w = Current()) w->Redo();
    });
    EditMenu->addSeparator();
    CutItem = NewItem(EditMenu, "CutItem", "Cu&t", 1, "");
    CopyItem = NewItem(EditMenu, "CopyItem", "&Copy", 4, "Copy the active image with its scales");
    CopyItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    PasteItem = NewItem(EditMenu, "PasteItem", "&Paste", 1, "");
    Doublicate1 = NewItem(EditMenu, "Doublicate1", "&Duplicate", 1,
                          "Open a copy of the active image in a new window");
    // the active image's processing history as a script of morvane-cli calls
    QAction* exportProcessing = NewItem(EditMenu, "ExportProcessing1", "Export &processing...", 40,
                                        "Write the processing of the active image as a replayable script");
    exportProcessing->setText(QStringLiteral("Export &processing\u2026"));
    connect(exportProcessing, &QAction::triggered, this, [this] {
        if (TMDIChild* w = Current()) w->ExportProcessingClick();
    });

    ProcessMenu = menu("ProcessMenu", "&Process");
    Invers1 = NewItem(ProcessMenu, "Invers1", "&Inverse", 6, "Negate every height of the image");
    ProcessMenu->addSeparator();
    LowPassItem = NewItem(ProcessMenu, "LowPassItem", "&Simple Filter", 7, "3 x 3 filter kernels");
    MeanFilter1 = NewItem(ProcessMenu, "MeanFilter1", "Mean Filter", 8, "Mean filter");
    Median1 = NewItem(ProcessMenu, "Median1", "&Median Filter", 9, "Median filter");
    NoiseItem = NewItem(ProcessMenu, "NoiseItem", "&Noise", 10, "Remove bad points");
    SlopeItem = NewItem(ProcessMenu, "SlopeItem", "&Leveling", 11, "Remove slope and bow");
    HistogramItem = NewItem(ProcessMenu, "HistogramItem", "&Histogram", 12,
                            "Histogram and value range");
    ArithmeticItem = NewItem(ProcessMenu, "ArithmeticItem", "&Arithmetic", 13,
                             "Combine two images");
    Zoom1 = NewItem(ProcessMenu, "Zoom1", "&Zoom", 14, "Cut out a square region");
    Shere1 = NewItem(ProcessMenu, "Shere1", "Sphere", 15, "Rolling sphere background filter");
    DistortionItem = NewItem(ProcessMenu, "DistortionItem", "&Distortion", 27,
                             "Correct lateral distortion");
    Scale1 = NewItem(ProcessMenu, "Scale1", "&Rescale", 28, "Change scan ranges and value range");
    FFTItem = NewItem(ProcessMenu, "FFTItem", "&FFT", 29, "Fourier transform");

    ViewMenu = menu("ViewMenu", "&View");
    Refresh1 = NewItem(ViewMenu, "Refresh1", "&Refresh", 17,
                       "Let the colour range follow the data again");
    PaletteItem = NewItem(ViewMenu, "PaletteItem", "&Palette", 18, "Edit the colour palette");
    S3DItem = NewItem(ViewMenu, "S3DItem", "Simple&3D", 21, "Pseudo-3-D line drawing");
    ViewMenu->addSeparator();
    FontItem = NewItem(ViewMenu, "FontItem", "Font (z-Bar)", 19, "Font of the z-bar texts");
    FontLabel1 = NewItem(ViewMenu, "FontLabel1", "Font (Label)", 19, "Font of the scale texts");
    ScaleBars1 = NewItem(ViewMenu, "ScaleBars1", "Scale Bars", 20,
                         "Z bar, scale bar and axis of the active image");
    View3D = NewItem(ViewMenu, "View3D", "View3D", 21, "OpenGL 3-D view");

    AnalyseMenu = menu("AnalyseMenu", "&Analyse");
    Line1 = NewItem(AnalyseMenu, "Line1", "&Line", 23, "Line profiles");
    DualLine1 = NewItem(AnalyseMenu, "DualLine1", "Dual Line", 23, "Compare two images along a line");
    Roughness1 = NewItem(AnalyseMenu, "Roughness1", "&Roughness", 25,
                         "Mean and standard deviation of the image");
    Unitcell1 = NewItem(AnalyseMenu, "Unitcell1", "&Unit cell", 26, "Unit cell and lattice");

    WindowMenu = menu("WindowMenu", "&Window");
    WindowCascadeItem = NewItem(WindowMenu, "WindowCascadeItem", "&Cascade", 1,
                                "Cascade the image windows");
    WindowTileItem = NewItem(WindowMenu, "WindowTileItem", "&Tile", 1,
                             "Tile the image windows side by side");
    WindowArrangeItem = NewItem(WindowMenu, "WindowArrangeItem", "&Arrange Icons", 1,
                                "Arrange the minimised windows");
    WindowMinimizeItem = NewItem(WindowMenu, "WindowMinimizeItem", "&Minimize All", 1,
                                 "Minimise every image window");
    Rename1 = NewItem(WindowMenu, "Rename1", "Re&name...", 1, "Retitle the active image window");
    connect(WindowMenu, &QMenu::aboutToShow, this, &TMainForm::RebuildWindowList);

    HelpMenu = menu("HelpMenu", "&Help");
    HelpMorvaneHelpItem = NewItem(HelpMenu, "HelpMorvaneHelpItem", "&Morvane Help\tF1", 1,
                                  "Open the manual");
    HelpAboutItem = NewItem(HelpMenu, "HelpAboutItem", "&About", 1, "Version and credits");

    connect(FileOpenItem, &QAction::triggered, this, &TMainForm::FileOpenItemClick);
    connect(FileCloseItem, &QAction::triggered, this, &TMainForm::FileCloseItemClick);
    connect(CloseAllItem, &QAction::triggered, this, &TMainForm::CloseAllItemClick);
    connect(Print1, &QAction::triggered, this, &TMainForm::Print1Click);
    connect(FileSaveAsItem, &QAction::triggered, this, &TMainForm::FileSaveAsItemClick);
    connect(FileExportItem, &QAction::triggered, this, &TMainForm::FileExportItemClick);
    connect(FileExitItem, &QAction::triggered, this, &TMainForm::FileExitItemClick);
    connect(CopyItem, &QAction::triggered, this, &TMainForm::CopyItemClick);
    connect(Doublicate1, &QAction::triggered, this, &TMainForm::Doublicate1Click);
    connect(Invers1, &QAction::triggered, this, &TMainForm::Invers1Click);
    connect(Refresh1, &QAction::triggered, this, &TMainForm::Refresh1Click);
    connect(FontItem, &QAction::triggered, this, &TMainForm::FontItemClick);
    connect(FontLabel1, &QAction::triggered, this, &TMainForm::FontLabel1Click);
    connect(ScaleBars1, &QAction::triggered, this, &TMainForm::ScaleBars1Click);
    connect(WindowCascadeItem, &QAction::triggered, this, &TMainForm::WindowCascadeItemClick);
    connect(WindowTileItem, &QAction::triggered, this, &TMainForm::WindowTileItemClick);
    connect(WindowArrangeItem, &QAction::triggered, this, &TMainForm::WindowArrangeItemClick);
    connect(WindowMinimizeItem, &QAction::triggered, this, &TMainForm::WindowMinimizeItemClick);
    connect(Rename1, &QAction::triggered, this, &TMainForm::Rename1Click);
    connect(HelpMorvaneHelpItem, &QAction::triggered, this, &TMainForm::HelpMorvaneHelpItemClick);
    connect(HelpAboutItem, &QAction::triggered, this, &TMainForm::HelpAboutItemClick);
    connect(LowPassItem, &QAction::triggered, this, &TMainForm::LowPassItemClick);
    connect(MeanFilter1, &QAction::triggered, this, &TMainForm::MeanFilter1Click);
    connect(Median1, &QAction::triggered, this, &TMainForm::Median1Click);
    connect(NoiseItem, &QAction::triggered, this, &TMainForm::NoiseItemClick);
    connect(SlopeItem, &QAction::triggered, this, &TMainForm::SlopeItemClick);
    connect(HistogramItem, &QAction::triggered, this, &TMainForm::HistogramItemClick);
    connect(Zoom1, &QAction::triggered, this, &TMainForm::Zoom1Click);
    connect(Shere1, &QAction::triggered, this, &TMainForm::Shere1Click);
    connect(DistortionItem, &QAction::triggered, this, &TMainForm::DistortionItemClick);
    connect(FFTItem, &QAction::triggered, this, &TMainForm::FFTItemClick);
    connect(PaletteItem, &QAction::triggered, this, &TMainForm::PaletteItemClick);
    connect(ArithmeticItem, &QAction::triggered, this, &TMainForm::ArithmeticItemClick);
    connect(Scale1, &QAction::triggered, this, &TMainForm::Scale1Click);
    connect(Line1, &QAction::triggered, this, &TMainForm::Line1Click);
    connect(DualLine1, &QAction::triggered, this, &TMainForm::DualLine1Click);
    connect(Roughness1, &QAction::triggered, this, &TMainForm::Roughness1Click);
    connect(Unitcell1, &QAction::triggered, this, &TMainForm::Unitcell1Click);
    connect(S3DItem, &QAction::triggered, this, &TMainForm::S3DItemClick);
    connect(View3D, &QAction::triggered, this, &TMainForm::View3DClick);
}

void TMainForm::CreateSpeedButtons() {
    auto* panel = new QToolBar(this);
    panel->setObjectName(QStringLiteral("SpeedPanel"));
    panel->setMovable(false);
    panel->setFloatable(false);
    panel->setIconSize(QSize(24, 24));
    panel->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, panel);
    SpeedPanel = panel;
    // hint "short|long": the short part is the tooltip, the long one the status text
    auto button = [&](const char* name, const QIcon& icon, const char* hint, QAction* item) {
        auto* b = new QToolButton(panel);
        b->setObjectName(QString::fromLatin1(name));
        b->setIcon(icon);
        const QString h = QString::fromLatin1(hint);
        const int bar = h.indexOf(QLatin1Char('|'));
        b->setToolTip(bar < 0 ? h : h.left(bar));
        b->setStatusTip(bar < 0 ? h : h.mid(bar + 1));
        b->setAutoRaise(true);
        b->setProperty("helpTopic", item->property("helpTopic"));
        connect(b, &QToolButton::clicked, item, &QAction::trigger);
        panel->addWidget(b);
        return b;
    };
    OpenBtn = button("OpenBtn", OpenGlyph(), "Open|", FileOpenItem);
    SaveBtn = button("SaveBtn", SaveGlyph(), "Save As...|", FileSaveAsItem);
    ExitBtn = button("ExitBtn", ExitGlyph(), "Exit|", FileExitItem);
    panel->addSeparator();
    FilterButton = button("FilterButton", FilterGlyph(), "Simple Filter", LowPassItem);
    LevelButton = button("LevelButton", LevelGlyph(), "Level", SlopeItem);
    HistoButton = button("HistoButton", HistogramGlyph(), "Histogram", HistogramItem);
    SaveBtn->setEnabled(false);
}

// ---------------------------------------------------------------- windows

TMDIChild* TMainForm::Current() const { return ImageWindow(CurrentWindow); }

TMDIChild* TMainForm::ImageWindow(int number) const {
    if (number < 0 || number >= MaxImageWindows) return nullptr;
    return ImageWindows[static_cast<size_t>(number)].data();
}

int TMainForm::WindowCount() const {
    return static_cast<int>(std::count_if(ImageWindows.begin(), ImageWindows.end(),
                                          [](const QPointer<TMDIChild>& w) { return !w.isNull(); }));
}

TMDIChild* TMainForm::CreateImageWindow(const std::string& fileName) {
    int number = -1;
    for (int i = 0; i < MaxImageWindows && number < 0; ++i)
        if (ImageWindows[static_cast<size_t>(i)].isNull()) number = i;
    if (number < 0) {
        ShowMessage("Too many Data!");
        throw ETooManyWindows();
    }
    auto* child = new TMDIChild(settings_.get());
    child->SetIdentity(number, fileName);
    auto* sub = new QMdiSubWindow;
    sub->setWidget(child);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(AppIcon());
    sub->setWindowTitle(child->windowTitle());
    // Ctrl+W is File > Close: the window's own menu must not claim it as well, or
    // neither would act on it
    if (QMenu* own = sub->systemMenu())
        for (QAction* a : own->actions()) {
            QList<QKeySequence> keys = a->shortcuts();
            if (keys.removeAll(QKeySequence(Qt::CTRL | Qt::Key_W)) > 0) a->setShortcuts(keys);
        }
    MdiArea->addSubWindow(sub);
    ImageWindows[static_cast<size_t>(number)] = child;
    // a widget announces its destruction while guarded pointers to it still hold
    connect(child, &QObject::destroyed, this, [this, number](QObject* gone) {
        QPointer<TMDIChild>& slot = ImageWindows[static_cast<size_t>(number)];
        if (static_cast<QObject*>(slot.data()) == gone) slot = nullptr;
        WindowDestroyed(number);
    });
    connect(child, &TMDIChild::Activated, this, &TMainForm::MakeCurrent);
    connect(child, &TMDIChild::FontRequested, this, &TMainForm::FontCommand);
    connect(child, &TMDIChild::Closed, this, &TMainForm::WindowClosed);
    connect(child, &TMDIChild::UndoChanged, this, &TMainForm::UpdateUndoItems);
    child->SaveHandler = [this](TMDIChild* w) { return SaveWindowAs(w); };
    return child;
}

void TMainForm::ShowImageWindow(TMDIChild* window) {
    if (!window) return;
    QMdiSubWindow* sub = window->SubWindow();
    window->ShowScanInfo();
    window->SetTitle(window->Title.empty() ? window->FileName : window->Title);
    if (sub) {
        sub->show();
        // the design's client area (258 x 265), made square by the redraw
        const int fw = sub->width() - sub->contentsRect().width();
        const int fh = sub->height() - sub->contentsRect().height();
        sub->resize(258 + fw, 265 + fh);
        MdiArea->setActiveSubWindow(sub);
    } else {
        window->show();
    }
    window->Redraw();
    if (sub) {
        // a new window lies inside the visible area where it fits
        const QRect area = MdiArea->viewport()->rect();
        QPoint at = sub->pos();
        if (at.x() + sub->width() > area.width()) at.setX(area.width() - sub->width());
        if (at.y() + sub->height() > area.height()) at.setY(area.height() - sub->height());
        at = QPoint(std::max(0, at.x()), std::max(0, at.y()));
        if (at != sub->pos()) sub->move(at);
    }
    MakeCurrent(window);
}

void TMainForm::MakeCurrent(TMDIChild* window) {
    if (!window || closing_) return;
    if (ImageWindow(window->WindowNumber) != window) return;
    CurrentWindow = window->WindowNumber;
    UpdateMenuItems();
}

void TMainForm::SubWindowActivated(QMdiSubWindow* sub) {
    if (sub)
        if (auto* child = qobject_cast<TMDIChild*>(sub->widget())) MakeCurrent(child);
    UpdateMenuItems();
}

void TMainForm::WindowClosed(TMDIChild* window) {
    // a closed window leaves the table at once, before it is deleted
    if (window && ImageWindow(window->WindowNumber) == window)
        ImageWindows[static_cast<size_t>(window->WindowNumber)] = nullptr;
    WindowDestroyed(window ? window->WindowNumber : -1);
}

void TMainForm::WindowDestroyed(int) {
    if (closing_) return;
    if (Current() == nullptr) {
        CurrentWindow = -1;
        // the most recently activated window still open becomes the current one
        const QList<QMdiSubWindow*> subs = MdiArea->subWindowList(QMdiArea::ActivationHistoryOrder);
        for (auto it = subs.rbegin(); it != subs.rend() && CurrentWindow < 0; ++it)
            for (int i = 0; i < MaxImageWindows; ++i) {
                TMDIChild* w = ImageWindows[static_cast<size_t>(i)].data();
                if (w && w == (*it)->widget()) {
                    CurrentWindow = i;
                    break;
                }
            }
        if (CurrentWindow < 0)
            for (int i = 0; i < MaxImageWindows && CurrentWindow < 0; ++i)
                if (ImageWindows[static_cast<size_t>(i)]) CurrentWindow = i;
    }
    UpdateMenuItems();
}

void TMainForm::UpdateMenuItems() {
    if (!FileCloseItem) return;
    const bool any = WindowCount() > 0;
    for (QAction* a : {FileCloseItem, CloseAllItem, FileSaveAsItem, FileExportItem, Print1})
        a->setEnabled(any);
    for (QToolButton* b : {SaveBtn, FilterButton, LevelButton, HistoButton})
        if (b) b->setEnabled(any);
    for (QMenu* m : {EditMenu, ProcessMenu, ViewMenu, WindowMenu, AnalyseMenu}) {
        m->menuAction()->setEnabled(any);
        for (QAction* a : m->actions()) a->setEnabled(any);
    }
    CutItem->setEnabled(false);
    PasteItem->setEnabled(false);
    FileOpenItem->setEnabled(true);
    FileExitItem->setEnabled(true);
    HelpMenu->menuAction()->setEnabled(true);
    UpdateUndoItems();
    RebuildWindowList();
}

void TMainForm::UpdateUndoItems() {
    if (!UndoItem) return;
    const TMDIChild* w = Current();
    auto name = [](const std::string& step) {
        return QString::fromLatin1(step.data(), static_cast<qsizetype>(step.size()))
            .replace(QLatin1Char('&'), QLatin1String("&&"));
    };
    const bool undo = w && w->UndoStack.CanUndo(), redo = w && w->UndoStack.CanRedo();
    UndoItem->setEnabled(undo);
    UndoItem->setText(undo ? QStringLiteral("&Undo ") + name(w->UndoStack.UndoName()) : QStringLiteral("&Undo"));
    RedoItem->setEnabled(redo);
    RedoItem->setText(redo ? QStringLiteral("&Redo ") + name(w->UndoStack.RedoName()) : QStringLiteral("&Redo"));
    RebuildWindowList();
}

void TMainForm::RebuildWindowList() {
    for (QAction* a : windowListActions_) {
        WindowMenu->removeAction(a);
        a->deleteLater();
    }
    windowListActions_.clear();
    int n = 0;
    QHash<QString, int> seen;  // windows of one title are told apart: "name", "name:2", ...
    for (QMdiSubWindow* sub : MdiArea->subWindowList(QMdiArea::CreationOrder)) {
        auto* child = qobject_cast<TMDIChild*>(sub->widget());
        if (!child || ImageWindow(child->WindowNumber) != child) continue;
        if (n == 0) windowListActions_ << WindowMenu->addSeparator();
        ++n;
        QString title = TitleToQt(child->Title, child->FileName);
        const int same = ++seen[title];
        if (same > 1) title += QStringLiteral(":%1").arg(same);
        if (child->IsModified()) title += QLatin1Char('*');
        title.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* a = WindowMenu->addAction(
            (n < 10 ? QStringLiteral("&%1 ").arg(n) : QStringLiteral("%1 ").arg(n)) + title);
        a->setCheckable(true);
        a->setChecked(child->WindowNumber == CurrentWindow);
        QPointer<QMdiSubWindow> target = sub;
        connect(a, &QAction::triggered, this, [this, target] {
            if (target) {
                if (target->isMinimized()) target->showNormal();
                MdiArea->setActiveSubWindow(target);
            }
        });
        windowListActions_ << a;
    }
}

// ---------------------------------------------------------------- load target

TImageDoc* TMainForm::NewDocument(const std::string& fileName) { return CreateImageWindow(fileName); }

void TMainForm::Finished(TImageDoc* doc) { ShowImageWindow(dynamic_cast<TMDIChild*>(doc)); }

void TMainForm::Discard(TImageDoc* doc) {
    auto* child = dynamic_cast<TMDIChild*>(doc);
    if (!child) return;
    if (QMdiSubWindow* sub = child->SubWindow())
        delete sub;
    else
        delete child;
}

// ---------------------------------------------------------------- start-up, shut-down

void TMainForm::CheckStartParameter(const QStringList& args) {
    if (args.isEmpty()) return;
    if (QFileInfo(args.first()).isFile())
        OpenFile(args.first());
    else
        ShowMessage("Start parameter is not a valid file!");
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!ConfirmCloseAll()) {
        event->ignore();
        return;
    }
    if (PersistGeometry && !isMinimized() && !isMaximized()) {
        settings_->WriteInteger("MainForm", "Top", y());
        settings_->WriteInteger("MainForm", "Left", x());
        settings_->WriteInteger("MainForm", "Width", width());
        settings_->WriteInteger("MainForm", "Height", height());
    }
    for (TAskForm* ask : findChildren<TAskForm*>(QString(), Qt::FindDirectChildrenOnly))
        ask->CancelButtonClick();
    for (QMdiSubWindow* sub : MdiArea->subWindowList()) delete sub;
    if (helpForm_) helpForm_->close();
    QCoreApplication::processEvents();
    event->accept();
}

// ---------------------------------------------------------------- open

void TMainForm::OpenFile(const QString& path) {
    Guarded([&] {
        const std::string p = QtToPath(path);
        settings_->WriteString("Save", "Path", QtToPath(DirWithSeparator(path)));
        const TFileKind kind = FileKindOf(p);
        switch (kind) {
        case TFileKind::Unknown:
            ShowMessage("Unknown file type", TMsgKind::Error, TMsgButtons::OK, "Error");
            return;
        case TFileKind::Native: {
            auto loader = std::make_unique<TLoadFiles>(p);
            if (!loader->ReadParamFile()) return;
            auto* ask = new TAskForm(this, settings_.get(), this, std::move(loader));
            ask->ShowChannels();
            return;
        }
        case TFileKind::Omicron: {
            TWaitCursor wait;
            LoadOmicron(p, *this);
            return;
        }
        default:
            LoadSingleFile(p, kind, *this);
            return;
        }
    });
}

bool TMainForm::RunFileDialog(bool save, const std::string& filter, QString& file,
                              int& filterIndex, const QString& defaultSuffix, bool confirmOverwrite) {
    const auto filters = SplitDialogFilter(filter);
    QStringList names;
    for (const auto& f : filters) names << QtNameFilter(f.first, f.second);
    if (filterIndex < 1 || filterIndex > names.size()) filterIndex = 1;

    TFileDialog dialog(this);
    // a type whose writer never replaces a file is not offered to replace one
    if (save && confirmOverwrite)
        dialog.ConfirmOverwrite = [&](const QString& nameFilter) {
            return SaveReplaces(filter, static_cast<int>(names.indexOf(nameFilter)) + 1);
        };
    dialog.setObjectName(save ? QStringLiteral("SaveDialog") : QStringLiteral("OpenDialog"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(names);
    dialog.selectNameFilter(names.value(filterIndex - 1));
    if (!confirmOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QFileInfo start(file);
    if (start.isDir()) {
        dialog.setDirectory(file);
    } else {
        if (!start.path().isEmpty()) dialog.setDirectory(start.absolutePath());
        dialog.selectFile(start.fileName());
    }
    if (save) {
        auto suffix = [&](const QString& nameFilter) {
            const int i = static_cast<int>(names.indexOf(nameFilter));
            const QString ext = i >= 0 ? Latin1ToQt(FilterExtension(filters[static_cast<size_t>(i)].second))
                                       : QString();
            dialog.setDefaultSuffix(ext.isEmpty() ? defaultSuffix : ext);
        };
        suffix(names.value(filterIndex - 1));
        connect(&dialog, &QFileDialog::filterSelected, &dialog, suffix);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    file = dialog.selectedFiles().first();
    filterIndex = static_cast<int>(names.indexOf(dialog.selectedNameFilter())) + 1;
    if (filterIndex < 1) filterIndex = 1;
    return true;
}

void TMainForm::FileOpenItemClick() {
    Guarded([&] {
        QString file = PathToQt(settings_->ReadString("Open", "Path", QtToPath(QDir::rootPath())));
        int index = settings_->ReadInteger("Open", "Index", 0);
        if (index < 1) index = 1;
        const bool ok = Hooks.Open ? Hooks.Open(file, index)
                                   : RunFileDialog(false, OpenFilter, file, index, QString(), false);
        if (!ok || file.isEmpty()) return;
        settings_->WriteString("Open", "Path", QtToPath(DirWithSeparator(file)));
        settings_->WriteInteger("Open", "Index", index);
        OpenFile(file);
    });
}

// ---------------------------------------------------------------- save, export, print

void TMainForm::FileSaveAsItemClick() {
    if (TMDIChild* w = Current()) SaveWindowAs(w);
}

bool TMainForm::SaveWindowAs(TMDIChild* w) {
    bool saved = false;
    Guarded([&] {
        if (!w) return;
        const QString dir = PathToQt(settings_->ReadString("Save", "Path", ""));
        const QString proposal = PathToQt(SaveAsProposal(w->FileName));
        QString file = dir.isEmpty() ? proposal : QDir(dir).filePath(proposal);
        int index = saveFilterIndex_;
        const bool ok = Hooks.SaveAs ? Hooks.SaveAs(file, index)
                                     : RunFileDialog(true, SaveFilter, file, index,
                                                     QStringLiteral("bmp"), true);
        if (!ok || file.isEmpty()) return;
        if (index < 1 || index > 6) index = 1;
        saveFilterIndex_ = index;
        const auto filters = SplitDialogFilter(SaveFilter);
        const std::string path =
            EnsureExtension(QtToPath(file), FilterExtension(filters[static_cast<size_t>(index - 1)].second));
        w->SyncScanInfo();
        // the filter chosen names the writer: bitmap, native with .sin or .int data, JPEG,
        // Gwyddion, Gwyddion Simple Field
        const TOutKind kinds[] = {TOutKind::Bitmap, TOutKind::Native, TOutKind::Native,
                                  TOutKind::Jpeg,   TOutKind::Gwy,    TOutKind::Gsf};
        if (!WriteOutput(*w, path, kinds[index - 1], index == 2 ? TNativeKind::Sin : TNativeKind::Int)) return;
        saved = true;
        // only the measurement formats keep the samples: a picture leaves them unsaved
        if (index != 1 && index != 4) w->MarkSaved();
    });
    return saved;
}

bool TMainForm::ConfirmCloseAll() {
    std::vector<QPointer<TMDIChild>> changed;
    QString list;
    for (const auto& w : ImageWindows)
        if (w && w->IsModified()) {
            changed.push_back(w);
            list += QStringLiteral("\n") + TitleToQt(w->Title, w->FileName);
        }
    if (changed.empty()) return true;
    if (changed.size() == 1) return changed.front()->ConfirmClose();
    const QString text = QStringLiteral("Save changes to these images before closing?\n") + list;
    switch (AskBeforeClosing(this, text, QStringLiteral("Save all\u2026"))) {
    case TCloseAnswer::Discard: return true;
    case TCloseAnswer::Cancel: return false;
    case TCloseAnswer::Save: break;
    }
    for (const QPointer<TMDIChild>& w : changed)
        if (w && w->IsModified() && !SaveWindowAs(w)) return false;
    return true;
}

void TMainForm::FileExportItemClick() {
    Guarded([&] {
        TMDIChild* w = Current();
        if (!w) return;
        QString file = PathToQt(settings_->ReadString(
            "File", "ExportPath", QtToPath(QDir::currentPath() + QLatin1Char('/'))));
        int index = 1;
        const bool ok = Hooks.Export ? Hooks.Export(file, index)
                                     : RunFileDialog(true, ExportFilter, file, index,
                                                     QStringLiteral("dat"), true);
        if (!ok || file.isEmpty()) return;
        settings_->WriteString("File", "ExportPath", QtToPath(DirWithSeparator(file)));
        const auto filters = SplitDialogFilter(ExportFilter);
        const size_t f = index == 2 ? 1 : 0;
        const std::string path = EnsureExtension(QtToPath(file), FilterExtension(filters[f].second));
        if (index == 2) {
            TWaitCursor wait;
            WriteStlFile(path, w->Picture);  // block by block: the mesh is never held whole
        } else {
            WriteFileBytes(path, BuildAsciiTable(w->Picture));
        }
    });
}

void TMainForm::Print1Click() {
    Guarded([&] {
        // the printer's own resolution: the placement below is in its pixels
        QPrinter printer(QPrinter::HighResolution);
        bool ok;
        if (Hooks.Print) {
            ok = Hooks.Print(printer);
        } else {
            QPrintDialog dialog(&printer, this);
            dialog.setObjectName(QStringLiteral("PrintDialog1"));
            ok = dialog.exec() == QDialog::Accepted;
        }
        TMDIChild* w = Current();
        if (!ok || !w || w->Image1.isNull()) return;
        printer.setDocName(w->windowTitle());
        QPainter painter;
        if (!painter.begin(&printer)) {
            ShowMessage("Printing Error", TMsgKind::Error);
            return;
        }
        const QImage& img = w->Image1;
        painter.drawImage(PrintRect(img.size(), painter.viewport().size()), img);
        if (!painter.end()) ShowMessage("Printing Error", TMsgKind::Error);
    });
}

// ---------------------------------------------------------------- file, edit, process, view

void TMainForm::FileCloseItemClick() {
    if (TMDIChild* w = Current())
        if (QMdiSubWindow* sub = w->SubWindow()) sub->close();
}

void TMainForm::CloseAllItemClick() {
    // each changed image asks; Cancel stops here
    while (TMDIChild* w = Current()) {
        if (!w->ConfirmClose()) return;
        if (QMdiSubWindow* sub = w->SubWindow())
            delete sub;
        else
            delete w;
    }
}

void TMainForm::FileExitItemClick() { close(); }

void TMainForm::CopyItemClick() {
    if (TMDIChild* w = Current()) w->CopyToClipboard();
}

void TMainForm::Doublicate1Click() {
    Guarded([&] {
        TMDIChild* src = Current();
        if (!src) return;
        src->SyncScanInfo();
        TMDIChild* w = CreateImageWindow(src->FileName);
        try {
            w->CreateImage(src->Picture.Cols, src->Picture.Rows);
            w->Picture.CopySamplesFrom(src->Picture);
            w->Picture.Para = src->Picture.Para;
            w->CaptionTag = src->CaptionTag;
            w->ScanInfo = src->ScanInfo;
            w->History = src->History;
            // the copy's colour range follows its values
            if (src->Picture.FixedRange != 0) w->History.push_back(HistoryEntry(TRangeOp{}));
            w->SourcePath = src->SourcePath;
            w->SourceChannel = src->SourceChannel;
            w->Title = src->Title;
            w->NewFromCommand();
            ShowImageWindow(w);
        } catch (...) {
            Discard(w);
            throw;
        }
    });
}

void TMainForm::Invers1Click() {
    Guarded([&] {
        TMDIChild* w = Current();
        if (!w || !w->Picture.HasData()) return;
        TImageChange step(w, TSampleChange::Negate);
        const TInvertOp invert;
        invert.Apply(*w);
        w->History.push_back(HistoryEntry(invert));
        w->Redraw();
    });
}

void TMainForm::Refresh1Click() {
    Guarded([&] {
        TMDIChild* w = Current();
        if (!w) return;
        TImageChange step(w, TSampleChange::None, "Refresh");
        if (w->Picture.FixedRange != 0) w->History.push_back(HistoryEntry(TRangeOp{}));
        w->Picture.FixedRange = 0;
        w->Redraw();
    });
}

void TMainForm::FontItemClick() { FontCommand(Current(), true); }

void TMainForm::FontLabel1Click() { FontCommand(Current(), false); }

void TMainForm::FontCommand(TMDIChild* window, bool zBar) {
    Guarded([&] {
        if (!window) return;
        TDisplayFont font = zBar ? window->ZBarFont : window->LabelFont;
        const bool ok = Hooks.Font ? Hooks.Font(font)
                                   : ExecFontDialog(this,
                                                    zBar ? QStringLiteral("Font (z-Bar)")
                                                         : QStringLiteral("Font (Label)"),
                                                    font);
        if (!ok) return;
        WriteDisplayFont(*settings_, zBar ? "FontzBar" : "FontLabel", font);
        (zBar ? window->ZBarFont : window->LabelFont) = font;
        window->Compose();
    });
}

void TMainForm::ScaleBars1Click() {
    if (TMDIChild* w = Current())
        w->OpenPopupMenu(QPoint(frameGeometry().left() + 150, frameGeometry().top() + 60));
}

// ---------------------------------------------------------------- processing dialog

void TMainForm::OpenFilterForm(int mode) {
    Guarded([&] {
        TMDIChild* w = Current();
        if (!w || !w->Picture.HasData()) return;
        auto* form = new TFilterForm(w, settings_.get());
        auto* sub = new QMdiSubWindow;
        sub->setWidget(form);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->setWindowIcon(AppIcon());
        MdiArea->addSubWindow(sub);
        // the dialog belongs to the image window: it closes with it, the image untouched
        connect(w, &TMDIChild::Closed, form, &TFilterForm::OwnerClosing);
        connect(w, &QObject::destroyed, form, &TFilterForm::OwnerClosing);
        form->Setup(&w->Picture, mode);
        const QString caption = TFilterForm::CaptionPrefix(mode) + w->windowTitle();
        form->setWindowTitle(caption);
        sub->setWindowTitle(caption);
        ShowToolWindow(MdiArea, sub, QSize(800, 600), w);
        form->setFocus();
    });
}

void TMainForm::LowPassItemClick() { OpenFilterForm(fmLowPass); }
void TMainForm::NoiseItemClick() { OpenFilterForm(fmBadPoints); }
void TMainForm::HistogramItemClick() { OpenFilterForm(fmHistogram); }
void TMainForm::FFTItemClick() { OpenFilterForm(fmFFT); }
void TMainForm::SlopeItemClick() { OpenFilterForm(fmLeveling); }
void TMainForm::Zoom1Click() { OpenFilterForm(fmZoom); }
void TMainForm::Shere1Click() { OpenFilterForm(fmSphere); }
void TMainForm::Median1Click() { OpenFilterForm(fmMedian); }
void TMainForm::DistortionItemClick() { OpenFilterForm(fmDistortion); }
void TMainForm::MeanFilter1Click() { OpenFilterForm(fmMean); }

// The palette editor of the current image window, a child of that window.
void TMainForm::PaletteItemClick() {
    Guarded([&] {
        TMDIChild* w = Current();
        if (!w) return;
        auto* editor = new TPaletteForm(w);
        editor->show();
        PlaceInWorkspace(editor, MdiArea, w);
        editor->raise();
        editor->activateWindow();
    });
}

void TMainForm::S3DItemClick() {
    if (TMDIChild* w = Current()) TS3DForm::Open(w, settings_.get(), MdiArea);
}

void TMainForm::View3DClick() {
    if (TMDIChild* w = Current()) TForm3DSetting::Open(w, settings_.get(), MdiArea);
}

void TMainForm::ArithmeticItemClick() {
    ArithForm->show();
    ArithForm->raise();
}

void TMainForm::Scale1Click() {
    if (!Current()) return;
    AxesForm->show();
    AxesForm->raise();
    AxesForm->activateWindow();
}

// ---------------------------------------------------------------- line analysis

void TMainForm::Line1Click() {
    Guarded([&] { TAnaLineForm::Open(MdiArea, Current(), settings_.get(), false); });
}

void TMainForm::DualLine1Click() {
    Guarded([&] { TAnaLineForm::Open(MdiArea, Current(), settings_.get(), true); });
}

void TMainForm::Roughness1Click() {
    Guarded([&] {
        TMDIChild* w = Current();
        if (!w) return;
        const TImageStats s = ImageStatistics(w->Picture);
        // the box is titled with the image it describes
        if (s.Valid)
            ShowFileMessage(ImageStatisticsText(s, w->Picture.Para.PhysUnit), {w->FileName}, TMsgKind::Information,
                            TMsgButtons::OK, w->Title);
    });
}

void TMainForm::Unitcell1Click() {
    Guarded([&] {
        if (TMDIChild* w = Current()) TUnitCellForm::Open(w, settings_.get(), MdiArea);
    });
}

// ---------------------------------------------------------------- window menu

void TMainForm::WindowCascadeItemClick() { CascadeWindows(MdiArea); }

void TMainForm::WindowTileItemClick() { TileWindows(MdiArea); }

void TMainForm::WindowArrangeItemClick() {
    const QRect area = MdiArea->viewport()->rect();
    int x = 0, y = area.height();
    int rowHeight = 0;
    for (QMdiSubWindow* s : MdiArea->subWindowList(QMdiArea::CreationOrder)) {
        if (!s->isMinimized()) continue;
        const QSize size = s->size();
        if (x > 0 && x + size.width() > area.width()) {
            x = 0;
            y -= rowHeight;
            rowHeight = 0;
        }
        rowHeight = std::max(rowHeight, size.height());
        s->move(x, y - size.height());
        x += size.width();
    }
}

void TMainForm::WindowMinimizeItemClick() {
    for (QMdiSubWindow* s : MdiArea->subWindowList()) s->showMinimized();
    WindowArrangeItemClick();
}

void TMainForm::Rename1Click() {
    if (TMDIChild* w = Current()) RenameForm->Start(w);
}

// ---------------------------------------------------------------- help

int TMainForm::FocusedHelpTopic() const {
    if (QWidget* popup = QApplication::activePopupWidget())
        if (auto* menu = qobject_cast<QMenu*>(popup))
            if (QAction* a = menu->activeAction())
                if (a->property("helpTopic").isValid()) return a->property("helpTopic").toInt();
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (w->property("helpTopic").isValid()) return w->property("helpTopic").toInt();
    if (TMDIChild* c = Current())
        if (MdiArea->activeSubWindow() && MdiArea->activeSubWindow()->widget() == c) return 20;
    return 1;
}

void TMainForm::ShowHelp(int topic) {
    if (!helpForm_) helpForm_ = new THelpForm(nullptr);
    helpForm_->ShowTopic(topic);
}

void TMainForm::HelpMorvaneHelpItemClick() { ShowHelp(1); }

void TMainForm::HelpAboutItemClick() {
    auto* about = new TAboutBox(this);
    about->show();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1)
        if (auto* menu = qobject_cast<QMenu*>(watched)) {
            int topic = 1;
            if (QAction* a = menu->activeAction())
                if (a->property("helpTopic").isValid()) topic = a->property("helpTopic").toInt();
            menu->close();
            ShowHelp(topic);
            return true;
        }
    return QMainWindow::eventFilter(watched, event);
}
