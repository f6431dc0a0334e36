#pragma once
// Counts heap allocations made through operator new in this test program, so
// a test can show that an operation allocates nothing.

#include <cstddef>

std::size_t allocationCount();
