// Placeholder until the browser windows are built.
#include "myqwebview.h"

MyQWebView::MyQWebView(QWidget* parent) : QWebView(parent) {}
MyQWebView::~MyQWebView() = default;
QWebView* MyQWebView::createWindow(QWebPage::WebWindowType)
{
    return nullptr;
}
