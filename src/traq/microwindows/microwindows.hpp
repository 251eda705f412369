// The microwindow search: target lines (table72, table73), ranking (table74),
// window edges and merging (table75, table76).  The stages exchange their
// results only through these text files.
#pragma once

#include "common/text_io.hpp"
#include "traq/state.hpp"

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

namespace traq {

// The table71 read-back, single precision, indexed from 1.  Each stage fills
// the columns it reads: the target-line stages nu, other_gases and signal,
// the window-edge stage nu and all_gases.
struct Table71ReadBack {
    std::vector<float> nu;          // frequency
    std::vector<float> other_gases; // spectrum of all lines but the target's
    std::vector<float> all_gases;   // spectrum of all lines
    std::vector<float> signal;      // response to a unit relative change of the target
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

// Helpers shared by the stages.

constexpr int T71_CAPACITY = 299999; // rows of the table71 read-back

// Sizes the read-back arrays for T71_CAPACITY rows (no-op when already done).
void allocate_table71(Table71ReadBack& t71);
// Opens a table or "output" for reading; an absent file is created empty
// first, so that its missing header lines are what gets reported.
void open_table_input(fts::LineInput& in, const std::string& path);
// The echo count that starts the first line of a microwindow table (free
// form, no error allowance).
long long echo_count_of(const std::string& line, const std::string& file, long line_no);
// Copies n lines unchanged (none when n <= 0); the end of file is an error.
void copy_lines(fts::LineInput& in, fts::LineOutput& out, long long n);
// What a stage makes of the head of the previous table: the first line,
// whose leading integer n counts the echoed control lines, n - 1 more echo
// lines, two blank lines and the column header.
enum class StageHead {
    copy,        // copied whole
    new_columns, // copied with a column header of the stage's own
    skip,        // read up to the column header, nothing written
};
// Opens the table of the previous stage (in) and this stage's table (out)
// and treats the head as asked; columns is the new column header.
void open_stage(const std::string& in_path, fts::LineInput& in, const std::string& out_path,
                fts::LineOutput& out, StageHead head, const std::string& columns = {});
// True when the frequency column never decreases (rows 1..rows).
bool frequencies_ascending(const Table71ReadBack& t71);
// First row of 1..last at which before(nu) turns false, by bisection on an
// ascending frequency column; 1 otherwise (the caller then scans every row).
template <class Before>
int first_row_from(const Table71ReadBack& t71, int last, bool ascending, Before before) {
    if (!ascending || last < 1) return 1;
    auto b = t71.nu.begin() + 1;
    return 1 + static_cast<int>(std::partition_point(b, b + last, before) - b);
}
// The 8-character window label: the gas name and a blank, or the isotope
// digit and the gas name.
std::string mw_label(const Options& opt);

} // namespace traq
