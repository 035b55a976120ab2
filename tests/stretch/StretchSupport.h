// What the time-stretch tests share: signals, a checksum, and the engine driven as a player drives it.
#pragma once

#include <cstdint>
#include <vector>

// Full-range pseudo-random values, extremes included.
std::vector<int16_t> NoiseSignal(uint32_t frames, uint32_t channels, uint32_t seed);
// A tone sweeping from 100 Hz to 4 kHz; the second channel lags a quarter period.
std::vector<int16_t> SweepSignal(uint32_t frames, uint32_t channels, uint32_t rate);
uint64_t Checksum(const std::vector<int16_t> &values);
// Puts pieces of varying size, draining after each, then flushes; a nonzero `then` is the factor set at half the input.
std::vector<int16_t> StretchWithEngine(const std::vector<int16_t> &input, uint32_t rate, uint32_t ch, float factor,
                                       float then = 0);
