// Sends one notification and leaves main at once: the mail must still reach
// the relay, because the program waits for outstanding mail when it ends.
// Usage: sendandexit <sender> <recipient> <subject> <body>
#include "kestrovaapp.h"
#include "smtp/mailhelper.h"

int main(int argc, char** argv)
{
    KestrovaApp app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 5)
        return 2;
    MailHelper::send(args.at(1), QStringLiteral("Kestrova Bid Notification"), args.at(2),
                     args.at(3), args.at(4), false);
    return 0;
}
