#include "mailreader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace {
QStringList strings(const QJsonValue& value)
{
    QStringList list;
    for (const QJsonValue& item : value.toArray())
        list << item.toString();
    return list;
}
} // namespace

QString MailReader::Mail::header(const QString& name) const
{
    for (const auto& header : headers)
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    return QString();
}

QStringList MailReader::Mail::headerNames() const
{
    QStringList names;
    for (const auto& header : headers)
        names << header.first;
    return names;
}

MailReader::Mail MailReader::read(const QByteArray& message)
{
    Mail mail;
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(KESTROVA_SOURCE_DIR "/tests/support/mailreader.py")});
    if (!python.waitForStarted(10000)) {
        mail.error = python.errorString();
        return mail;
    }
    python.write(message);
    python.closeWriteChannel();
    if (!python.waitForFinished(15000) || python.exitCode() != 0) {
        mail.error = QString::fromUtf8(python.readAllStandardError());
        return mail;
    }
    QJsonParseError error;
    const QJsonObject root =
        QJsonDocument::fromJson(python.readAllStandardOutput(), &error).object();
    if (error.error != QJsonParseError::NoError) {
        mail.error = error.errorString();
        return mail;
    }
    for (const QJsonValue& header : root.value(QStringLiteral("headers")).toArray()) {
        const QJsonArray pair = header.toArray();
        mail.headers.append({pair.at(0).toString(), pair.at(1).toString()});
    }
    mail.contentType = root.value(QStringLiteral("contentType")).toString();
    mail.boundary = root.value(QStringLiteral("boundary")).toString();
    mail.multipart = root.value(QStringLiteral("multipart")).toBool();
    mail.fromName = root.value(QStringLiteral("fromName")).toString();
    mail.fromAddress = root.value(QStringLiteral("fromAddress")).toString();
    mail.toAddresses = strings(root.value(QStringLiteral("toAddresses")));
    mail.defects = strings(root.value(QStringLiteral("defects")));
    for (const QJsonValue& value : root.value(QStringLiteral("parts")).toArray()) {
        const QJsonObject object = value.toObject();
        Part part;
        part.contentType = object.value(QStringLiteral("contentType")).toString();
        part.charset = object.value(QStringLiteral("charset")).toString();
        part.transferEncoding = object.value(QStringLiteral("transferEncoding")).toString();
        part.disposition = object.value(QStringLiteral("disposition")).toString();
        part.filename = object.value(QStringLiteral("filename")).toString();
        part.body =
            QByteArray::fromBase64(object.value(QStringLiteral("body")).toString().toLatin1());
        part.text = object.value(QStringLiteral("text")).toString();
        part.defects = strings(object.value(QStringLiteral("defects")));
        mail.parts.append(part);
    }
    mail.ok = true;
    return mail;
}
