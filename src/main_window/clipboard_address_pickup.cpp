#include "main_window/clipboard_address_pickup.h"

#include <QRegularExpression>

#include "main_window/address_recognition.h"
#include "platform/user_defaults.h"
#include "ui/preferences/clipboard_pickup_preference.h"

namespace clipmoor {

bool ClipboardAddressPickup::isEnabled() const {
    return defaults_.valueForKey(QString::fromLatin1(kClipmoorPicksUpClipboardAddressesKey))
        .toBool();
}

std::optional<QString> ClipboardAddressPickup::addressToPickUp(const QString& clipboardText,
                                                               const QString& fieldText) {
    if (!isEnabled() || clipboardText.size() > kLongestAddress) return std::nullopt;
    // A copied line often ends in a line break; the address is what is around it.
    const QString address = clipboardText.trimmed();
    const RecognizedAddress recognized = recognizeAddress(address);
    // Only what names a video in the site's identifier letters: a lookup picked up unasked
    // should not end in a failure that empties the field.
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z0-9_-]+$"));
    const bool video =
        (recognized.kind == AddressKind::MainHost || recognized.kind == AddressKind::ShortLink) &&
        recognized.videoID && identifier.match(*recognized.videoID).hasMatch();
    if (!video || address == lastSeen_) return std::nullopt;
    lastSeen_ = address;
    if (address == fieldText) return std::nullopt;
    return address;
}

}  // namespace clipmoor
