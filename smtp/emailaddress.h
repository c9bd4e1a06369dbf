#ifndef EMAILADDRESS_H
#define EMAILADDRESS_H

#include <QObject>
#include <QString>

// One mail address with its optional display name.
class EmailAddress : public QObject
{
    Q_OBJECT
public:
    explicit EmailAddress(const QString& address = QString(), const QString& name = QString());
    ~EmailAddress() override;

    void setName(const QString& name) { this->name = name; }
    void setAddress(const QString& address) { this->address = address; }
    const QString& getName() const { return name; }
    const QString& getAddress() const { return address; }

private:
    QString name;
    QString address;
};

#endif // EMAILADDRESS_H
