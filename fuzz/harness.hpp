// Helpers shared by the fuzz harnesses: a scratch folder per process, files
// written from the input, and the outcomes that count as correct.
//
// A reader may end the run with its own message (fts::StopRun) or with an
// error of the file layer (fts::FileError); both are correct outcomes and
// are swallowed here.  Anything else (a sanitizer report, a crash, another
// exception, a hang) is left to libFuzzer, which reports it as a finding.
#pragma once

#include "common/fortran_format.hpp"
#include "common/stop.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace fuzzing {

// Where the scratch folders go: FUZZ_SCRATCH, else /dev/shm (memory: the
// harnesses write several files per input), else the temporary folder.
inline std::filesystem::path scratch_parent() {
    if (const char* s = std::getenv("FUZZ_SCRATCH")) return s;
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

// The scratch folder of this process, created on first use and removed when
// the process ends normally.
inline const std::filesystem::path& scratch() {
    static const std::filesystem::path dir = [] {
        std::string templ = (scratch_parent() / "fts-fuzz-XXXXXX").string();
        if (!::mkdtemp(templ.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        static std::filesystem::path keep = templ;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(keep, ec);
        });
        return std::filesystem::path(templ);
    }();
    return dir;
}

// Full path of a file in the scratch folder.
inline std::string path_of(const std::string& name) {
    return (scratch() / name).string();
}

// Writes a file of the scratch folder (binary, exactly the given bytes).
inline std::string put(const std::string& name, std::string_view content) {
    std::string p = path_of(name);
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return p;
}

// Removes a file of the scratch folder if it exists.
inline void drop(const std::string& name) {
    std::error_code ec;
    std::filesystem::remove(scratch() / name, ec);
}

// Splits the input at NUL bytes into at most n parts; missing parts are
// empty and the last part keeps any further NUL bytes.  Harnesses that need
// several files take them from one input this way.
inline std::vector<std::string_view> split(const uint8_t* data, std::size_t size, std::size_t n) {
    std::string_view all(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < n) {
        std::size_t p = all.find('\0');
        if (p == std::string_view::npos) break;
        parts.push_back(all.substr(0, p));
        all.remove_prefix(p + 1);
    }
    parts.push_back(all);
    parts.resize(n);
    return parts;
}

// Takes one byte off the front of the input (0 when none is left).
inline uint8_t take_byte(const uint8_t*& data, std::size_t& size) {
    if (size == 0) return 0;
    uint8_t b = *data++;
    --size;
    return b;
}

// Runs a body; the stop convention's two outcomes end it quietly.
template <class F> void expect_sound(F&& body) {
    try {
        body();
    } catch (const fts::StopRun&) {
    } catch (const fts::FileError&) {
    }
}

// The line database of the harnesses that read lines (record length 101,
// sorted): HITRAN-numbered lines near 1000 cm-1 (isotopes, molecules that are
// dropped, one above the gas table) and CO target lines among other gases
// around 2000 cm-1 (equal positions included).  All share the air and self
// widths, the lower-state energy, the temperature exponent and a zero shift.
constexpr long kSeedRecords = 23;
inline std::string seed_database() {
    struct SeedLine {
        int mol, iso;
        double nu, s;
    };
    static constexpr SeedLine kLines[kSeedRecords] = {
        {2, 1, 994.0, 1e-22},     {3, 1, 999.8, 3e-19},   {2, 2, 1000.0, 5e-23},
        {1, 4, 1000.1, 1e-21},    {1, 1, 1000.2, 2e-24},  {28, 1, 1000.3, 1e-20},
        {99, 1, 1000.4, 1e-20},   {7, 1, 1001.0, 1e-20},  {3, 1, 1998.6, 2e-21},
        {5, 1, 1999.2, 3e-20},    {5, 1, 1999.5, 4e-20},  {5, 3, 2000.0, 1e-21},
        {5, 2, 2000.25, 1.5e-20}, {28, 1, 2000.4, 9e-19}, {5, 1, 2000.5, 4e-20},
        {1, 1, 2000.5, 1e-22},    {1, 4, 2000.62, 1e-21}, {5, 1, 2000.8, 2.5e-20},
        {5, 3, 2001.3, 3e-21},    {5, 1, 2002.6, 2e-20},  {5, 1, 2002.61, 2e-20},
        {5, 1, 2002.9, 2e-20},    {5, 1, 2004.0, 2e-20}};
    using namespace fts::field;
    std::string db;
    for (const SeedLine& l : kLines) {
        std::string r = I(l.mol, 2) + I(l.iso, 1) + F(l.nu, 12, 6) + E(l.s, 10, 3) + X(10) +
                        ".0700.0800" + F(100.0, 10, 4) + F(0.75, 4, 2) + F(0.0, 8, 6);
        db += fixed(r, 100) + "\n";
    }
    return db;
}

} // namespace fuzzing
