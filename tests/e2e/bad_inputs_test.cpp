// A catalogue of bad inputs for both programs, each run through the real
// program in a folder of its own.
//
// Every case starts from a complete, valid set of inputs (a difference study
// of CO near 2000 cm-1 for traq, one CO window for pelmox), spoils one thing
// and states the exact outcome: the program's own message (last console
// line, exit status 2) or the file-layer error (one line on the error
// stream naming the file, exit status 1), the files that must be left as
// they were, the files that must not exist, and, for inputs that must work
// (other line ends, other record lengths, comments), the files that must
// equal those of the unspoiled run.
#include "support/test_support.hpp"

#include "common/fortran_format.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sys/stat.h>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

enum class Prog { traq, pelmox };

const char* const kStop = "Stop - Program terminated.";
const char* const kMismatch = " Record length of the line database does not match its records";

// HITRAN-numbered lines around 2000 cm-1: CO (the target) among H2O, O3, CO2
// and a dropped molecule.  Record 12 lies above the range plus its margin.
std::vector<std::string> database_records() {
    return {line_record(3, 1, 1998.6, 2.0e-21, 0.075, 300.0),
            line_record(5, 1, 1999.2, 3.0e-20, 0.06, 80.0),
            line_record(1, 1, 1999.9, 5.0e-24, 0.09, 200.0),
            line_record(5, 2, 2000.25, 1.5e-20, 0.06, 120.0),
            line_record(3, 1, 2000.31, 4.0e-21, 0.075, 150.0),
            line_record(28, 1, 2000.4, 9.0e-19, 0.07, 10.0),
            line_record(5, 1, 2000.5, 4.0e-20, 0.06, 60.0),
            line_record(1, 4, 2000.62, 1.0e-21, 0.08, 90.0),
            line_record(2, 1, 2000.7, 8.0e-23, 0.07, 500.0),
            line_record(5, 1, 2000.8, 2.5e-20, 0.06, 100.0),
            line_record(3, 1, 2001.3, 3.0e-21, 0.075, 250.0),
            line_record(5, 1, 2002.6, 2.0e-20, 0.06, 140.0)};
}

std::string join(const std::vector<std::string>& parts) {
    std::string s;
    for (const auto& p : parts) s += p;
    return s;
}

std::string with_crlf(const std::string& text) {
    std::string s;
    for (char c : text) {
        if (c == '\n') s += '\r';
        s += c;
    }
    return s;
}

// The title line of the test control file starts with 6: the microwindow
// tables begin with 6 echoed control lines.
constexpr std::size_t kEchoCount = 6;

std::vector<std::string> lines_of(const std::string& text) {
    return split_lines(text);
}

// The folder of one case with the inputs of both programs.
class Scene {
  public:
    Scene() {
        write_test_atmosphere(dir.path(), "tropic");
        dir.write("lines.dat", join(database_records()));
        korav_lines = lines_of(korav_control({{6, "h 101"}, {9, "d"}}));
        write_korav();
        pelmox_records = lines_of("lines.dat\n \n \nh 101\n0\nt\n0.0\nn\n0\n0.0\n0.0\nd\nn\nn\n");
        write_pelmox();
        dir.write("table76", "name     cm-1     window \nco       2000.50   0.40\n");
    }

    // Control line n (1-based) of "input-korav".
    void korav(int n, const std::string& text) {
        korav_lines.at(static_cast<std::size_t>(n - 1)) = text;
        write_korav();
    }
    // Record n (1-based) of "input-pelmox".
    void pelmox(int n, const std::string& text) {
        pelmox_records.at(static_cast<std::size_t>(n - 1)) = text;
        write_pelmox();
    }
    void write(const std::string& name, const std::string& text) { dir.write(name, text); }
    std::string read(const std::string& name) const { return dir.read(name); }
    void remove(const std::string& name) { fs::remove_all(dir.path() / name); }
    void make_folder(const std::string& name) {
        remove(name);
        fs::create_directories(dir.path() / name);
    }
    // Replaces line n (1-based) of a file.
    void edit_line(const std::string& name, int n, const std::string& text) {
        auto l = lines_of(read(name));
        l.at(static_cast<std::size_t>(n - 1)) = text;
        std::string s;
        for (auto& x : l) s += x + "\n";
        write(name, s);
    }
    void crlf(const std::string& name) { write(name, with_crlf(read(name))); }
    // A complete run whose tables a later sort run reads; then run mode s.
    void earlier_complete_run() {
        ProcResult r = run_in(dir.path(), TRAQ_EXE, "", "TRAQ_THREADS=1");
        ASSERT_EQ(r.status, 0) << r.err;
        korav(5, "s");
    }
    // A complete run of pelmox whose outputs a later run must keep or replace.
    void earlier_pelmox_run() {
        ProcResult r = run_in(dir.path(), PELMOX_EXE, "", "TRAQ_THREADS=1");
        ASSERT_EQ(r.status, 0) << r.err;
    }
    // Replaces a file by a named pipe (opening it for reading would wait).
    void fifo(const std::string& name) {
        remove(name);
        ASSERT_EQ(::mkfifo((dir.path() / name).c_str(), 0600), 0);
    }
    void link_to(const std::string& name, const std::string& target) {
        remove(name);
        fs::create_symlink(target, dir.path() / name);
    }

    TempDir dir;
    std::vector<std::string> korav_lines;
    std::vector<std::string> pelmox_records;

  private:
    void write_korav() {
        std::string s;
        for (auto& l : korav_lines) s += l + "\n";
        dir.write("input-korav", s);
    }
    void write_pelmox() {
        std::string s;
        for (auto& l : pelmox_records) s += l + "\n";
        dir.write("input-pelmox", s);
    }
};

struct BadInput {
    std::string name;
    Prog prog = Prog::traq;
    std::function<void(Scene&)> spoil;
    int status = 0;                         // exit status
    std::string message;                    // status 0, 2: last console line; 1: the error line
    std::vector<std::string> kept;          // files left as they were
    std::vector<std::string> absent;        // files that must not exist afterwards
    std::vector<std::string> as_clean;      // files equal to those of the unspoiled run
    std::vector<std::string> as_clean_body; // the same after the echoed control lines
    std::vector<std::string> says;          // lines the console must hold
    bool before_work = false;               // refused before the first interval starts
    std::function<void(const Scene&)> also; // further checks
};

std::string err_line(Prog p, const std::string& file, const std::string& problem) {
    return std::string(p == Prog::traq ? "traq" : "pelmox") + ": error: file '" + file +
           "': " + problem;
}
const std::string kNoFile = "cannot open file for reading (No such file or directory)";

ProcResult run_prog(const Scene& s, Prog p) {
    return run_in(s.dir.path(), p == Prog::traq ? TRAQ_EXE : PELMOX_EXE, "", "TRAQ_THREADS=1");
}

// The files of the unspoiled run of each program, made once.
const std::map<std::string, std::string>& clean_files(Prog p) {
    static std::map<Prog, std::map<std::string, std::string>> cache;
    auto it = cache.find(p);
    if (it != cache.end()) return it->second;
    Scene s;
    ProcResult r = run_prog(s, p);
    EXPECT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(s.dir.path()))
        if (e.is_regular_file()) files[e.path().filename().string()] = s.read(e.path().filename());
    return cache[p] = files;
}

std::vector<std::string> numbered_levels(int n, int columns) {
    std::vector<std::string> rows;
    for (int z = 0; z < n; ++z) {
        std::string r = std::to_string(z);
        for (int c = 1; c < columns; ++c) r += " 1.0E-6";
        rows.push_back(r + "\n");
    }
    return rows;
}

// A ".mod" row of the test atmosphere spoiled in its first field.
void spoil_mod_row(Scene& s, int line, const std::string& pressure) {
    auto l = lines_of(s.read("tropic.mod"));
    std::string& row = l.at(static_cast<std::size_t>(line - 1));
    row = pressure + row.substr(12);
    std::string t;
    for (auto& x : l) t += x + "\n";
    s.write("tropic.mod", t);
}

// Builds the cases of the catalogue: what is spoiled, then the outcome.
class Catalogue {
  public:
    class Entry {
      public:
        explicit Entry(BadInput& b) : b_(b) {}
        // The program's own message, exit status 2.
        Entry& stops(const std::string& message) {
            b_.status = 2;
            b_.message = message;
            return *this;
        }
        // The normal end, exit status 0.
        Entry& works() {
            b_.status = 0;
            b_.message = kStop;
            return *this;
        }
        // An error of the file layer naming the file, exit status 1.
        Entry& fails(const std::string& file, const std::string& problem) {
            b_.status = 1;
            b_.message = err_line(b_.prog, file, problem);
            return *this;
        }
        Entry& keeps(std::vector<std::string> files) {
            b_.kept = std::move(files);
            return *this;
        }
        Entry& leaves_out(std::vector<std::string> files) {
            b_.absent = std::move(files);
            return *this;
        }
        Entry& as_clean(std::vector<std::string> files) {
            b_.as_clean = std::move(files);
            return *this;
        }
        Entry& as_clean_body(std::vector<std::string> files) {
            b_.as_clean_body = std::move(files);
            return *this;
        }
        Entry& also(std::function<void(const Scene&)> f) {
            b_.also = std::move(f);
            return *this;
        }
        // Console lines the run must print (a warning, for instance).
        Entry& says(std::vector<std::string> lines) {
            b_.says = std::move(lines);
            return *this;
        }
        // No interval was started: the refusal came before any work.
        Entry& before_work() {
            b_.before_work = true;
            return *this;
        }

      private:
        BadInput& b_;
    };

    Entry add(std::string name, Prog prog, std::function<void(Scene&)> spoil) {
        cases_.push_back(std::make_unique<BadInput>());
        BadInput& b = *cases_.back();
        b.name = std::move(name);
        b.prog = prog;
        b.spoil = std::move(spoil);
        return Entry(b);
    }
    std::vector<BadInput> cases() const {
        std::vector<BadInput> v;
        for (const auto& c : cases_) v.push_back(*c);
        return v;
    }

  private:
    std::vector<std::unique_ptr<BadInput>> cases_;
};

std::vector<BadInput> catalogue() {
    const Prog T = Prog::traq, P = Prog::pelmox;
    Catalogue c;

    // ---- traq: the control file "input-korav" ----
    c.add("TraqControlMissing", T, [](Scene& s) { s.remove("input-korav"); })
        .fails("input-korav", kNoFile)
        .leaves_out({"output", "table70", "table71"});
    c.add("TraqControlIsAFolder", T, [](Scene& s) { s.make_folder("input-korav"); })
        .fails("input-korav", "is a directory, not a file")
        .leaves_out({"output", "table71"});
    c.add("TraqControlEmpty", T, [](Scene& s) { s.write("input-korav", ""); })
        .fails("input-korav", "unexpected end of file at line 1 (expected control line 1 of 43)")
        .leaves_out({"table70", "table71"});
    c.add("TraqControlShorterThan43Lines", T,
          [](Scene& s) {
              s.korav_lines.resize(20);
              s.korav(20, s.korav_lines[19]);
          })
        .fails("input-korav", "unexpected end of file at line 21 (expected control line 21 of 43)")
        .leaves_out({"output", "table70", "table71"});
    c.add("TraqControlLettersInANumber", T, [](Scene& s) { s.korav(16, "20o0.0"); })
        .fails("input-korav", "line 16: cannot read '20o0.0' as a number")
        .leaves_out({"table71"});
    c.add("TraqControlNotANumber", T, [](Scene& s) {
         s.korav(10, "NaN  factor");
     }).fails("input-korav", "line 10: cannot read 'NaN' as a number");
    c.add("TraqControlInfinity", T, [](Scene& s) {
         s.korav(17, "Inf");
     }).fails("input-korav", "line 17: cannot read 'Inf' as a number");
    c.add("TraqControlRealOverflow", T, [](Scene& s) {
         s.korav(15, "1.0E999");
     }).fails("input-korav", "line 15: cannot read '1.0E999' as a number");
    c.add("TraqControlIntegerOutOfRange", T, [](Scene& s) {
         s.korav(7, "99999999999");
     }).fails("input-korav", "line 7: cannot read '99999999999' as an integer");
    c.add("TraqControlNegativeRecordCount", T, [](Scene& s) { s.korav(7, "-5"); })
        .stops(" Number of database records must not be negative")
        .leaves_out({"table70", "table71"});
    c.add("TraqControlGridStepZero", T, [](Scene& s) { s.korav(26, "0.0"); })
        .stops(" Spectral grid step must be positive")
        .leaves_out({"table71"});
    c.add("TraqControlRangeReversed", T,
          [](Scene& s) {
              s.korav(16, "2001.0");
              s.korav(17, "2000.0");
          })
        .stops(" End of spectral range must be above its start")
        .leaves_out({"table71"});
    c.add("TraqControlBadRunMode", T, [](Scene& s) { s.korav(5, "x"); })
        .stops(" Run must be c(complete), s(sort), or d(display)")
        .leaves_out({"output", "table70", "table71"});
    c.add("TraqControlUnknownGas", T, [](Scene& s) { s.korav(18, "ch2o"); })
        .stops("Wrong naming for trace gas (eg. ch2o instead of h2co)")
        .leaves_out({"table71"});
    c.add("TraqControlDatabasePathTooLong", T, [](Scene& s) { s.korav(2, std::string(150, 'd')); })
        .stops("Path and name for spectral database to long")
        .leaves_out({"table71"});
    c.add("TraqControlCrlfLineEnds", T, [](Scene& s) { s.crlf("input-korav"); })
        .works()
        .as_clean({"output", "table71", "table72", "table76"});
    c.add("TraqControlOverlongCommentLine", T,
          [](Scene& s) { s.korav(17, "2001.0 " + std::string(500, 'x')); })
        .works()
        .as_clean({"table71", "table76"})
        .also([](const Scene& s) {
            auto echo = lines_of(s.read("output"));
            ASSERT_EQ(echo.size(), 43u);
            EXPECT_EQ(echo[16], fts::field::fixed("2001.0 " + std::string(500, 'x'), 200));
        });
    c.add("TraqTablePrefixUnderAFile", T,
          [](Scene& s) {
              s.write("afile", "a regular file\n");
              s.korav(4, "afile/");
          })
        .fails("afile/table70", "cannot create file (Not a directory)")
        .keeps({"afile"});
    c.add("TraqTablePrefixMissingFolder", T, [](Scene& s) { s.korav(4, "nodir/"); })
        .fails("nodir/table70", "cannot create file (No such file or directory)")
        .leaves_out({"nodir"});
    c.add("TraqEchoFileIsAFolder", T, [](Scene& s) { s.make_folder("output"); })
        .fails("output", "is a directory, not a file")
        .leaves_out({"table71"});

    // ---- traq: the line database ----
    c.add("TraqDatabaseMissing", T, [](Scene& s) { s.remove("lines.dat"); })
        .fails("lines.dat", kNoFile)
        .leaves_out({"table70", "table71"});
    c.add("TraqDatabaseIsAFolder", T, [](Scene& s) { s.make_folder("lines.dat"); })
        .fails("lines.dat", "is a directory, not a file")
        .leaves_out({"table71"});
    c.add("TraqDatabaseEmpty", T, [](Scene& s) { s.write("lines.dat", ""); })
        .works()
        .also([](const Scene& s) {
            // No line at all: full transmission, no target line, no window.
            auto t71 = lines_of(s.read("table71"));
            ASSERT_EQ(t71.size(), 3u + 1001u);
            EXPECT_EQ(t71[503].substr(10, 12), " 0.10000E+01");
            EXPECT_EQ(lines_of(s.read("table72")).back(), "frequency  e-prime  intensity");
            EXPECT_EQ(lines_of(s.read("table76")).size(), 1u);
        });
    c.add("TraqDatabaseRecordLengthTooShort", T, [](Scene& s) {
         s.korav(6, "h 100");
     }).stops(kMismatch);
    c.add("TraqDatabaseRecordLengthBeyondTheFile", T, [](Scene& s) {
         s.korav(6, "h 2000000000");
     }).stops(kMismatch);
    c.add("TraqDatabaseCrlfWithLength101", T, [](Scene& s) {
         s.crlf("lines.dat");
     }).stops(kMismatch);
    c.add("TraqDatabaseCrlfWithLength102", T,
          [](Scene& s) {
              s.crlf("lines.dat");
              s.korav(6, "h 102");
          })
        .works()
        .as_clean({"table71", "table76"})
        .as_clean_body({"table72", "table73", "table75"});
    c.add("TraqDatabase160ColumnsWithLength161", T,
          [](Scene& s) {
              std::string db;
              for (auto& r : database_records())
                  db += fts::field::fixed(r.substr(0, 100), 160) + "\n";
              s.write("lines.dat", db);
              s.korav(6, "h 161");
          })
        .works()
        .as_clean({"table71", "table76"})
        .as_clean_body({"table72", "table73", "table75"});
    c.add("TraqDatabaseTruncatedLastRecord", T, [](Scene& s) {
         s.write("lines.dat", s.read("lines.dat").substr(0, 11 * 101 + 50));
     }).fails("lines.dat", "record 12 is short (file ends at character 1161)");
    c.add("TraqDatabaseCountBeyondTheFile", T, [](Scene& s) {
         s.korav(7, "50");
     }).fails("lines.dat", "record 25 is short (file ends at character 1212)");
    c.add("TraqDatabaseLettersInAPosition", T, [](Scene& s) {
         auto r = database_records();
         r[6].replace(3, 12, " 2000.5OOOOO");
         s.write("lines.dat", join(r));
     }).fails("lines.dat", "record 7: cannot read the line position (columns 4-15)");
    c.add("TraqDatabaseNotANumberIntensity", T, [](Scene& s) {
         auto r = database_records();
         r[6].replace(15, 10, "       NaN");
         s.write("lines.dat", join(r));
     }).fails("lines.dat", "record 7: cannot read the intensity (columns 16-25)");
    c.add("TraqDatabaseOverlongRecord", T, [](Scene& s) {
         auto r = database_records();
         r[4].insert(100, std::string(50, 'x'));
         s.write("lines.dat", join(r));
     }).fails("lines.dat", "record 6 does not end at character 101 (record length does not match)");
    // The CO line at 2000.5 moved to the front: the bisection would no
    // longer find it, so the order is checked when the database is first
    // searched (after table70 and table71 are opened, before any line is
    // added).
    const std::string unsorted =
        "record 2 (1998.600000 cm-1) lies below record 1 (2000.500000 cm-1): the lines must be "
        "sorted by wavenumber";
    const auto move_co_line_to_front = [](Scene& s) {
        auto r = database_records();
        std::rotate(r.begin(), r.begin() + 6, r.begin() + 7);
        s.write("lines.dat", join(r));
    };
    c.add("TraqDatabaseUnsorted", T, move_co_line_to_front)
        .fails("lines.dat", unsorted)
        .leaves_out({"output", "table70", "table71", "table72", "table73"});
    c.add("TraqDatabaseEqualPositionsAndBlankRecord", T, [](Scene& s) {
         // Equal positions are in order; a blank record is dropped
         // wherever it stands.
         auto r = database_records();
         r[2] = r[2].substr(0, 3) + r[1].substr(3);
         r.insert(r.begin() + 5, std::string(100, ' ') + "\n");
         s.write("lines.dat", join(r));
     }).works();

    // ---- traq: the model atmosphere ----
    c.add("TraqModelFileMissing", T, [](Scene& s) {
         s.remove("tropic.mod");
     }).fails("tropic.mod", kNoFile);
    c.add("TraqVmrEmpty", T, [](Scene& s) { s.write("tropic.vmr", ""); })
        .fails("tropic.vmr", "unexpected end of file at line 1 (expected the header record: "
                             "number of header records and columns)");
    c.add("TraqModEmpty", T, [](Scene& s) { s.write("tropic.mod", ""); })
        .fails("tropic.mod", "unexpected end of file at line 1 (expected the header record: "
                             "number of header records)");
    c.add("TraqVmrShorterThanItsHeader", T, [](Scene& s) {
         s.write("tropic.vmr", "5 53\nfirst comment\n");
     }).fails("tropic.vmr", "unexpected end of file at line 3 (expected a header record)");
    c.add("TraqVmrTooManyGases", T, [](Scene& s) {
         s.edit_line("tropic.vmr", 1, "2 200");
     }).stops("Increase nuber of gases MGAS in TRAQ");
    c.add("TraqVmr155Rows", T, [](Scene& s) {
         s.write("tropic.vmr", "1 7\n" + join(numbered_levels(155, 7)));
     }).stops(" Increase number of levels MLEV in TRAQ");
    c.add("TraqModNotANumber", T, [](Scene& s) {
         spoil_mod_row(s, 5, "         NaN");
     }).fails("tropic.mod", "line 5: cannot read 'NaN' as a number");
    c.add("TraqModInfinity", T, [](Scene& s) {
         spoil_mod_row(s, 5, "    Infinity");
     }).fails("tropic.mod", "line 5: cannot read 'Infinity' as a number");
    c.add("TraqModDescendingAltitudes", T, [](Scene& s) {
         auto l = lines_of(s.read("tropic.mod"));
         std::reverse(l.begin() + 2, l.end());
         std::string t;
         for (auto& x : l) t += x + "\n";
         s.write("tropic.mod", t);
     }).stops("something wrong in interpolation/extrapolation of vmr, ...");
    c.add("TraqModNegativeTemperature", T, [](Scene& s) {
         s.edit_line("tropic.mod", 5, "1.0E+03 -10.0 10000.0");
     }).fails("tropic.mod", "line 5: temperature must be positive");
    c.add("TraqModNegativePressure", T, [](Scene& s) {
         s.edit_line("tropic.mod", 5, "-1.0E+03 280.0 10000.0");
     }).fails("tropic.mod", "line 5: pressure must not be negative");
    c.add("TraqModZeroPressureAtTheTop", T,
          [](Scene& s) {
              // A model that ends at pressure 0 is valid; the top level
              // lies above the layers used, so the results do not change.
              s.write("tropic.mod", s.read("tropic.mod") + "0.0 200.0 150000.0\n");
          })
        .works()
        .as_clean({"table71", "table76"});
    c.add("TraqInputPrefixMissingFolder", T, [](Scene& s) {
         s.korav(3, "nodir/");
     }).fails("nodir/tropic.vmr", kNoFile);
    c.add("TraqAtmosphereCrlf", T,
          [](Scene& s) {
              s.crlf("tropic.mod");
              s.crlf("tropic.vmr");
          })
        .works()
        .as_clean({"table70", "table71", "table76"});

    // ---- traq: sort runs on the tables of an earlier run ----
    const std::vector<std::string> later = {"table70", "table73", "table74", "table75", "table76"};
    c.add("TraqSortWithoutEarlierRun", T, [](Scene& s) { s.korav(5, "s"); })
        .fails("table71", kNoFile)
        .leaves_out({"table70", "table71", "table73", "table74", "table75"});
    c.add("TraqSortWeightingStudyReadsNoDatabase", T,
          [](Scene& s) {
              // Run mode s of study w writes the header of table77 only and
              // never searches the database: it need not exist.
              s.korav(5, "s");
              s.korav(7, "12");
              s.korav(9, "w");
              s.remove("lines.dat");
          })
        .works()
        .also([](const Scene& s) {
            EXPECT_TRUE(s.dir.exists("table77"));
            EXPECT_FALSE(s.read("table77").empty());
        });
    c.add("TraqSortTable71ShorterThanItsHeader", T,
          [](Scene& s) {
              s.earlier_complete_run();
              s.write("table71", "3 5\nRad. in transmission\n");
          })
        .fails("table71", "unexpected end of file at line 3 (expected a header line)")
        .keeps(later);
    c.add("TraqSortNotANumberInTable71", T,
          [](Scene& s) {
              s.earlier_complete_run();
              s.edit_line("table71", 10, " 2000.0060 NaN 0.1E+01 0.1E+01 0.0E+00");
          })
        .fails("table71", "line 10: cannot read 'NaN' as a number")
        .keeps(later);
    c.add("TraqSortInfinityInTable71", T,
          [](Scene& s) {
              s.earlier_complete_run();
              s.edit_line("table71", 12, " 2000.0080 0.1E+01 -Inf 0.1E+01 0.0E+00");
          })
        .fails("table71", "line 12: cannot read '-Inf' as a number")
        .keeps(later);
    c.add("TraqSortCrlfTables", T,
          [](Scene& s) {
              s.earlier_complete_run();
              s.crlf("table71");
              s.crlf("input-korav");
          })
        .works()
        .keeps({"table70", "table71"})
        .as_clean_body({"table72", "table73", "table74", "table75"})
        .as_clean({"table76"});
    c.add("TraqSortTitleWithoutEchoCount", T,
          [](Scene& s) {
              s.earlier_complete_run();
              s.korav(1, "title without an echo count");
          })
        .fails("output", "line 1: cannot read 'title' as an integer")
        .keeps(later);
    c.add("TraqSortEchoCountBeyondTheEchoFile", T,
          [](Scene& s) {
              s.earlier_complete_run();
              s.korav(1, "50 lines of output asked for");
          })
        .stops(" Echo count at the start of line 1 must lie from 0 to 43")
        .keeps(later);
    c.add("TraqDisplayPlotOfMissingTable", T,
          [](Scene& s) {
              s.korav(5, "d");
              s.korav(40, "y");
              s.korav(41, "nofile");
          })
        .fails("nofile", kNoFile)
        .leaves_out({"table70", "table71"});

    // ---- pelmox: the control file "input-pelmox" ----
    const std::vector<std::string> outputs = {"output.dat", "microwin", "spectra.out"};
    c.add("PelmoxControlMissing", P, [](Scene& s) { s.remove("input-pelmox"); })
        .fails("input-pelmox", kNoFile)
        .keeps({"table76"})
        .leaves_out(outputs);
    c.add("PelmoxControlEmpty", P, [](Scene& s) { s.write("input-pelmox", ""); })
        .fails("input-pelmox", "unexpected end of file at line 1 (expected control record 1)")
        .leaves_out(outputs);
    c.add("PelmoxControlSevenRecords", P,
          [](Scene& s) {
              s.pelmox_records.resize(7);
              s.pelmox(7, s.pelmox_records[6]);
          })
        .fails("input-pelmox", "unexpected end of file (expected control record 8)")
        .leaves_out(outputs);
    c.add("PelmoxControlBadSolarChoice", P, [](Scene& s) { s.pelmox(8, "x"); })
        .stops("wrong input for solar")
        .leaves_out(outputs);
    c.add("PelmoxControlBadRanking", P, [](Scene& s) { s.pelmox(12, "q"); })
        .stops("wrong input for pelmo")
        .leaves_out(outputs);
    c.add("PelmoxControlLettersInRecordLength", P, [](Scene& s) { s.pelmox(4, "h 1o1"); })
        .fails("input-pelmox", "line 4: cannot read '1o1' as an integer")
        .leaves_out(outputs);
    c.add("PelmoxControlNegativeRecordCount", P, [](Scene& s) { s.pelmox(5, "-3"); })
        .stops(" Number of database records must not be negative")
        .leaves_out(outputs);
    c.add("PelmoxControlBadModelLetter", P, [](Scene& s) {
         s.pelmox(6, "x");
     }).fails("", "cannot open file for reading (no file name)");
    c.add("PelmoxControlCrlf", P, [](Scene& s) { s.crlf("input-pelmox"); })
        .works()
        .as_clean({"microwin", "output.dat", "spectra.out"});

    // ---- pelmox: "table76" and its window records ----
    c.add("PelmoxTable76Missing", P, [](Scene& s) { s.remove("table76"); })
        .fails("table76", kNoFile)
        .leaves_out(outputs);
    c.add("PelmoxTable76Empty", P, [](Scene& s) { s.write("table76", ""); })
        .fails("table76", "unexpected end of file at line 1 (expected the header record)")
        .leaves_out({"spectra.out"});
    c.add("PelmoxTable76HeaderOnly", P,
          [](Scene& s) {
              // Without windows the database is never searched.
              s.write("table76", "name     cm-1     window \n");
              s.pelmox(5, "12");
              s.remove("lines.dat");
          })
        .works()
        .leaves_out({"spectra.out"})
        .also([](const Scene& s) {
            EXPECT_EQ(s.read("microwin"), "name     cm-1     window\n");
            EXPECT_EQ(s.read("output.dat"), "");
        });
    c.add("PelmoxWindowWiderThanTheGrid", P,
          [](Scene& s) {
              s.write("table76", "name     cm-1     window \nco       2000.50 200.00\n");
          })
        .stops(" Increase mp ")
        .leaves_out({"spectra.out"});
    c.add("PelmoxWindowLettersInTheCentre", P,
          [](Scene& s) {
              s.write("table76", "name     cm-1     window \nco       20OO.50   0.40\n");
          })
        .fails("table76", "line 2: cannot read '20OO.50' as a number")
        .leaves_out({"spectra.out"});
    c.add("PelmoxWindowUnknownGas", P,
          [](Scene& s) {
              s.write("table76", "name     cm-1     window \nxyz      2000.50   0.40\n");
          })
        .stops(" Gas of the window not in the gas table: table76 line 2 names 'xyz    '")
        .leaves_out({"spectra.out"});
    c.add("PelmoxTable76Crlf", P, [](Scene& s) { s.crlf("table76"); })
        .works()
        .as_clean({"microwin", "output.dat", "spectra.out"});
    c.add("PelmoxTable76CommentAfterTheRecord", P,
          [](Scene& s) { s.edit_line("table76", 2, "co       2000.50   0.40   best window"); })
        .works()
        .as_clean({"microwin", "output.dat", "spectra.out"});

    // ---- pelmox: the profile file, the database and the outputs ----
    c.add("PelmoxProfile151Levels", P, [](Scene& s) {
         s.write("tropic.vmr", "1 7\n" + join(numbered_levels(151, 7)));
     }).stops("Increase parameter MLEV");
    c.add("PelmoxProfileTooManySpecies", P, [](Scene& s) {
         s.edit_line("tropic.vmr", 1, "2 122");
     }).stops("NSPECI > MSPECI");
    c.add("PelmoxProfileEmpty", P, [](Scene& s) { s.write("tropic.vmr", ""); })
        .fails("tropic.vmr", "unexpected end of file (expected the header record)")
        .leaves_out({"spectra.out"});
    c.add("PelmoxProfileMissing", P, [](Scene& s) {
         s.remove("tropic.vmr");
     }).fails("tropic.vmr", kNoFile);
    c.add("PelmoxProfileNotANumber", P, [](Scene& s) {
         auto l = lines_of(s.read("tropic.vmr"));
         s.edit_line("tropic.vmr", 4, l[3].substr(0, 6) + " NaN" + l[3].substr(18));
     }).fails("tropic.vmr", "line 4: cannot read 'NaN' as a number");
    c.add("PelmoxDatabaseCrlfWithLength102", P,
          [](Scene& s) {
              s.crlf("lines.dat");
              s.pelmox(4, "h 102");
          })
        .works()
        .as_clean({"microwin", "output.dat", "spectra.out"});
    c.add("PelmoxDatabaseCountBeyondTheFile", P, [](Scene& s) {
         s.pelmox(5, "50");
     }).fails("lines.dat", "record 25 is short (file ends at character 1212)");
    c.add("PelmoxDatabaseUnsorted", P, move_co_line_to_front)
        .fails("lines.dat", unsorted)
        .leaves_out({"spectra.out"});
    c.add("PelmoxDatabaseRecordLengthZero", P, [](Scene& s) {
         s.pelmox(4, "h 0");
     }).stops(kMismatch);
    c.add("PelmoxOutputPrefixUnderAFile", P,
          [](Scene& s) {
              s.write("afile", "a regular file\n");
              s.pelmox(3, "afile/");
          })
        .fails("afile/output.dat", "cannot create file (Not a directory)")
        .keeps({"afile", "table76"});
    c.add("PelmoxSpectraFileIsAFolder", P, [](Scene& s) {
         s.make_folder("spectra.out");
     }).fails("spectra.out", "is a directory, not a file");
    c.add("PelmoxSolarSpectrumMissing", P, [](Scene& s) { s.pelmox(8, "y"); })
        .fails("solar.dat", kNoFile)
        .leaves_out({"spectra.out"});

    // ---- traq: values refused before any work ----
    c.add("TraqControlMarginNegative", T, [](Scene& s) { s.korav(27, "-1.0"); })
        .stops(" Margin of line 27 must not be negative")
        .before_work()
        .leaves_out({"output", "table70", "table71"});
    const char* const zenith = " Zenith angle of line 25 must lie from 0 to below 90 degrees";
    c.add("TraqControlZenithAngleMinus400", T, [](Scene& s) { s.korav(25, "g -400"); })
        .stops(zenith)
        .before_work();
    c.add("TraqControlZenithAngle3e38", T, [](Scene& s) { s.korav(25, "g 3e38"); })
        .stops(zenith)
        .before_work();
    c.add("TraqControlZenithAngle90", T, [](Scene& s) { s.korav(25, "g 90.0"); }).stops(zenith);
    c.add("TraqControlZenithAngleJustBelow90", T, [](Scene& s) { s.korav(25, "g 89.5"); }).works();
    c.add("TraqControlTangentAltitudeNegative", T, [](Scene& s) { s.korav(25, "s -1.0"); })
        .stops(" Tangent altitude of line 25 must not be negative")
        .before_work();
    c.add("TraqControlProfileFactorNegative", T, [](Scene& s) {
         s.korav(20, "-1.0");
     }).stops(" Factor on the target profile (line 20) must not be negative");
    c.add("TraqControlWindowWidthsNegative", T,
          [](Scene& s) {
              s.korav(36, "-1.0");
              s.korav(37, "-2.0");
          })
        .stops(" Starting microwindow width (line 36) must lie above 0 and at most 999.99 cm-1")
        .before_work();
    c.add("TraqControlCentreIntervalNegative", T, [](Scene& s) {
         s.korav(37, "-0.2");
     }).stops(" Interval around the line centre (line 37) must be above 0 cm-1");
    c.add("TraqControlCombinedWidthZero", T, [](Scene& s) { s.korav(38, "0.0"); })
        .stops(" Largest combined window width (line 38) must lie above 0 and at most 999.99 "
               "cm-1");
    c.add("TraqControlWindowWidthsHuge", T, [](Scene& s) {
         s.korav(36, "3000.0");
         s.korav(37, "1000.0");
     }).stops(" Starting microwindow width (line 36) must lie above 0 and at most 999.99 cm-1");
    c.add("TraqControlTemperatureOfLine35Huge", T, [](Scene& s) { s.korav(35, "3e38"); })
        .stops(" Temperature for the line sensitivity (line 35) must lie from 100 to 1000 K")
        .before_work();
    c.add("TraqControlEchoCountNegative", T, [](Scene& s) { s.korav(1, "-1 title"); })
        .stops(" Echo count at the start of line 1 must lie from 0 to 43")
        .before_work();
    c.add("TraqControlWindowValuesIgnoredOutsideStudyD", T, [](Scene& s) {
         // Lines 35 to 38 only serve the microwindow search.
         s.korav(9, "s");
         s.korav(35, "0.0");
         s.korav(38, "0.0");
     }).works();
    c.add("TraqDisplayModeIgnoresValuesItDoesNotUse", T,
          [](Scene& s) {
              s.korav(5, "d");
              s.korav(25, "g 400");
              s.korav(27, "-1.0");
          })
        .works()
        .leaves_out({"table71"});
    c.add("TraqRefusedRunKeepsTheOutputsOfThePreviousRun", T,
          [](Scene& s) {
              s.earlier_complete_run();
              s.korav(5, "c");
              s.korav(27, "-1.0");
          })
        .stops(" Margin of line 27 must not be negative")
        .keeps({"output", "table70", "table71", "table72", "table73", "table74", "table75",
                "table76"});
    c.add("TraqFileErrorKeepsTheOutputsOfThePreviousRun", T,
          [](Scene& s) {
              // The database breaks after the tables were opened.
              s.earlier_complete_run();
              s.korav(5, "c");
              s.write("lines.dat", s.read("lines.dat").substr(0, 11 * 101 + 50));
          })
        .fails("lines.dat", "record 12 is short (file ends at character 1161)")
        .keeps({"output", "table70", "table71", "table72", "table76"});

    c.add("TraqSolarSpectrumWithoutSamples", T,
          [](Scene& s) {
              s.korav(8, "y");
              s.write("solar.dat", "700.0 1.0\n"); // the first record is never used
          })
        .stops(" solar.dat holds no usable record after its first, but line 8 asks for the solar "
               "spectrum")
        .before_work();

    // ---- traq: limits the control file decides, checked before any work ----
    c.add("TraqRangeOfExactlyTwoIntervals", T,
          [](Scene& s) {
              s.korav(9, "s");
              s.korav(17, "2060.0");
          })
        .works()
        .says({" at step:      2 of      2 with    30000 points"})
        .also([](const Scene& s) {
            EXPECT_EQ(lines_of(s.read("table71")).size(), 3u + 2u * 30001u);
            EXPECT_EQ(lines_of(s.read("table71")).back().substr(0, 10), " 2060.0000");
        });
    c.add("TraqConvolutionCapacityBeforeWork", T,
          [](Scene& s) {
              s.korav(9, "s");
              s.korav(17, "2015.0");
              s.korav(26, "0.0005");
              s.korav(28, "10.0");
          })
        .stops(" Increase nuber of spectral points mp in Convolution")
        .before_work();
    c.add("TraqAveragingKernelPointsBeforeWork", T,
          [](Scene& s) {
              s.korav(9, "a");
              s.korav(17, "2001.0");
          })
        .stops(" Decrease spectral size or grid for AVK-calculation")
        .before_work();
    c.add("TraqAveragingKernelWithoutNoiseBeforeWork", T,
          [](Scene& s) {
              s.korav(9, "a");
              s.korav(17, "2000.5");
              s.korav(30, "0.0");
          })
        .stops(" spectral covariance matrix is singular ")
        .before_work();
    c.add("TraqInterferogramCapacityBeforeWork", T,
          [](Scene& s) {
              s.korav(9, "i");
              s.korav(17, "2150.0");
          })
        .stops(" decrease No of spectral points for FFT in convolution")
        .before_work();
    c.add("TraqIntervalCountBeforeWork", T, [](Scene& s) { s.korav(17, "2300.0"); })
        .stops("Increase mind (No. of intervals) in TRAQ.")
        .before_work();
    c.add("TraqPlotColumnBeforeWork", T,
          [](Scene& s) {
              s.korav(40, "y");
              s.korav(42, "0 2");
          })
        .stops(" No plot because a column number is below 1 ")
        .before_work();

    // ---- traq: the model atmosphere, rows against the header ----
    c.add("TraqVmrHeaderOneColumnMore", T, [](Scene& s) { s.edit_line("tropic.vmr", 1, "2 54"); })
        .stops(" tropic.vmr: the header declares 54 columns, but row 1 ends inside line 4 (every "
               "row must begin on a new line)")
        .before_work();
    c.add("TraqVmrHeaderOneColumnLess", T, [](Scene& s) { s.edit_line("tropic.vmr", 1, "2 52"); })
        .stops(" tropic.vmr: the header declares 52 columns, but row 1 ends inside line 3 (every "
               "row must begin on a new line)");
    c.add("TraqVmrRowsOverTwoLines", T,
          [](Scene& s) {
              // Every row continued on a second line: still the same rows.
              auto l = lines_of(s.read("tropic.vmr"));
              std::string t = l[0] + "\n" + l[1] + "\n";
              for (std::size_t i = 2; i < l.size(); ++i) {
                  const std::size_t cut = l[i].find(' ', 100);
                  t += l[i].substr(0, cut) + "\n" + l[i].substr(cut) + "\n";
              }
              s.write("tropic.vmr", t);
          })
        .works()
        .as_clean({"table70", "table71", "table76"});
    c.add("TraqModRowWithFourValues", T,
          [](Scene& s) {
              auto l = lines_of(s.read("tropic.mod"));
              s.edit_line("tropic.mod", 5, l[4] + " 7.0");
          })
        .stops(" tropic.mod: a row holds 3 values (pressure, temperature, altitude), but row 3 "
               "ends inside line 5 (every row must begin on a new line)");
    c.add("TraqModLastRowCutShort", T,
          [](Scene& s) { s.write("tropic.mod", s.read("tropic.mod") + "1.0E+00 200.0\n"); })
        .stops(" tropic.mod: a row holds 3 values (pressure, temperature, altitude), but the last "
               "row (line 24) holds only 2 values");

    // ---- traq: special files and endless lines ----
    c.add("TraqDatabaseIsDevZero", T, [](Scene& s) {
         s.korav(2, "/dev/zero");
     }).fails("/dev/zero", "is not a regular file");
    c.add("TraqDatabaseIsANamedPipe", T, [](Scene& s) {
         s.fifo("lines.dat");
     }).fails("lines.dat", "is not a regular file");
    c.add("TraqDatabaseIsANamedPipeWithItsRecordCount", T, [](Scene& s) {
         s.fifo("lines.dat");
         s.korav(7, "12");
     }).fails("lines.dat", "is not a regular file");
    c.add("TraqControlIsANamedPipe", T, [](Scene& s) { s.fifo("input-korav"); })
        .fails("input-korav", "is not a regular file")
        .leaves_out({"output"});
    c.add("TraqControlIsDevZero", T, [](Scene& s) {
         s.link_to("input-korav", "/dev/zero");
     }).fails("input-korav", "is not a regular file");
    c.add("TraqControlWithoutLineEnds", T,
          [](Scene& s) { s.write("input-korav", std::string(70000, 'x')); })
        .fails("input-korav", "line 1: line longer than 65536 characters")
        .leaves_out({"output"});
    c.add("TraqVmrIsDevZero", T, [](Scene& s) {
         s.link_to("tropic.vmr", "/dev/zero");
     }).fails("tropic.vmr", "is not a regular file");
    c.add("TraqVmrWithoutLineEnds", T, [](Scene& s) {
         s.write("tropic.vmr", "2 53\n" + std::string(100000, '1'));
     }).fails("tropic.vmr", "line 2: line longer than 65536 characters");

    // ---- traq: table71 of the earlier run, verified before the search ----
    c.add("TraqSortTable71CutInMidRow", T,
          [](Scene& s) {
              s.earlier_complete_run();
              const std::string t = s.read("table71");
              std::size_t at = 0;
              for (int k = 0; k < 503; ++k) at = t.find('\n', at) + 1;
              s.write("table71", t.substr(0, at + 22)); // row 501: two numbers left
          })
        .stops(" table71 of the earlier run has 2 numbers in row 501 (line 504) where a "
               "difference table has 5")
        .keeps(later);
    c.add("TraqSortTable71HeaderOnly", T,
          [](Scene& s) {
              s.earlier_complete_run();
              auto l = lines_of(s.read("table71"));
              s.write("table71", l[0] + "\n" + l[1] + "\n" + l[2] + "\n");
          })
        .stops(" table71 of the earlier run ends after row 0, lines 16, 17 and 26 give 1001 rows "
               "from 2000.0000 to 2001.0000 cm-1 in steps of 0.001000 cm-1")
        .keeps(later);
    c.add("TraqSortTable71CutAtARowEnd", T,
          [](Scene& s) {
              s.earlier_complete_run();
              const std::string t = s.read("table71");
              std::size_t at = 0;
              for (int k = 0; k < 503; ++k) at = t.find('\n', at) + 1;
              s.write("table71", t.substr(0, at));
          })
        .stops(" table71 of the earlier run ends after row 500, lines 16, 17 and 26 give 1001 "
               "rows from 2000.0000 to 2001.0000 cm-1 in steps of 0.001000 cm-1")
        .keeps(later);
    c.add("TraqSortTable71LastLineUnended", T,
          [](Scene& s) {
              s.earlier_complete_run();
              const std::string t = s.read("table71");
              s.write("table71", t.substr(0, t.size() - 1));
          })
        .stops(" table71 of the earlier run is cut short: its last row (1001) has no line end")
        .keeps(later);
    c.add("TraqSortTable71RepeatCountOfABillion", T,
          [](Scene& s) {
              s.earlier_complete_run();
              s.edit_line("table71", 10, " 2000.0060 1000000000*1");
          })
        .stops(" table71 of the earlier run has more than 5 numbers in row 7 (line 10) where a "
               "difference table has 5")
        .keeps(later);
    c.add("TraqSortTable71OfAnotherRange", T,
          [](Scene& s) {
              s.earlier_complete_run();
              s.korav(17, "2000.8");
          })
        .stops(" table71 of the earlier run holds more than 801 rows: lines 16, 17 and 26 give "
               "801 rows from 2000.0000 to 2000.8000 cm-1 in steps of 0.001000 cm-1")
        .keeps(later);
    c.add("TraqSortTable71OfAnotherStep", T,
          [](Scene& s) {
              s.earlier_complete_run();
              s.korav(26, "0.002");
          })
        .stops(" table71 of the earlier run has row 2 (line 5) at 2000.0010 cm-1 where the grid "
               "has 2000.0020 cm-1: lines 16, 17 and 26 give 501 rows from 2000.0000 to "
               "2001.0000 cm-1 in steps of 0.002000 cm-1")
        .keeps(later);
    c.add("TraqSortTable71OfAnotherSpectrumKind", T,
          [](Scene& s) {
              s.earlier_complete_run();
              s.korav(12, "r");
          })
        .stops(" table71 of the earlier run holds transmission spectra, line 12 asks for radiance")
        .keeps(later);
    c.add("TraqSortTable71OfASpectraStudy", T,
          [](Scene& s) {
              s.earlier_complete_run();
              s.edit_line("table71", 1, "3 4");
          })
        .stops(" table71 of the earlier run is not a difference table of study d or i (its line 1 "
               "reads '3 4', not '3 5')")
        .keeps(later);

    // ---- traq: runs that end normally with likely nonsense say so ----
    c.add("TraqWarnsOfNoTargetLine", T, [](Scene& s) { s.korav(18, "hcl"); })
        .works()
        .says({"Warning: the line database holds no line of hcl between 2000.0000 and 2001.0000 "
               "cm-1: the target absorbs nothing there",
               "Warning: the mixing ratio of hcl is zero (below 1e-20) at every altitude in "
               "tropic.vmr: the target absorbs nothing"});
    c.add("TraqWarnsOfNoTargetLineOfTheIsotope", T, [](Scene& s) { s.korav(19, "3"); })
        .works()
        .says({"Warning: the line database holds no line of co (isotope 3) between 2000.0000 and "
               "2001.0000 cm-1: the target absorbs nothing there"});
    c.add("TraqWarnsOfARangeOutsideTheDatabase", T,
          [](Scene& s) {
              s.korav(16, "3000.0");
              s.korav(17, "3001.0");
          })
        .works()
        .says({"Warning: no line of the database lies between 2999.0000 and 3002.0000 cm-1 (the "
               "range with the margin of line 27); its lines lie from 1998.6000 to 2002.6000 "
               "cm-1"});
    c.add("TraqWarnsOfAZeroTargetProfile", T, [](Scene& s) { s.korav(20, "0.0"); })
        .works()
        .says({"Warning: the mixing ratio of co is zero (below 1e-20) at every altitude (line 20 "
               "scales it by 0): the target absorbs nothing"});

    // ---- pelmox: table76 verified before any window ----
    c.add(
         "PelmoxTable76CutInsideTheWidth", P,
         [](Scene& s) { s.write("table76", "name     cm-1     window \nco       2000.50   0.\n"); })
        .stops(" Window record of table76 line 2 is damaged: it ends at column 21, a window record "
               "has 23 columns: 'co       2000.50   0.'")
        .leaves_out(outputs);
    c.add("PelmoxTable76LaterRowOfAnotherUnknownGas", P,
          [](Scene& s) {
              s.write("table76", "name     cm-1     window \nco       2000.50   0.40\n"
                                 "xyz      2001.50   0.40\n");
          })
        .stops(" Gas of the window not in the gas table: table76 line 3 names 'xyz    '")
        .leaves_out(outputs);
    c.add("PelmoxTable76ThreeNumbers", P,
          [](Scene& s) {
              s.write("table76", "name     cm-1     window \nco       2000.50 0.40 9.9\n");
          })
        .stops(" Window record of table76 line 2 is damaged: columns 9-23 hold more than 2 "
               "numbers, a window record the centre and the width: 'co       2000.50 0.40 9.9'");
    c.add("PelmoxTable76RepeatCountOfABillion", P,
          [](Scene& s) {
              // Found by fuzzing: the count of the values must not run
              // through the repeats one by one.
              s.write("table76", "name     cm-1     window \nco       1008888880*-2 4.0 3.01\n");
          })
        .stops(" Window record of table76 line 2 is damaged: columns 9-23 hold more than 2 "
               "numbers, a window record the centre and the width: 'co       1008888880*-2 4.0 "
               "3.01'");
    c.add("PelmoxTable76WidthPastColumn23", P,
          [](Scene& s) {
              s.write("table76", "name     cm-1     window \nco       2000.50   0.400\n");
          })
        .stops(" Window record of table76 line 2 is damaged: the width runs past column 23: "
               "'co       2000.50   0.400'");
    c.add("PelmoxTable76ZeroWidth", P,
          [](Scene& s) {
              s.write("table76", "name     cm-1     window \nco       2000.50   0.00\n");
          })
        .stops(" Window record of table76 line 2 is damaged: the width is not above 0: "
               "'co       2000.50   0.00'");
    c.add("PelmoxTable76IsDevZero", P, [](Scene& s) { s.link_to("table76", "/dev/zero"); })
        .fails("table76", "is not a regular file")
        .leaves_out(outputs);
    c.add("PelmoxDatabaseIsDevZero", P, [](Scene& s) {
         s.pelmox(1, "/dev/zero");
     }).fails("/dev/zero", "is not a regular file");
    c.add("PelmoxProfileHeaderOneColumnMore", P,
          [](Scene& s) { s.edit_line("tropic.vmr", 1, "2 54"); })
        .stops(" tropic.vmr: the header declares 54 columns, but row 1 ends inside line 4 (every "
               "row must begin on a new line)")
        .leaves_out(outputs);
    c.add("PelmoxSolarSpectrumEmpty", P,
          [](Scene& s) {
              s.pelmox(8, "y");
              s.write("solar.dat", "");
          })
        .stops(" solar.dat holds no usable record, but record 8 asks for the solar spectrum")
        .leaves_out(outputs);
    c.add("PelmoxSolarSpectrumWithoutLineEnds", P, [](Scene& s) {
         s.pelmox(8, "y");
         s.write("solar.dat", std::string(70000, '7'));
     }).fails("solar.dat", "line 1: line longer than 65536 characters");
    c.add("PelmoxRefusedRunKeepsTheOutputsOfThePreviousRun", P,
          [](Scene& s) {
              s.earlier_pelmox_run();
              s.write("table76", "name     cm-1     window \nco       2000.50   0.\n");
          })
        .stops(" Window record of table76 line 2 is damaged: it ends at column 21, a window record "
               "has 23 columns: 'co       2000.50   0.'")
        .keeps(outputs);
    c.add("PelmoxStopInTheWindowLoopKeepsThePreviousOutputs", P,
          [](Scene& s) {
              // The second window, far from every line, has a flat spectrum:
              // its plot stops the run after the first window was written.
              s.earlier_pelmox_run();
              s.pelmox(14, "y");
              s.write("table76", "name     cm-1     window \nco       2000.50   0.40\n"
                                 "co       2100.00   0.40\n");
          })
        .stops(" No plot because all X- or Y-data are the same ")
        .keeps(outputs);

    // ---- pelmox: runs that end normally with likely nonsense say so ----
    c.add("PelmoxWarnsOfNoReportedWindow", P, [](Scene& s) { s.pelmox(10, "99.0"); })
        .works()
        .says({"Warning: no window reached the contribution of record 10 (99.000 %): output.dat "
               "and microwin hold no report"});
    c.add("PelmoxWarnsOfAWindowOutsideSolarDat", P,
          [](Scene& s) {
              s.pelmox(8, "y");
              s.write("solar.dat", "1000.0 0.9\n1500.0 0.9\n");
          })
        .works()
        .says({"Warning: solar.dat does not cover the window of table76 line 2 (2000.300 - "
               "2000.700 cm-1): 81 of its 81 points have no solar factor"});
    return c.cases();
}

// Test names and failure reports show the case's name.
void PrintTo(const BadInput& b, std::ostream* os) {
    *os << b.name;
}

class BadInputs : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputs, EndWithTheExpectedOutcome) {
    const BadInput& b = GetParam();
    Scene s;
    b.spoil(s);
    if (::testing::Test::HasFatalFailure()) return;

    std::map<std::string, std::optional<std::string>> before;
    for (const auto& f : b.kept)
        before[f] = s.dir.exists(f) ? std::optional<std::string>(s.read(f)) : std::nullopt;

    ProcResult r = run_prog(s, b.prog);
    EXPECT_EQ(r.status, b.status) << r.out << r.err;
    if (b.status != 1) {
        auto out = lines_of(r.out);
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out.back(), b.message);
        EXPECT_EQ(r.err, "");
    } else {
        EXPECT_EQ(r.err, b.message + "\n");
        EXPECT_EQ(r.out.find(kStop), std::string::npos);
    }
    for (const auto& [f, content] : before) {
        if (content)
            EXPECT_EQ(s.dir.exists(f) ? s.read(f) : "<absent>", *content) << f << " was changed";
        else
            EXPECT_FALSE(s.dir.exists(f)) << f << " was created";
    }
    for (const auto& f : b.absent) EXPECT_FALSE(s.dir.exists(f)) << f << " exists";
    for (const auto& l : b.says)
        EXPECT_NE(r.out.find("\n" + l + "\n"), std::string::npos) << "no line: " << l << "\n"
                                                                  << r.out;
    if (b.before_work) {
        EXPECT_EQ(r.out.find(" Working at"), std::string::npos) << r.out;
    }
    // Whatever the outcome, no temporary output is left behind.
    for (const auto& e : fs::directory_iterator(s.dir.path()))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos)
            << e.path() << " left behind";
    if (!b.as_clean.empty()) {
        const auto& clean = clean_files(b.prog);
        for (const auto& f : b.as_clean) {
            ASSERT_TRUE(clean.count(f)) << f;
            EXPECT_EQ(s.read(f), clean.at(f)) << f << " differs from the unspoiled run";
        }
    }
    if (!b.as_clean_body.empty()) {
        // The microwindow tables start with a copy of the control lines.
        const auto& clean = clean_files(b.prog);
        for (const auto& f : b.as_clean_body) {
            auto got = lines_of(s.read(f)), want = lines_of(clean.at(f));
            ASSERT_GT(want.size(), kEchoCount) << f;
            EXPECT_EQ(
                std::vector<std::string>(got.begin() + std::min(got.size(), kEchoCount), got.end()),
                std::vector<std::string>(want.begin() + kEchoCount, want.end()))
                << f << " differs from the unspoiled run";
        }
    }
    if (b.also) b.also(s);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, BadInputs, ::testing::ValuesIn(catalogue()),
                         [](const ::testing::TestParamInfo<BadInput>& info) {
                             return info.param.name;
                         });

TEST(BadInputCatalogue, HoldsAtLeastFortyCasesOverBothPrograms) {
    auto c = catalogue();
    std::size_t traq = 0, pelmox = 0;
    for (const auto& b : c) (b.prog == Prog::traq ? traq : pelmox)++;
    EXPECT_GE(c.size(), 40u);
    EXPECT_GE(traq, 20u);
    EXPECT_GE(pelmox, 15u);
}

} // namespace
