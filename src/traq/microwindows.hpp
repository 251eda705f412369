// The microwindow search: target lines (table72, table73), ranking (table74),
// window edges and merging (table75, table76).  The stages exchange their
// results only through these text files.
#pragma once

#include "traq/state.hpp"

#include <ostream>
#include <vector>

namespace traq {

// The table71 read-back, single precision, indexed from 1.
struct Table71ReadBack {
    std::vector<float> nu, others, signal;
    int rows = 0;
};

void target_lines_table72(const Options& opt, Table71ReadBack& t71, std::ostream& console);
void target_lines_table73(const Options& opt, const Table71ReadBack& t71, std::ostream& console);
void rank_lines_table74(const Options& opt, std::ostream& console);
void window_edges_table75(const Options& opt, Table71ReadBack& t71, std::ostream& console);
void merge_windows_table76(const Options& opt, std::ostream& console);

// Insertion sort of key[1..n] ascending, idx moved alongside (stable).
void line_sort(double* key, int* idx, int n);

// Runs the whole search (study d).
void microwindow_search(const Options& opt, std::ostream& console);

} // namespace traq
