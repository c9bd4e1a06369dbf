#include "sites.h"

namespace Sites {

const std::vector<Site>& all()
{
    static const std::vector<Site> sites = {
        {1, "Australia", "ebay.com.au", 15, false},
        {2, "Austria", "ebay.at", 16, true},
        {3, "Belgium (Dutch)", "benl.ebay.be", 123, true},
        {4, "Belgium (French)", "befr.ebay.be", 23, true},
        {5, "Canada", "ebay.ca", 2, false},
        {6, "France", "ebay.fr", 71, false},
        {7, "Germany", "ebay.de", 77, false},
        {8, "Hong Kong", "ebay.com.hk", 201, false},
        {9, "India", "ebay.in", 203, true},
        {10, "Ireland", "ebay.ie", 205, true},
        {11, "Italy", "ebay.it", 101, true},
        {12, "Malaysia", "ebay.com.my", 207, true},
        {13, "Netherlands", "ebay.nl", 146, true},
        {14, "Philippines", "ebay.ph", 211, false},
        {15, "Poland", "ebay.pl", 212, false},
        {16, "Singapore", "ebay.com.sg", 216, false},
        {17, "Spain", "ebay.es", 186, true},
        {18, "Switzerland", "ebay.ch", 193, true},
        {19, "United Kingdom", "ebay.co.uk", 3, false},
        {20, "United States", "ebay.com", 0, false},
    };
    return sites;
}

const Site& home()
{
    return all().at(18);
}

QString homeDomain()
{
    return QString::fromLatin1(home().domain);
}

bool usesHtmlBidFlow(const QString& domain)
{
    for (const Site& site : all()) {
        if (site.htmlBidFlow && domain == QLatin1String(site.domain))
            return true;
    }
    return false;
}

} // namespace Sites
