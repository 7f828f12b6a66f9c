#pragma once

#include <curl/curl.h>

#include "platform/error.h"

namespace clipmoor {

// Turns a libcurl result into a transfer error of kURLErrorDomain; `detail` is libcurl's
// error buffer for the transfer, which names the host or the certificate problem.
Error errorFromCurlCode(CURLcode code, const char* detail);

}  // namespace clipmoor
