#ifndef MIMEFILE_H
#define MIMEFILE_H

#include "mimepart.h"

class QFile;

// A part made of a file's bytes, base64-encoded. It owns the file object.
class MimeFile : public MimePart
{
    Q_OBJECT
public:
    explicit MimeFile(QFile* file);
    ~MimeFile() override;

    void prepare() override;

protected:
    QFile* file;
};

#endif // MIMEFILE_H
