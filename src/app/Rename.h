#pragma once
// TRenameForm: retitles an image window. Created hidden at start-up, shown by
// Window > Rename with the window's title.
#include <QDialog>
#include <QPointer>

#include "app/Childwin.h"

class QLabel;
class QLineEdit;
class QPushButton;

class TRenameForm : public QDialog {
    Q_OBJECT
public:
    explicit TRenameForm(QWidget* parent);
    // Shows the dialog for window, its title in Edit1.
    void Start(TMDIChild* window);

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton *BitBtn1 = nullptr, *BitBtn2 = nullptr;
    QPointer<TMDIChild> Target;

public slots:
    void BitBtn1Click();
    void BitBtn2Click();
};
