#pragma once
// TForm3DSetting: the OpenGL 3-D view. An MDI child beside its image window that shows
// the image as a lit, smooth-shaded surface (view3d/A3D holds the mesh data), turned,
// moved and zoomed with the mouse on the drawing panel, with a z-gain slider, a
// background colour, optional scale bars, the palette ramp and "Copy".
//
// The drawing panel uses an OpenGL compatibility-profile context (fixed-function
// lighting; the mesh is streamed through a buffer object, OpenGL 1.5); a software
// renderer is enough.
#include <QImage>
#include <QOpenGLWidget>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "core/Threads.h"
#include "view3d/A3D.h"

class QCheckBox;
class QColor;
class QLabel;
class QMdiArea;
class QOpenGLFunctions_1_5;
class QPushButton;
class QScrollBar;
class TForm3DSetting;
class TMDIChild;
class TSettings;

// Panel1: the OpenGL drawing panel.
class TGLPanel : public QOpenGLWidget {
    Q_OBJECT
public:
    TGLPanel(TForm3DSetting* form, QWidget* parent);
    ~TGLPanel() override;
    // Milliseconds of the last paint, from clearing to the last call.
    double LastPaintMs() const { return lastPaintMs_; }
    // Strips drawn from one filling of a vertex buffer; 0: as many as fit in about
    // 2 MB. Any value gives the same picture.
    int32_t BlockStrips = 0;
    // The text of a failure to set OpenGL up ("" when it works).
    const QString& Failure() const { return failure_; }

signals:
    void InitialisationFailed(const QString& reason);

protected:
    void initializeGL() override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    friend class TForm3DSetting;
    // The mesh is drawn a block of strips at a time: the points of the block's columns
    // go into one of two vertex buffers (each point once, column by column) while the
    // block before is drawn from the other, and the indices of one strip are drawn for
    // every column from that column's offset. Only the normalised samples stay in
    // memory between paints.
    bool PrepareBuffers(int32_t rows, size_t vertices);
    void DrawMesh();
    void DrawScaleBars();
    void DrawLabel(const TPoint3& at, const std::string& text, float centreX);
    void ReleaseGL();

    TForm3DSetting* form_;
    QOpenGLFunctions_1_5* gl_ = nullptr;
    unsigned vertexBuffers_[2] = {0, 0}, indexBuffer_ = 0;  // 0 before the first paint
    int32_t indexRows_ = 0;                     // rows the index buffer is made for
    size_t vertexCapacity_ = 0;                 // vertices each vertex buffer holds
    std::vector<TSurfaceMesh::TVertex> block_;  // where a buffer cannot be mapped
    TSerialQueue filler_;                       // works out the next block while one is drawn
    double lastPaintMs_ = 0;
    QString failure_;
};

class TForm3DSetting : public QWidget {
    Q_OBJECT
public:
    // Opens the view of window's image in area, captioned "3D-View " + the window's
    // caption; it closes with the image window. When OpenGL cannot be set up the user
    // is told why, no view opens and null is returned.
    static TForm3DSetting* Open(TMDIChild* window, TSettings* settings, QMdiArea* area);
    // Whether an OpenGL context as the view needs can be had: "" when it can, else the
    // reason. Tests may replace it.
    static std::function<QString()> OpenGLProbe;
    static QString ProbeOpenGL();
    // The colour dialog: gets the current colour, returns false for Cancel. Tests may
    // replace it.
    std::function<bool(QColor& colour)> ChooseColour;

    TForm3DSetting(TSettings* settings, QWidget* parent = nullptr);
    ~TForm3DSetting() override;

    // Takes the image: copies its samples into the mesh, fills the colour table and
    // the ramp, sets the slider from the settings and draws.
    void SetImage(const TQTVPicture& picture);

    // ---- state
    TSurfaceMesh Mesh;
    TViewState View;
    TScanPara Para;       // scan parameters of the image, for the scale bars
    float Min = 0, Max = 0;  // value range of the image

    // ---- controls
    QScrollBar* ScrollBar1 = nullptr;    // z-Gain, 0..99
    QWidget* Panel2 = nullptr;           // background colour swatch
    QCheckBox* CheckBoxSkala = nullptr;  // "Show" scale bars
    QLabel* ImageFarbverlauf = nullptr;  // palette ramp
    TGLPanel* Panel1 = nullptr;          // drawing panel
    QPushButton* Button1 = nullptr;      // "Copy"

    QColor BackgroundColour() const;
    // The rendered view as an image of the panel's size.
    QImage RenderedImage();

public slots:
    void ScrollBar1Change(int position);
    void Panel2Click();
    void CheckBoxSkalaClick();
    void Button1Click();  // Copy

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowSwatch();
    TSettings* settings_;
};
