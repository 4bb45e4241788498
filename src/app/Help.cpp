#include "app/Help.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/Icons.h"

QString ManualDir() {
    QStringList candidates;
#ifdef MORVANE_MANUAL_DIR
    candidates << QStringLiteral(MORVANE_MANUAL_DIR);
#endif
    const QString exe = QCoreApplication::applicationDirPath();
    candidates << exe + QStringLiteral("/../share/morvane/manual") << exe + QStringLiteral("/manual")
               << exe;
    for (const QString& dir : candidates)
        if (QFileInfo(dir + QStringLiteral("/index.html")).isFile()) return QDir::cleanPath(dir);
    return QString();
}

QString HelpPage(int topic) {
    switch (topic) {
    case 2: return QStringLiteral("channels.html");
    case 3: return QStringLiteral("files.html");
    case 4: return QStringLiteral("printing.html#copy");
    case 6: return QStringLiteral("commands.html#inverse");
    case 11: return QStringLiteral("processing.html#leveling");
    case 12: return QStringLiteral("processing.html#histogram");
    case 7: return QStringLiteral("filters.html#simple");
    case 8: return QStringLiteral("filters.html#mean");
    case 9: return QStringLiteral("filters.html#median");
    case 10: return QStringLiteral("filters.html#noise");
    case 29: return QStringLiteral("filters.html#fft");
    case 13: return QStringLiteral("geometry.html#arithmetic");
    case 14: return QStringLiteral("geometry.html#zoom");
    case 15: return QStringLiteral("geometry.html#sphere");
    case 16: case 27: return QStringLiteral("geometry.html#distortion");
    case 28: return QStringLiteral("geometry.html#rescale");
    case 17: return QStringLiteral("display.html#refresh");
    case 18: return QStringLiteral("commands.html#view");
    case 19: return QStringLiteral("display.html#fonts");
    case 20: return QStringLiteral("display.html");
    case 21: return QStringLiteral("view3d.html");
    case 23: return QStringLiteral("lineprofile.html");
    case 25: return QStringLiteral("lineprofile.html#statistics");
    case 26: return QStringLiteral("unitcell.html");
    case 30: return QStringLiteral("saving.html");
    case 31: return QStringLiteral("printing.html");
    case 40: return QStringLiteral("history.html");
    case 41: return QStringLiteral("undo.html");
    default: return QStringLiteral("index.html");
    }
}

THelpForm::THelpForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpForm"));
    setWindowTitle(QStringLiteral("Morvane Help"));
    setWindowIcon(AppIcon());
    resize(760, 620);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* bar = new QHBoxLayout;
    ContentsBtn = new QToolButton(this);
    ContentsBtn->setObjectName(QStringLiteral("ContentsBtn"));
    ContentsBtn->setText(QStringLiteral("Contents"));
    BackBtn = new QToolButton(this);
    BackBtn->setObjectName(QStringLiteral("BackBtn"));
    BackBtn->setText(QStringLiteral("Back"));
    ForwardBtn = new QToolButton(this);
    ForwardBtn->setObjectName(QStringLiteral("ForwardBtn"));
    ForwardBtn->setText(QStringLiteral("Forward"));
    bar->addWidget(ContentsBtn);
    bar->addWidget(BackBtn);
    bar->addWidget(ForwardBtn);
    bar->addStretch();
    layout->addLayout(bar);
    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("HelpBrowser"));
    Browser->setOpenExternalLinks(true);
    layout->addWidget(Browser);
    BackBtn->setEnabled(false);
    ForwardBtn->setEnabled(false);
    connect(BackBtn, &QToolButton::clicked, Browser, &QTextBrowser::backward);
    connect(ForwardBtn, &QToolButton::clicked, Browser, &QTextBrowser::forward);
    connect(ContentsBtn, &QToolButton::clicked, this, [this] { ShowTopic(1); });
    connect(Browser, &QTextBrowser::backwardAvailable, BackBtn, &QToolButton::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, ForwardBtn, &QToolButton::setEnabled);
    connect(Browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString t = Browser->documentTitle();
        setWindowTitle(t.isEmpty() ? QStringLiteral("Morvane Help")
                                   : QStringLiteral("Morvane Help - ") + t);
    });
}

void THelpForm::ShowTopic(int topic) {
    const QString dir = ManualDir();
    if (dir.isEmpty()) {
        Browser->setHtml(QStringLiteral(
            "<h2>Morvane Help</h2><p>The manual was not found. It is installed in "
            "<tt>share/morvane/manual</tt> beside the program's folder.</p>"));
    } else {
        const QString page = HelpPage(topic);
        const int hash = page.indexOf(QLatin1Char('#'));
        QUrl url = QUrl::fromLocalFile(dir + QLatin1Char('/') + (hash < 0 ? page : page.left(hash)));
        if (hash >= 0) url.setFragment(page.mid(hash + 1));
        Browser->setSource(url);
    }
    show();
    raise();
    activateWindow();
}
