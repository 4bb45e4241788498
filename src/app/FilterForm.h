#pragma once
// TFilterForm: the processing dialog behind the Process commands. It works on a
// private copy of an image window's record (Working), shows the source as a thumbnail
// beside a live preview of the result, applies its operation any number of times
// ("Do"), reverts ("Undo"), and writes the result back ("Take Over") or drops it
// ("Cancel"). It belongs to its image window: closing that window closes the dialog
// without touching the image. The arithmetic lives in src/processing.
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

#include "core/Picture.h"
#include "processing/Histogram.h"
#include "processing/Geometry.h"
#include "processing/Operations.h"
#include "processing/Leveling.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMdiSubWindow;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QTimer;
class TMDIChild;
class TSettings;
class TFilterTool;

// Image1 / Image2: a picture stretched over the control, with the marked points
// drawn on it; mouse presses are passed on in control pixels.
class TPictureBox : public QWidget {
    Q_OBJECT
public:
    explicit TPictureBox(QWidget* parent);
    void SetPicture(const QImage& image);
    const QImage& Picture() const { return image_; }
    // circles of radius 5 picture pixels around these (x, line) picture positions
    std::vector<QPoint> Circles;

signals:
    void MouseDown(Qt::MouseButton button, QPoint pos);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;

private:
    QImage image_;
};

// Image3: the histogram, one pixel column per bin; drags select bands.
class THistogramBox : public QWidget {
    Q_OBJECT
public:
    THistogramBox(QWidget* parent, const THistogram& hist);
    // bins DragFrom..DragTo drawn red (left button) or blue while dragging
    int DragFrom = -1, DragTo = -1;
    bool DragRed = true;

signals:
    void MouseDown(Qt::MouseButton button, int bin);
    void MouseMove1(Qt::MouseButtons buttons, int bin);
    void MouseUp(Qt::MouseButton button, int bin);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    int BinAt(int x) const;
    const THistogram& hist_;
};

// The dialog's modes as the Process menu opens them: 0..14 the kernels by their place
// in the kernel list, then one mode a tool. The numbers are the help topics' and tests'.
enum TFilterMode : int {
    fmLowPass = 0,
    fmLastKernel = 14,
    fmBadPoints = 15,
    fmHistogram = 16,
    fmFFT = 17,
    fmLeveling = 18,
    fmZoom = 19,
    fmSphere = 20,
    fmMedian = 21,
    fmDistortion = 22,
    fmMean = 23,
};

class TFilterForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int MaxMode = fmMean;
    TFilterForm(TMDIChild* owner, TSettings* settings, QWidget* parent = nullptr);
    ~TFilterForm() override;  // FormDestroy

    // Caption prefix and help context of a mode (empty prefix for 1..14 and unknown modes).
    static QString CaptionPrefix(int mode);
    static int HelpContext(int mode);

    // Takes the source record and the mode; the main window sets the caption after it.
    void Setup(TQTVPicture* source, int mode);

    // ---- dialog state
    TQTVPicture* Source = nullptr;
    TQTVPicture Working;
    int Mode = -1;
    THistogram Hist;
    std::vector<TMarkedPoint> MarkedPoints;
    QPointer<TMDIChild> Owner;

    // ---- controls
    TPictureBox *Image1 = nullptr, *Image2 = nullptr;
    QWidget *Panel1 = nullptr, *Panel2 = nullptr, *Panel3 = nullptr, *Panel4 = nullptr,
            *Panel6 = nullptr, *Panel7 = nullptr;
    QPushButton *Button1 = nullptr, *Button2 = nullptr, *Button3 = nullptr, *Button4 = nullptr;
    QLabel *Label2 = nullptr, *Label4 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QTableWidget* StringGrid1 = nullptr;
    THistogramBox* Image3 = nullptr;
    QLabel *Label1 = nullptr, *Label3 = nullptr;
    QLineEdit* EditMinMax = nullptr;
    QComboBox *ComboSlop = nullptr, *ComboSlopOrder = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QTimer* Timer1 = nullptr;
    // run-time controls of Panel7
    QCheckBox *LogBox = nullptr, *SuppZeroBox = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QLineEdit* RadiusEdit = nullptr;
    QLabel* RadiusUnit = nullptr;
    QRadioButton *LowpassButton = nullptr, *HighpassButton = nullptr;
    QLabel* FormulaLabel = nullptr;
    std::vector<QLineEdit*> DistortionEdits;

    QMdiSubWindow* SubWindow() const;

    // ---- zoom (19), sphere filter (20) and distortion correction (22)
    TZoomRect ZoomRect;        // x1, x2, y1, y2 in picture pixels of the preview
    double SphereRadius = 0;   // in the source's x unit, as last accepted
    // picture pixel of a preview position (half to even)
    QPoint PicturePoint(QPoint pos) const;
    void Image2MouseDownZoom(Qt::MouseButton button, QPoint pos);
    void Image2MouseMoveZoom(Qt::MouseButtons buttons, QPoint pos);
    void Image2MouseUpZoom(Qt::MouseButton button, QPoint pos);
    void Edit1KeyPress();      // Enter in the radius field (also once at set-up)
    void RadioButton1Click();  // lowpass <-> highpass of a finished run
    void DoZoom();
    void DoSphere();
    void DoDistortion();
    bool SphereRunning() const { return sphereRunning_; }
    // ---- FFT (17): the view of the spectrum, with a bar and "Cancel" while it runs long
    void DoFFT();
    bool FFTRunning() const { return fftRunning_; }

private:
    void DrawZoomSquare();     // in invert mode: drawing twice restores the picture
    bool SphereComplete() const;
    qint64 zoomDrawnOn_ = 0;   // the preview picture the square is drawn on (0: none)
    bool sphereRunning_ = false;
    bool fftRunning_ = false;
public:
    // The steps "Do" made since set-up or the last "Undo", and what the next one
    // depends on; "Take Over" appends its entries to the image window's history,
    // "Cancel" drops them.
    TDialogSession Session;
    // The entries "Take Over" would append now.
    std::vector<std::string> TakeOverEntries() const;

public slots:
    void Button1Click();  // Undo
    void Button2Click();  // Cancel
    void Button3Click();  // Take Over
    void Button4Click();  // Do
    void ComboSlopChange();
    void CheckBox1Click();
    void ComboBox1Change();
    void Label1Click();
    void Label3Click();
    void FormResize();
    // the owning image window is closing: forget the source and close
    void OwnerClosing();

protected:
    void resizeEvent(QResizeEvent*) override;
    void closeEvent(QCloseEvent*) override;  // FormClose
    void keyPressEvent(QKeyEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void ShowPicture(TPictureBox* box, const QImage& image);
    QImage SourceImage() const;
    void RenderPreview();     // Working rendered (marks in green with "Advanced") into Image2
    void DrawHistogram();     // counts Working and repaints Image3 and the labels
    void UpdateHistogramLabels();
    void Image2MouseDownSlop3D(Qt::MouseButton button, QPoint pos);
    void Image3MouseDown(Qt::MouseButton button, int bin);
    void MouseMove1(Qt::MouseButtons buttons, int bin);
    void Image3MouseUp(Qt::MouseButton button, int bin);
    void EditMinMaxKeyPress();
    void OpenLimitEdit(bool upper);
    bool Advanced() const;

    friend class TFilterTool;
    std::unique_ptr<TFilterTool> tool_;  // the family of operations of the mode
    TSettings* settings_;
    int dragStart_ = 0;
    bool editingUpper_ = false;
    bool closing_ = false;
};

