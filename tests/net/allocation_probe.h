#pragma once

#include <cstddef>

// The largest single allocation made by this test program since the last Reset(). The
// test program replaces the global operator new to measure it.
namespace allocation_probe {
void Reset();
std::size_t Largest();
}  // namespace allocation_probe
