#pragma once
// TMainForm: the application's frame. A multiple-document window with the menus and
// speed buttons of every command, at most 32 image windows, the settings file, the open,
// save-as, export and print flows, and the dispatch of the commands to their windows.
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/Childwin.h"
#include "app/Help.h"
#include "core/ImageDoc.h"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QPrinter;
class QToolButton;
class TAboutBox;
class TArithForm;
class TAxesForm;
class THelpForm;
class TRenameForm;
class TSettings;

// Stand-ins for the common dialogs, for window tests: each gets the values the dialog
// would start with and returns false for Cancel.
struct TDialogHooks {
    // directory/file name proposed and the 1-based filter position in, choice out
    std::function<bool(QString& file, int& filterIndex)> Open;
    std::function<bool(QString& file, int& filterIndex)> SaveAs;
    std::function<bool(QString& file, int& filterIndex)> Export;
    std::function<bool(QPrinter& printer)> Print;
    std::function<bool(TDisplayFont& font)> Font;
};

class TMainForm : public QMainWindow, public TLoadTarget {
    Q_OBJECT
public:
    static constexpr int MaxImageWindows = 32;

    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // ---- state other windows use
    TSettings& Settings() { return *settings_; }
    std::array<QPointer<TMDIChild>, MaxImageWindows> ImageWindows;
    int CurrentWindow = -1;
    TMDIChild* Current() const;  // the current image window or null
    int WindowCount() const;
    QMdiArea* MdiArea = nullptr;
    TRenameForm* RenameForm = nullptr;
    TArithForm* ArithForm = nullptr;  // Process > Arithmetic, lives for the whole run
    TAxesForm* AxesForm = nullptr;    // Process > Rescale, lives for the whole run
    TDialogHooks Hooks;
    QAction *UndoItem = nullptr, *RedoItem = nullptr;  // Edit > Undo, Redo (named after the step)
    // Off in screenshot runs: the window's geometry is then not written at close.
    bool PersistGeometry = true;

    // ---- controls
    QWidget* SpeedPanel = nullptr;
    QToolButton *OpenBtn = nullptr, *SaveBtn = nullptr, *ExitBtn = nullptr,
                *FilterButton = nullptr, *LevelButton = nullptr, *HistoButton = nullptr;
    QMenu *FileMenu = nullptr, *EditMenu = nullptr, *ProcessMenu = nullptr, *ViewMenu = nullptr,
          *AnalyseMenu = nullptr, *WindowMenu = nullptr, *HelpMenu = nullptr;
    QAction *FileOpenItem, *FileCloseItem, *CloseAllItem, *Print1, *FileSaveAsItem,
        *FileExportItem, *FileExitItem, *CutItem, *CopyItem, *PasteItem, *Doublicate1,
        *Invers1, *LowPassItem, *MeanFilter1, *Median1, *NoiseItem, *SlopeItem,
        *HistogramItem, *ArithmeticItem, *Zoom1, *Shere1, *DistortionItem, *Scale1, *FFTItem,
        *Refresh1, *PaletteItem, *S3DItem, *FontItem, *FontLabel1, *ScaleBars1, *View3D,
        *Line1, *DualLine1, *Roughness1, *Unitcell1, *WindowCascadeItem, *WindowTileItem,
        *WindowArrangeItem, *WindowMinimizeItem, *Rename1, *HelpMorvaneHelpItem,
        *HelpAboutItem;

    // ---- operations
    void OpenFile(const QString& path);
    void UpdateMenuItems();
    // Opens the first argument (the program name excluded) when it names a file.
    void CheckStartParameter(const QStringList& args);
    // A new, hidden image window titled fileName, registered under the lowest free
    // number. With 32 windows open: "Too many Data!", then EAbort("Too many data!").
    TMDIChild* CreateImageWindow(const std::string& fileName);
    // Shows a filled window, renders it and makes it the current one.
    void ShowImageWindow(TMDIChild* window);
    void MakeCurrent(TMDIChild* window);
    TMDIChild* ImageWindow(int number) const;
    void ShowHelp(int topic);
    THelpForm* HelpForm() const { return helpForm_; }

    // ---- TLoadTarget
    TImageDoc* NewDocument(const std::string& fileName) override;
    void Finished(TImageDoc* doc) override;
    void Discard(TImageDoc* doc) override;

public slots:
    void FileOpenItemClick();
    void FileCloseItemClick();
    void CloseAllItemClick();
    void Print1Click();
    void FileSaveAsItemClick();
    void FileExportItemClick();
    void FileExitItemClick();
    // Save As for window; true when it was written.
    bool SaveWindowAs(TMDIChild* window);
    // Asks once about every changed image (save all, discard, cancel); true when they may go.
    bool ConfirmCloseAll();
    void UpdateUndoItems();
    void CopyItemClick();
    void Doublicate1Click();
    void Invers1Click();
    void Refresh1Click();
    void FontItemClick();
    void FontLabel1Click();
    void ScaleBars1Click();
    void WindowCascadeItemClick();
    void WindowTileItemClick();
    void WindowArrangeItemClick();
    void WindowMinimizeItemClick();
    void Rename1Click();
    void HelpMorvaneHelpItemClick();
    void HelpAboutItemClick();
    // Process commands that open the processing dialog in their mode
    void LowPassItemClick();
    void NoiseItemClick();
    void HistogramItemClick();
    void FFTItemClick();
    void SlopeItemClick();
    void Zoom1Click();
    void Shere1Click();
    void Median1Click();
    void DistortionItemClick();
    void MeanFilter1Click();
    void PaletteItemClick();
    void S3DItemClick();  // View > Simple3D
    void View3DClick();   // View > View3D
    // the arithmetic and rescale dialogs, shown without waiting
    void ArithmeticItemClick();
    void Scale1Click();
    // Analyse: the line window (single and dual) and the image statistics
    void Line1Click();
    void DualLine1Click();
    void Roughness1Click();
    void Unitcell1Click();  // Analyse > Unit cell

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OpenSettings();
    void CreateMenus();
    void CreateSpeedButtons();
    void RestoreGeometry();
    void FontCommand(TMDIChild* window, bool zBar);
    void WindowDestroyed(int number);
    void WindowClosed(TMDIChild* window);
    void SubWindowActivated(QMdiSubWindow* sub);
    void RebuildWindowList();
    // Opens a processing dialog in mode on the current image window (owned by it).
    void OpenFilterForm(int mode);
    bool RunFileDialog(bool save, const std::string& filter, QString& file, int& filterIndex,
                       const QString& defaultSuffix, bool confirmOverwrite);
    int FocusedHelpTopic() const;

    std::unique_ptr<TSettings> settings_;
    int saveFilterIndex_ = 2;  // Save As remembers its choice for the run
    QPointer<THelpForm> helpForm_;
    QList<QAction*> windowListActions_;
    bool closing_ = false;
};

// Where Print puts an image of the given size on a page of the given printable size
// (both in printer pixels): from (10, 10), five pixels per sample, scaled down to fit.
QRect PrintRect(const QSize& image, const QSize& page);

// The one main window of the run (null before it is created and after it is gone).
extern TMainForm* MainForm;
