#pragma once
// TArithForm: combines two image windows of equal size sample by sample with +, -, *
// or / and opens the result as a new image window "Calculus". The operands are dropped
// from image windows' pictures; the dialog holds them by identity, so an operand
// whose window closes simply leaves its side empty. Created hidden at start-up, shown
// without waiting, a tool window of the main window that opens inside its workspace;
// Escape closes it. The arithmetic lives in src/processing/Arithmetic.
#include <QImage>
#include <QPointer>
#include <QWidget>

#include "app/Childwin.h"
#include "core/Picture.h"

class QLabel;
class QLineEdit;
class QPushButton;
class TMainForm;
class TSettings;

// Image1 / Image2 / Image3 of the dialog: a picture stretched over the control; the
// operand fields take image windows dropped on them.
class TDropPicture : public QWidget {
    Q_OBJECT
public:
    TDropPicture(QWidget* parent, bool dropTarget);
    void SetPicture(const QImage& image);
    const QImage& Picture() const { return image_; }

signals:
    void WindowDropped(int windowNumber);
    void Clicked();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void dragEnterEvent(QDragEnterEvent*) override;
    void dragMoveEvent(QDragMoveEvent*) override;
    void dropEvent(QDropEvent*) override;

private:
    QImage image_;
};

class TArithForm : public QWidget {
    Q_OBJECT
public:
    TArithForm(TMainForm* main, TSettings* settings);

    QPointer<TMDIChild> FirstWindow, SecondWindow;
    TQTVPicture ResultPicture;
    // The history of the result: the first operand's, then the arithmetic step naming
    // the second operand (its file and channel where it came from one).
    std::vector<std::string> ResultHistory;

    TDropPicture *Image1 = nullptr, *Image2 = nullptr, *Image3 = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr, *Label5 = nullptr,
           *Label6 = nullptr, *Label7 = nullptr, *Label8 = nullptr, *Label9 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;

    // Makes window the first (side 1) or second (side 2) operand; null empties the side.
    void SetOperand(int side, TMDIChild* window);
    // The operator key handling of Edit1: true when the key was one of + - / *; any
    // other key keeps the operator there and beeps.
    bool Edit1KeyPress(const QString& key);
    // The operator the field holds ("" for none).
    std::string Operator() const;

public slots:
    void FormShow();
    void Image3Click();   // "=": compute (also Label1)
    void Button1Click();  // "Use"

protected:
    void showEvent(QShowEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The reason "=" or "Use" cannot go on (an empty side, no operator), shown; false
    // when both operands and the operator are there.
    bool ReportMissingOperand();
    // Inside the main window's workspace (its bottom right corner, clear of menu and
    // tool bar) unless the window already lies entirely inside it.
    void PlaceInWorkspace();
    TMainForm* main_;
    TSettings* settings_;
};
