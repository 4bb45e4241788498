#include "app/Form3DSetting.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_1_5>
#include <QOpenGLVersionFunctionsFactory>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QSurfaceFormat>

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "app/Childwin.h"
#include "app/Icons.h"
#include "app/QtMessageSink.h"
#include "app/WindowPlacement.h"
#include "core/Messages.h"
#include "core/Settings.h"

namespace {

// The context the view draws with: fixed-function OpenGL, double buffered, 24 depth bits.
QSurfaceFormat ViewFormat() {
    QSurfaceFormat f = QSurfaceFormat::defaultFormat();
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setProfile(QSurfaceFormat::CompatibilityProfile);
    f.setDepthBufferSize(24);
    f.setStencilBufferSize(0);
    f.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    return f;
}

QColor FromColourValue(int c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
int ToColourValue(const QColor& c) { return c.red() | (c.green() << 8) | (c.blue() << 16); }

constexpr int MinSlider = 0, MaxSlider = 99;

// The vertex buffer holds the mesh's vertices as they are: colour, normal, position.
using TGLVertex = TSurfaceMesh::TVertex;
static_assert(sizeof(TGLVertex) == 9 * sizeof(GLfloat), "vertices are packed floats");

// The vertex buffer takes about this many bytes of points at a time.
constexpr size_t BlockBytes = size_t(2) << 20;

}  // namespace

// ---------------------------------------------------------------- drawing panel

TGLPanel::TGLPanel(TForm3DSetting* form, QWidget* parent) : QOpenGLWidget(parent), form_(form) {
    setFormat(ViewFormat());
    setMouseTracking(false);
}

TGLPanel::~TGLPanel() { ReleaseGL(); }

void TGLPanel::ReleaseGL() {
    if (!gl_ || !context()) return;
    makeCurrent();
    filler_.Drain();
    const GLuint buffers[3] = {vertexBuffers_[0], vertexBuffers_[1], indexBuffer_};
    if (indexBuffer_ != 0) gl_->glDeleteBuffers(3, buffers);
    vertexBuffers_[0] = vertexBuffers_[1] = indexBuffer_ = 0;
    indexRows_ = 0;
    vertexCapacity_ = 0;
    doneCurrent();
    gl_ = nullptr;
}

void TGLPanel::initializeGL() {
    QOpenGLContext* ctx = context();
    gl_ = ctx ? QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_1_5>(ctx) : nullptr;
    if (!gl_ || !gl_->initializeOpenGLFunctions()) {
        gl_ = nullptr;
        failure_ = QStringLiteral("the OpenGL implementation offers no fixed-function (compatibility) profile of version 1.5");
        emit InitialisationFailed(failure_);
        return;
    }
    connect(ctx, &QOpenGLContext::aboutToBeDestroyed, this, &TGLPanel::ReleaseGL, Qt::DirectConnection);
    gl_->glEnable(GL_DEPTH_TEST);
    gl_->glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
    gl_->glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
    vertexBuffers_[0] = vertexBuffers_[1] = indexBuffer_ = 0;
    indexRows_ = 0;
    vertexCapacity_ = 0;
}

bool TGLPanel::PrepareBuffers(int32_t rows, size_t vertices) {
    if (indexBuffer_ == 0) {
        GLuint buffers[3] = {0, 0, 0};
        gl_->glGenBuffers(3, buffers);
        vertexBuffers_[0] = buffers[0];
        vertexBuffers_[1] = buffers[1];
        indexBuffer_ = buffers[2];
    }
    while (gl_->glGetError() != GL_NO_ERROR) {
    }
    if (vertexCapacity_ != vertices) {
        vertexCapacity_ = 0;
        for (const GLuint buffer : vertexBuffers_) {
            gl_->glBindBuffer(GL_ARRAY_BUFFER, buffer);
            gl_->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices * sizeof(TGLVertex)), nullptr,
                              GL_STREAM_DRAW);
        }
        gl_->glBindBuffer(GL_ARRAY_BUFFER, 0);
        if (gl_->glGetError() != GL_NO_ERROR) return false;  // no room: nothing drawn
        vertexCapacity_ = vertices;
    }
    if (indexRows_ != rows) {
        // the strip of column 0: for each row y = 1 .. rows - 2 the points (1, y), then
        // (0, y); the strip of column x is the same drawn from x columns further on
        indexRows_ = 0;
        std::vector<GLuint> indices;
        indices.reserve(static_cast<size_t>(rows - 2) * 2);
        for (int32_t y = 1; y <= rows - 2; ++y) {
            indices.push_back(static_cast<GLuint>(rows + y));
            indices.push_back(static_cast<GLuint>(y));
        }
        gl_->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
        gl_->glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(GLuint)),
                          indices.data(), GL_STATIC_DRAW);
        gl_->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        if (gl_->glGetError() != GL_NO_ERROR) return false;
        indexRows_ = rows;
    }
    return true;
}

void TGLPanel::DrawMesh() {
    const TSurfaceMesh& mesh = form_->Mesh;
    const int32_t rows = mesh.Rows(), strips = mesh.StripCount();
    if (strips == 0 || rows < 3) return;
    const auto rowPoints = static_cast<size_t>(rows);
    // a block of n strips takes the points of n + 1 columns
    const size_t fit = std::max<size_t>(2, BlockBytes / (rowPoints * sizeof(TGLVertex))) - 1;
    const int32_t perBlock =
        BlockStrips > 0 ? std::min(strips, BlockStrips) : static_cast<int32_t>(std::min<size_t>(fit, strips));
    if (!PrepareBuffers(rows, static_cast<size_t>(perBlock + 1) * rowPoints)) return;
    const int32_t blocks = (strips - 1) / perBlock + 1;

    // Block k holds the strips of columns s0 + 1 .. s1, made of the points of columns
    // s0 + 1 .. s1 + 1; it goes into vertex buffer k % 2. While one block is drawn, the
    // filler thread works out the next one into the other buffer.
    struct TFill {
        TGLVertex* Mapped = nullptr;
        bool Done = false;
    };
    const auto strip0 = [perBlock](int32_t k) { return k * perBlock; };
    const auto strip1 = [perBlock, strips](int32_t k) { return std::min(strips, (k + 1) * perBlock); };
    const auto beginFill = [&](int32_t k, TFill& fill, bool ahead) {
        fill = TFill{};
        gl_->glBindBuffer(GL_ARRAY_BUFFER, vertexBuffers_[k % 2]);
        // a fresh store each time: the draws before may still read the last one
        gl_->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCapacity_ * sizeof(TGLVertex)), nullptr,
                          GL_STREAM_DRAW);
        fill.Mapped = static_cast<TGLVertex*>(gl_->glMapBuffer(GL_ARRAY_BUFFER, GL_WRITE_ONLY));
        if (!fill.Mapped) return;
        const int32_t x0 = strip0(k) + 1, x1 = strip1(k) + 2;
        auto work = [&mesh, &fill, x0, x1] {
            mesh.Columns(x0, x1, fill.Mapped);
            fill.Done = true;
        };
        if (ahead)
            filler_.Post(work);
        else
            work();
    };
    const auto endFill = [&](int32_t k, TFill& fill) {
        filler_.Drain();
        gl_->glBindBuffer(GL_ARRAY_BUFFER, vertexBuffers_[k % 2]);
        bool filled = false;
        if (fill.Mapped) filled = gl_->glUnmapBuffer(GL_ARRAY_BUFFER) == GL_TRUE && fill.Done;  // false: lost
        if (filled) return;
        const int32_t x0 = strip0(k) + 1, x1 = strip1(k) + 2;
        const size_t points = static_cast<size_t>(x1 - x0) * rowPoints;
        block_.resize(points);
        mesh.Columns(x0, x1, block_.data());
        gl_->glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(points * sizeof(TGLVertex)), block_.data());
    };
    TFill fills[2];
    // a job still running writes into a block's fill: wait for it whatever happens
    struct TDrain {
        TSerialQueue& Queue;
        ~TDrain() { Queue.Drain(); }
    } drain{filler_};

    gl_->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    gl_->glEnableClientState(GL_VERTEX_ARRAY);
    gl_->glEnableClientState(GL_NORMAL_ARRAY);
    gl_->glEnableClientState(GL_COLOR_ARRAY);
    const GLsizei stride = sizeof(TGLVertex);
    const GLsizei count = static_cast<GLsizei>(rows - 2) * 2;
    const GLuint first = 1, last = static_cast<GLuint>(2 * rows - 2);
    beginFill(0, fills[0], false);
    endFill(0, fills[0]);
    for (int32_t k = 0; k < blocks; ++k) {
        const bool more = k + 1 < blocks;
        if (more) beginFill(k + 1, fills[(k + 1) % 2], true);
        gl_->glBindBuffer(GL_ARRAY_BUFFER, vertexBuffers_[k % 2]);
        for (int32_t s = strip0(k); s < strip1(k); ++s) {
            // the strip of column s + 1, whose points start s - strip0(k) columns into the block
            const size_t base = static_cast<size_t>(s - strip0(k)) * rowPoints * sizeof(TGLVertex);
            const auto at = [base](size_t member) { return reinterpret_cast<const void*>(base + member); };
            gl_->glColorPointer(3, GL_FLOAT, stride, at(offsetof(TGLVertex, Colour)));
            gl_->glNormalPointer(GL_FLOAT, stride, at(offsetof(TGLVertex, Normal)));
            gl_->glVertexPointer(3, GL_FLOAT, stride, at(offsetof(TGLVertex, Position)));
            gl_->glDrawRangeElements(GL_TRIANGLE_STRIP, first, last, count, GL_UNSIGNED_INT, nullptr);
        }
        // hand the block to the renderer: a software one then queues less at a time
        gl_->glFlush();
        if (more) endFill(k + 1, fills[(k + 1) % 2]);
    }
    block_.clear();
    block_.shrink_to_fit();
    gl_->glDisableClientState(GL_COLOR_ARRAY);
    gl_->glDisableClientState(GL_NORMAL_ARRAY);
    gl_->glDisableClientState(GL_VERTEX_ARRAY);
    gl_->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    gl_->glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void TGLPanel::paintGL() {
    if (!gl_) return;
    QElapsedTimer timer;
    timer.start();
    const TViewState& v = form_->View;
    const QColor bg = form_->BackgroundColour();

    gl_->glEnable(GL_DEPTH_TEST);
    gl_->glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
    gl_->glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
    gl_->glShadeModel(GL_SMOOTH);
    gl_->glClearColor(static_cast<GLfloat>(bg.red() / 255.0), static_cast<GLfloat>(bg.green() / 255.0),
                      static_cast<GLfloat>(bg.blue() / 255.0), 1.0f);  // opaque: the panel is not see-through
    const GLfloat specular[] = {0, 0, 0, 1}, shininess[] = {50}, ambient[] = {0.4f, 0.4f, 0.4f, 1},
                  diffuse[] = {0, 0, 0, 1};
    gl_->glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    gl_->glMaterialfv(GL_FRONT_AND_BACK, GL_SHININESS, shininess);
    gl_->glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    gl_->glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    gl_->glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
    gl_->glEnable(GL_COLOR_MATERIAL);
    const GLfloat lightAmbient[] = {0, 0, 0, 1}, lightDiffuse[] = {1, 1, 1, 1},
                  lightSpecular[] = {0.5f, 0.5f, 0.5f, 1}, lightPosition[] = {0, 0, -1000, 1};
    gl_->glLightfv(GL_LIGHT0, GL_AMBIENT, lightAmbient);
    gl_->glLightfv(GL_LIGHT0, GL_DIFFUSE, lightDiffuse);
    gl_->glLightfv(GL_LIGHT0, GL_SPECULAR, lightSpecular);
    gl_->glEnable(GL_LIGHT0);
    gl_->glEnable(GL_LIGHTING);
    gl_->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // perspective of 45 degrees, aspect 1, near 1, far 2000
    gl_->glMatrixMode(GL_PROJECTION);
    gl_->glLoadIdentity();
    const double top = std::tan(22.5 * M_PI / 180.0);
    gl_->glFrustum(-top, top, -top, top, 1.0, 2000.0);
    gl_->glMatrixMode(GL_MODELVIEW);
    gl_->glLoadIdentity();
    gl_->glTranslatef(static_cast<GLfloat>(v.PanX), static_cast<GLfloat>(v.PanY), static_cast<GLfloat>(v.ZDist));
    gl_->glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    gl_->glPushMatrix();
    gl_->glRotatef(static_cast<GLfloat>(v.RotX), 1, 0, 0);
    gl_->glRotatef(static_cast<GLfloat>(v.RotY), 0, 1, 0);
    gl_->glRotatef(static_cast<GLfloat>(v.RotZ), 0, 0, 1);
    gl_->glTranslatef(-128, -128, 0);
    DrawMesh();
    if (form_->CheckBoxSkala->isChecked()) DrawScaleBars();
    gl_->glPopMatrix();
    gl_->glFinish();
    lastPaintMs_ = static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

void TGLPanel::DrawScaleBars() {
    const auto bars = ScaleBars(form_->Para, form_->Min, form_->Max, form_->Mesh.GainPercent(), form_->View.RotZ);
    gl_->glColor3f(0, 0, 0);
    auto vertex = [this](const TPoint3& p) { gl_->glVertex3f(p.X, p.Y, p.Z); };
    for (const TScaleBar& bar : bars) {
        gl_->glBegin(GL_LINES);
        vertex(bar.From);
        vertex(bar.To);
        gl_->glEnd();
        for (const auto* head : {&bar.HeadFrom, &bar.HeadTo}) {
            gl_->glBegin(GL_TRIANGLE_FAN);
            for (const TPoint3& p : *head) vertex(p);
            gl_->glEnd();
        }
    }
    // where the middle of the surface lies in the view, for placing the labels
    GLfloat centre[4] = {0, 0, 0, 0};
    gl_->glRasterPos3f(128, 128, static_cast<GLfloat>(-form_->Mesh.GainPercent()) / 2);
    gl_->glGetFloatv(GL_CURRENT_RASTER_POSITION, centre);
    for (const TScaleBar& bar : bars) DrawLabel(bar.LabelAt, bar.Label, centre[0]);
}

// The label's glyphs come from Qt's own text rendering: black antialiased text with a
// thin halo of the background colour (legible where it crosses the surface or a bar),
// blended in with its base line at the raster position. Seen from the view, a label
// left of the surface's middle ends at its anchor, one right of it starts there, one
// in line with it is centred on it; none runs out of the view at the sides.
void TGLPanel::DrawLabel(const TPoint3& at, const std::string& label, float centreX) {
    const QString text = Latin1ToQt(label);
    if (text.isEmpty()) return;
    QFont font = QApplication::font();
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(14 * devicePixelRatioF()))));
    const QFontMetrics fm(font);
    const int w = fm.horizontalAdvance(text) + 4, h = fm.height() + 2;
    QImage image(w, h, QImage::Format_RGBA8888);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setFont(font);
        QColor halo = form_->BackgroundColour();
        halo.setAlpha(200);
        p.setPen(halo);
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (dx != 0 || dy != 0) p.drawText(2 + dx, 1 + fm.ascent() + dy, text);
        p.setPen(Qt::black);
        p.drawText(2, 1 + fm.ascent(), text);
    }
    image = image.mirrored();  // rows bottom-up
    gl_->glRasterPos3f(at.X, at.Y, at.Z);
    GLint valid = 0;
    gl_->glGetIntegerv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
    if (!valid) return;  // the anchor lies outside the view
    GLfloat pos[4] = {0, 0, 0, 0};
    GLint viewport[4] = {0, 0, 0, 0};
    gl_->glGetFloatv(GL_CURRENT_RASTER_POSITION, pos);
    gl_->glGetIntegerv(GL_VIEWPORT, viewport);
    const GLfloat width = static_cast<GLfloat>(w);
    GLfloat dx = pos[0] < centreX - width / 2 ? -width : pos[0] > centreX + width / 2 ? 0.0f : -width / 2;
    const GLfloat left = static_cast<GLfloat>(viewport[0]), right = left + static_cast<GLfloat>(viewport[2]);
    dx = std::min(dx, right - (pos[0] + width));
    dx = std::max(dx, left - pos[0]);
    gl_->glBitmap(0, 0, 0, 0, dx, static_cast<GLfloat>(-fm.descent() - 1), nullptr);
    // on top of the surface, so that no part of the text is hidden
    // (the view stays opaque: blending touches the colours only)
    gl_->glDisable(GL_DEPTH_TEST);
    gl_->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    gl_->glEnable(GL_BLEND);
    gl_->glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl_->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl_->glDrawPixels(w, h, GL_RGBA, GL_UNSIGNED_BYTE, image.constBits());
    gl_->glDisable(GL_BLEND);
    gl_->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl_->glEnable(GL_DEPTH_TEST);
}

void TGLPanel::mousePressEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (e->button() == Qt::RightButton) {
        update();
    } else if (e->button() == Qt::LeftButton) {
        form_->View.BeginDrag(p.x(), p.y(), e->modifiers() & Qt::ShiftModifier, e->modifiers() & Qt::ControlModifier);
    }
}

void TGLPanel::mouseMoveEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (form_->View.DragTo(p.x(), p.y())) update();
}

void TGLPanel::mouseReleaseEvent(QMouseEvent*) { form_->View.EndDrag(); }

// ---------------------------------------------------------------- the window

std::function<QString()> TForm3DSetting::OpenGLProbe;

QString TForm3DSetting::ProbeOpenGL() {
    QOpenGLContext ctx;
    ctx.setFormat(ViewFormat());
    if (!ctx.create()) return QStringLiteral("no OpenGL context could be created");
    QOffscreenSurface surface;
    surface.setFormat(ctx.format());
    surface.create();
    if (!surface.isValid() || !ctx.makeCurrent(&surface))
        return QStringLiteral("the OpenGL context cannot be used");
    const bool fixedFunction = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_1_5>(&ctx) != nullptr;
    ctx.doneCurrent();
    if (!fixedFunction)
        return QStringLiteral("the OpenGL implementation offers no fixed-function (compatibility) profile of version 1.5");
    return {};
}

namespace {
void ReportFailure(const QString& reason) {
    ShowMessage(QtToLatin1(QStringLiteral("OpenGL could not be initialised: %1. The 3-D view cannot be shown.")
                               .arg(reason)),
                TMsgKind::Error);
}
}  // namespace

TForm3DSetting* TForm3DSetting::Open(TMDIChild* window, TSettings* settings, QMdiArea* area) {
    if (!window || !window->Picture.HasData()) return nullptr;
    const QString failure = OpenGLProbe ? OpenGLProbe() : ProbeOpenGL();
    if (!failure.isEmpty()) {
        ReportFailure(failure);
        return nullptr;
    }
    auto* form = new TForm3DSetting(settings);
    form->setWindowTitle(QStringLiteral("3D-View ") + TitleToQt(window->Title, window->FileName));
    // The frame joins the area before the form (and its drawing panel) joins the frame:
    // a panel that reaches the main window only through a frame added afterwards is
    // left out of the window's composition and shows black on the screen, though it
    // renders off-screen.
    auto* sub = new QMdiSubWindow;
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(AppIcon());
    area->addSubWindow(sub);
    sub->setWidget(form);
    sub->setWindowTitle(form->windowTitle());
    QPointer<QMdiSubWindow> guard = sub;
    auto closeView = [guard] {
        if (guard) guard->close();
    };
    QObject::connect(window, &TMDIChild::Closed, sub, closeView);
    QObject::connect(window, &QObject::destroyed, sub, closeView);
    QObject::connect(form->Panel1, &TGLPanel::InitialisationFailed, sub, [guard](const QString& reason) {
        ReportFailure(reason);
        if (guard) guard->close();
    }, Qt::QueuedConnection);
    form->SetImage(window->Picture);
    ShowToolWindow(area, sub, QSize(731, 540), window);
    if (settings && settings->ValueExists(View3DSection, View3DLeftKey) &&
        settings->ValueExists(View3DSection, View3DTopKey)) {
        // the place it was closed at, while the whole window lies inside the workspace
        const QRect kept(QPoint(settings->ReadInteger(View3DSection, View3DLeftKey, 0),
                                settings->ReadInteger(View3DSection, View3DTopKey, 0)),
                         sub->size());
        if (area->viewport()->rect().contains(kept)) sub->move(kept.topLeft());
    }
    return form;
}

TForm3DSetting::TForm3DSetting(TSettings* settings, QWidget* parent) : QWidget(parent), settings_(settings) {
    setObjectName(QStringLiteral("Form3DSetting"));

    Panel1 = new TGLPanel(this, this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 8, 489, 489);

    auto* gainLabel = new QLabel(QStringLiteral("z-Gain"), this);
    gainLabel->setGeometry(506, 6, 50, 18);
    ScrollBar1 = new QScrollBar(Qt::Vertical, this);
    ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
    ScrollBar1->setGeometry(514, 28, 20, 302);
    ScrollBar1->setRange(MinSlider, MaxSlider);
    ScrollBar1->setPageStep(10);
    ScrollBar1->setValue(View3DDefaultSlider);
    // the mesh is rebuilt when the slider comes to rest, not at every step of a drag
    ScrollBar1->setTracking(false);

    auto* paletteBox = new QGroupBox(QStringLiteral("Palette"), this);
    paletteBox->setGeometry(560, 4, 60, 336);
    ImageFarbverlauf = new QLabel(paletteBox);
    ImageFarbverlauf->setObjectName(QStringLiteral("ImageFarbverlauf"));
    ImageFarbverlauf->setGeometry(14, 26, RampWidth, RampHeight);

    auto* bgBox = new QGroupBox(QStringLiteral("BackGroundColor"), this);
    bgBox->setGeometry(506, 346, 200, 58);
    Panel2 = new QWidget(bgBox);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(10, 24, 180, 24);
    Panel2->setAutoFillBackground(true);
    Panel2->setCursor(Qt::PointingHandCursor);
    Panel2->setToolTip(QStringLiteral("Click to choose the background colour"));
    Panel2->installEventFilter(this);

    auto* scaleBox = new QGroupBox(QStringLiteral("ScalaBar"), this);
    scaleBox->setGeometry(506, 410, 200, 50);
    CheckBoxSkala = new QCheckBox(QStringLiteral("Show"), scaleBox);
    CheckBoxSkala->setObjectName(QStringLiteral("CheckBoxSkala"));
    CheckBoxSkala->setGeometry(10, 22, 180, 22);

    Button1 = new QPushButton(QStringLiteral("Copy"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(506, 468, 100, 30);

    if (settings_) CheckBoxSkala->setChecked(settings_->ReadBool(View3DSection, View3DScaleKey, false));
    ShowSwatch();

    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TForm3DSetting::ScrollBar1Change);
    connect(CheckBoxSkala, &QCheckBox::clicked, this, &TForm3DSetting::CheckBoxSkalaClick);
    connect(Button1, &QPushButton::clicked, this, &TForm3DSetting::Button1Click);
    setMinimumSize(714, 505);
}

TForm3DSetting::~TForm3DSetting() {
    if (!settings_) return;
    settings_->WriteInteger(View3DSection, View3DSliderKey, ScrollBar1->value());
    settings_->WriteBool(View3DSection, View3DScaleKey, CheckBoxSkala->isChecked());
    const QWidget* frame = parentWidget() ? parentWidget() : this;
    settings_->WriteInteger(View3DSection, View3DLeftKey, frame->x());
    settings_->WriteInteger(View3DSection, View3DTopKey, frame->y());
}

void TForm3DSetting::SetImage(const TQTVPicture& picture) {
    Para = picture.Para;
    Min = picture.Min;
    Max = picture.Max;
    int position = View3DDefaultSlider;
    if (settings_) position = settings_->ReadInteger(View3DSection, View3DSliderKey, View3DDefaultSlider);
    position = std::clamp(position, MinSlider, MaxSlider);
    {
        const QSignalBlocker block(ScrollBar1);
        ScrollBar1->setValue(position);
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Mesh.SetGain(GainPercentOfSlider(position));
    Mesh.SetImage(picture);
    QApplication::restoreOverrideCursor();

    const std::vector<uint32_t> ramp = ColourRamp(Mesh.ColourTable());
    const QImage rampImage(reinterpret_cast<const uchar*>(ramp.data()), RampWidth, RampHeight, RampWidth * 4,
                           QImage::Format_ARGB32);
    ImageFarbverlauf->setPixmap(QPixmap::fromImage(rampImage.copy()));

    QCoreApplication::processEvents();
    Panel1->update();
}

QColor TForm3DSetting::BackgroundColour() const {
    const int c = settings_ ? settings_->ReadInteger(View3DSection, View3DBGColorKey, View3DDefaultBGColor)
                            : View3DDefaultBGColor;
    return FromColourValue(c);
}

void TForm3DSetting::ShowSwatch() {
    QPalette pal = Panel2->palette();
    pal.setColor(QPalette::Window, BackgroundColour());
    Panel2->setPalette(pal);
}

void TForm3DSetting::ScrollBar1Change(int position) {
    Mesh.SetGain(GainPercentOfSlider(position));  // the next paint works out the new surface
    Panel1->update();
}

bool TForm3DSetting::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Panel2 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Panel2Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TForm3DSetting::Panel2Click() {
    QColor colour = BackgroundColour();
    bool ok = false;
    if (ChooseColour) {
        ok = ChooseColour(colour);
    } else {
        const QColor chosen = QColorDialog::getColor(colour, this, QStringLiteral("Color"));
        ok = chosen.isValid();
        if (ok) colour = chosen;
    }
    if (!ok) return;
    if (settings_) settings_->WriteInteger(View3DSection, View3DBGColorKey, ToColourValue(colour));
    ShowSwatch();
    Panel1->update();
}

void TForm3DSetting::CheckBoxSkalaClick() { Panel1->update(); }

QImage TForm3DSetting::RenderedImage() {
    if (!Panel1->gl_) return {};
    return Panel1->grabFramebuffer();
}

void TForm3DSetting::Button1Click() {
    const QImage image = RenderedImage();
    if (image.isNull()) return;
    QApplication::clipboard()->setImage(image.convertToFormat(QImage::Format_RGB32));
}
