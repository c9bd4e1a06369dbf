#include "quotedprintable.h"

namespace {
const char HexDigits[] = "0123456789ABCDEF";

int hexValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}
} // namespace

QString QuotedPrintable::encode(const QByteArray& input)
{
    QString output;
    output.reserve(input.size() * 3);
    for (int i = 0; i < input.size(); ++i) {
        const auto byte = static_cast<unsigned char>(input.at(i));
        // A blank is kept as it stands, except as the very last character:
        // there it would end an encoded line, where decoders drop it.
        const bool trailingBlank = byte == ' ' && i == input.size() - 1;
        if ((byte < 33 && byte != ' ') || byte >= 127 || byte == '=' || trailingBlank) {
            output.append(QLatin1Char('='));
            output.append(QLatin1Char(HexDigits[byte >> 4]));
            output.append(QLatin1Char(HexDigits[byte & 0x0f]));
        } else {
            output.append(QLatin1Char(static_cast<char>(byte)));
        }
    }
    return output;
}

QByteArray QuotedPrintable::decode(const QString& input)
{
    QByteArray output;
    output.reserve(input.size());
    for (int i = 0; i < input.size(); ++i) {
        const QChar c = input.at(i);
        if (c != QLatin1Char('=')) {
            if (c.unicode() < 128)
                output.append(static_cast<char>(c.unicode()));
            else
                output.append(QString(c).toUtf8());
            continue;
        }
        if (i + 2 < input.size()) {
            const int high = hexValue(input.at(i + 1));
            const int low = hexValue(input.at(i + 2));
            if (high >= 0 && low >= 0) {
                output.append(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        // A soft line break ("=" and the line end) stands for nothing.
        if (i + 1 < input.size() && input.at(i + 1) == QLatin1Char('\n')) {
            i += 1;
            continue;
        }
        if (i + 2 < input.size() && input.at(i + 1) == QLatin1Char('\r') &&
            input.at(i + 2) == QLatin1Char('\n')) {
            i += 2;
            continue;
        }
        output.append('=');
    }
    return output;
}
