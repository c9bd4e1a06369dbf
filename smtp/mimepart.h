#ifndef MIMEPART_H
#define MIMEPART_H

#include "mimecontentformatter.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// One body part: a header block (Content-Type, Content-Transfer-Encoding,
// Content-ID and extra lines) and the content in its transfer encoding.
// The text is built once, on first use, and kept.
class MimePart : public QObject
{
    Q_OBJECT
public:
    enum Encoding { Enc7Bit = 0, Enc8Bit = 1, EncBase64 = 2, EncQuotedPrintable = 3 };

    MimePart();
    ~MimePart() override;

    void setContent(const QByteArray& content) { this->content = content; }
    const QByteArray& getContent() const { return content; }
    void setHeader(const QString& header) { this->header = header; }
    const QString& getHeader() const { return header; }
    // Appends the line and CR LF to the extra header lines.
    void addHeaderLine(const QString& line);
    void setContentId(const QString& id) { contentId = id; }
    const QString& getContentId() const { return contentId; }
    void setContentName(const QString& name) { contentName = name; }
    const QString& getContentName() const { return contentName; }
    void setContentType(const QString& type) { contentType = type; }
    const QString& getContentType() const { return contentType; }
    void setCharset(const QString& charset) { this->charset = charset; }
    const QString& getCharset() const { return charset; }
    void setEncoding(Encoding encoding) { this->encoding = encoding; }
    Encoding getEncoding() const { return encoding; }
    MimeContentFormatter& getContentFormatter() { return contentFormatter; }

    // The part's whole text; prepares the part on first use.
    virtual QString toString();
    // Builds the part's text from its fields.
    virtual void prepare();

    static QString encodingName(Encoding encoding);

protected:
    QString header;
    QByteArray content;
    QString contentId;
    QString contentName;
    QString contentType;
    QString charset;
    QString boundary;
    Encoding encoding = Enc7Bit;
    QString preparedText;
    bool prepared = false;
    MimeContentFormatter contentFormatter;
};

#endif // MIMEPART_H
