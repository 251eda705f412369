// The microwindow search as a whole (study d, and run mode s) and the helpers
// its stages share.
#include "traq/microwindows/microwindows.hpp"

#include "common/fortran_format.hpp"
#include "common/free_form.hpp"

#include <filesystem>
#include <fstream>

namespace traq {

namespace field = fts::field;

void allocate_table71(Table71ReadBack& t71) {
    const std::size_t n = static_cast<std::size_t>(T71_CAPACITY) + 1;
    if (t71.nu.size() != n) t71.nu.assign(n, 0.0f);
    if (t71.other_gases.size() != n) t71.other_gases.assign(n, 0.0f);
    if (t71.all_gases.size() != n) t71.all_gases.assign(n, 0.0f);
    if (t71.signal.size() != n) t71.signal.assign(n, 0.0f);
}

void open_table_input(fts::LineInput& in, const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) std::ofstream create(path, std::ios::app);
    in.open(path);
}

long long echo_count_of(const std::string& line, const std::string& file, long line_no) {
    int n = 0;
    fts::read_free_text(line, {&n}, file, line_no);
    return n;
}

void copy_lines(fts::LineInput& in, fts::LineOutput& out, long long n) {
    for (long long k = 0; k < n; ++k) out.line(in.require("a header line"));
}

void open_stage(const std::string& in_path, fts::LineInput& in, const std::string& out_path,
                fts::LineOutput& out, StageHead head, const std::string& columns) {
    open_table_input(in, in_path);
    out.open(out_path);
    const std::string first = in.require("the first line");
    const long long n = echo_count_of(first, in.name(), in.line_number());
    if (head == StageHead::skip) {
        for (long long k = 0; k < n + 1; ++k) in.require("a header line");
        return;
    }
    out.line(first);
    copy_lines(in, out, n + 1);
    if (head == StageHead::copy) {
        copy_lines(in, out, 1);
    } else {
        in.require("the column header");
        out.line(columns);
    }
}

bool frequencies_ascending(const Table71ReadBack& t71) {
    for (int i = 2; i <= t71.rows; ++i)
        if (t71.nu[i] < t71.nu[i - 1]) return false;
    return true;
}

std::string mw_label(const Options& opt) {
    if (opt.target_iso == 0) return field::fixed(opt.target_name, 7) + " ";
    return field::I(opt.target_iso, 1) + field::fixed(opt.target_name, 7);
}

void microwindow_search(const Options& opt, std::ostream& console) {
    Table71ReadBack t71;
    allocate_table71(t71);
    target_lines_table72(opt, t71, console);
    target_lines_table73(opt, t71, console);
    rank_lines_table74(opt, console);
    window_edges_table75(opt, t71, console);
    merge_windows_table76(opt, console);
}

} // namespace traq
