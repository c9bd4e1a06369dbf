#ifndef QUOTEDPRINTABLE_H
#define QUOTEDPRINTABLE_H

#include <QByteArray>
#include <QObject>
#include <QString>

// Quoted-printable encoding of bytes, without line wrapping (the content
// formatter adds the soft line breaks).
class QuotedPrintable : public QObject
{
    Q_OBJECT
public:
    static QString encode(const QByteArray& input);
    static QByteArray decode(const QString& input);
};

#endif // QUOTEDPRINTABLE_H
