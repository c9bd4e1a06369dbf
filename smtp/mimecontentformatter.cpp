#include "mimecontentformatter.h"

MimeContentFormatter::MimeContentFormatter(int maxLength) : maxLength(maxLength) {}

QString MimeContentFormatter::format(const QString& text, bool quotedPrintable) const
{
    QString out;
    out.reserve(text.size() + text.size() / qMax(1, maxLength) * 3 + 3);
    int chars = 0;
    for (const QChar c : text) {
        if (quotedPrintable) {
            if (c == QLatin1Char('\n')) {
                out.append(c);
                chars = 0;
                continue;
            }
            // An escape ("=" and two digits) must stay on one line, so it
            // starts a new line when it would not fit before the soft break.
            if (chars >= maxLength - 1 || (c == QLatin1Char('=') && chars >= maxLength - 3)) {
                out.append(QLatin1String("=\r\n"));
                chars = 0;
            }
        } else if (chars >= maxLength) {
            out.append(QLatin1String("\r\n"));
            chars = 0;
        }
        out.append(c);
        ++chars;
    }
    return out;
}
