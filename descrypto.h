#ifndef DESCRYPTO_H
#define DESCRYPTO_H

#include <QLatin1String>
#include <QString>

// The cipher of remembered passwords: two-key triple DES (EDE) in CBC mode,
// stored as lowercase hex of a random leading block followed by the
// PKCS #5-padded ciphertext. Passwords travel as UTF-8.
class DesCrypto
{
public:
    // The keys the store enciphers the users' passwords with. Changing them
    // makes every remembered password unreadable. Each is one 8-byte DES
    // key; the length is given because strlen() is no constant expression.
    static constexpr QLatin1String FirstKey{"plorvank", 8};
    static constexpr QLatin1String SecondKey{"quenditi", 8};

    // The stored form of text; "" for an empty text or when enciphering fails.
    static QString EncryptToHex(QString text, QString firstKey, QString secondKey);
    // The text back from its stored form; "" for an empty, short, malformed or
    // otherwise unusable input.
    static QString DecryptFromHex(QString stored, QString firstKey, QString secondKey);
};

#endif // DESCRYPTO_H
