#pragma once

#include <QByteArray>

namespace clipmoor::bench {

// A video information answer of about `targetBytes`, with a few hundred stream entries whose
// addresses and signatures are percent-encoded the way the site sends them.
QByteArray makeVideoInfoAnswer(int targetBytes);

}  // namespace clipmoor::bench
