#include "ftsplan/atmosphere/reference_profile.hpp"

#include "common/free_form.hpp"
#include "ftsplan/atmosphere/gas_names.hpp"
#include "ftsplan/user_error.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <optional>
#include <sstream>

namespace ftsplan {

namespace {

// Altitudes above this are taken for metres written where kilometres belong.
constexpr double kHighestAltitudeKm = 1000.0;
// Temperatures at or below this are unusual for kelvin (but possible near a
// polar summer mesopause); they are read as kelvin and reported.
constexpr double kLowTemperature = 150.0;

std::vector<std::string_view> split_items(std::string_view line) {
    std::vector<std::string_view> items;
    std::size_t i = 0;
    auto separator = [](char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r'; };
    while (i < line.size()) {
        while (i < line.size() && separator(line[i])) ++i;
        std::size_t start = i;
        while (i < line.size() && !separator(line[i])) ++i;
        if (i > start) items.push_back(line.substr(start, i - start));
    }
    return items;
}

// The numbers of a line, or nothing when an item is not a number.
std::optional<std::vector<double>> numbers_of(std::string_view line) {
    std::vector<double> values;
    for (std::string_view item : split_items(line)) {
        double v = 0;
        if (!fts::parse_real(item, v)) return std::nullopt;
        values.push_back(v);
    }
    return values;
}

std::string number_text(double v) {
    std::ostringstream s;
    s.precision(9);
    s << v;
    return s.str();
}

// Walks the lines of the file block by block.
class BlockReader {
  public:
    BlockReader(std::string file, std::vector<std::string> lines, int levels)
        : file_(std::move(file)), lines_(std::move(lines)), levels_(levels) {}

    // Moves to the next non-blank line, the title of block `index`; false at
    // the end of the file.
    bool next_title(int index, const std::string& name) {
        while (pos_ < lines_.size() && split_items(lines_[pos_]).empty()) ++pos_;
        if (pos_ >= lines_.size()) return false;
        block_ = index;
        name_ = name;
        title_line_ = pos_ + 1;
        ++pos_;
        return true;
    }
    // Names the current block once its title has been read.
    void rename(const std::string& name) { name_ = name; }
    const std::string& title() const { return lines_[title_line_ - 1]; }
    std::size_t title_line() const { return title_line_; }

    // Reads the L values that follow the title.
    std::vector<double> values() {
        std::vector<double> v;
        while (static_cast<int>(v.size()) < levels_) {
            if (pos_ >= lines_.size())
                fail("fewer than " + std::to_string(levels_) + " values (found " +
                     std::to_string(v.size()) + " before the end of the file)");
            auto row = numbers_of(lines_[pos_]);
            if (!row)
                fail("fewer than " + std::to_string(levels_) + " values (found " +
                     std::to_string(v.size()) + "; line " + std::to_string(pos_ + 1) +
                     " is not a row of numbers)");
            v.insert(v.end(), row->begin(), row->end());
            ++pos_;
        }
        if (static_cast<int>(v.size()) > levels_)
            fail("more than " + std::to_string(levels_) + " values (line " + std::to_string(pos_) +
                 " goes beyond them)");
        return v;
    }

    // A title that is a row of numbers: the block before it has too many
    // values, or this block lacks its title.
    void check_title_is_text() {
        auto row = numbers_of(title());
        if (row && !row->empty())
            fail("line " + std::to_string(title_line_) +
                 " holds numbers where the title line of the block belongs (the block before "
                 "has more than " +
                 std::to_string(levels_) + " values, or this title is missing)");
    }

    [[noreturn]] void fail(const std::string& problem) const {
        throw UserError(file_ + ": block " + std::to_string(block_) + " (" + name_ +
                        ", title at line " + std::to_string(title_line_) + "): " + problem);
    }

    // First non-blank line after the last block, 0 if none.
    std::size_t trailing_line() {
        while (pos_ < lines_.size() && split_items(lines_[pos_]).empty()) ++pos_;
        return pos_ < lines_.size() ? pos_ + 1 : 0;
    }

  private:
    std::string file_;
    std::vector<std::string> lines_;
    int levels_;
    std::size_t pos_ = 1; // line 1 is the count line
    int block_ = 0;
    std::string name_;
    std::size_t title_line_ = 0;
};

std::vector<std::string> read_lines(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw UserError(file.string() + ": cannot open the profile file");
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    if (in.bad()) throw UserError(file.string() + ": read error");
    return lines;
}

std::string join(const std::vector<std::string>& names) {
    std::string s;
    for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
    return s;
}

} // namespace

ReferenceProfile read_reference_profile(const std::filesystem::path& path) {
    const std::string file = path.string();
    std::vector<std::string> lines = read_lines(path);

    // Line 1: version, number of levels, number of gases.
    long header[3] = {0, 0, 0};
    {
        const std::string first = lines.empty() ? std::string() : lines[0];
        auto items = split_items(first);
        bool ok = items.size() >= 3;
        for (int i = 0; ok && i < 3; ++i) ok = fts::parse_long(items[i], header[i]);
        if (!ok)
            throw UserError(file +
                            ": line 1 must hold three integers (version, number of levels, "
                            "number of gases), found \"" +
                            first + "\"");
        if (header[1] < 2)
            throw UserError(file + ": line 1 gives " + std::to_string(header[1]) +
                            " levels; a profile needs at least 2");
        if (header[2] < 0)
            throw UserError(file + ": line 1 gives a negative number of gases (" +
                            std::to_string(header[2]) + ")");
    }
    const int nlev = static_cast<int>(header[1]);
    const int ngas = static_cast<int>(header[2]);
    BlockReader blocks(file, lines, nlev);

    auto missing_block = [&](int index, const std::string& name) {
        throw UserError(file + ": block " + std::to_string(index) + " (" + name +
                        ") is missing: the file ends before it");
    };

    // Altitude, pressure and temperature blocks.
    const char* const kStateNames[3] = {"altitude", "pressure", "temperature"};
    std::vector<double> state[3];
    for (int b = 0; b < 3; ++b) {
        if (!blocks.next_title(b + 1, kStateNames[b])) missing_block(b + 1, kStateNames[b]);
        blocks.check_title_is_text();
        state[b] = blocks.values();
        for (int l = 0; l < nlev; ++l) {
            const double v = state[b][l];
            if (!std::isfinite(v))
                blocks.fail("value " + std::to_string(l + 1) + " is not a finite number");
            if (b == 0 && l > 0) {
                const double prev = state[b][l - 1];
                const bool down = state[b][1] < state[b][0];
                if (down ? !(v < prev) : !(v > prev))
                    blocks.fail("altitudes not strictly monotonic: value " + std::to_string(l + 1) +
                                " (" + number_text(v) + " km) follows " + number_text(prev) +
                                " km");
            }
            if (b == 0 && std::abs(v) > kHighestAltitudeKm)
                blocks.fail("altitude " + number_text(v) +
                            " km; the altitudes must be given in km, not m");
            if (b == 1 && !(v > 0))
                blocks.fail("pressure " + number_text(v) + " mbar at value " +
                            std::to_string(l + 1) + " is not positive");
            if (b == 2 && !(v > 0))
                blocks.fail("temperature " + number_text(v) + " K at value " +
                            std::to_string(l + 1) + " is not positive (temperatures are kelvin)");
        }
    }

    ReferenceProfile out;
    std::vector<int> low_t;
    for (int l = 0; l < nlev; ++l)
        if (state[2][l] <= kLowTemperature) low_t.push_back(l + 1);
    if (!low_t.empty())
        out.warnings.push_back(file + ": block 3 (temperature): " + std::to_string(low_t.size()) +
                               " levels at or below " + number_text(kLowTemperature) +
                               " K; the values are read as kelvin");

    // Gas blocks.
    std::vector<std::vector<double>> vmr(kTableGases);
    std::vector<int> given_in(kTableGases + 1, 0); // block that gave gas g
    std::vector<std::string> unknown;
    for (int j = 1; j <= ngas; ++j) {
        const int index = 3 + j;
        const std::string where = "gas " + std::to_string(j) + " of " + std::to_string(ngas);
        if (!blocks.next_title(index, where)) missing_block(index, where);
        blocks.check_title_is_text();
        auto items = split_items(blocks.title());
        long number = 0;
        if (items.size() < 2 || !fts::parse_long(items[0], number) || numbers_of(items[1]))
            blocks.fail("the title line must begin with the gas number and its name, found \"" +
                        blocks.title() + "\"");
        const std::string name(items[1]);
        blocks.rename("gas " + std::to_string(number) + " " + name);
        std::vector<double> v = blocks.values();
        for (int l = 0; l < nlev; ++l)
            if (!std::isfinite(v[l]) || v[l] < 0.0 || v[l] > 1.0)
                blocks.fail("mixing ratio " + number_text(v[l]) + " at value " +
                            std::to_string(l + 1) +
                            " is not between 0 and 1 (plain fractions, not ppm)");
        const int g = match_gas_name(name);
        if (g == 0) {
            unknown.push_back(name);
            continue;
        }
        if (g == kHdoGas) continue; // hdo is h2o: line intensities carry the abundance
        if (given_in[g] != 0)
            blocks.fail("gas " + std::string(table_gas_name(g)) + " is already given by block " +
                        std::to_string(given_in[g]));
        given_in[g] = index;
        vmr[g - 1] = std::move(v);
    }
    if (std::size_t extra = blocks.trailing_line())
        out.warnings.push_back(file + ": text after the last of the " + std::to_string(ngas) +
                               " gas blocks is ignored (from line " + std::to_string(extra) + ")");
    if (!unknown.empty())
        out.warnings.push_back(file + ": gases not in the gas table, skipped: " + join(unknown));

    std::vector<std::string> absent;
    for (int g = 1; g <= kTableGases; ++g) {
        const int source = g == kHdoGas ? 1 : g;
        if (given_in[source] == 0) {
            absent.push_back(table_gas_name(g));
            vmr[g - 1].assign(static_cast<std::size_t>(nlev), 0.0);
        } else if (g == kHdoGas) {
            vmr[g - 1] = vmr[0];
        }
    }
    if (!absent.empty())
        out.warnings.push_back(
            file + ": " + std::to_string(absent.size()) +
            " gases of the gas table are not in the file and are set to 0: " + join(absent));

    // Increasing altitude for the model files.
    const bool top_down = state[0][1] < state[0][0];
    auto ascending = [&](std::vector<double> v) {
        if (top_down) std::reverse(v.begin(), v.end());
        return v;
    };
    out.z_km = ascending(state[0]);
    out.p_mbar = ascending(state[1]);
    out.t_k = ascending(state[2]);
    for (auto& column : vmr) column = ascending(std::move(column));
    out.vmr = std::move(vmr);
    return out;
}

} // namespace ftsplan
