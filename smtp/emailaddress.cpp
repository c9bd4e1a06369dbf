#include "emailaddress.h"

EmailAddress::EmailAddress(const QString& address, const QString& name)
    : name(name), address(address)
{
}

EmailAddress::~EmailAddress() = default;
