#ifndef MIMEATTACHMENT_H
#define MIMEATTACHMENT_H

#include "mimefile.h"

// A file attached to the message.
class MimeAttachment : public MimeFile
{
    Q_OBJECT
public:
    explicit MimeAttachment(QFile* file);
    ~MimeAttachment() override;

    void prepare() override;
};

#endif // MIMEATTACHMENT_H
