#ifndef MIMEHTML_H
#define MIMEHTML_H

#include "mimetext.h"

// An HTML text part.
class MimeHtml : public MimeText
{
    Q_OBJECT
public:
    explicit MimeHtml(const QString& html = QString());
    ~MimeHtml() override;

    void setHtml(const QString& html) { text = html; }
    const QString& getHtml() const { return text; }
};

#endif // MIMEHTML_H
