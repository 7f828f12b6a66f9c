#pragma once

namespace clipmoor {

// User default (boolean, off when missing): when the main window becomes active, a video
// address on the clipboard is put into the address field and looked up.
inline constexpr const char* kClipmoorPicksUpClipboardAddressesKey =
    "ClipmoorPicksUpClipboardAddresses";

}  // namespace clipmoor
