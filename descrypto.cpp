#include "descrypto.h"

#include "KvdDES2.h"

#include <QByteArray>

namespace {

using Engine = KvdDESImpl<0>;

// Never a null string: the result may be bound to a NOT NULL column.
QString emptyText()
{
    return QStringLiteral("");
}

// The first 8 bytes of the key's UTF-8 form; a shorter key is filled with 0.
QByteArray keyBytes(const QString& key)
{
    QByteArray bytes = key.toUtf8().left(int(Engine::BlockSize));
    bytes.append(QByteArray(int(Engine::BlockSize) - bytes.size(), '\0'));
    return bytes;
}

const unsigned char* bytesOf(const QByteArray& array)
{
    return reinterpret_cast<const unsigned char*>(array.constData());
}

bool isHexDigit(QChar c)
{
    const ushort u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

} // namespace

QString DesCrypto::EncryptToHex(QString text, QString firstKey, QString secondKey)
{
    if (text.isEmpty())
        return emptyText();
    try {
        QByteArray plain = text.toUtf8();
        const int nul = plain.indexOf('\0');
        if (nul >= 0)
            plain.truncate(nul);

        const QByteArray k1 = keyBytes(firstKey);
        const QByteArray k2 = keyBytes(secondKey);
        Engine engine(bytesOf(k1), bytesOf(k2));
        bool ok = false;
        if (plain.isEmpty()) {
            // Nothing before the NUL: the stored form is the leading block and
            // one block of pad alone, which decrypts to "".
            const QByteArray padBlock{int(Engine::BlockSize), char(Engine::BlockSize)};
            engine.setPadding(false);
            ok = engine.KvdDoDES(bytesOf(padBlock), Engine::BlockSize, true);
        } else {
            ok = engine.KvdDoDES(bytesOf(plain), static_cast<unsigned long>(plain.size()), true);
        }
        plain.fill('\0');
        if (!ok)
            return emptyText();
        const QByteArray stored(reinterpret_cast<const char*>(engine.output()),
                                int(engine.outputLength()));
        return QString::fromLatin1(stored.toHex());
    } catch (...) {
        return emptyText();
    }
}

QString DesCrypto::DecryptFromHex(QString stored, QString firstKey, QString secondKey)
{
    if (stored.isEmpty() || stored.size() % 2 != 0)
        return emptyText();
    for (const QChar c : qAsConst(stored)) {
        if (!isHexDigit(c))
            return emptyText();
    }
    try {
        const QByteArray cipher = QByteArray::fromHex(stored.toLatin1());
        const QByteArray k1 = keyBytes(firstKey);
        const QByteArray k2 = keyBytes(secondKey);
        Engine engine(bytesOf(k1), bytesOf(k2));
        if (!engine.KvdDoDES(bytesOf(cipher), static_cast<unsigned long>(cipher.size()), false))
            return emptyText();
        // The buffer holds a 0 byte after the result, so this stops at the
        // first NUL at the latest there.
        const QString text = QString::fromUtf8(reinterpret_cast<const char*>(engine.output()));
        return text.isEmpty() ? emptyText() : text;
    } catch (...) {
        return emptyText();
    }
}
