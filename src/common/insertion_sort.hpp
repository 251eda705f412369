// The stable insertion sort both programs rank with: keys ascending, equal
// keys keeping their order, an index array carried along.
#pragma once

namespace fts {

// Sorts key(1..n) ascending and moves idx(1..n) with it (1-based arrays).
inline void insertion_sort(double* key, int* idx, int n) {
    for (int i = 2; i <= n; ++i) {
        const double k = key[i];
        const int x = idx[i];
        int j = i - 1;
        while (j >= 1 && key[j] > k) {
            key[j + 1] = key[j];
            idx[j + 1] = idx[j];
            --j;
        }
        key[j + 1] = k;
        idx[j + 1] = x;
    }
}

} // namespace fts
