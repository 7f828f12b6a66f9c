#pragma once

#include <QString>

#include <cstdio>
#include <cstdlib>

namespace clipmoor::test {

// The test site cannot run (no nginx, no certificates, no free port...): say why and end the
// test process, so the run fails loudly instead of skipping.
[[noreturn]] inline void failSetup(const QString& message) {
    std::fprintf(stderr, "\n*** clipmoor test site: %s\n\n", qPrintable(message));
    std::fflush(stderr);
    std::abort();
}

}  // namespace clipmoor::test
