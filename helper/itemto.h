#ifndef ITEMTO_H
#define ITEMTO_H

#include <QDateTime>
#include <QString>

// One auction item in memory: filled from an item fetch or from an items row.
// Texts start empty but not null, so that they bind as '' rather than NULL;
// seller and sellerScore start null, as a row that never saw a seller holds NULL.
class ItemTO
{
public:
    int id() const { return m_id; }
    void setId(int value) { m_id = value; }
    QString itemNumber() const { return m_itemNumber; }
    void setItemNumber(const QString& value) { m_itemNumber = value; }
    QString name() const { return m_name; }
    void setName(const QString& value) { m_name = value; }
    int userId() const { return m_userId; }
    void setUserId(int value) { m_userId = value; }
    QString userRelation() const { return m_userRelation; }
    void setUserRelation(const QString& value) { m_userRelation = value; }
    bool isEnded() const { return m_isEnded; }
    void setIsEnded(bool value) { m_isEnded = value; }
    int bidCount() const { return m_bidCount; }
    void setBidCount(int value) { m_bidCount = value; }
    double currentBid() const { return m_currentBid; }
    void setCurrentBid(double value) { m_currentBid = value; }
    double nextBid() const { return m_nextBid; }
    void setNextBid(double value) { m_nextBid = value; }
    QString currency() const { return m_currency; }
    void setCurrency(const QString& value) { m_currency = value; }
    QDateTime endTime() const { return m_endTime; }
    void setEndTime(const QDateTime& value) { m_endTime = value; }
    bool isReserve() const { return m_isReserve; }
    void setIsReserve(bool value) { m_isReserve = value; }
    bool isReserveMet() const { return m_isReserveMet; }
    void setIsReserveMet(bool value) { m_isReserveMet = value; }
    double userBid() const { return m_userBid; }
    void setUserBid(double value) { m_userBid = value; }
    int leadTime() const { return m_leadTime; }
    void setLeadTime(int value) { m_leadTime = value; }
    QDateTime actualBidTime() const { return m_actualBidTime; }
    void setActualBidtime(const QDateTime& value) { m_actualBidTime = value; }
    int bidStatus() const { return m_bidStatus; }
    void setBidStatus(int value) { m_bidStatus = value; }
    int groupId() const { return m_groupId; }
    void setGroupId(int value) { m_groupId = value; }
    double shipping() const { return m_shipping; }
    void setShipping(double value) { m_shipping = value; }
    QString seller() const { return m_seller; }
    void setSeller(const QString& value) { m_seller = value; }
    QString sellerScore() const { return m_sellerScore; }
    void setSellerScore(const QString& value) { m_sellerScore = value; }
    QString notes() const { return m_notes; }
    void setNotes(const QString& value) { m_notes = value; }
    bool isAuction() const { return m_isAuction; }
    void setIsAuction(bool value) { m_isAuction = value; }

private:
    int m_id = 0;
    QString m_itemNumber = QStringLiteral("");
    QString m_name = QStringLiteral("");
    int m_userId = 0;
    QString m_userRelation = QStringLiteral("");
    bool m_isEnded = false;
    int m_bidCount = 0;
    double m_currentBid = 0.0;
    double m_nextBid = 0.0;
    QString m_currency = QStringLiteral("");
    QDateTime m_endTime = QDateTime::currentDateTimeUtc();
    bool m_isReserve = false;
    bool m_isReserveMet = false;
    double m_userBid = 0.0;
    int m_leadTime = 0;
    QDateTime m_actualBidTime = QDateTime::currentDateTimeUtc();
    int m_bidStatus = 0;
    int m_groupId = 0;
    double m_shipping = 0.0;
    QString m_seller = QString();
    QString m_sellerScore = QString();
    QString m_notes = QStringLiteral("");
    bool m_isAuction = false;
};

#endif // ITEMTO_H
