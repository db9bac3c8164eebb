// The driver's own classification of the running system. Only "generation 8" (NT 6) matters:
// it halves the rate divisor and finds friendly names through device setup.
#pragma once

constexpr int kGenerationNt6 = 8;
constexpr int kGenerationUnknown = 9;

// Reads the version through the system facts; false when it cannot be classified.
bool classifySystemGeneration(int& generation);
