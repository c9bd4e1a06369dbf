#include "mimeinlinefile.h"

namespace {
const QLatin1String Disposition("Content-Disposition: inline\r\n");
}

MimeInlineFile::MimeInlineFile(QFile* file) : MimeFile(file) {}

MimeInlineFile::~MimeInlineFile() = default;

void MimeInlineFile::prepare()
{
    // A part may be prepared more than once; the line goes in once.
    if (!header.contains(Disposition))
        header += Disposition;
    MimeFile::prepare();
}
