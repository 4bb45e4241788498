#pragma once
// TAboutBox: program icon, version and credits; not modal.
#include <QDialog>

class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent);
    QLabel *ProgramIcon = nullptr, *ProductName = nullptr, *Version = nullptr, *Comments = nullptr;
    QPushButton* OKbtn = nullptr;
};
