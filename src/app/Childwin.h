#pragma once
// TMDIChild: the image window. It owns one image record (through TImageDoc), shows it
// rendered through the palette and composed with the z bar and the lateral scale as a
// vector picture on white, keeps the scan information on a second page and offers
// the display options in its context menu.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPicture>
#include <QPlainTextEdit>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <functional>

#include "core/Display.h"
#include "core/ImageDoc.h"
#include "processing/Undo.h"

class QAction;
class QMdiSubWindow;
class QMenu;
class QPainter;
class TSettings;

// The MIME type of an image window dragged from its picture: the window number as
// decimal text. The composed picture travels along as image data.
inline constexpr const char* WindowMimeType = "application/x-morvane-window";

// The answer to the question before changed images are closed.
enum class TCloseAnswer { Save, Discard, Cancel };
// Stand-in for the question box, for window tests: gets the question's text and
// returns the answer. Unset: the box is shown.
extern std::function<TCloseAnswer(const QString& text)> CloseQuestionHook;
// Asks text in a box with Save (titled saveText when given), Discard and Cancel.
TCloseAnswer AskBeforeClosing(QWidget* parent, const QString& text, const QString& saveText = {});

// A font with its colour, as the settings file keeps it.
struct TDisplayFont {
    QFont Font;
    QColor Color = Qt::black;
};
// Reads section's "Name", "Size" (points) and "Color" (0x00BBGGRR), defaults from def.
TDisplayFont ReadDisplayFont(const TSettings& settings, const std::string& section,
                             const TDisplayFont& def);
void WriteDisplayFont(TSettings& settings, const std::string& section, const TDisplayFont& font);
// The application's default font for the displays (pixel-sized).
TDisplayFont DefaultDisplayFont();

// Image3: the composed picture on white; a drag source.
class TComposedView : public QWidget {
    Q_OBJECT
public:
    explicit TComposedView(QWidget* parent);
    QPicture Picture;

signals:
    void DragStarted();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;

private:
    QPoint pressPos_;
    bool pressed_ = false;
};

class TMDIChild : public QWidget, public TImageDoc {
    Q_OBJECT
public:
    // settings may be null (then every option starts off).
    explicit TMDIChild(TSettings* settings, QWidget* parent = nullptr);
    ~TMDIChild() override;

    int WindowNumber = -1;
    QPicture ComposedPicture;
    QImage Image1;  // the 8-bit rendering of Picture (printing, bitmap and JPEG)
    std::string MinText, MaxText;
    TDisplayFont LabelFont, ZBarFont;

    TComposedView* Image3 = nullptr;
    QPlainTextEdit* ScanInfoMemo = nullptr;
    // Below the scan information: the "Processing" block, the image's history (read-only).
    QPlainTextEdit* ProcessingMemo = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* ExportProcessingItem = nullptr;  // "Export processing..."
    QAction *ImageItem = nullptr, *ScanInfoItem = nullptr, *zscalingItem = nullptr,
            *N0max1 = nullptr, *minmax1 = nullptr, *FontzBar1 = nullptr,
            *XYScalingnoItem = nullptr, *XYScalingLabelItem = nullptr,
            *XYScalingAxis1 = nullptr, *Font1 = nullptr;
    // "True aspect": the picture keeps the physical aspect of its scan ranges
    QAction* TrueAspectItem = nullptr;

    void SetIdentity(int number, const std::string& name);
    void CreateImage(int32_t cols, int32_t rows) override;
    // The window title (Latin-1); kept in TImageDoc::Title too.
    void SetTitle(const std::string& title);
    void Redraw();
    void Compose();
    void DrawZBar(QPainter& canvas);
    void DrawScaleBar(QPainter& canvas, int size);
    void DrawAxis(QPainter& canvas, int size);
    void SaveXYSettings();

    // Scan information: the text box shows ScanInfo; SyncScanInfo takes the edits back.
    void ShowScanInfo();
    void SyncScanInfo();
    // Fills the "Processing" block from History (Redraw calls it).
    void ShowHistory();
    // Writes History as a shell script of morvane-cli process calls (executable);
    // false after telling why.
    bool ExportProcessing(const std::string& path);

    // ---- undo and unsaved changes
    // The image's steps. A change is bracketed by BeginChange and CommitChange (or one
    // TImageChange); Undo and Redo redraw and tell UndoChanged.
    TUndoStack UndoStack;
    void BeginChange(TSampleChange how = TSampleChange::Any);
    // name empty: the step is named after the history entry the change added.
    void CommitChange(const std::string& name = {});
    void Undo();
    void Redo();
    // The image differs from what was last opened or saved ("*" after the title).
    bool IsModified() const { return UndoStack.Modified(); }
    void MarkSaved();
    // A window made by a command: unsaved when it carries processing no file holds.
    void NewFromCommand();
    // Save As for this window, true when it was saved (set by the main window).
    std::function<bool(TMDIChild*)> SaveHandler;
    // A changed image asks before it goes; true when it may close.
    bool ConfirmClose();

    QMdiSubWindow* SubWindow() const;
    // Square client area (3/2 as wide with the z bar) for the current client height.
    void ApplyShape();
    void KeepInsideWorkspace(QMdiSubWindow* sub);
    void OpenPopupMenu(const QPoint& globalPos);
    bool ZScaling() const;
    // The picture inside a square image area of the given side (true aspect or square).
    TImageExtent PictureExtent(int side) const;

    // The composition on white, as a bitmap and as SVG; Copy puts both on the clipboard.
    QImage ComposedImage() const;
    QByteArray ComposedSvg() const;
    void CopyToClipboard() const;

public slots:
    void ImageItemClick();
    void ScanInfoItemClick();
    // Asks for a file name and exports the processing script there.
    void ExportProcessingClick();
    void zscalingItemClick();
    void N0max1Click();
    void minmax1Click();
    void XYScalingnoItemClick();
    void XYScalingLabelItemClick();
    void XYScalingAxis1Click();
    void TrueAspectItemClick();

signals:
    // Font (z-Bar) (zBar true) or Font (Label) chosen in the context menu.
    void FontRequested(TMDIChild* window, bool zBar);
    void Activated(TMDIChild* window);
    // The window is being closed (it is deleted afterwards).
    void Closed(TMDIChild* window);
    // A step was made, undone or redone, or the image was saved.
    void UndoChanged(TMDIChild* window);

protected:
    void resizeEvent(QResizeEvent*) override;
    void contextMenuEvent(QContextMenuEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void focusInEvent(QFocusEvent*) override;
    void closeEvent(QCloseEvent*) override;

private:
    void ShowModified();
    void MoveStep(bool redo);
    void StartDrag();
    void WatchSubWindow();
    void LayoutPages();
    TSettings* settings_;
    bool shaping_ = false;
    QMdiSubWindow* watchedSub_ = nullptr;
};

// One change of an image window's image, from construction to destruction (then
// committed, also when the change ended in an exception: whatever it did is undone).
// A null window: nothing.
class TImageChange {
public:
    explicit TImageChange(TMDIChild* window, TSampleChange how = TSampleChange::Any, std::string name = {});
    ~TImageChange();
    TImageChange(const TImageChange&) = delete;
    TImageChange& operator=(const TImageChange&) = delete;

private:
    QPointer<TMDIChild> window_;
    std::string name_;
};
