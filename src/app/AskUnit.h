#pragma once
// TAskForm: the channel selection of a native open. One check box per channel of the
// parameter file, previews beside the data files, "DefautChecked" remembered per
// caption. Load or Cancel (also Escape and the window's close box) hands the choice
// to the loader, which is then freed with the dialog.
#include <QDialog>
#include <QImage>

#include <memory>
#include <vector>

class QCheckBox;
class QPushButton;
class QScrollArea;
class TLoadFiles;
class TLoadTarget;
class TSettings;

// Image1: the preview area; two grey diagonals until a preview is drawn.
class TPreviewImage : public QWidget {
    Q_OBJECT
public:
    explicit TPreviewImage(QWidget* parent);
    void ShowPicture(const QImage& picture);
    const QImage& Canvas() const { return canvas_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    QImage canvas_;
    QImage shown_;
};

class TAskForm : public QDialog {
    Q_OBJECT
public:
    // main: the window the dialog is placed beside; target receives the loaded images.
    TAskForm(QWidget* main, TSettings* settings, TLoadTarget* target,
             std::unique_ptr<TLoadFiles> loader);
    ~TAskForm() override;

    void ShowChannels();
    void CheckBoxMouseMove(int index);
    bool Finished() const { return finished_; }

    TPreviewImage* Image1 = nullptr;
    // the check boxes, in a list that scrolls when they do not fit on the screen
    QScrollArea* ChannelList = nullptr;
    static constexpr int ListTop = 4;  // room above the first box inside the list
    QPushButton *BitBtn1 = nullptr, *BitBtn2 = nullptr, *LoadButton = nullptr, *Button1 = nullptr;
    std::vector<QImage> ImageList1;           // preview of channel i in slot i (0 unused)
    std::vector<QCheckBox*> CheckBoxes;       // box of channel i at i - 1
    std::vector<std::string> BoxCaptions;     // the caption each box stands for

public slots:
    void BitBtn1Click();
    void BitBtn2Click();
    void LoadButtonClick();
    void CancelButtonClick();
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Finish(const std::vector<bool>& checked);
    TSettings* settings_;
    TLoadTarget* target_;
    std::unique_ptr<TLoadFiles> loader_;
    bool finished_ = false;
};
