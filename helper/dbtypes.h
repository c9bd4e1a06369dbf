#ifndef DBTYPES_H
#define DBTYPES_H

#include <QLatin1String>

// Codes of the items column bid_status. NULL means "no snipe"; read through
// QVariant::toInt() it comes back as None.
namespace BidStatus {
enum Code : int {
    None = 0,
    Scheduled = 1, // set by the user, waiting for the engine
    Bidding = 2,   // the engine has started the snipe
    Placed = 3,    // the second bid step succeeded
    Failed = 4,    // error_message holds the reason
};
} // namespace BidStatus

// The watch-list filter of DbHelper::getItems, equal to the main window's
// status choice. Any other value lists everything, like All.
namespace ItemFilter {
enum Code : int {
    All = 0,
    Watching = 1,
    BidScheduled = 2,
    HighBidder = 3,
    OutBidder = 4,
    Won = 5,
    DidNotWin = 6,
};
} // namespace ItemFilter

// The relation texts of the items column user_relation that the program
// recognises; eBay may report others, which show as unknown.
namespace UserRelation {
// QLatin1String(const char*) measures with strlen(), which is not a constant
// expression everywhere; the array's own length is.
template <int N> constexpr QLatin1String literal(const char (&text)[N])
{
    return QLatin1String(text, N - 1);
}
constexpr QLatin1String None = literal("NONE");
constexpr QLatin1String HighBidder = literal("HIGHBIDDER");
constexpr QLatin1String OutBidder = literal("OUTBIDDER");
constexpr QLatin1String Unknown = literal("Unknown");
} // namespace UserRelation

#endif // DBTYPES_H
