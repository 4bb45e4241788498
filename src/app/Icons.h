#pragma once
// The program icon and the speed-button glyphs, drawn at run time.
#include <QIcon>

QIcon AppIcon();
QIcon FilterGlyph();
QIcon LevelGlyph();
QIcon HistogramGlyph();
QIcon OpenGlyph();
QIcon SaveGlyph();
QIcon ExitGlyph();
