#include "ads/foundation/rendering_services.h"

#include <atomic>

namespace {

std::atomic<bool> gMRAIDInterceptionAllowed = false;

}  // namespace

void ZADMRAIDInterceptor::allow() { gMRAIDInterceptionAllowed = true; }

bool ZADMRAIDInterceptor::isAllowed() { return gMRAIDInterceptionAllowed; }
