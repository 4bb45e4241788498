#pragma once
// The bundled HTML manual and its viewer. Help topics are the numbers of the command
// table; each leads to a page (and an anchor) of the manual.
#include <QString>
#include <QWidget>

class QTextBrowser;
class QToolButton;

// The folder of the manual: the build's docs/manual, <exe>/../share/morvane/manual,
// <exe>/manual or the executable's own folder, the first that holds index.html.
QString ManualDir();
// "page.html" or "page.html#anchor" for a topic; unknown topics give the contents page.
QString HelpPage(int topic);

class THelpForm : public QWidget {
    Q_OBJECT
public:
    explicit THelpForm(QWidget* parent = nullptr);
    void ShowTopic(int topic);
    QTextBrowser* Browser = nullptr;
    QToolButton *BackBtn = nullptr, *ForwardBtn = nullptr, *ContentsBtn = nullptr;
};
