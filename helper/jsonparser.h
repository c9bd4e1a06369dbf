#ifndef JSONPARSER_H
#define JSONPARSER_H

#include <QByteArray>
#include <QVariant>

// The one place where JSON text becomes Qt values: objects become
// QVariantMap, arrays QVariantList, numbers double, null an invalid-typed
// null QVariant (present in its map, unlike a missing key).
namespace JsonParser {
QVariant parse(const QByteArray& json, bool* ok);
}

#endif // JSONPARSER_H
