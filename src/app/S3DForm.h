#pragma once
// TS3DForm: the simple 3-D view. An MDI child beside its image window that draws the
// image as a slanted relief of height strokes (view3d/S3D) with a gain and a shift,
// on "Draw" or Enter in either edit, and shows how long the drawing took.
#include <QImage>
#include <QPointer>
#include <QWidget>

#include "view3d/S3D.h"

class QLabel;
class QLineEdit;
class QMdiArea;
class QPushButton;
class TMDIChild;
class TSettings;

// Image1: shows its picture stretched over the whole control.
class TStretchImage : public QWidget {
    Q_OBJECT
public:
    explicit TStretchImage(QWidget* parent);
    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QImage picture_;
};

class TS3DForm : public QWidget {
    Q_OBJECT
public:
    // Opens the view of window's image in area, captioned with the window's caption;
    // it closes with the image window. settings may be null (defaults, nothing kept).
    static TS3DForm* Open(TMDIChild* window, TSettings* settings, QMdiArea* area);

    TS3DForm(TMDIChild* window, TSettings* settings, QWidget* parent = nullptr);
    ~TS3DForm() override;

    QWidget* Panel1 = nullptr;  // the left panel
    QLineEdit* Edit1 = nullptr;  // z-Gain
    QLineEdit* Edit2 = nullptr;  // Shift
    QPushButton* Button1 = nullptr;  // "Draw"
    QLabel* Label1 = nullptr;  // elapsed time
    TStretchImage* Image1 = nullptr;

    // The last drawing (palette indices), for whoever wants to look at it closely.
    const TRelief& Relief() const { return relief_; }

public slots:
    void Button1Click();

private:
    QPointer<TMDIChild> window_;
    TSettings* settings_;
    TRelief relief_;
};
