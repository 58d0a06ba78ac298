#pragma once

#include <string_view>

// VKR_ASSERT_MAIN_THREAD() stands at the door of every "main thread only" class: called on any
// other thread it reports an assertion failure naming the function. Active in debug and sanitizer
// builds (VOKARU_THREAD_CHECKS); a no-op in release builds.
#if !defined(NDEBUG) || defined(VOKARU_THREAD_CHECKS)
#define VKR_ASSERT_MAIN_THREAD() ::platform::assertMainThread(__func__)
#else
#define VKR_ASSERT_MAIN_THREAD() static_cast<void>(0)
#endif

namespace platform {

// Reports "<function> called off the main thread" through assertionFailure unless on the main
// thread.
void assertMainThread(std::string_view function);

}  // namespace platform
