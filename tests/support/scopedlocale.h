#ifndef SCOPEDLOCALE_H
#define SCOPEDLOCALE_H

#include <QLocale>

// Makes a locale the default for a scope (texts the program writes for eBay
// must not follow it) and puts the previous default back after.
class ScopedLocale
{
public:
    explicit ScopedLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~ScopedLocale() { QLocale::setDefault(m_previous); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    QLocale m_previous;
};

#endif // SCOPEDLOCALE_H
