#include "app/Rename.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/QtMessageSink.h"

TRenameForm::TRenameForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("RenameForm"));
    setWindowTitle(QStringLiteral("Rename"));
    setProperty("helpTopic", 1);
    setFixedSize(330, 96);
    Label1 = new QLabel(QStringLiteral("Name:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(12, 16, 50, 22);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(64, 14, 254, 24);
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(142, 56, 84, 28);
    BitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(234, 56, 84, 28);
    BitBtn1->setAutoDefault(false);
    BitBtn2->setAutoDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, &TRenameForm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TRenameForm::BitBtn2Click);
    connect(Edit1, &QLineEdit::returnPressed, this, &TRenameForm::BitBtn1Click);
    connect(this, &QDialog::rejected, this, [this] { Target = nullptr; });
}

void TRenameForm::Start(TMDIChild* window) {
    Target = window;
    if (window) Edit1->setText(TitleToQt(window->Title, window->FileName));
    Edit1->selectAll();
    show();
    raise();
    activateWindow();
    Edit1->setFocus();
}

void TRenameForm::BitBtn1Click() {
    // the window chosen when the dialog opened; it may have been closed meanwhile
    if (Target) Target->SetTitle(QtToTitle(Edit1->text(), Target->FileName));
    Target = nullptr;
    hide();
}

void TRenameForm::BitBtn2Click() {
    Target = nullptr;
    hide();
}
