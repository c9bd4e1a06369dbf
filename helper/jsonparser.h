#ifndef JSONPARSER_H
#define JSONPARSER_H

#include <QByteArray>
#include <QVariant>

// The one place where JSON text becomes Qt values: objects become
// QVariantMap, arrays QVariantList, numbers double, null an invalid-typed
// null QVariant (present in its map, unlike a missing key).
namespace JsonParser {
QVariant parse(const QByteArray& json, bool* ok);

// A number of a reply as QVariant::toInt() and toDouble() read it (a double
// rounds to the nearest integer, text is read in the C locale, anything else
// is 0), except that a value beyond the int range, or not finite, reads as 0
// too: converting it would be undefined, and eBay's reply may hold anything.
int toInt(const QVariant& value);
double toDouble(const QVariant& value);
} // namespace JsonParser

#endif // JSONPARSER_H
