#include "mimepart.h"

#include "quotedprintable.h"

namespace {
const QLatin1String Crlf("\r\n");
}

MimePart::MimePart() : contentFormatter(76) {}

MimePart::~MimePart() = default;

void MimePart::addHeaderLine(const QString& line)
{
    header += line + Crlf;
}

QString MimePart::toString()
{
    if (!prepared)
        prepare();
    return preparedText;
}

QString MimePart::encodingName(Encoding encoding)
{
    switch (encoding) {
    case Enc7Bit:
        return QStringLiteral("7bit");
    case Enc8Bit:
        return QStringLiteral("8bit");
    case EncBase64:
        return QStringLiteral("base64");
    case EncQuotedPrintable:
        return QStringLiteral("quoted-printable");
    }
    return QString();
}

void MimePart::prepare()
{
    QString text = QStringLiteral("Content-Type: ") + contentType;
    if (!contentName.isEmpty())
        text += QStringLiteral("; name=\"") + contentName + QLatin1Char('"');
    if (!charset.isEmpty())
        text += QStringLiteral("; charset=") + charset;
    if (!boundary.isEmpty())
        text += QStringLiteral("; boundary=") + boundary;
    text += Crlf;
    text += QStringLiteral("Content-Transfer-Encoding: ") + encodingName(encoding) + Crlf;
    if (!contentId.isEmpty())
        text += QStringLiteral("Content-ID: <") + contentId + QLatin1Char('>') + Crlf;
    text += header + Crlf;

    switch (encoding) {
    case Enc7Bit: {
        const int end = content.indexOf('\0');
        text += QString::fromUtf8(end < 0 ? content : content.left(end));
        break;
    }
    case Enc8Bit:
        // With its size: the QByteArray overload stops at the first NUL and
        // would drop the rest of the body without a sign.
        text += QString::fromUtf8(content.constData(), content.size());
        break;
    case EncBase64:
        text += contentFormatter.format(QString::fromLatin1(content.toBase64()), false);
        break;
    case EncQuotedPrintable:
        text += contentFormatter.format(QuotedPrintable::encode(content), true);
        break;
    }
    text += Crlf;
    preparedText = text;
    prepared = true;
}
