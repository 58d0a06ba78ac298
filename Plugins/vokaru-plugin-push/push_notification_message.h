#pragma once
// The dictionary a page receives for one notification: "message", "title", "count", "sound" and
// "image" from the payload's "aps", and "additionalData" with every other key plus "foreground"
// and "coldstart". Payload values are copied unchanged; keys the payload lacks stay absent.
#include "platform/foundation/value.h"

platform::Dictionary pushNotificationMessage(const platform::Dictionary& payload, bool foreground,
                                             bool coldstart);
