// MulDiv: a 64-bit product divided with rounding half away from zero; -1 for a zero denominator or
// a result outside the 32-bit range, as on Windows.
#include <climits>
#include <cstdlib>

#include "kernel32.h"

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    const long long product = static_cast<long long>(number) * numerator;
    const long long divisor = std::llabs(static_cast<long long>(denominator));
    const long long magnitude = (std::llabs(product) + divisor / 2) / divisor;
    const long long result = (product < 0) != (denominator < 0) ? -magnitude : magnitude;
    return result < INT_MIN || result > INT_MAX ? -1 : static_cast<int>(result);
}
