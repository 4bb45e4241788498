#pragma once
// TUnitCellForm: the unit-cell window. The user marks one cell of a periodic structure
// with three draggable corners on Image1; the window shows the lattice they span and
// its constants, cuts the cell out (Image3), correlates it with the image (Image2 with
// the threshold slider), finds and links the matches, plots one lattice quantity with
// a parabola fit (Image4), hands the fit to the distortion correction and averages the
// cell over all matches. Every computation is in analysis/UnitCell, Correlation and
// Lattice; this class wires the controls to them.
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "analysis/Correlation.h"
#include "analysis/Lattice.h"
#include "analysis/UnitCell.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMdiArea;
class QMenu;
class QMouseEvent;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;
class TMDIChild;
class TSettings;

// A picture control: shows its image stretched over the control and reports the mouse.
class TUnitCellImage : public QWidget {
    Q_OBJECT
public:
    explicit TUnitCellImage(QWidget* parent);
    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return picture_; }
    std::function<void(QMouseEvent*)> OnPress, OnMove, OnRelease;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    QImage picture_;
};

class TUnitCellForm : public QWidget {
    Q_OBJECT
public:
    // Opens the window for window's image in area, captioned "Find Unit Cell in " and
    // the image window's caption; it closes with the image window. settings may be null.
    static TUnitCellForm* Open(TMDIChild* window, TSettings* settings, QMdiArea* area);

    TUnitCellForm(TMDIChild* window, TSettings* settings, QWidget* parent = nullptr);
    ~TUnitCellForm() override;

    // controls, named as the window names them
    QComboBox* ComboBox1 = nullptr;  // "lines" / "grid"
    TUnitCellImage* Image1 = nullptr;  // source with the lattice
    TUnitCellImage* Image2 = nullptr;  // thresholded correlation
    TUnitCellImage* Image3 = nullptr;  // the cell
    TUnitCellImage* Image4 = nullptr;  // statistics plot
    QMenu* VisiblePopup = nullptr;
    QAction *ImageVisible = nullptr, *ManuellGrid = nullptr, *AutoGrid = nullptr, *CopyScene = nullptr;
    QMenu* UnitCellPopup = nullptr;
    QAction *ShowNewUnitCell = nullptr, *AverageUnitCell = nullptr, *CopyCell = nullptr;
    QLabel *LabelA = nullptr, *LabelB = nullptr, *LabelPhi = nullptr;
    QLineEdit *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr;
    QLabel *Label4 = nullptr, *Label5 = nullptr, *Label6 = nullptr, *Label7 = nullptr, *Label8 = nullptr;
    QPushButton* Button2 = nullptr;  // "Reset"
    QPushButton* Button1 = nullptr;  // "Cross Correlation"
    QPushButton* Button6 = nullptr;  // "Find Match"
    QPushButton* Button3 = nullptr;  // "Find Grid"
    QPushButton* Button4 = nullptr;  // "Copy Data"
    QScrollBar* ScrollBar1 = nullptr;
    QWidget *Panel1 = nullptr, *Panel2 = nullptr, *Panel3 = nullptr;
    QRadioButton *RadioButton1 = nullptr, *RadioButton2 = nullptr;  // "x-Axis", "y-Axis"
    // "| a |", "| b |", "Phi(a,b)", "ax (x)", "ay (y)", "bx (x)", "by (y)"
    QRadioButton *RadioButton3 = nullptr, *RadioButton4 = nullptr, *RadioButton5 = nullptr,
                 *RadioButton6 = nullptr, *RadioButton7 = nullptr, *RadioButton8 = nullptr,
                 *RadioButton9 = nullptr;
    QRadioButton *RadioButton10 = nullptr, *RadioButton11 = nullptr;  // "Counts", "Height"
    QGroupBox* GroupBox1 = nullptr;  // "Results"
    QPlainTextEdit* Memo2 = nullptr;
    QLabel* StaticText1 = nullptr;
    QPushButton* Button5 = nullptr;  // "Copy to Distortion"

    // state, for tests and for whoever looks closely
    const TCellCorners& Corners() const { return corners_; }
    void SetCorners(const TCellCorners& c);
    const TCellCut& Cut() const { return cut_; }
    const TQTVPicture& CorrPicture() const { return corr_; }
    const std::vector<TUnitCellMatch>& Matches() const { return matches_; }
    const std::vector<TPlotPoint>& PlotPoints() const { return points_; }
    const std::optional<TParabola>& Fit() const { return fit_; }
    int32_t HomeMatch() const { return home_; }
    int32_t PlotMode() const { return plotMode_; }
    int32_t MarkerSize() const { return markerSize_; }
    TPointI AnchorDrag() const { return anchorDrag_; }
    const QImage& AveragedCellImage() const { return Image3->Picture(); }

public slots:
    void ComboBox1Change();
    void ResetClick();
    void Button1Click();  // "Cross Correlation"
    void ScrollBar1Change();
    void Button3Click();  // "Find Grid"
    void Button6Click();  // "Find Match"
    void CreateData();
    void CopyDataClick();
    void CopyToDistortionClick();
    void ShowNewUnitCellClick();
    void AverageUnitCellClick();
    void DeleteExcludedPoints();
    void OwnerClosing();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ReadCorners();
    void DrawScene();
    void ExtractAndShowCell();
    void ShowCellPicture(const TQTVPicture& cell);
    bool LabelRegionsHere();
    void DrawPlot();
    void ApplyTyped(QLineEdit* edit, int which);
    void QuantityClick(QRadioButton* b);
    void AxisClick(bool xAxis);
    void ImageMouseDown(QMouseEvent* e);
    void ImageMouseMove(QMouseEvent* e);
    void ImageMouseUp(QMouseEvent* e);
    void PlotMouseDown(QMouseEvent* e);
    void PlotMouseMove(QMouseEvent* e);
    TLatticeQuantity Quantity() const;
    TPlotAxis Axis() const;
    QImage Rendered(TQTVPicture& pic) const;

    QPointer<TMDIChild> window_;
    TSettings* settings_;
    const TQTVPicture* source_ = nullptr;
    TCellCorners corners_, savedCorners_;
    int32_t dragCorner_ = 0;
    int32_t markerSize_ = 2;
    TCellCut cut_;
    TQTVPicture corr_, threshold_;
    std::vector<TUnitCellMatch> matches_;
    int32_t home_ = -1;
    TPointI gridAnchor_{}, anchorDrag_{};
    bool anchorDragging_ = false;
    bool correlating_ = false;
    QPoint anchorStart_;
    int32_t plotMode_ = 1;
    std::vector<TPlotPoint> points_;
    std::optional<TParabola> fit_;
    TPlotLayout layout_;
    QImage scene_;       // Image1's picture before stretching
    QImage corrImage_;   // Image2's picture
    std::optional<TCellCorners> newCellLine_;  // red polyline of "Show New Unit Cell"
};
