#include "app/EditColours.h"

#include <QLineEdit>
#include <QPalette>

namespace {
constexpr const char* StateProperty = "editState";
}

void SetEditState(QLineEdit* edit, TEditState state)
{
    if (!edit) return;
    QPalette p = edit->palette();
    switch (state) {
    case TEditState::Standard: p = QPalette(); break;
    case TEditState::Edited: p.setColor(QPalette::Base, EditedColour); break;
    case TEditState::Accepted: p.setColor(QPalette::Base, AcceptedColour); break;
    case TEditState::Rejected: p.setColor(QPalette::Base, RejectedColour); break;
    }
    edit->setPalette(p);
    edit->setProperty(StateProperty, static_cast<int>(state));
}

TEditState EditState(const QLineEdit* edit)
{
    if (!edit) return TEditState::Standard;
    const QVariant v = edit->property(StateProperty);
    return v.isValid() ? static_cast<TEditState>(v.toInt()) : TEditState::Standard;
}

QColor EditColour(const QLineEdit* edit) { return edit ? edit->palette().color(QPalette::Base) : QColor(); }

void WatchEdits(QLineEdit* edit)
{
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit] { SetEditState(edit, TEditState::Edited); });
}
