#pragma once

namespace platform::web {

// Hands the memory WebKit's allocator holds freed back to the system now, rather than at the
// allocator's own next sweep, most of a second later. Worth it right after something large was
// freed at once, like the backing store of a web view that closed. Answers false when the
// installed WebKit offers no such call.
bool releaseEngineFreeMemory();

}  // namespace platform::web
