#pragma once

#include <QByteArray>
#include <QString>

namespace clipmoor {

// The certificate authorities transfers trust: the system's own, plus those of the PEM file
// named by CLIPMOOR_CA_BUNDLE when it is set.
struct TrustedAuthorities {
    // A file holding both sets, for libcurl to load once and keep cached; empty when the
    // system's own authorities are all there is.
    QString file;
    // The combined set in memory, used only when that file cannot be written.
    QByteArray inMemory;

    static TrustedAuthorities fromEnvironment();
};

}  // namespace clipmoor
