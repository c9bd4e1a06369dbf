#ifndef MIMECONTENTFORMATTER_H
#define MIMECONTENTFORMATTER_H

#include <QObject>
#include <QString>

// Wraps an encoded body into lines of at most maxLength characters.
class MimeContentFormatter : public QObject
{
    Q_OBJECT
public:
    explicit MimeContentFormatter(int maxLength = 76);

    void setMaxLength(int length) { maxLength = length; }
    int getMaxLength() const { return maxLength; }

    // Plain mode breaks base64 text with CR LF every maxLength characters.
    // Quoted-printable mode inserts soft line breaks ("=" CR LF) so that no
    // line, the "=" included, is longer than maxLength and no escape is split.
    QString format(const QString& text, bool quotedPrintable = false) const;

private:
    int maxLength;
};

#endif // MIMECONTENTFORMATTER_H
