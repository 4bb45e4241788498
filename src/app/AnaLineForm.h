#pragma once
// TAnaLineForm: the "Line Analysis" window. It shows an image window's picture, lets
// the user place a line (a row, a column, a free line between two draggable markers or
// a ray from the centre), plots the height profile along it, averaged over a width,
// measures with two cursors on the plot, evaluates roughness figures and writes the
// profile as text, bitmap or SVG drawing. As "Dual Line" it compares a second image,
// dropped from any image window, along the same line. The window belongs to its image
// window and closes with it. Every number comes from src/analysis.
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <functional>

#include "analysis/LineProfile.h"
#include "analysis/ProfilePlot.h"
#include "analysis/Roughness.h"
#include "core/Picture.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QMimeData;
class QPainter;
class QPushButton;
class QTableWidget;
class TMDIChild;
class TSettings;
struct TDisplayFont;

// A picture the size of the control, drawn on like a canvas; reports the mouse.
class TCanvasBox : public QWidget {
    Q_OBJECT
public:
    explicit TCanvasBox(QWidget* parent);
    QImage Picture;
    void SizePicture();  // a white picture the size of the control

signals:
    void MouseDown(Qt::MouseButton button, QPoint pos);
    void MouseMove(Qt::MouseButtons buttons, QPoint pos);
    void MouseUp(Qt::MouseButton button, QPoint pos);
    void Dropped(QDropEvent* event);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void dragEnterEvent(QDragEnterEvent*) override;
    void dragMoveEvent(QDragMoveEvent*) override;
    void dropEvent(QDropEvent*) override;
};

class TAnaLineForm : public QWidget {
    Q_OBJECT
public:
    TAnaLineForm(TMDIChild* owner, TSettings* settings, QWidget* parent = nullptr);
    ~TAnaLineForm() override;  // FormDestroy

    // Opens the window for the image window owner inside area (Analyse > Line, with
    // dual set: Dual Line). Null when there is no image.
    static TAnaLineForm* Open(QMdiArea* area, TMDIChild* owner, TSettings* settings, bool dual);

    // Opening with the source record (the caption is set before).
    void Setup(TQTVPicture* source);
    // Takes the picture of an image window as the second image (a drop on Image3).
    bool DropSecond(TMDIChild* window);
    // A drop on Image3: the image window named by the drag's source or its data.
    bool DropData(const QMimeData* mime, QObject* source);

    // ---- state
    TQTVPicture* Source = nullptr;
    QPointer<TMDIChild> Owner;
    TQTVPicture AvgImage, SecondImage, SecondAvgImage;
    QImage SecondBitmap;
    TProfile Profile;
    int32_t LineWidth = 1;
    int32_t RowIndex = 0, ColIndex = 0;
    float Angle = 0.0f;
    TAnyLine AnyLine;
    bool DualWindow = false, HasSecond = false;
    TPlotScale Plot;
    TCursors Cursors;
    TRoughness LastRoughness;
    QString HintText;
    // Stand-in for the save dialog in tests: proposed file and 1-based filter in,
    // choice out; false for Cancel.
    std::function<bool(QString& file, int& filterIndex)> SaveDialogHook;

    // ---- controls
    QComboBox* ComboBox1 = nullptr;
    QLineEdit *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr, *Edit4 = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr, *Label5 = nullptr,
           *Label6 = nullptr, *Label7 = nullptr, *Label8 = nullptr, *Label9 = nullptr;
    TCanvasBox *Image1 = nullptr, *Image2 = nullptr, *Image3 = nullptr;
    QWidget *Panel1 = nullptr, *Panel2 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QTableWidget *StringGrid1 = nullptr, *StringGrid2 = nullptr;
    QPushButton *RoughnessButton = nullptr, *Button1 = nullptr;
    QMenu *PopupMenuPicture = nullptr, *PopupMenuCrosssection = nullptr, *PopupMenuCrossData = nullptr,
          *PopupMenuRoughness = nullptr;
    QAction *CopyPictureItem = nullptr, *SaveAsItem = nullptr, *CopyCrosssectionItem = nullptr,
            *CopyPlotItem = nullptr, *SavePlotBmpItem = nullptr, *SavePictureAswmfItem = nullptr,
            *SaveDataItem = nullptr, *CopyData3Item = nullptr, *CopyData2Item = nullptr;

    TLineMode Mode() const;
    QMdiSubWindow* SubWindow() const;
    bool Busy() const { return busy_; }
    // The plot as a picture and as an SVG drawing with its axis texts.
    QImage PlotImage() const { return Image2->Picture; }
    QByteArray PlotSvg();

public slots:
    void ComboBox1Change();
    void Button1Click();
    void RoughnessClick();
    void CopyCrosssectionClick();
    void CopyData3Click();
    void CopyData2Click();
    void CopyImageClick();       // Image1's picture (sender: PopupMenuPicture) or the plot
    void SaveAsClick();          // Image1's picture or the plot, as bitmap
    void SavePictureAswmfClick();
    void SaveDataClick();
    void OwnerClosing();
    void FormResize();

protected:
    void resizeEvent(QResizeEvent*) override;
    void closeEvent(QCloseEvent*) override;  // FormClose
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent*) override;

private:
    void BuildControls();
    void ApplyMode();
    void Extract();
    void DrawPlot();
    void DrawPlotOn(QPainter& p, int w, int h);
    void ShowCursors();
    void DrawLineOn(QImage& pic, bool second);
    void RedrawImages();
    void PlaceMarkers();
    void PlaceLabels();
    // Room the height labels need left of the plot.
    int LabelRoom() const;
    void FillTable(QTableWidget* grid, const std::vector<std::string>& names,
                   const std::vector<std::string>& values);
    void Image1MouseDown(Qt::MouseButtons buttons, QPoint pos);
    void Image2MouseDown(Qt::MouseButton button, QPoint pos);
    void Image2MouseMove(Qt::MouseButtons buttons, QPoint pos);
    void Image3DragDrop(QDropEvent* event);
    void Panel1MouseMove(QWidget* marker, QPoint pos);
    void Edit1KeyPress();
    void Edit2KeyPress();
    void Edit3KeyPress();
    void Edit4KeyDown(int key);
    void LabelClick(QLabel* label);
    void ResetCursors();
    bool AskSaveName(const char* filter, int& filterIndex, QString& file);
    bool WriteSaved(const QString& file, const QByteArray& bytes, bool replace);
    QImage SourceImage() const;
    // The font of the drawing's texts: settings "FontLabel", else the labels' font.
    TDisplayFont DrawingFont() const;

    TSettings* settings_;
    QImage base1_, base3_;  // the stretched pictures without lines
    bool setUp_ = false;
    bool busy_ = false;
    bool closing_ = false;
    // What the shown profile was last made with (the second image counted by drops);
    // a stopped average goes back to it.
    struct TMade {
        TLineMode Mode = TLineMode::Row;
        int32_t Width = 1;
        int Second = 0;
        bool Valid = false;
        TMade() = default;
        TMade(TLineMode mode, int32_t width, int second) : Mode(mode), Width(width), Second(second), Valid(true) {}
    } made_;
    int secondStamp_ = 0;
    bool reuseAverage_ = false;  // the arc average at hand is the one to show
    bool closeAfterRun_ = false;
    void RevertMode();
    QMenu* lastMenu_ = nullptr;
};
