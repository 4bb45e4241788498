#include "app/AskUnit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>

#include "app/QtMessageSink.h"
#include "core/Display.h"
#include "core/Settings.h"
#include "formats/LoadFiles.h"

namespace {
constexpr int PreviewMaxSide = 4096;  // larger preview bitmaps are not loaded

QImage LoadPreview(const std::string& dataPath) {
    for (const std::string& name : PreviewCandidates(dataPath)) {
        const QString file = PathToQt(name);
        if (!QFileInfo(file).isFile()) continue;
        QImageReader reader(file);
        const QSize size = reader.size();
        if (!size.isValid() || size.width() > PreviewMaxSide || size.height() > PreviewMaxSide)
            return QImage();
        return reader.read();  // null when it cannot be read: the slot stays empty
    }
    return QImage();
}

QString BoxText(const std::string& caption) {
    QString t = Latin1ToQt(caption);
    t.replace(QLatin1Char('&'), QLatin1String("&&"));
    return t;
}
}  // namespace

// ---------------------------------------------------------------- Image1

TPreviewImage::TPreviewImage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Image1"));
}

void TPreviewImage::resizeEvent(QResizeEvent*) {
    if (!shown_.isNull()) return;
    canvas_ = QImage(std::max(1, width()), std::max(1, height()), QImage::Format_RGB32);
    canvas_.fill(Qt::white);
    QPainter p(&canvas_);
    p.setPen(QColor(128, 128, 128));
    p.drawLine(0, 0, canvas_.width() - 1, canvas_.height() - 1);
    p.drawLine(0, canvas_.height() - 1, canvas_.width() - 1, 0);
}

void TPreviewImage::ShowPicture(const QImage& picture) {
    if (picture.isNull()) return;
    shown_ = picture;
    canvas_ = QImage(std::max(1, width()), std::max(1, height()), QImage::Format_RGB32);
    QPainter p(&canvas_);
    p.drawImage(canvas_.rect(), picture);
    update();
}

void TPreviewImage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!shown_.isNull())
        p.drawImage(rect(), shown_);
    else
        p.drawImage(rect(), canvas_);
}

// ---------------------------------------------------------------- TAskForm

TAskForm::TAskForm(QWidget* main, TSettings* settings, TLoadTarget* target,
                   std::unique_ptr<TLoadFiles> loader)
    : QDialog(main, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      settings_(settings),
      target_(target),
      loader_(std::move(loader)) {
    setObjectName(QStringLiteral("AskForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setProperty("helpTopic", 2);
    setModal(false);
    resize(484, 211);
    if (main) move(main->frameGeometry().left() + 50, main->frameGeometry().top() + 121);

    Image1 = new TPreviewImage(this);
    ChannelList = new QScrollArea(this);
    ChannelList->setObjectName(QStringLiteral("ChannelList"));
    ChannelList->setFrameShape(QFrame::NoFrame);
    ChannelList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ChannelList->setWidgetResizable(false);
    auto* boxes = new QWidget;
    boxes->setObjectName(QStringLiteral("ChannelBoxes"));
    ChannelList->setWidget(boxes);
    BitBtn1 = new QPushButton(QStringLiteral("All"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setToolTip(QStringLiteral("Select All"));
    BitBtn2 = new QPushButton(QStringLiteral("None"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setToolTip(QStringLiteral("Select None"));
    LoadButton = new QPushButton(QStringLiteral("Load"), this);
    LoadButton->setObjectName(QStringLiteral("LoadButton"));
    Button1 = new QPushButton(QStringLiteral("Cancel"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    for (QPushButton* b : {BitBtn1, BitBtn2, LoadButton, Button1}) b->setAutoDefault(false);
    LoadButton->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &TAskForm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TAskForm::BitBtn2Click);
    connect(LoadButton, &QPushButton::clicked, this, &TAskForm::LoadButtonClick);
    connect(Button1, &QPushButton::clicked, this, &TAskForm::CancelButtonClick);
}

TAskForm::~TAskForm() {
    // destroyed with its parent while waiting: the loader is finished as by Cancel
    if (!finished_ && loader_) {
        finished_ = true;
        try {
            loader_->LoadChecked(std::vector<bool>(), *target_);
        } catch (...) {
        }
    }
}

void TAskForm::ShowChannels() {
    const int n = loader_ ? loader_->Count() : 0;
    setWindowTitle(QStringLiteral("Load ") + PathToQt(ExtractFileName(loader_ ? loader_->FilePath() : std::string())));
    ImageList1.assign(static_cast<size_t>(n) + 1, QImage());
    bool anyPreview = false;
    for (int i = 1; i <= n; ++i) {
        const std::string caption = loader_->Caption(i);
        auto* box = new QCheckBox(BoxText(caption), ChannelList->widget());
        box->setObjectName(QStringLiteral("CheckBox%1").arg(i));
        box->setProperty("channel", i);
        // at (32, 60 + 20 i) of the dialog while the list needs no scrolling
        box->setGeometry(32, ListTop + 20 * (i - 1), 200, 20);
        box->setChecked(settings_ ? settings_->ReadBool("DefautChecked", caption, true) : true);
        box->setMouseTracking(true);
        box->installEventFilter(this);
        const std::string dataPath = loader_->DataPath(i);
        if (!QFileInfo(PathToQt(dataPath)).isFile()) {
            box->setEnabled(false);
            box->setChecked(false);
            box->setText(BoxText(caption + " - File doesn\xB4t exist!"));
            QPalette pal = box->palette();
            for (auto group : {QPalette::Disabled, QPalette::Active, QPalette::Inactive}) {
                pal.setColor(group, QPalette::WindowText, Qt::red);
                pal.setColor(group, QPalette::ButtonText, Qt::red);
                pal.setColor(group, QPalette::Text, Qt::red);
            }
            box->setPalette(pal);
        }
        ImageList1[static_cast<size_t>(i)] = LoadPreview(dataPath);
        anyPreview = anyPreview || !ImageList1[static_cast<size_t>(i)].isNull();
        CheckBoxes.push_back(box);
        BoxCaptions.push_back(caption);
    }
    // as tall as the channels need, but never taller than the screen: a long list
    // scrolls, and Load and Cancel stay in reach
    int h = 20 * n + 200;
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 1024);
    const int most = std::max(211, avail.height() - 60);
    h = std::min(h, most);
    const int w = anyPreview ? h + 270 : 484;
    setFixedSize(w, h);
    const int listBottom = h - 64;
    ChannelList->setGeometry(0, 80 - ListTop, anyPreview ? 270 : w, listBottom - (80 - ListTop));
    ChannelList->widget()->resize(32 + 200 + 8, ListTop + 20 * n);
    if (frameGeometry().bottom() > avail.bottom())
        move(x(), std::max(avail.top(), avail.bottom() - frameGeometry().height()));
    Image1->setGeometry(w - h, 0, h, h);
    Image1->setVisible(anyPreview);
    BitBtn1->setGeometry(32, 24, 90, 28);
    BitBtn2->setGeometry(132, 24, 90, 28);
    LoadButton->setGeometry(32, h - 56, 90, 28);
    Button1->setGeometry(132, h - 56, 90, 28);
    show();
    raise();
}

void TAskForm::CheckBoxMouseMove(int index) {
    if (index < 1 || index >= static_cast<int>(ImageList1.size())) return;
    const QImage& slot = ImageList1[static_cast<size_t>(index)];
    if (!slot.isNull()) Image1->ShowPicture(slot);
}

bool TAskForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        const QVariant channel = watched->property("channel");
        if (channel.isValid()) CheckBoxMouseMove(channel.toInt());
    }
    return QDialog::eventFilter(watched, event);
}

void TAskForm::BitBtn1Click() {
    for (QCheckBox* b : CheckBoxes)
        if (b->isEnabled()) b->setChecked(true);
}

void TAskForm::BitBtn2Click() {
    for (QCheckBox* b : CheckBoxes) b->setChecked(false);
}

void TAskForm::LoadButtonClick() {
    if (finished_) return;
    std::vector<bool> checked(CheckBoxes.size() + 1, false);
    for (size_t i = 0; i < CheckBoxes.size(); ++i) {
        checked[i + 1] = CheckBoxes[i]->isChecked();
        if (CheckBoxes[i]->isEnabled() && settings_)
            settings_->WriteBool("DefautChecked", BoxCaptions[i], CheckBoxes[i]->isChecked());
    }
    Finish(checked);
}

void TAskForm::CancelButtonClick() {
    if (finished_) return;
    BitBtn2Click();
    Finish(std::vector<bool>(CheckBoxes.size() + 1, false));
}

void TAskForm::reject() { CancelButtonClick(); }

void TAskForm::Finish(const std::vector<bool>& checked) {
    finished_ = true;
    hide();
    std::unique_ptr<TLoadFiles> loader = std::move(loader_);
    try {
        if (loader && target_) loader->LoadChecked(checked, *target_);
    } catch (const std::exception& e) {
        ShowFailure(e);
    }
    loader.reset();  // the loader ends with the load
    close();
}

void TAskForm::closeEvent(QCloseEvent* event) {
    // the window's close box: as Cancel, so the loader is always finished
    if (!finished_) {
        CancelButtonClick();
        event->accept();
        return;
    }
    QDialog::closeEvent(event);
}
