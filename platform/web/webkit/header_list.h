#pragma once

#include <libsoup/soup.h>

#include "platform/web/url_request.h"

namespace platform::web {

// The engine's header fields as ours, in order; empty for null.
HeaderList headerListOf(SoupMessageHeaders* headers);

}  // namespace platform::web
