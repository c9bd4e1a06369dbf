#ifndef MYQWEBVIEW_H
#define MYQWEBVIEW_H

#include <QWebView>

// The embedded browser. A window that a page asks for (a link's target, a
// script's window.open) opens as a top-level browser window of its own that
// shares the program's cookies.
class MyQWebView : public QWebView
{
    Q_OBJECT

public:
    explicit MyQWebView(QWidget* parent = nullptr);
    ~MyQWebView() override;

    // Closes every browser window that a page opened.
    static void closePageWindows();

protected:
    QWebView* createWindow(QWebPage::WebWindowType type) override;
};

#endif // MYQWEBVIEW_H
