// Spectrum and profile tables, and the layout of the intervals.
#include "common/stop.hpp"
#include "support/test_support.hpp"
#include "traq/driver.hpp"
#include "traq/tables.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace traq;
using testsupport::split_lines;
using testsupport::TempDir;

namespace {

Spectra& small_spectra() {
    static Spectra sp;
    if (sp.spec.empty()) sp.spec.assign(static_cast<std::size_t>(NKIND) * (MP + 1), 0.0);
    return sp;
}

} // namespace

TEST(Table71, HeadersOfBothLayouts) {
    TempDir d;
    {
        fts::LineOutput out(d.file("s"));
        write_table71_header(out, 's', 'a');
        fts::LineOutput out2(d.file("d"));
        write_table71_header(out2, 'i', 'r');
    }
    EXPECT_EQ(d.read("s"),
              "3 4\nRad. in transmission \n  cm       target      all-target    all-gases\n");
    EXPECT_EQ(d.read("d"), "3 5\nRad. in: mW m-2 sr-1 (cm-1)-1\n  cm-1      target      all-target "
                           "  all-gases  diff-10%\n");
}

TEST(Table71, RowsOfAnIntervalAndNegativeDifferences) {
    Spectra& sp = small_spectra();
    for (int k = 1; k <= 4; ++k) std::fill_n(sp.spec_row(k), 3, 0.0);
    sp.spec_row(1)[0] = 1.0;
    sp.spec_row(2)[1] = 0.5;
    sp.spec_row(3)[2] = 0.25;
    sp.spec_row(4)[2] = 0.2500123;
    TempDir d;
    {
        fts::LineOutput out(d.file("t"));
        write_table71_rows(out, 'd', 2, 2000.0f, 0.001f, sp);
    }
    auto rows = split_lines(d.read("t"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], " 2000.0000 0.10000E+01 0.00000E+00 0.00000E+00 0.00000E+00");
    EXPECT_EQ(rows[1], " 2000.0010 0.00000E+00 0.50000E+00 0.00000E+00 0.00000E+00");
    EXPECT_EQ(rows[2], " 2000.0020 0.00000E+00 0.00000E+00 0.25000E+00 -.12300E-04");
    {
        fts::LineOutput out(d.file("s"));
        write_table71_rows(out, 's', 0, 2000.0f, 0.001f, sp);
    }
    EXPECT_EQ(d.read("s"), " 2000.0000 0.10000E+01 0.00000E+00 0.00000E+00\n");
}

TEST(Table70, RowsHoldTheRatioItsLogarithmAndTheAltitude) {
    Atmosphere atm;
    atm.vmr_target[1] = 1.5e-7f;
    atm.z_lay[1] = 0.45f; // stored just below 0.45: prints 0.4
    atm.vmr_target[2] = 1.0e-20f;
    atm.z_lay[2] = 12.5f;
    TempDir d;
    {
        fts::LineOutput out(d.file("t"));
        write_table70(out, 2, atm);
    }
    EXPECT_EQ(d.read("t"), "3 2\n vmr-profile of target gas\n lg(vmr)       vmr        altitude \n"
                           " 1.50E-07 -6.82E+00   0.4\n 1.00E-20 -2.00E+01  12.5\n");
}

TEST(Intervals, LayoutAndLimits) {
    Options opt;
    opt.dnu = 0.001f;
    opt.nu_margin = 1.0f;
    Interval iv;
    // 2.3 widths give three intervals, the last 0.3 widths wide.
    opt.nu_start = 1000.0f;
    opt.nu_end = 1069.0f;
    layout_intervals(opt, iv);
    EXPECT_FLOAT_EQ(iv.interval_width, 30.0f);
    EXPECT_EQ(iv.nint, 3);
    set_interval(opt, 80, 1, iv);
    EXPECT_EQ(iv.nu_lo, 1000.0f);
    EXPECT_EQ(iv.nu_hi, 1030.0f);
    EXPECT_EQ(iv.npts, 30000);
    EXPECT_EQ(iv.nu_lo_ext, 999.0f);
    set_interval(opt, 80, 2, iv);
    EXPECT_EQ(iv.nu_lo, 1030.0f); // shares the boundary point
    set_interval(opt, 80, 3, iv);
    EXPECT_EQ(iv.nu_hi, 1069.0f);
    EXPECT_EQ(iv.npts, 9000);
    // Exactly two widths: two full intervals (no third one without a step).
    opt.nu_end = 1060.0f;
    layout_intervals(opt, iv);
    EXPECT_EQ(iv.nint, 2);
    EXPECT_EQ(testsupport::stop_message([&] { set_interval(opt, 80, 2, iv); }), "(no stop)");
    EXPECT_EQ(iv.nu_lo, 1030.0f);
    EXPECT_EQ(iv.nu_hi, 1060.0f);
    EXPECT_EQ(iv.npts, 30000);
    // A remainder of less than half a step is no interval of its own either;
    // one of a step or more keeps its own (short) interval.
    opt.nu_end = 1060.0004f;
    layout_intervals(opt, iv);
    EXPECT_EQ(iv.nint, 2);
    set_interval(opt, 80, 2, iv);
    EXPECT_EQ(iv.npts, 30000);
    opt.nu_end = 1060.1f;
    layout_intervals(opt, iv);
    EXPECT_EQ(iv.nint, 3);
    // Exactly nine widths fit the nine intervals; ten do not.
    opt.nu_end = 1270.0f;
    layout_intervals(opt, iv);
    EXPECT_EQ(iv.nint, 9);
    set_interval(opt, 80, 9, iv);
    EXPECT_EQ(iv.nu_hi, 1270.0f);
    EXPECT_EQ(iv.npts, 30000);
    opt.nu_end = 1300.0f;
    EXPECT_EQ(testsupport::stop_message([&] { layout_intervals(opt, iv); }),
              "Increase mind (No. of intervals) in TRAQ.");
    // No wider than one width: one interval exactly over the range.
    opt.nu_end = 1030.0f;
    layout_intervals(opt, iv);
    EXPECT_EQ(iv.nint, 1);
    // Ten intervals are refused (9.2 widths round up to ten).
    opt.nu_end = 1000.0f + 9.2f * 30.0f;
    EXPECT_EQ(testsupport::stop_message([&] { layout_intervals(opt, iv); }),
              "Increase mind (No. of intervals) in TRAQ.");
    opt.nu_end = 1000.0f + 8.9f * 30.0f;
    EXPECT_EQ(testsupport::stop_message([&] { layout_intervals(opt, iv); }), "(no stop)");
    EXPECT_EQ(iv.nint, 9);
}

TEST(Intervals, PointsAgainstPathEntriesAndCapacity) {
    Options opt;
    opt.dnu = 0.01f;
    opt.nu_start = 1000.0f;
    opt.nu_end = 1000.8f; // 80 steps
    Interval iv;
    layout_intervals(opt, iv);
    EXPECT_EQ(testsupport::stop_message([&] { set_interval(opt, 80, 1, iv); }),
              "Increase spect. range or grid compared to altitude levels");
    opt.nu_end = 1000.81f; // 81 steps
    EXPECT_EQ(testsupport::stop_message([&] { set_interval(opt, 80, 1, iv); }), "(no stop)");
    EXPECT_EQ(iv.npts, 81);
    // A single interval may not exceed mp steps (a rounding at the edge).
    opt.dnu = 0.001f;
    opt.nu_end = 1030.0006f;
    layout_intervals(opt, iv);
    if (iv.nint == 1) {
        EXPECT_EQ(testsupport::stop_message([&] { set_interval(opt, 80, 1, iv); }),
                  "Increase nuber of spectral point mp in TRAQ");
    }
}
