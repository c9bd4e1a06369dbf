// What eBay's answer to a bid says, read as a person reads it: only eBay's
// word that it took this bid takes it, and only its word that it refused
// this bid refuses it.
#include "helper/itemhelper.h"

#include "helper/texthelper.h"

#include <algorithm>
#include <iterator>

namespace {

// The phrases and words the answers are read for, without a length to
// count each time.
constexpr QLatin1String operator""_w(const char* text, size_t size)
{
    return QLatin1String(text, int(size));
}

// Words before a phrase that make its sentence a condition, a question to
// look into, an example or a description rather than news of this bid: "If
// you're outbid, enter a new bid of ... or more", "Check My eBay to see
// whether you're the highest bidder", "Bid £5.00 or more to make sure
// you're the highest bidder", "We'll email you as soon as the auction has
// ended", "Items where bidding has ended move to ...", "for example: You're
// the highest bidder".
const QLatin1String Conditions[] = {
    "after"_w,   "as soon as"_w, "before"_w,    "by the time"_w, "if"_w,        "in case"_w,
    "once"_w,    "till"_w,       "unless"_w,    "until"_w,       "when"_w,      "whenever"_w,
    "where"_w,   "whether"_w,    "make sure"_w, "to see"_w,      "check"_w,     "find out"_w,
    "ensure"_w,  "to be"_w,      "to become"_w, "to stay"_w,     "to remain"_w, "e.g"_w,
    "example"_w, "such as"_w};

// Words of a condition that is only a courtesy ("If you'd like to continue,
// please enter £5.00 or more"): it asks what the user wants, and the
// sentence still says what eBay needs.
const QLatin1String Courtesies[] = {"like"_w, "want"_w, "wish"_w, "prefer"_w, "ready"_w};

// What an amount is asked for in advice rather than a refusal: "Enter
// £12.50 or more to bid again", "must be higher than US $30.00 to lead".
const QLatin1String Purposes[] = {"to lead"_w,      "to stay ahead"_w,    "to bid again"_w,
                                  "to become"_w,    "to be the"_w,        "to remain"_w,
                                  "to win"_w,       "to take the lead"_w, "to outbid"_w,
                                  "to make sure"_w, "to increase"_w};

// Where the words stand in a lowered sentence, as whole words.
int wordsAt(const QString& sentence, QLatin1String words, int from = 0)
{
    return TextHelper::wordsAt(sentence, words, from, Qt::CaseSensitive);
}

// Where the words stand in the text, in order.
template <typename Words> QVector<int> positionsOf(const QString& text, const Words& words)
{
    QVector<int> positions;
    for (const QLatin1String word : words) {
        for (int at = wordsAt(text, word); at >= 0; at = wordsAt(text, word, at + 1))
            positions << at;
    }
    std::sort(positions.begin(), positions.end());
    return positions;
}

// Whether a condition stands in the text before a phrase: a condition word
// whose clause (up to its comma) asks no courtesy. Each word is looked for
// once, however long the text.
bool isConditional(const QString& before)
{
    const QVector<int> conditions = positionsOf(before, Conditions);
    if (conditions.isEmpty())
        return false;
    const QVector<int> courtesies = positionsOf(before, Courtesies);
    QVector<int> commas;
    for (int i = 0; i < before.size(); ++i) {
        if (before.at(i) == QLatin1Char(','))
            commas << i;
    }
    return std::any_of(conditions.begin(), conditions.end(), [&](int at) {
        const auto comma = std::lower_bound(commas.begin(), commas.end(), at);
        const int clauseEnd = comma == commas.end() ? before.size() : *comma;
        const auto courtesy = std::lower_bound(courtesies.begin(), courtesies.end(), at);
        return courtesy == courtesies.end() || *courtesy >= clauseEnd;
    });
}

// Whether the phrase at position at is quoted: a quotation mark right
// before it ("'You're the highest bidder'"), or a quotation opened before
// it and not closed.
bool isQuoted(const QString& sentence, int at)
{
    if (at > 0) {
        const QChar mark = sentence.at(at - 1);
        const bool apostrophe =
            mark == QLatin1Char('\'') && at > 1 && sentence.at(at - 2).isLetter();
        if (!apostrophe && QStringLiteral("'\"\u201c\u201e\u00ab\u2039").contains(mark))
            return true;
    }
    int straight = 0;
    int open = 0;
    for (int i = 0; i < at; ++i) {
        const char16_t c = sentence.at(i).unicode();
        if (c == '"')
            ++straight;
        else if (c == 0x201c || c == 0x00ab)
            ++open;
        else if ((c == 0x201d || c == 0x00bb) && open > 0)
            --open;
    }
    return straight % 2 == 1 || open > 0;
}

// Where the sentence states the words: as whole words, not under a
// condition nor in quotation marks; -1 when it does not.
int statedAt(const QString& sentence, QLatin1String words)
{
    const int at = wordsAt(sentence, words);
    if (at < 0)
        return -1;
    return isConditional(sentence.left(at)) || isQuoted(sentence, at) ? -1 : at;
}

bool states(const QString& sentence, std::initializer_list<QLatin1String> phrases)
{
    return std::any_of(phrases.begin(), phrases.end(),
                       [&](QLatin1String phrase) { return statedAt(sentence, phrase) >= 0; });
}

// A sentence of eBay's answer that may say something of this bid, lowered
// (one character for one, so that positions hold, with "You’re" and
// "Youʼre" as "You're"), and as shown.
struct Said
{
    QString lowered;
    QString shown;
    bool listed = false;
};

// Whether the sentence holds any of the texts: the phrases of a kind are
// looked for only in sentences with one of their words, as a page may hold
// many thousand sentences.
bool holdsAny(const QString& sentence, std::initializer_list<QLatin1String> texts)
{
    return std::any_of(texts.begin(), texts.end(),
                       [&](QLatin1String text) { return sentence.contains(text); });
}

bool anyStates(const QVector<Said>& sentences, std::initializer_list<QLatin1String> words,
               std::initializer_list<QLatin1String> phrases)
{
    return std::any_of(sentences.begin(), sentences.end(), [&](const Said& said) {
        return holdsAny(said.lowered, words) && states(said.lowered, phrases);
    });
}

// Whether the sentence speaks of other items than this one: "You're the
// highest bidder on 2 other items", "Bidding has ended on 3 items you
// watched", "You cannot bid on your own items".
bool aboutOtherItems(const QString& sentence)
{
    if (wordsAt(sentence, "this item"_w) >= 0)
        return false;
    for (int at = wordsAt(sentence, "items"_w); at >= 0;
         at = wordsAt(sentence, "items"_w, at + 1)) {
        if (wordsAt(sentence, "items you"_w, at) == at)
            return true;
        int end = at - 1;
        while (end > 0 && sentence.at(end - 1) == QLatin1Char(' '))
            --end;
        int start = end;
        while (start > 0 && sentence.at(start - 1).isLetterOrNumber())
            --start;
        const QStringRef word = sentence.midRef(start, end - start);
        if (std::any_of(word.begin(), word.end(), [](QChar c) { return c.isDigit(); }))
            return true;
        static const QLatin1String others[] = {"other"_w, "own"_w, "similar"_w, "these"_w,
                                               "those"_w, "all"_w, "more"_w};
        if (std::any_of(std::begin(others), std::end(others),
                        [&](QLatin1String other) { return word == other; }))
            return true;
    }
    return false;
}

// Whether the sentence is advice: a tip ("Tip: enter £25.00 or more to
// stay ahead").
bool isTip(const QString& sentence)
{
    static const QLatin1String tips[] = {"tip"_w, "tips"_w, "top tip"_w, "pro tip"_w, "hint"_w};
    return std::any_of(std::begin(tips), std::end(tips),
                       [&](QLatin1String tip) { return wordsAt(sentence, tip) == 0; });
}

// Whether eBay says it took the bid: the user leads, was outbid by another
// bidder's maximum, or the bid was placed. A title or a heading ("Bid
// confirmation") says none of it: eBay titles its refusals so too; nor
// does a step of a list ("Review", "Bid placed").
bool confirms(const QVector<Said>& sentences)
{
    return anyStates(sentences, {"bidder"_w, "placed"_w, "outbid"_w},
                     {"you're the highest bidder"_w, "you are the highest bidder"_w,
                      "you're currently the highest bidder"_w,
                      "you are currently the highest bidder"_w, "you're still the highest bidder"_w,
                      "you are still the highest bidder"_w, "you're the high bidder"_w,
                      "you are the high bidder"_w, "you're currently the high bidder"_w,
                      "you are currently the high bidder"_w, "your bid has been placed"_w,
                      "your bid was placed"_w, "you've been outbid"_w, "you have been outbid"_w,
                      "you've just been outbid"_w, "you have just been outbid"_w}) ||
           std::any_of(sentences.begin(), sentences.end(), [](const Said& said) {
               return !said.listed && (said.lowered == QLatin1String("bid placed") ||
                                       said.lowered == QLatin1String("bid placed.") ||
                                       said.lowered == QLatin1String("bid placed!"));
           });
}

// eBay's reason after "You are unable to bid on or buy this item
// because:": the whole sentence that follows, in the same sentence or the
// next, a link's text included; "" when none follows.
QString givenReason(const QVector<Said>& sentences)
{
    const QLatin1String unable("you are unable to bid on or buy this item because:");
    for (int i = 0; i < sentences.size(); ++i) {
        const int at = sentences.at(i).lowered.indexOf(unable);
        if (at < 0)
            continue;
        QString reason = sentences.at(i).shown.mid(at + unable.size()).trimmed();
        if (reason.isEmpty() && i + 1 < sentences.size())
            reason = sentences.at(i + 1).shown;
        if (!reason.endsWith(QLatin1Char('.')) && !reason.endsWith(QLatin1Char('!')))
            return QString();
        if (reason.contains(QLatin1String("primary postage address"), Qt::CaseInsensitive))
            return QStringLiteral("The seller doesn't post to the country where your primary "
                                  "postage address is located");
        return reason;
    }
    return QString();
}

// Whether the sentence refuses the bid as too low: it asks to enter more
// ("Please enter £5.00 or more") or says the bid must be more or is too
// low, not as advice on leading ("... or more to stay ahead").
bool refusesAmount(const QString& sentence)
{
    static const QLatin1String amounts[] = {"or more"_w, "more than"_w, "greater than"_w,
                                            "higher than"_w};
    const auto advised = [&](int from) {
        return std::any_of(std::begin(Purposes), std::end(Purposes), [&](QLatin1String purpose) {
            return wordsAt(sentence, purpose, from) >= 0;
        });
    };
    const int enter = sentence.contains("enter"_w) ? statedAt(sentence, "enter"_w) : -1;
    if (enter >= 0) {
        for (const QLatin1String amount : amounts) {
            const int at = wordsAt(sentence, amount, enter);
            if (at >= 0 && !advised(at))
                return true;
        }
    }
    static const QLatin1String musts[] = {"must be higher than"_w,
                                          "must be more than"_w,
                                          "must be greater than"_w,
                                          "must be at least"_w,
                                          "too low"_w,
                                          "bid is lower than"_w,
                                          "lower than the starting price"_w,
                                          "below the starting price"_w};
    return holdsAny(sentence, {"must be"_w, "low"_w}) &&
           std::any_of(std::begin(musts), std::end(musts), [&](QLatin1String must) {
               const int at = statedAt(sentence, must);
               return at >= 0 && !advised(at);
           });
}

// The refusal the page states: "" when none, else LOW_BIDAMOUNT,
// AUCTION_ENDED or eBay's sentence that refuses the bid, the first of
// these that any sentence says.
QString refusal(const QVector<Said>& sentences)
{
    if (std::any_of(sentences.begin(), sentences.end(),
                    [](const Said& said) { return refusesAmount(said.lowered); }))
        return QStringLiteral("LOW_BIDAMOUNT");
    if (anyStates(sentences, {"ended"_w},
                  {"bidding has ended"_w, "bidding has now ended"_w, "auction has ended"_w,
                   "auction has now ended"_w, "listing has ended"_w, "listing has now ended"_w,
                   "bidding on this item has ended"_w, "bidding on this item has now ended"_w}))
        return QStringLiteral("AUCTION_ENDED");
    for (const Said& said : sentences) {
        const QString& sentence = said.lowered;
        if ((holdsAny(sentence, {"place"_w}) &&
             states(sentence,
                    {"bid has not been placed"_w, "bid hasn't been placed"_w,
                     "bid was not placed"_w, "bid wasn't placed"_w, "bid could not be placed"_w,
                     "bid couldn't be placed"_w, "could not place your bid"_w,
                     "couldn't place your bid"_w, "can't place your bid"_w,
                     "cannot place your bid"_w, "unable to place your bid"_w})) ||
            (holdsAny(sentence, {"accepted"_w}) &&
             states(sentence, {"was not accepted"_w, "wasn't accepted"_w, "has not been accepted"_w,
                               "hasn't been accepted"_w})) ||
            (holdsAny(sentence, {"can"_w, "unable"_w}) &&
             states(sentence,
                    {"can't bid"_w, "cannot bid"_w, "can not bid"_w, "unable to bid"_w})) ||
            (holdsAny(sentence, {"blocked"_w}) && states(sentence, {"has blocked you"_w})) ||
            (holdsAny(sentence, {"password"_w}) &&
             states(sentence, {"password you entered is incorrect"_w, "password is incorrect"_w})))
            return said.shown;
    }
    return QString();
}

QString lowered(const QString& sentence)
{
    QString result(sentence.size(), Qt::Uninitialized);
    for (int i = 0; i < sentence.size(); ++i) {
        const QChar c = sentence.at(i);
        result[i] = c == QChar(0x2019) || c == QChar(0x2018) || c == QChar(0x02bc)
                        ? QLatin1Char('\'')
                        : c.toLower();
    }
    return result;
}

} // namespace

bool ItemHelper::isSignInForm(const QString& page)
{
    return TextHelper::readPage(page).passwordShown;
}

QString ItemHelper::htmlBidAnswer(const QString& page)
{
    // Read as a person reads the page. Only eBay's word takes the bid; a
    // page that takes and refuses it, or does neither, or that the reader
    // cannot follow, is not guessed at: the user's standing after the end
    // tells. eBay's sign-in form refuses it, under whatever title, unless
    // eBay says it took the bid.
    const TextHelper::Reading reading = TextHelper::readPage(page);
    if (!reading.known)
        return unconfirmedBidReason();
    QVector<Said> all;
    all.reserve(reading.sentences.size());
    for (const TextHelper::Sentence& sentence : reading.sentences)
        all.append({lowered(sentence.text), sentence.text, sentence.listed});
    // Only a sentence that states something with one of these words can
    // take or refuse the bid: not a link, a hint, a quotation, a question,
    // a tip or one about other items.
    QVector<Said> telling;
    static const QLatin1String keys[] = {"bid"_w,   "accepted"_w, "blocked"_w, "password"_w,
                                         "ended"_w, "enter"_w,    "must be"_w, "low"_w};
    for (int i = 0; i < all.size(); ++i) {
        const TextHelper::Sentence& sentence = reading.sentences.at(i);
        const QString& text = all.at(i).lowered;
        if (sentence.aside || sentence.quoted || text.endsWith(QLatin1Char('?')) || isTip(text) ||
            aboutOtherItems(text))
            continue;
        if (std::any_of(std::begin(keys), std::end(keys),
                        [&](QLatin1String key) { return text.contains(key); }))
            telling << all.at(i);
    }
    const bool taken = confirms(telling);
    QString refused = givenReason(all);
    if (refused.isEmpty() && !taken && reading.passwordShown)
        refused = signInAgainReason();
    if (refused.isEmpty())
        refused = refusal(telling);
    if (taken)
        return refused.isEmpty() ? QStringLiteral("Placed") : ambiguousBidReason();
    return refused.isEmpty() ? unconfirmedBidReason() : refused;
}
