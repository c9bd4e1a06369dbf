#include "jsonparser.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <cmath>
#include <limits>

namespace JsonParser {

QVariant parse(const QByteArray& json, bool* ok)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    const bool parsed = error.error == QJsonParseError::NoError && !document.isNull();
    if (ok)
        *ok = parsed;
    return parsed ? document.toVariant() : QVariant();
}

int toInt(const QVariant& value)
{
    const auto fitsInt = [](qint64 number) {
        return number >= std::numeric_limits<int>::min() &&
               number <= std::numeric_limits<int>::max();
    };
    if (value.userType() == QMetaType::Double || value.userType() == QMetaType::Float) {
        const double number = value.toDouble();
        // qRound64() itself overflows beyond 2^62; NaN fails the test too.
        if (!(std::fabs(number) < 4611686018427387904.0))
            return 0;
        const qint64 rounded = qRound64(number);
        return fitsInt(rounded) ? static_cast<int>(rounded) : 0;
    }
    bool ok = false;
    const qint64 number = value.toLongLong(&ok);
    return ok && fitsInt(number) ? static_cast<int>(number) : 0;
}

double toDouble(const QVariant& value)
{
    const double number = value.toDouble();
    return std::isfinite(number) ? number : 0.0;
}

} // namespace JsonParser
