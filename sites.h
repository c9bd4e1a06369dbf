#ifndef SITES_H
#define SITES_H

#include <QString>
#include <vector>

// The twenty eBay sites. The store seeds its countries table from this list,
// and the bid chain and the host configuration find the sites they need by
// the same domain values, so the three can never disagree.
struct Site
{
    int id;             // countries.id
    const char* name;   // countries.name
    const char* domain; // countries.domain: the site's web domain, no "www."
    int siteId;         // countries.site_id: eBay's public site id
    bool htmlBidFlow;   // bids on this site go through the HTML bid-form flow
};

namespace Sites {
const std::vector<Site>& all();

// The home site (United Kingdom): first sign-in pass, look-ups, HTML bid
// flow and My eBay requests.
const Site& home();
QString homeDomain();

// The countries row a new user gets (United States).
constexpr int DefaultCountryId = 20;

// True when bids for this domain (compared exactly) use the HTML flow.
bool usesHtmlBidFlow(const QString& domain);
} // namespace Sites

#endif // SITES_H
