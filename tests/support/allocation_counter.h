// Counts the bytes that operator new hands out in this program, so that a
// test or a benchmark can tell the peak memory of one call. Linking
// allocation_counter.cpp into a program replaces its global operator new.
#ifndef LWK_TESTS_SUPPORT_ALLOCATION_COUNTER_H_
#define LWK_TESTS_SUPPORT_ALLOCATION_COUNTER_H_

#include <cstddef>

namespace lwk_test {

// Starts a new measurement: the peak is set to what is allocated now.
void reset_peak();
// The most bytes allocated at once since reset_peak, less what was allocated then.
std::size_t peak_since_reset();

}  // namespace lwk_test

#endif  // LWK_TESTS_SUPPORT_ALLOCATION_COUNTER_H_
