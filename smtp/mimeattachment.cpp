#include "mimeattachment.h"

namespace {
const QLatin1String Disposition("Content-disposition: attachment\r\n");
}

MimeAttachment::MimeAttachment(QFile* file) : MimeFile(file) {}

MimeAttachment::~MimeAttachment() = default;

void MimeAttachment::prepare()
{
    // A part may be prepared more than once; the line goes in once.
    if (!header.contains(Disposition))
        header += Disposition;
    MimeFile::prepare();
}
