#include <dlfcn.h>
#include <gtest/gtest.h>

#include "platform/lazy_link/lazy_fixture.h"

namespace {

bool loaded(const char* soname) {
  void* handle = dlopen(soname, RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

TEST(LazyLibraryTest, LoadsAtTheFirstCallAndPassesEveryArgumentThrough) {
  ASSERT_FALSE(loaded("libvokaru_lazy_fixture.so"));
  const auto mix = [] {
    return lazyFixtureMix(1, 2, 3, 4, 5, 6, 7, 0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5);
  };
  const double expected = 1 + 2 * 2 + 3 * 4 + 4 * 8 + 5 * 16 + 6 * 32 + 7 * 64 + 0.5 * 128 +
                          1.5 * 256 + 2.5 * 512 + 3.5 * 1024 + 4.5 * 2048 + 5.5 * 4096 +
                          6.5 * 8192 + 7.5 * 16384 + 8.5 * 32768;
  EXPECT_EQ(mix(), expected);  // through the binder
  EXPECT_TRUE(loaded("libvokaru_lazy_fixture.so"));
  EXPECT_EQ(mix(), expected);  // through the bound slot
  // A variadic call passes the count of vector registers in al, which the binder must keep.
  EXPECT_EQ(lazyFixtureSumDoubles(3, 0.25, 0.5, 1.0), 1.75);
  EXPECT_EQ(lazyFixtureSumDoubles(9, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0), 45.0);
}

TEST(LazyLibraryDeathTest, AMissingLibraryEndsTheProgramNamingIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(lazyFixtureMissing(), "libvokaru_lazy_missing.so");
}

}  // namespace
