#ifndef MIMEINLINEFILE_H
#define MIMEINLINEFILE_H

#include "mimefile.h"

// A file shown inline in the message.
class MimeInlineFile : public MimeFile
{
public:
    explicit MimeInlineFile(QFile* file);
    ~MimeInlineFile() override;

    void prepare() override;
};

#endif // MIMEINLINEFILE_H
