#include "jsonparser.h"

#include <QJsonDocument>
#include <QJsonParseError>

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

} // namespace JsonParser
