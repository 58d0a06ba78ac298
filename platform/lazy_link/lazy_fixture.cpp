#include "platform/lazy_link/lazy_fixture.h"

#include <cstdarg>

extern "C" {

// Each argument gets its own weight, so that a swapped or lost register changes the answer.
double lazyFixtureMix(int a, long b, int c, long d, int e, long f, long onStack, double x0,
                      double x1, double x2, double x3, double x4, double x5, double x6, double x7,
                      double xOnStack) {
  return a * 1.0 + b * 2.0 + c * 4.0 + d * 8.0 + e * 16.0 + f * 32.0 + onStack * 64.0 + x0 * 128 +
         x1 * 256 + x2 * 512 + x3 * 1024 + x4 * 2048 + x5 * 4096 + x6 * 8192 + x7 * 16384 +
         xOnStack * 32768;
}

double lazyFixtureSumDoubles(int count, ...) {
  va_list arguments;
  va_start(arguments, count);
  double sum = 0;
  for (int i = 0; i < count; ++i) sum += va_arg(arguments, double);
  va_end(arguments);
  return sum;
}
}
