#ifndef MAILREADER_H
#define MAILREADER_H

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// An independent reader of mail text: Python's email parser (Debian's
// /usr/bin/python3, tests/support/mailreader.py) reads the message and says
// what it found, decoded: headers (encoded words resolved), the boundary,
// and each part's type, charset, transfer encoding and decoded body.
class MailReader
{
public:
    struct Part
    {
        QString contentType;
        QString charset;
        QString transferEncoding;
        QString disposition;
        QString filename;
        QByteArray body; // after the transfer encoding is undone
        QString text;    // body decoded with the part's charset
        QStringList defects;
    };

    struct Mail
    {
        bool ok = false;
        QString error;
        QList<QPair<QString, QString>> headers; // in order, values decoded
        QString contentType;
        QString boundary;
        bool multipart = false;
        QString fromName;
        QString fromAddress;
        QStringList toAddresses;
        QList<Part> parts;
        QStringList defects;

        // The decoded value of the first header of that name, or a null text.
        QString header(const QString& name) const;
        QStringList headerNames() const;
    };

    static Mail read(const QByteArray& message);
};

#endif // MAILREADER_H
