#pragma once

// Functions of a small shared library that the lazy-loading tests call through stubs: their
// arguments fill every integer and vector argument register and spill onto the stack.
extern "C" {
double lazyFixtureMix(int a, long b, int c, long d, int e, long f, long onStack, double x0,
                      double x1, double x2, double x3, double x4, double x5, double x6, double x7,
                      double xOnStack);
double lazyFixtureSumDoubles(int count, ...);
int lazyFixtureMissing();  // in a library that isn't there
}
