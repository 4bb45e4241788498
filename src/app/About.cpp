#include "app/About.h"
#include "app/Startup.h"

#include <QLabel>
#include <QPushButton>

#include "app/Icons.h"

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setFixedSize(340, 220);

    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setPixmap(AppIcon().pixmap(64, 64));
    ProgramIcon->setGeometry(16, 16, 64, 64);
    ProductName = new QLabel(QStringLiteral("Morvane"), this);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont big = ProductName->font();
    big.setPointSize(big.pointSize() > 0 ? big.pointSize() + 6 : 16);
    big.setBold(true);
    ProductName->setFont(big);
    ProductName->setGeometry(96, 16, 228, 32);
    Version = new QLabel(QString::fromLatin1(VersionText), this);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setGeometry(96, 52, 228, 22);
    Comments = new QLabel(
        QStringLiteral("Viewing, processing and analysing height images of scanning probe "
                       "microscopes.\n\nWritten with Qt; the JPEG output uses libjpeg-turbo, the "
                       "settings file SimpleIni."),
        this);
    Comments->setObjectName(QStringLiteral("Comments"));
    Comments->setWordWrap(true);
    Comments->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Comments->setGeometry(16, 92, 308, 80);
    OKbtn = new QPushButton(QStringLiteral("OK"), this);
    OKbtn->setObjectName(QStringLiteral("OKbtn"));
    OKbtn->setGeometry(130, 180, 80, 28);
    OKbtn->setDefault(true);
    connect(OKbtn, &QPushButton::clicked, this, &QDialog::close);
}
