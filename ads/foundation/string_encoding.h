#pragma once

#include "toolbox/encoding/string_encoding.h"

// The ads engine's base 2/16/32/64 codec. It is the toolbox's table-driven coder under the name
// the engine uses: one implementation, so the two can never drift apart.
using ZAD_ZTMStringEncoding = ZSDK_ZTMStringEncoding;
