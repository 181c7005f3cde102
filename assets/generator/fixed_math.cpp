// The generator's sine table, computed with a fixed-point Taylor series (integer arithmetic only,
// so it is the same on every machine).
#include "fixed_math.h"

namespace gen {

int32_t sine_table[SINE_SIZE + 1];

void sine_table_init() {
    const int64_t half_pi_q30 = 1686629713;  // pi/2 * 2^30
    const int quarter = SINE_SIZE / 4;
    for (int i = 0; i <= quarter; ++i) {
        int64_t x = half_pi_q30 * i / quarter;
        int64_t x2 = x * x >> 30;
        int64_t term = x, sum = x;
        for (int k = 1; k <= 8; ++k) {
            term = -(term * x2 >> 30) / ((2 * k) * (2 * k + 1));
            sum += term;
        }
        int32_t v = static_cast<int32_t>((sum + (1 << 13)) >> 14);
        sine_table[i] = v;
        sine_table[SINE_SIZE / 2 - i] = v;
        sine_table[SINE_SIZE / 2 + i] = -v;
        sine_table[SINE_SIZE - i] = -v;
    }
    sine_table[0] = sine_table[SINE_SIZE / 2] = sine_table[SINE_SIZE] = 0;
}

}  // namespace gen
