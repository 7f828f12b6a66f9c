#pragma once

#include <QString>

#include <optional>
#include <vector>

#include "platform/url.h"

namespace clipmoor {

// What an address typed, pasted, dropped or handed over by the browser turns out to be.
enum class AddressKind {
    NotAUrl,          // no URL, or no scheme, or no host: ignored without a word
    MainHost,         // a page on the site's main host; the identifier is its "v" query item
    ShortLink,        // a short link; the identifier is its last path component
    SecondVideoSite,  // the other video site, which is not supported yet
    OtherHost,        // any other host, including other spellings of the site's hosts
};

struct RecognizedAddress {
    AddressKind kind = AddressKind::NotAUrl;
    // The video identifier, for the two kinds of the site; none when the address carries none.
    std::optional<QString> videoID;
};

// Recognises `text` exactly as it stands: it is not trimmed, no scheme is added, and hosts are
// compared with the site's host names letter for letter (the scheme itself is not checked).
RecognizedAddress recognizeAddress(const QString& text);

// The value of the first query item called `name` (exact, case-sensitive); none when no item
// has that name or the first one has no value.
std::optional<QString> valueForKey(const QString& name, const std::vector<QueryItem>& items);

}  // namespace clipmoor
