#ifndef MIMEMULTIPART_H
#define MIMEMULTIPART_H

#include "mimepart.h"

#include <QList>

// A container that joins its parts with a boundary. It does not own them.
class MimeMultiPart : public MimePart
{
    Q_OBJECT
public:
    enum MultiPartType {
        Mixed = 0,
        Digest = 1,
        Alternative = 2,
        Related = 3,
        Report = 4,
        Signed = 5,
        Encrypted = 6
    };

    explicit MimeMultiPart(MultiPartType type = Related);
    ~MimeMultiPart() override;

    void addPart(MimePart* part) { parts.append(part); }
    const QList<MimePart*>& getParts() const { return parts; }
    // Changes the media type; the boundary stays.
    void setMimeType(MultiPartType type);
    MultiPartType getMimeType() const { return mimeType; }
    const QString& getBoundary() const { return boundary; }

    void prepare() override;

    static const char* const MULTI_PART_NAMES[7];

private:
    QList<MimePart*> parts;
    MultiPartType mimeType;
};

#endif // MIMEMULTIPART_H
