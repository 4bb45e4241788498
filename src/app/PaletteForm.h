#pragma once
// TPaletteForm: the palette editor of one image window. It shows the working palette
// as three channel curves (Kanaele) and as a 16 x 16 grid of colour cells (Palette),
// lets the user draw the curves, select a block of entries and change it, reads and
// writes palette files and hands the palette back to the image window ("&Use").
// Everything it does to the palette is TPaletteEditor's; the form wires controls.
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

#include "app/Childwin.h"
#include "palette/PaletteEdit.h"

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QToolBar;
class QToolButton;

// A 257 x 257 drawing surface that passes its events to the form.
class TPaintBox : public QWidget {
    Q_OBJECT
public:
    explicit TPaintBox(QWidget* parent);
    const QImage* Buffer = nullptr;

signals:
    void Pressed(QMouseEvent* e);
    void Moved(QMouseEvent* e);
    void Released(QMouseEvent* e);
    void DoubleClicked(QMouseEvent* e);
    void ContextMenu(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override { emit Pressed(e); }
    void mouseMoveEvent(QMouseEvent* e) override { emit Moved(e); }
    void mouseReleaseEvent(QMouseEvent* e) override { emit Released(e); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { emit DoubleClicked(e); }
    void contextMenuEvent(QContextMenuEvent* e) override;
};

// Stand-ins for the common dialogs, for window tests; false means Cancel.
struct TPaletteDialogHooks {
    // file name proposed and the 1-based filter position in, choice out
    std::function<bool(QString& file, int& filterIndex)> Open;
    std::function<bool(QString& file, int& filterIndex)> SaveAs;
    // red + 256 green + 65536 blue in and out
    std::function<bool(int& colour)> Colour;
};

class TPaletteForm : public QMainWindow {
    Q_OBJECT
public:
    // The editor of target's palette, a window of its own that closes with target.
    explicit TPaletteForm(TMDIChild* target);
    ~TPaletteForm() override;

    TPaletteEditor Model;
    QPointer<TMDIChild> TargetWindow;
    TPaletteDialogHooks Hooks;

    // ---- controls
    QToolBar* Symbolleiste = nullptr;
    TPaintBox *Kanaele = nullptr, *Palette = nullptr;
    QStatusBar* Statusleiste = nullptr;
    QLabel* Panels[3] = {nullptr, nullptr, nullptr};
    QToolButton *UndoButton = nullptr, *RotButton = nullptr, *GruenButton = nullptr,
                *BlauButton = nullptr, *VerbindenButton = nullptr, *GlaettenButton = nullptr,
                *WiederholungButton = nullptr, *FuellenButton = nullptr, *VerlaufButton = nullptr,
                *SpiegelnButton = nullptr, *InvertierenButton = nullptr;
    QMenu* PalettePopup = nullptr;
    QAction *Oeffnen = nullptr, *Speichern = nullptr, *SpeichernAls = nullptr, *Use = nullptr,
            *Beenden = nullptr, *UndoItem = nullptr, *Glaetten = nullptr, *FuellenMit = nullptr,
            *Verlauf = nullptr, *Invertieren = nullptr, *Spiegeln = nullptr, *Check = nullptr,
            *EditRed = nullptr, *EditGreen = nullptr, *EditBlue = nullptr, *ShowRot = nullptr,
            *ShowGruen = nullptr, *ShowBlau = nullptr, *Connect = nullptr, *Symbols = nullptr,
            *StatusBarItem = nullptr, *About = nullptr, *PopupFarbe = nullptr,
            *PopupVerlauf = nullptr, *PopupInvertieren = nullptr, *PopupSpiegeln = nullptr;

    // Repaints both views from the working palette.
    void RedrawViews();
    void PaintChannels();
    void PaintPalette();
    // The status bar for one entry.
    void ShowEntry(int entry);

public slots:
    void OeffnenClick();
    void SpeichernClick();
    void SpeichernAlsClick();
    void GiveBackPalette();
    void BeendenClick();
    void UndoButtonClick();
    void GlaettenClick();
    void CheckClick();
    void FuellenClick();
    void VerlaufClick();
    void SpiegelnClick();
    void InvertierenClick();
    void ChannelClick(TChannel channel);
    void ConnectClick();
    void ShowChannelClick();
    void SymbolsClick();
    void StatusBarClick();
    void AboutClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenus();
    void CreateToolBar();
    void CreateViews();
    void FitHeight();
    // Before an edit: snapshot, the caption's modified mark, Undo enabled.
    void PushUndo();
    void AfterHistoryChange();
    void SyncChannelControls();
    bool ChooseColour(int entry, int& colour);
    // Asks "Palette wurde verändert. Speichern?" when modified; false: stop the command.
    bool SaveIfModified();
    void ReadFile(const std::string& path, TPaletteKind kind);

    void KanaelePress(QMouseEvent* e);
    void KanaeleMove(QMouseEvent* e);
    void KanaeleRelease(QMouseEvent* e);
    void PalettePress(QMouseEvent* e);
    void PaletteMove(QMouseEvent* e);
    void PaletteRelease(QMouseEvent* e);
    void PaletteDoubleClick(QMouseEvent* e);

    QImage channelBuffer_, paletteBuffer_;
    QString dialogDir_;
    int centralHeight_ = 0;
    bool captionFollows_ = false;  // the caption shows the file and the modified mark
};
