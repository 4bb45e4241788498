#pragma once
// TAxesForm: the rescale dialog. Edits the scan ranges and units of the current image
// window and rescales its heights to a new z range. Created hidden at start-up, shown
// without waiting, centred on the main window; no close box. The rescale itself lives
// in src/processing/Arithmetic.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TMainForm;

class TAxesForm : public QDialog {
    Q_OBJECT
public:
    explicit TAxesForm(TMainForm* main);

    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr;
    QLineEdit *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr;  // x, y scan range; z range
    QLineEdit *Edit4 = nullptr, *Edit5 = nullptr, *Edit6 = nullptr;  // x, y, z unit
    QPushButton *BitBtn2 = nullptr, *BitBtn1 = nullptr;              // OK, Cancel

    // Enter in a range field: a readable number is shown in the shortest form and the
    // field turns white; otherwise it turns red.
    void EditKeyPress(QLineEdit* edit);

public slots:
    void FormShow();
    void BitBtn2Click();  // OK
    void BitBtn1Click();  // Cancel

protected:
    void showEvent(QShowEvent*) override;
    void reject() override;  // Escape

private:
    TMainForm* main_;
};
