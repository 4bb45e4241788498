#include "app/FontDialog.h"

#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
void PaintSwatch(QPushButton* b, const QColor& c) {
    QPixmap pm(32, 16);
    pm.fill(c);
    b->setIcon(QIcon(pm));
    b->setIconSize(pm.size());
}
}  // namespace

bool ExecFontDialog(QWidget* parent, const QString& title, TDisplayFont& font) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("FontDialog1"));
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* chooser = new QFontDialog(&dialog);
    chooser->setWindowFlags(Qt::Widget);
    chooser->setOption(QFontDialog::NoButtons);
    // the dialog works in points; the display fonts are pixel-sized (96 per inch)
    QFont preset = font.Font;
    if (preset.pixelSize() > 0) preset.setPointSize(std::max(1, (preset.pixelSize() * 72 + 48) / 96));
    chooser->setCurrentFont(preset);
    layout->addWidget(chooser);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Color:"), &dialog));
    auto* colorButton = new QPushButton(&dialog);
    colorButton->setObjectName(QStringLiteral("ColorButton"));
    QColor color = font.Color;
    PaintSwatch(colorButton, color);
    row->addWidget(colorButton);
    row->addStretch();
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(colorButton, &QPushButton::clicked, &dialog, [&] {
        QColor c = QColorDialog::getColor(color, &dialog, QStringLiteral("Color"));
        if (c.isValid()) {
            color = c;
            PaintSwatch(colorButton, color);
        }
    });
    if (dialog.exec() != QDialog::Accepted) return false;
    QFont chosen = chooser->currentFont();
    const int points = chosen.pointSize() > 0 ? chosen.pointSize() : 9;
    chosen.setPixelSize(std::max(1, (points * 96 + 36) / 72));
    font.Font = chosen;
    font.Color = color;
    return true;
}
