#include "app/S3DForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPushButton>

#include "app/Childwin.h"
#include "app/Icons.h"
#include "app/WindowPlacement.h"
#include "app/QtMessageSink.h"
#include "core/Errors.h"
#include "core/Numbers.h"
#include "core/Settings.h"

TStretchImage::TStretchImage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TStretchImage::SetPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void TStretchImage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (picture_.isNull()) {
        p.fillRect(rect(), palette().window());
        return;
    }
    // strokes are one pixel wide: averaging keeps thin ones visible when shrinking
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.drawImage(rect(), picture_);
}

TS3DForm* TS3DForm::Open(TMDIChild* window, TSettings* settings, QMdiArea* area) {
    if (!window || !window->Picture.HasData()) return nullptr;
    auto* form = new TS3DForm(window, settings);
    auto* sub = new QMdiSubWindow;
    sub->setWidget(form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(AppIcon());
    sub->setWindowTitle(form->windowTitle());
    area->addSubWindow(sub);
    // the view belongs to its image window: it closes with it
    QPointer<QMdiSubWindow> guard = sub;
    auto closeView = [guard] {
        if (guard) guard->close();
    };
    QObject::connect(window, &TMDIChild::Closed, sub, closeView);
    QObject::connect(window, &QObject::destroyed, sub, closeView);
    ShowToolWindow(area, sub, QSize(532, 408), window);
    // the relief is there at once, drawn with the remembered gain and shift
    form->Button1Click();
    return form;
}

TS3DForm::TS3DForm(TMDIChild* window, TSettings* settings, QWidget* parent)
    : QWidget(parent), window_(window), settings_(settings) {
    setObjectName(QStringLiteral("S3DForm"));
    setWindowTitle(window ? TitleToQt(window->Title, window->FileName) : QString());

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedWidth(105);
    auto* gainLabel = new QLabel(QStringLiteral("z-Gain"), Panel1);
    gainLabel->setGeometry(8, 8, 89, 18);
    Edit1 = new QLineEdit(Panel1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(8, 26, 89, 24);
    auto* shiftLabel = new QLabel(QStringLiteral("Shift"), Panel1);
    shiftLabel->setGeometry(8, 60, 89, 18);
    Edit2 = new QLineEdit(Panel1);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(8, 78, 89, 24);
    Button1 = new QPushButton(QStringLiteral("Draw"), Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(8, 116, 89, 28);
    Label1 = new QLabel(QStringLiteral("Time"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 154, 89, 18);

    Image1 = new TStretchImage(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(Image1, 1);

    std::string gain = ReliefGainDefault, shift = ReliefShiftDefault;
    if (settings_) {
        gain = settings_->ReadString(ReliefSection, ReliefGainKey, gain);
        shift = settings_->ReadString(ReliefSection, ReliefShiftKey, shift);
    }
    Edit1->setText(Latin1ToQt(gain));
    Edit2->setText(Latin1ToQt(shift));

    connect(Button1, &QPushButton::clicked, this, &TS3DForm::Button1Click);
    connect(Edit1, &QLineEdit::returnPressed, this, &TS3DForm::Button1Click);
    connect(Edit2, &QLineEdit::returnPressed, this, &TS3DForm::Button1Click);
}

TS3DForm::~TS3DForm() {
    if (!settings_) return;
    settings_->WriteString(ReliefSection, ReliefGainKey, QtToLatin1(Edit1->text()));
    settings_->WriteString(ReliefSection, ReliefShiftKey, QtToLatin1(Edit2->text()));
}

void TS3DForm::Button1Click() {
    if (!window_) return;
    const TQTVPicture& pic = window_->Picture;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QElapsedTimer timer;
    timer.start();

    const TReliefEdits edits = ReadReliefEdits(QtToLatin1(Edit1->text()), QtToLatin1(Edit2->text()));
    Edit1->setText(Latin1ToQt(edits.GainText));
    Edit2->setText(Latin1ToQt(edits.ShiftText));
    try {
        relief_ = DrawRelief(pic, edits.ZGain, edits.Shift);
    } catch (const EAbort&) {  // already told the user
        QApplication::restoreOverrideCursor();
        return;
    }
    if (relief_.Width > 0 && relief_.Height > 0) {
        QImage image(relief_.Pixels.data(), relief_.Width, relief_.Height, relief_.Width, QImage::Format_Indexed8);
        QVector<QRgb> colours(256);
        for (int i = 0; i < 256; ++i) colours[i] = pic.PaletteColor(i) | 0xFF000000u;
        image.setColorTable(colours);
        Image1->SetPicture(image.copy());
    }

    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    Label1->setText(Latin1ToQt(FormatFixed(seconds, 15, 2) + "s"));
    QApplication::restoreOverrideCursor();
}
