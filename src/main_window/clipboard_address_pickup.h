#pragma once

#include <QString>

#include <optional>

namespace clipmoor {

class UserDefaults;

// Decides whether the clipboard's text is taken into the address field when the main window
// becomes active: only with the user's preference on, only a watch address or short link that
// names a video (an identifier of letters, digits, "-" and "_"), and only once per distinct
// address. No widgets, no clipboard: the caller
// reads the clipboard and fills the field.
class ClipboardAddressPickup {
public:
    // Longer texts are no address anyone copied; they are not even parsed.
    static constexpr int kLongestAddress = 2048;

    explicit ClipboardAddressPickup(UserDefaults& defaults) : defaults_(defaults) {}

    // The preference, read from the user defaults each time (the preferences window may have
    // changed it).
    bool isEnabled() const;
    // The address to look up: `clipboardText` without surrounding white space, if it is a
    // video address that differs from the one picked up last and from what the field already
    // holds. Either way the address counts as seen.
    std::optional<QString> addressToPickUp(const QString& clipboardText, const QString& fieldText);

private:
    UserDefaults& defaults_;
    QString lastSeen_;
};

}  // namespace clipmoor
