#pragma once
// Numeric input fields show their state in their colour: silver while typed in (not
// yet confirmed), white once Enter accepted a readable number, red when the text was
// refused. Actions look at the colour: a red field refuses the action.
#include <QColor>

class QLineEdit;

enum class TEditState { Standard, Edited, Accepted, Rejected };

inline const QColor EditedColour{192, 192, 192};   // silver
inline const QColor AcceptedColour{255, 255, 255}; // white
inline const QColor RejectedColour{255, 0, 0};     // red

void SetEditState(QLineEdit* edit, TEditState state);
TEditState EditState(const QLineEdit* edit);
QColor EditColour(const QLineEdit* edit);
// Turns the field silver on every key that edits its text.
void WatchEdits(QLineEdit* edit);
