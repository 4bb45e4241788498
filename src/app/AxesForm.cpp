#include "app/AxesForm.h"

#include "processing/Operations.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/EditColours.h"
#include "app/MainForm.h"
#include "app/QtMessageSink.h"
#include "core/Errors.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "processing/Arithmetic.h"
#include "processing/WorkingCopy.h"

TAxesForm::TAxesForm(TMainForm* main)
    : QDialog(main, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), main_(main)
{
    setObjectName(QStringLiteral("AxesForm"));
    setWindowTitle(QStringLiteral("Rescale"));
    setProperty("helpTopic", 28);
    setModal(false);
    setFixedSize(300, 160);
    auto label = [&](const char* name, const char* text, int y) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(12, y + 3, 60, 18);
        return l;
    };
    auto edit = [&](const char* name, int x, int y, int w) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(x, y, w, 24);
        return e;
    };
    Label1 = label("Label1", "X Axes", 12);
    Label2 = label("Label2", "Y Axes", 44);
    Label3 = label("Label3", "Z Axes", 76);
    Edit1 = edit("Edit1", 76, 12, 130);
    Edit2 = edit("Edit2", 76, 44, 130);
    Edit3 = edit("Edit3", 76, 76, 130);
    Edit4 = edit("Edit4", 214, 12, 74);
    Edit5 = edit("Edit5", 214, 44, 74);
    Edit6 = edit("Edit6", 214, 76, 74);
    for (QLineEdit* e : {Edit1, Edit2, Edit3}) {
        WatchEdits(e);  // EditKeyDown: silver while typed in
        connect(e, &QLineEdit::returnPressed, this, [this, e] { EditKeyPress(e); });
    }
    BitBtn2 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(112, 120, 84, 28);
    BitBtn1 = new QPushButton(QStringLiteral("Cancel"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(204, 120, 84, 28);
    // Enter confirms a field; it does not press OK
    BitBtn2->setAutoDefault(false);
    BitBtn1->setAutoDefault(false);
    connect(BitBtn2, &QPushButton::clicked, this, &TAxesForm::BitBtn2Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TAxesForm::BitBtn1Click);
}

void TAxesForm::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (parentWidget()) {
        const QRect p = parentWidget()->frameGeometry();
        move(p.center() - QPoint(width() / 2, height() / 2));
    }
    FormShow();
}

void TAxesForm::FormShow()
{
    TMDIChild* w = main_->Current();
    if (!w) return;
    const TQTVPicture& pic = w->Picture;
    Edit1->setText(Latin1ToQt(FormatShortest(pic.Para.XScanRange)));
    Edit2->setText(Latin1ToQt(FormatShortest(pic.Para.YScanRange)));
    Edit3->setText(Latin1ToQt(FormatShortest(static_cast<double>(pic.Max) - static_cast<double>(pic.Min))));
    Edit4->setText(Latin1ToQt(pic.Para.XPhysUnit));
    Edit5->setText(Latin1ToQt(pic.Para.YPhysUnit));
    Edit6->setText(Latin1ToQt(pic.Para.PhysUnit));
    for (QLineEdit* e : {Edit1, Edit2, Edit3}) SetEditState(e, TEditState::Standard);
}

void TAxesForm::EditKeyPress(QLineEdit* edit)
{
    long double v = 0;
    if (TryStrToFloat(QtToLatin1(edit->text()), v)) {
        edit->setText(Latin1ToQt(FormatShortest(v)));
        SetEditState(edit, TEditState::Accepted);
    } else {
        SetEditState(edit, TEditState::Rejected);
    }
}

void TAxesForm::BitBtn2Click()
{
    for (QLineEdit* e : {Edit1, Edit2, Edit3})
        if (EditState(e) == TEditState::Rejected) {
            ShowMessage("Please confirm all values first!");
            return;
        }
    double v[3] = {0, 0, 0};
    QLineEdit* fields[3] = {Edit1, Edit2, Edit3};
    for (int i = 0; i < 3; ++i) {
        SetEditState(fields[i], TEditState::Rejected);
        try {
            v[i] = static_cast<double>(StrToFloat(QtToLatin1(fields[i]->text())));
        } catch (const EConvertError& e) {
            ShowFailure(e);  // the field stays red
            return;
        }
        SetEditState(fields[i], TEditState::Accepted);
    }
    TMDIChild* w = main_->Current();
    if (!w) {
        hide();
        return;
    }
    TRescaleOp op;
    op.Units = true;
    TRescale& rs = op.Rescale;
    rs.XRange = v[0];
    rs.YRange = v[1];
    rs.ZRange = v[2];
    rs.XUnit = QtToLatin1(Edit4->text());
    rs.YUnit = QtToLatin1(Edit5->text());
    rs.ZUnit = QtToLatin1(Edit6->text());
    const bool newScale = RescaleChangesHeights(w->Picture, rs.ZRange);
    TImageChange step(w);
    if (!ApplyRescale(w->Picture, rs)) return;  // told why; the image is as it was
    w->History.push_back(HistoryEntry(op));
    // heights on a new scale: the colour range follows them, as View > Refresh does
    if (newScale && FollowNewValueScale(w->Picture)) w->History.push_back(HistoryEntry(TRangeOp{}));
    w->Redraw();
    hide();
}

void TAxesForm::BitBtn1Click() { hide(); }

void TAxesForm::reject() { hide(); }
