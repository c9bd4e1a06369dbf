#include "myqwebview.h"

#include "helper/networkresource.h"

#include <QApplication>
#include <QWebSettings>

MyQWebView::MyQWebView(QWidget* parent) : QWebView(parent)
{
    // Without it a script's window.open never reaches createWindow().
    settings()->setAttribute(QWebSettings::JavascriptCanOpenWindows, true);
}

MyQWebView::~MyQWebView() = default;

QWebView* MyQWebView::createWindow(QWebPage::WebWindowType)
{
    auto* view = new MyQWebView(nullptr);
    // Nothing else owns a page's window; it goes when the user closes it.
    view->setAttribute(Qt::WA_DeleteOnClose);
    NetworkResource::instance()->shareCookieJar(view->page()->networkAccessManager());
    view->show();
    return view;
}

void MyQWebView::closePageWindows()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        auto* view = qobject_cast<MyQWebView*>(window);
        if (view && !view->parentWidget() && view->isVisible())
            view->close();
    }
}
