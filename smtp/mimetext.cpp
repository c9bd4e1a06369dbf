#include "mimetext.h"

MimeText::MimeText(const QString& text) : text(text)
{
    contentType = QStringLiteral("text/plain");
    charset = QStringLiteral("utf-8");
    encoding = Enc8Bit;
}

MimeText::~MimeText() = default;

void MimeText::prepare()
{
    content = text.toUtf8();
    MimePart::prepare();
}
