#pragma once
// FontDialog1: a font chooser with the font's colour, as the z-bar and label fonts need.
#include "app/Childwin.h"

class QWidget;

// Runs the dialog preset with font; true and the choice in font when confirmed.
bool ExecFontDialog(QWidget* parent, const QString& title, TDisplayFont& font);
