// Pictures of real runs: the example (spectra and microwindows, pelmox's
// interferers), a study a run (kernels and weighting functions), a study i
// run (interferogram) and a window selection.  The files are checked as
// files (PNG decoded with libpng, SVG and PDF by their structure), and the
// spectra PNG by what its pixels show.
#include "support/test_support.hpp"

#include "ftsplan/plot/canvas.hpp"
#include "ftsplan/plot/pictures.hpp"
#include "ftsplan/plot/plots.hpp"
#include "ftsplan/plot/tables.hpp"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

using namespace ftsplan::plot;
using namespace testsupport;
namespace fs = std::filesystem;

namespace {

const fs::path kExampleData = fs::path(SOURCE_DIR) / "examples" / "data";

void copy_example(const fs::path& dir) {
    for (const auto& e : fs::directory_iterator(kExampleData))
        fs::copy_file(e.path(), dir / e.path().filename(), fs::copy_options::overwrite_existing);
}

// Replaces the value of control lines (1-based), keeping a comment.
void set_lines(const fs::path& file, const std::vector<std::pair<int, std::string>>& values) {
    auto lines = split_lines(read_file(file.string()));
    for (const auto& [n, v] : values) lines.at(static_cast<std::size_t>(n - 1)) = v + "   (test)";
    std::string text;
    for (const auto& l : lines) text += l + "\n";
    write_file(file.string(), text);
}

void run_ok(const fs::path& dir, const std::string& exe) {
    const ProcResult r = run_in(dir, exe, "", "TRAQ_THREADS=1");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(split_lines(r.out).back(), "Stop - Program terminated.") << r.out;
}

struct Png {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    bool ok = false;
    std::array<int, 3> at(int x, int y) const {
        const std::size_t i = 3 * (static_cast<std::size_t>(y) * width + x);
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

Png read_png(const fs::path& file) {
    Png p;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str())) return p;
    image.format = PNG_FORMAT_RGB;
    p.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr)) return p;
    p.width = static_cast<int>(image.width);
    p.height = static_cast<int>(image.height);
    p.ok = true;
    return p;
}

// Whether a file is a complete picture of its format.
::testing::AssertionResult valid_picture(const fs::path& file, Format f) {
    if (!fs::is_regular_file(file)) return ::testing::AssertionFailure() << file << " missing";
    const std::string t = read_file(file.string());
    switch (f) {
    case Format::png: {
        const Png p = read_png(file);
        if (!p.ok || p.width != 1200 || p.height < 500)
            return ::testing::AssertionFailure() << file << " is not a 1200 px wide PNG";
        break;
    }
    case Format::svg:
        if (t.rfind("<?xml", 0) != 0 || t.find("<svg") == std::string::npos ||
            t.find("</svg>") == std::string::npos || t.find("</svg>") + 8 < t.size())
            return ::testing::AssertionFailure() << file << " is not a complete SVG";
        break;
    case Format::pdf:
        if (t.rfind("%PDF-", 0) != 0 || t.find("startxref") == std::string::npos ||
            t.find("%%EOF", t.size() > 64 ? t.size() - 64 : 0) == std::string::npos)
            return ::testing::AssertionFailure() << file << " is not a complete PDF";
        break;
    }
    return ::testing::AssertionSuccess();
}

struct Result {
    int status;
    std::string out, err;
    std::string console; // what reached the process's own stdout and stderr
};

// Runs the command with the process's standard streams caught, so that
// anything the plotting library prints there is seen.
Result plot(const fs::path& run, Format f, const fs::path& out_dir) {
    std::ostringstream out, err;
    std::fflush(stdout);
    std::fflush(stderr);
    FILE* catcher = std::tmpfile();
    const int saved_out = dup(1), saved_err = dup(2);
    dup2(fileno(catcher), 1);
    dup2(fileno(catcher), 2);
    const int status = plot_command({run, f, out_dir}, out, err);
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_out, 1);
    dup2(saved_err, 2);
    close(saved_out);
    close(saved_err);
    std::rewind(catcher);
    std::string console;
    for (int c; (c = std::fgetc(catcher)) != EOF;) console += static_cast<char>(c);
    std::fclose(catcher);
    return {status, out.str(), err.str(), console};
}

const Format kFormats[] = {Format::png, Format::svg, Format::pdf};

class PlotRuns : public ::testing::Test {
  protected:
    // The runs are made once for all tests of the group.
    static void SetUpTestSuite() {
        runs_ = new TempDir;
        const fs::path example = runs_->path() / "example";
        fs::create_directory(example);
        copy_example(example);
        run_ok(example, TRAQ_EXE);
        run_ok(example, PELMOX_EXE);

        // Study a over one CO line: 500 points, a priori 1e-7 in mixing
        // ratio (the example's 1.0 constrains nothing).
        const fs::path a = runs_->path() / "study_a";
        fs::create_directory(a);
        copy_example(a);
        set_lines(a / "input-korav", {{9, "a"}, {16, "2157.8"}, {17, "2158.8"}, {31, "1.0E-7"}});
        run_ok(a, TRAQ_EXE);

        const fs::path i = runs_->path() / "study_i";
        fs::create_directory(i);
        copy_example(i);
        set_lines(i / "input-korav", {{9, "i"}});
        run_ok(i, TRAQ_EXE);
    }
    static void TearDownTestSuite() {
        delete runs_;
        runs_ = nullptr;
    }
    static fs::path run(const char* name) { return runs_->path() / name; }
    // A scratch copy of a run, to damage.
    fs::path copy_of(const char* name) {
        const fs::path d = scratch_.path() / (name + std::to_string(++copies_));
        fs::copy(run(name), d);
        return d;
    }
    static TempDir* runs_;
    TempDir scratch_;
    int copies_ = 0;
};
TempDir* PlotRuns::runs_ = nullptr;

void expect_pictures(const fs::path& dir, Format f, const std::vector<std::string>& names) {
    for (const std::string& n : names)
        EXPECT_TRUE(valid_picture(dir / (n + "." + extension(f)), f));
}

} // namespace

TEST_F(PlotRuns, ExampleDrawsSpectraAndInterferersInEachFormatQuietly) {
    for (Format f : kFormats) {
        SCOPED_TRACE(extension(f));
        const fs::path out = scratch_.path() / extension(f);
        const Result r = plot(run("example"), f, out);
        ASSERT_EQ(r.status, 0) << r.err;
        expect_pictures(out, f, {"spectra", "interferers"});
        // Only the pictures the run allows; the others skipped, one line each.
        for (const char* absent : {"kernels", "weighting", "selection", "interferogram"}) {
            EXPECT_FALSE(fs::exists(out / (std::string(absent) + "." + extension(f))));
            EXPECT_NE(r.out.find(std::string("  ") + absent + " skipped: no table"),
                      std::string::npos)
                << r.out;
        }
        EXPECT_EQ(split_lines(r.out).size(), 7u) << r.out;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.console, "") << "the plotting library printed";
        // Nothing half written is left behind.
        for (const auto& e : fs::directory_iterator(out))
            EXPECT_EQ(e.path().filename().string().find(".partial"), std::string::npos);
    }
    // By default the pictures go into the run directory itself.
    const fs::path in_place = copy_of("example");
    ASSERT_EQ(plot(in_place, Format::png, {}).status, 0);
    EXPECT_TRUE(valid_picture(in_place / "spectra.png", Format::png));
}

TEST_F(PlotRuns, StudyARunDrawsKernelsWeightingAndSpectra) {
    for (Format f : kFormats) {
        SCOPED_TRACE(extension(f));
        const fs::path out = scratch_.path() / extension(f);
        const Result r = plot(run("study_a"), f, out);
        ASSERT_EQ(r.status, 0) << r.err;
        expect_pictures(out, f, {"spectra", "kernels", "weighting"});
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.console, "");
    }
}

TEST_F(PlotRuns, InterferogramAndSelectionAreDrawnFromTheirTables) {
    const fs::path i = copy_of("study_i");
    // A selection of three windows and the set.
    write_file(
        (i / "table79").string(),
        " 3 12 \n Windows chosen by the total-column error\n"
        " rank centre width trans dofs noise smooth interf temp total setdofs settotal\n"
        "   1 2158.33  0.94  0.612  1.45  0.80  1.20  0.40  0.90  1.80  1.45  1.80 n2o solar\n"
        "   2 2165.59  0.74  0.540  1.20  1.10  1.50  0.70  1.00  2.20  2.10  1.40 n2o h2o\n"
        "   3 2150.88  0.95  0.350  0.90  1.50  2.00  2.50  1.10  3.60  2.40  1.25 h2o -\n"
        "   0 2158.00 15.00  0.450  2.40  0.50  0.80  0.30  0.60  1.25  2.40  1.25 h2o n2o\n");
    for (Format f : kFormats) {
        SCOPED_TRACE(extension(f));
        const fs::path out = scratch_.path() / extension(f);
        const Result r = plot(i, f, out);
        ASSERT_EQ(r.status, 0) << r.err;
        expect_pictures(out, f, {"spectra", "interferogram", "selection"});
        EXPECT_EQ(r.console, "");
    }
}

TEST_F(PlotRuns, BandOfWindowOneCoversItsWavenumbersInTheSpectraPng) {
    const fs::path out = scratch_.path() / "png";
    ASSERT_EQ(plot(run("example"), Format::png, out).status, 0);
    const Png png = read_png(out / "spectra.png");
    ASSERT_TRUE(png.ok);
    const Spectra s = read_table71(run("example") / "table71");
    const auto windows = read_table76(run("example") / "table76");
    ASSERT_GE(windows.size(), 2u);
    const SpectraLayout layout = spectra_layout(windows.size());
    ASSERT_EQ(png.width, layout.width);
    ASSERT_EQ(png.height, layout.height);

    // The main panel maps the computed range onto its viewport.
    const Box& m = layout.main;
    auto column = [&](double nu) {
        return (m.x0 + (nu - s.nu.front()) / (s.nu.back() - s.nu.front()) * (m.x1 - m.x0)) *
               layout.width;
    };
    const int top = static_cast<int>(std::ceil((1 - m.y1) * layout.height)) + 2;
    const int bottom = static_cast<int>(std::floor((1 - m.y0) * layout.height)) - 2;
    const Rgb band = rgb(Colour::band);
    auto band_share = [&](int x) {
        int n = 0;
        for (int y = top; y <= bottom; ++y) {
            const auto p = png.at(x, y);
            if (p[0] == band.r && p[1] == band.g && p[2] == band.b) ++n;
        }
        return static_cast<double>(n) / (bottom - top + 1);
    };
    auto inside_any = [&](int x) {
        for (const Window& w : windows)
            if (x >= column(w.lo()) - 2 && x <= column(w.hi()) + 2) return true;
        return false;
    };

    const Window& w1 = windows[0];
    const int first = static_cast<int>(std::ceil(column(w1.lo()))) + 1;
    const int last = static_cast<int>(std::floor(column(w1.hi()))) - 1;
    ASSERT_GT(last - first, 20) << "window 1 spans too few columns to judge";
    // Inside: every column shaded behind the curves (they cross it, the
    // number sits in it).
    for (int x = first; x <= last; ++x) EXPECT_GT(band_share(x), 0.4) << "column " << x;
    // Just outside, where no other window lies: no shading at all.
    for (int x : {first - 4, last + 4})
        if (!inside_any(x)) {
            EXPECT_EQ(band_share(x), 0.0) << "column " << x;
        }
    // Away from every window the shading never appears.
    int clear = 0;
    for (int x = static_cast<int>(column(s.nu.front())) + 2;
         x < static_cast<int>(column(s.nu.back())) - 2; ++x)
        if (!inside_any(x)) {
            ++clear;
            EXPECT_EQ(band_share(x), 0.0) << "column " << x;
        }
    EXPECT_GT(clear, 200);

    // The plot area is not blank: the three spectra are there, each in its
    // colour, over a good part of the columns.
    int black = 0, vermillion = 0, sky = 0;
    for (int y = top; y <= bottom; ++y)
        for (int x = static_cast<int>(m.x0 * layout.width) + 2;
             x < static_cast<int>(m.x1 * layout.width) - 2; ++x) {
            const auto p = png.at(x, y);
            if (p[0] < 40 && p[1] < 40 && p[2] < 40) ++black;
            const Rgb v = rgb(Colour::vermillion), b = rgb(Colour::sky_blue);
            if (std::abs(p[0] - v.r) < 20 && std::abs(p[1] - v.g) < 20 && std::abs(p[2] - v.b) < 20)
                ++vermillion;
            if (std::abs(p[0] - b.r) < 20 && std::abs(p[1] - b.g) < 20 && std::abs(p[2] - b.b) < 20)
                ++sky;
        }
    EXPECT_GT(black, 3000);
    EXPECT_GT(vermillion, 500);
    EXPECT_GT(sky, 1000);
}

TEST_F(PlotRuns, DamagedOrMissingTablesSkipTheirPictureOnly) {
    {
        // table71 with a broken row: no spectra; interferers still drawn.
        const fs::path d = copy_of("example");
        auto lines = split_lines(read_file((d / "table71").string()));
        lines[100] = " 2150.1940 0.99E+00 garbage";
        std::string text;
        for (const auto& l : lines) text += l + "\n";
        write_file((d / "table71").string(), text);
        const Result r = plot(d, Format::png, d / "pictures");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(
            r.err,
            "ftsplan plot: spectra skipped: table71 damaged (line 101: not a row of numbers)\n");
        EXPECT_FALSE(fs::exists(d / "pictures" / "spectra.png"));
        EXPECT_TRUE(valid_picture(d / "pictures" / "interferers.png", Format::png));
        EXPECT_EQ(r.console, "");
    }
    {
        // output.dat cut in the middle of a report: no interferers; the
        // spectra are drawn without names.
        const fs::path d = copy_of("example");
        const std::string rep = read_file((d / "output.dat").string());
        write_file((d / "output.dat").string(), rep.substr(0, rep.find("Name     No")));
        const Result r = plot(d, Format::svg, d / "pictures");
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.err.find("ftsplan plot: interferers skipped: output.dat damaged"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(split_lines(r.err).size(), 1u) << r.err;
        EXPECT_TRUE(valid_picture(d / "pictures" / "spectra.svg", Format::svg));
        EXPECT_FALSE(fs::exists(d / "pictures" / "interferers.svg"));
    }
    {
        // table78 cut short, table77 missing: neither kernels nor
        // weighting; the spectra still.
        const fs::path d = copy_of("study_a");
        const std::string k = read_file((d / "table78").string());
        write_file((d / "table78").string(), k.substr(0, k.size() / 2));
        fs::remove(d / "table77");
        const Result r = plot(d, Format::pdf, d);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.err.find("ftsplan plot: kernels skipped: table78 damaged"), std::string::npos);
        EXPECT_NE(r.out.find("  weighting skipped: no table77 in the run"), std::string::npos);
        EXPECT_TRUE(valid_picture(d / "spectra.pdf", Format::pdf));
        EXPECT_FALSE(fs::exists(d / "kernels.pdf"));
    }
    {
        // A table76 of another range (left from an earlier run) is not
        // drawn over these spectra.
        const fs::path d = copy_of("study_a");
        write_file((d / "table76").string(),
                   "name     cm-1     window \nco       2165.59   0.74\n");
        const Result r = plot(d, Format::png, d);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("table76 left out"), std::string::npos) << r.out;
        const Png png = read_png(d / "spectra.png");
        ASSERT_TRUE(png.ok);
        EXPECT_EQ(png.height, spectra_layout(0).height); // no window panels
    }
}

TEST_F(PlotRuns, NothingToDrawOrNowhereToDrawIsAFailure) {
    TempDir empty;
    Result r = plot(empty.path(), Format::png, {});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nothing to draw"), std::string::npos);
    EXPECT_EQ(split_lines(r.out).size(), 7u); // the heading and six skipped pictures

    r = plot(empty.path() / "no-such-run", Format::png, {});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ftsplan plot: " + (empty.path() / "no-such-run").string() +
                         ": no such run directory\n");

    // The output folder is a file: refused before anything is drawn.
    write_file((empty.path() / "file").string(), "x");
    r = plot(run("example"), Format::png, empty.path() / "file");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot create the directory"), std::string::npos);
    EXPECT_EQ(r.console, "");
}
