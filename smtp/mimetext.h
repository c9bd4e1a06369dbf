#ifndef MIMETEXT_H
#define MIMETEXT_H

#include "mimepart.h"

// A plain-text part: UTF-8, 8bit, the text as it stands.
class MimeText : public MimePart
{
public:
    explicit MimeText(const QString& text = QString());
    ~MimeText() override;

    void setText(const QString& text) { this->text = text; }
    const QString& getText() const { return text; }

    void prepare() override;

protected:
    QString text;
};

#endif // MIMETEXT_H
