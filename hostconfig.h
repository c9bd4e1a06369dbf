#ifndef HOSTCONFIG_H
#define HOSTCONFIG_H

#include <QString>
#include <QStringList>
#include <QUrl>

// Every host name the program talks to lives here, and nowhere else.
//
// Each role's host is formed from an eBay site's domain (or is fixed, for the
// Shopping API, the thumbnails and the maker's hosts). The defaults are the
// real hosts. An override file, named by the environment variable
// KESTROVA_HOSTS, replaces any of them; tests and the local eBay double use it:
//
//   {
//     "roles": {
//       "shopping":        {"scheme": "http",  "host": "127.0.0.1", "port": 40001},
//       "signin":          {"scheme": "https", "host": "127.0.0.1", "port": 40002},
//       "bid@ebay.de":     {"scheme": "http",  "host": "127.0.0.1", "port": 40003}
//     },
//     "caCertificates": ["/tmp/double/ca.pem"],
//     "transferTimeoutMs": 3000,
//     "smtp": {"host": "127.0.0.1", "port": 2525, "account": "notify@example.org"}
//   }
//
// A key "role@domain" overrides the role for that one site only; a key
// "role" overrides it for every site. Any part left out of an entry keeps
// its default (scheme, host or port).
class HostConfig
{
public:
    enum Role {
        ShoppingApi,  // "shopping": GeteBayTime and GetMultipleItems
        SignIn,       // "signin": the two sign-in requests
        ItemPage,     // "item": relation and shipping pages, item links
        BidPage,      // "bid": both bid flows
        MyEbay,       // "myebay": items per page and print views
        BrowserStart, // "browser": the embedded browser's start page
        Thumbnail,    // "thumbnail": item pictures
        MakerWeb      // "maker": version file and download page
    };

    struct Endpoint
    {
        QString scheme;
        QString host;
        int port = -1; // -1: the scheme's default port
    };

    struct SmtpRelay
    {
        QString host;
        int port = 25;
        QString account; // the notification account: AUTH user and sender address
    };

    static constexpr const char* OverrideVariable = "KESTROVA_HOSTS";

    static Endpoint endpoint(Role role, const QString& domain = QString());

    // scheme://host[:port] followed by pathAndQuery, which must already be in
    // URL form (it is parsed in tolerant mode).
    static QUrl url(Role role, const QString& domain, const QString& pathAndQuery);

    // The host as it stands in a link: "host", or "host:port" when a port is set.
    static QString authority(Role role, const QString& domain = QString());

    static SmtpRelay smtpRelay();

    // The maker's own web domain (organisation domain, mail signature).
    static QString makerDomain();

    // Time-out for every request of the program, in milliseconds.
    static int transferTimeoutMs();

    static QStringList caCertificatePaths();

    // Reads the override file again (the program reads it once, on first use)
    // and adds its CA certificates to the default TLS configuration.
    static void reload();

    static QString roleName(Role role);
};

#endif // HOSTCONFIG_H
