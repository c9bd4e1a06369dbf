#include "mimefile.h"

#include <QFile>
#include <QFileInfo>

MimeFile::MimeFile(QFile* file) : file(file)
{
    contentType = QStringLiteral("application/octet-stream");
    contentName = QFileInfo(*file).fileName();
    encoding = EncBase64;
}

MimeFile::~MimeFile()
{
    delete file;
}

void MimeFile::prepare()
{
    if (file->open(QIODevice::ReadOnly)) {
        content = file->readAll();
        file->close();
    } else {
        content.clear();
    }
    MimePart::prepare();
}
