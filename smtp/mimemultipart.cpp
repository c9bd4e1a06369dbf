#include "mimemultipart.h"

#include <QRandomGenerator>

const char* const MimeMultiPart::MULTI_PART_NAMES[7] = {
    "multipart/mixed",  "multipart/digest", "multipart/alternative", "multipart/related",
    "multipart/report", "multipart/signed", "multipart/encrypted"};

namespace {
// 128 random bits as 32 lowercase hexadecimal digits: no body text can be
// expected to contain the same line by chance.
QString randomBoundary()
{
    quint32 words[4];
    QRandomGenerator::global()->fillRange(words);
    QString boundary;
    for (quint32 word : words)
        boundary += QStringLiteral("%1").arg(word, 8, 16, QLatin1Char('0'));
    return boundary;
}
} // namespace

MimeMultiPart::MimeMultiPart(MultiPartType type) : mimeType(type)
{
    contentType = QLatin1String(MULTI_PART_NAMES[type]);
    encoding = Enc8Bit;
    boundary = randomBoundary();
}

MimeMultiPart::~MimeMultiPart() = default;

void MimeMultiPart::setMimeType(MultiPartType type)
{
    mimeType = type;
    contentType = QLatin1String(MULTI_PART_NAMES[type]);
}

void MimeMultiPart::prepare()
{
    QByteArray joined;
    const QByteArray delimiter = "--" + boundary.toLatin1();
    for (MimePart* part : qAsConst(parts)) {
        joined += delimiter + "\r\n";
        // Parts are rebuilt every time, so changes made since are included.
        part->prepare();
        joined += part->toString().toUtf8();
    }
    joined += delimiter + "--\r\n";
    content = joined;
    MimePart::prepare();
}
