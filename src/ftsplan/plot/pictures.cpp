#include "ftsplan/plot/pictures.hpp"

#include <plstream.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

namespace ftsplan::plot {

namespace {

constexpr int kWidth = 1200;

std::string num(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

// Page fractions of a rectangle given in pixels from the top left.
Box pixels(int page_h, double left, double right, double top, double bottom) {
    return {left / kWidth, right / kWidth, 1.0 - bottom / page_h, 1.0 - top / page_h};
}

// Decimals that tell ticks `step` apart.
int decimals(double step) {
    if (!(step > 0)) return 0;
    return std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
}

// Frame, ticks and numbers; a step of 0 lets PLplot choose.
void axes(Canvas& c, double xstep, double ystep, const char* xopt = "bcnst",
          const char* yopt = "bcnstv") {
    c.pen({Colour::black, 1.0, Dash::solid});
    c.pls().prec(xstep > 0 ? 1 : 0, decimals(xstep));
    c.pls().box(xopt, xstep, 0, "", 0, 0);
    c.pls().prec(ystep > 0 ? 1 : 0, decimals(ystep));
    c.pls().box("", 0, 0, yopt, ystep, 0);
    c.pls().prec(0, 0);
}

void label_bottom(Canvas& c, const std::string& s, double disp = 3.2) {
    c.colour(Colour::black);
    c.pls().mtex("b", disp, 0.5, 0.5, s.c_str());
}

void label_left(Canvas& c, const std::string& s, double disp = 4.2) {
    c.colour(Colour::black);
    c.pls().mtex("l", disp, 0.5, 0.5, s.c_str());
}

void label_top(Canvas& c, const std::string& s, double disp = 1.0, double pos = 0.5,
               double just = 0.5) {
    c.colour(Colour::black);
    c.pls().mtex("t", disp, pos, just, s.c_str());
}

void text(Canvas& c, double x, double y, double just, const std::string& s,
          Colour colour = Colour::black) {
    c.colour(colour);
    c.pls().ptex(x, y, 1, 0, just, s.c_str());
}

struct LegendEntry {
    std::string text;
    Pen pen;
    bool fill = false; // a shaded box instead of a line sample
    Colour fill_colour = Colour::band;
};

// A legend in one row of equal cells (columns == entries) or in a column.
void legend(Canvas& c, const Box& area, const std::vector<LegendEntry>& entries, int columns) {
    if (entries.empty()) return;
    const int rows = (static_cast<int>(entries.size()) + columns - 1) / columns;
    c.frame(area, 0, 1, 0, 1);
    const double cw = 1.0 / columns, rh = 1.0 / rows;
    const double sample = std::min(0.12 * cw, 60.0 / ((area.x1 - area.x0) * kWidth));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const double x = (static_cast<int>(i) % columns) * cw;
        const double y = 1.0 - (static_cast<int>(i) / columns + 0.5) * rh;
        const LegendEntry& e = entries[i];
        if (e.fill) {
            c.fill_rect(x + 0.01 * cw, x + 0.01 * cw + sample, y - 0.3 * rh, y + 0.3 * rh,
                        e.fill_colour);
        } else {
            c.pen(e.pen);
            std::vector<double> xs{x + 0.01 * cw, x + 0.01 * cw + sample}, ys{y, y};
            c.line(xs, ys);
        }
        c.pen({Colour::black, 1.0, Dash::solid});
        text(c, x + 0.03 * cw + sample, y, 0, e.text);
    }
}

// Pens of a family of curves (kernel rows, weighting-function blocks):
// palette colour and dash change together.
Pen family_pen(std::size_t i) {
    static const Colour colours[] = {Colour::vermillion, Colour::blue,   Colour::green,
                                     Colour::orange,     Colour::purple, Colour::sky_blue,
                                     Colour::black};
    static const Dash dashes[] = {Dash::solid, Dash::dashed, Dash::dash_dot, Dash::long_dash,
                                  Dash::dotted};
    return {colours[i % 7], 2.2, dashes[i % 5]};
}

const Pen kAllGases{Colour::black, 1.2, Dash::solid};
const Pen kTarget{Colour::vermillion, 1.6, Dash::dashed};
const Pen kOthers{Colour::sky_blue, 2.8, Dash::solid};

// Altitude up to which a family of profiles shows anything: the highest
// level where some curve reaches 2 % of the largest magnitude, plus room,
// rounded up to 5 km.
double profile_top(const std::vector<double>& z, const std::vector<std::vector<double>>& curves) {
    double big = 0;
    for (const auto& c : curves)
        for (double v : c) big = std::max(big, std::abs(v));
    std::size_t top = 0;
    for (std::size_t j = 0; j < z.size(); ++j)
        for (const auto& c : curves)
            if (j < c.size() && std::abs(c[j]) >= 0.02 * big) top = std::max(top, j);
    double t = std::ceil((z[top] + 3.0) / 5.0) * 5.0;
    return std::min(std::max(t, z.front() + 5.0), std::max(z.back(), z.front() + 5.0));
}

void minmax(const std::vector<double>& v, std::size_t first, std::size_t last, double& lo,
            double& hi) {
    for (std::size_t i = first; i <= last && i < v.size(); ++i) {
        lo = std::min(lo, v[i]);
        hi = std::max(hi, v[i]);
    }
}

// The vertical range of a plot of values in [lo, hi] with `head` of its
// height left free above.
void value_range(double lo, double hi, double head, double& y0, double& y1) {
    if (!(hi > lo)) { // flat: a zero spectrum gets 0..1
        const double d = hi == 0 ? 1.0 : std::abs(hi) * 0.5;
        lo = hi == 0 ? 0.0 : lo - d;
        hi += d;
    }
    y0 = lo >= 0 ? 0 : lo - 0.05 * (hi - lo);
    y1 = y0 + (hi - y0) / (1.0 - head);
}

} // namespace

// ---------------------------------------------------------------------------
// spectra

SpectraLayout spectra_layout(std::size_t windows) {
    const std::size_t n = std::min(windows, kMaxPanels);
    const std::size_t cols = n <= 3 ? n : n <= 6 ? 3 : 4;
    const std::size_t rows = cols ? (n + cols - 1) / cols : 0;
    SpectraLayout l;
    l.width = kWidth;
    l.height = 580 + static_cast<int>(rows) * 380;
    l.columns = cols;
    l.main = pixels(l.height, 100, 1160, 100, 500);
    const double left = 100, right = 1160, gap = 70;
    const double colw = cols ? (right - left + gap) / cols : 0;
    for (std::size_t k = 0; k < n; ++k) {
        const double x = left + (k % cols) * colw;
        const double top = 580 + (k / cols) * 380.0;
        l.panels.push_back(pixels(l.height, x, x + colw - gap, top + 70, top + 320));
    }
    return l;
}

void panel_range(const Window& w, const Spectra& s, double& lo, double& hi) {
    const double pad = std::max(w.width, 0.2);
    lo = std::max(w.lo() - pad, s.nu.front());
    hi = std::min(w.hi() + pad, s.nu.back());
    if (!(hi > lo)) {
        lo = s.nu.front();
        hi = s.nu.back();
    }
}

namespace {

std::string measure_label(const GasRating& g, char key) {
    const double v = key == 'a' ? g.abs : g.rel;
    return g.name + " " + (std::isfinite(v) ? num(v, 1) + "%" : std::string("(overflow)"));
}

void spectra_panel(Canvas& c, const SpectraPicture& p, const SpectraLayout& layout, std::size_t k) {
    const Spectra& s = p.spectra;
    const Window& w = p.windows[k];
    double lo, hi;
    panel_range(w, s, lo, hi);
    const auto b = std::lower_bound(s.nu.begin(), s.nu.end(), lo) - s.nu.begin();
    const auto e = std::upper_bound(s.nu.begin(), s.nu.end(), hi) - s.nu.begin();
    const std::size_t first = b > 0 ? static_cast<std::size_t>(b - 1) : 0;
    const std::size_t last = std::min(static_cast<std::size_t>(e), s.nu.size() - 1);
    // The top third stays free for the names of the interferers.
    double y0 = 0, y1 = 1.55, top = 1.0;
    if (s.radiance) {
        double vlo = 0, vhi = 0;
        minmax(s.all, first, last, vlo, vhi);
        minmax(s.target, first, last, vlo, vhi);
        minmax(s.others, first, last, vlo, vhi);
        value_range(0, vhi, 0.35, y0, y1);
        top = vhi;
    }
    const Box& box = layout.panels[k];
    c.frame(box, lo, hi, y0, y1);
    for (const Window& o : p.windows)
        if (o.hi() > lo && o.lo() < hi)
            c.fill_rect(std::max(o.lo(), lo), std::min(o.hi(), hi), y0, y1, Colour::band);
    c.pen({kOthers.colour, 2.4, Dash::solid});
    c.line(s.nu, s.others, first, last);
    c.pen({kAllGases.colour, 1.1, Dash::solid});
    c.line(s.nu, s.all, first, last);
    c.pen({kTarget.colour, 1.5, Dash::dashed});
    c.line(s.nu, s.target, first, last);

    c.text_size(0.75);
    const int r = p.report_of_window.size() > k ? p.report_of_window[k] : -1;
    std::string share;
    if (r >= 0) {
        // Interferers named above the spectra, one a row, each over its
        // strongest absorption; the sun, whose figure is not a position, at
        // the right.
        const WindowReport& rep = p.reports[static_cast<std::size_t>(r)];
        share = "target share " + num(rep.contrib, 1) + " %";
        const double px_per_x = (box.x1 - box.x0) * kWidth / (hi - lo);
        const double span = y1 - y0;
        const std::size_t shown = std::min<std::size_t>(rep.interferers.size(), 3);
        for (std::size_t i = 0; i < shown; ++i) {
            const GasRating& g = rep.interferers[i];
            const std::string t = measure_label(g, p.rank_key);
            const double row = top + span * (0.07 + 0.09 * static_cast<double>(i));
            const double half = 0.5 * static_cast<double>(t.size()) * 11.0 / px_per_x;
            if (g.name == "solar" || !std::isfinite(g.nu)) {
                text(c, hi - 4.0 / px_per_x, row, 1.0, t, Colour::mid_grey);
                continue;
            }
            const double at = rep.target.nu + g.nu;
            c.pen({Colour::mid_grey, 1.0, Dash::solid});
            std::vector<double> xs{at, at}, ys{top + span * 0.005, row - span * 0.035};
            c.line(xs, ys);
            const double x = std::clamp(at, lo + half, std::max(lo + half, hi - half));
            text(c, x, row, 0.5, t);
        }
        if (rep.interferers.empty())
            text(c, lo + (hi - lo) * 0.03, top + span * 0.1, 0, "no interferer listed");
    } else if (!p.reports.empty()) {
        share = "not reported by pelmox";
    }
    axes(c, nice_step(hi - lo, 3), s.radiance ? nice_step(top, 3) : 0.5);
    c.text_size(layout.columns > 3 ? 0.72 : 0.8);
    label_top(c,
              std::to_string(k + 1) + ":  " + num(w.lo(), 2) + "-" + num(w.hi(), 2) + " cm#u-1#d",
              2.1, 0.0, 0.0);
    if (!share.empty()) label_top(c, share, 0.7, 0.0, 0.0);
    if (k % layout.columns == 0) label_left(c, s.radiance ? "radiance" : "transmission", 3.8);
    label_bottom(c, "wavenumber (cm#u-1#d)", 3.0);
    c.text_size(1.0);
}

} // namespace

void draw_spectra(const SpectraPicture& p, Format f, const std::filesystem::path& file) {
    const Spectra& s = p.spectra;
    const SpectraLayout layout = spectra_layout(p.windows.size());
    Canvas c(f, file, layout.width, layout.height);
    const double nu0 = s.nu.front(), nu1 = s.nu.back();
    double y0 = 0, y1 = 1.12;
    if (s.radiance) {
        double lo = 0, hi = 0;
        minmax(s.all, 0, s.nu.size() - 1, lo, hi);
        minmax(s.target, 0, s.nu.size() - 1, lo, hi);
        minmax(s.others, 0, s.nu.size() - 1, lo, hi);
        value_range(0, hi, 0.1, y0, y1);
    }
    c.frame(layout.main, nu0, nu1, y0, y1);
    for (const Window& w : p.windows)
        if (w.hi() > nu0 && w.lo() < nu1)
            c.fill_rect(std::max(w.lo(), nu0), std::min(w.hi(), nu1), y0, y1, Colour::band);
    c.pen(kOthers);
    c.line(s.nu, s.others);
    c.pen(kAllGases);
    c.line(s.nu, s.all);
    c.pen(kTarget);
    c.line(s.nu, s.target);
    c.text_size(0.9);
    for (std::size_t k = 0; k < p.windows.size(); ++k) {
        const Window& w = p.windows[k];
        if (w.centre > nu0 && w.centre < nu1)
            text(c, w.centre, y1 - 0.045 * (y1 - y0), 0.5, std::to_string(k + 1));
    }
    c.text_size(1.0);
    axes(c, nice_step(nu1 - nu0, 8), s.radiance ? 0 : 0.2);
    label_bottom(c, "wavenumber (cm#u-1#d)");
    label_left(c, s.radiance ? "radiance (mW m#u-2#d sr#u-1#d (cm#u-1#d)#u-1#d)" : "transmission");

    std::string title = p.windows.empty() ? std::string() : p.windows.front().label + ": ";
    title += (s.radiance ? "radiance " : "transmission ") + num(nu0, 2) + "-" + num(nu1, 2) +
             " cm#u-1#d";
    if (!p.windows.empty())
        title += ", " + std::to_string(p.windows.size()) + " microwindow" +
                 (p.windows.size() > 1 ? "s" : "") + " numbered by rank";
    if (p.windows.size() > kMaxPanels)
        title += ", the best " + std::to_string(kMaxPanels) + " enlarged";
    label_top(c, title, 3.2);

    std::vector<LegendEntry> entries{
        {"all gases", kAllGases}, {"target gas alone", kTarget}, {"all other gases", kOthers}};
    if (!p.windows.empty()) entries.push_back({"microwindow", {}, true, Colour::band});
    const Box& m = layout.main;
    legend(c, {m.x0, m.x1, m.y1 + 8.0 / layout.height, m.y1 + 40.0 / layout.height}, entries,
           static_cast<int>(entries.size()));

    for (std::size_t k = 0; k < layout.panels.size(); ++k) spectra_panel(c, p, layout, k);
    c.finish();
}

// ---------------------------------------------------------------------------
// kernels

void draw_kernels(const Kernels& k, Format f, const std::filesystem::path& file) {
    const int h = 800;
    Canvas c(f, file, kWidth, h);
    const std::size_t n = k.z.size();
    const double ztop = profile_top(k.z, k.a);
    const double zbot = std::min(0.0, k.z.front());
    std::size_t top_index = 0;
    while (top_index + 1 < n && k.z[top_index + 1] <= ztop) ++top_index;
    const std::size_t last = std::min(n - 1, top_index + 1);

    // Rows shown in colour: up to seven, spread over the altitudes that
    // matter; all others in grey behind them.
    std::vector<std::size_t> shown;
    for (int i = 0; i < 7; ++i) {
        const double want = k.z.front() + (ztop - k.z.front()) * (i + 0.5) / 7.0 * 0.9;
        std::size_t best = 0;
        for (std::size_t j = 0; j < n; ++j)
            if (std::abs(k.z[j] - want) < std::abs(k.z[best] - want)) best = j;
        if (std::find(shown.begin(), shown.end(), best) == shown.end()) shown.push_back(best);
    }
    std::sort(shown.begin(), shown.end());

    double lo = 0, hi = 0;
    for (std::size_t j = 0; j <= last; ++j) minmax(k.a[j], 0, last, lo, hi);
    if (!(hi > lo)) hi = lo + 1;
    const double pad = 0.05 * (hi - lo);
    const Box left = pixels(h, 100, 790, 150, 720);
    c.frame(left, lo - pad, hi + pad, zbot, ztop);
    c.pen({Colour::light_grey, 0.8, Dash::solid});
    for (std::size_t j = 0; j < n; ++j) c.line(k.a[j], k.z, 0, last);
    c.pen({Colour::mid_grey, 0.8, Dash::dotted});
    std::vector<double> vx{0, 0}, vy{zbot, ztop};
    c.line(vx, vy);
    std::vector<LegendEntry> entries;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const Pen pen = family_pen(i);
        c.pen(pen);
        c.line(k.a[shown[i]], k.z, 0, last);
        entries.push_back({"row of " + num(k.z[shown[i]], 2) + " km", pen});
    }
    axes(c, 0, 0);
    label_bottom(c, "averaging kernel (row of the layer)");
    label_left(c, "altitude (km)", 3.4);

    const Box right = pixels(h, 870, 1160, 150, 720);
    double slo = 0, shi = 1;
    minmax(k.row_sum, 0, last, slo, shi);
    const double s0 = std::min(0.0, slo) - 0.05, s1 = std::max(1.1, shi * 1.08);
    c.frame(right, s0, s1, zbot, ztop);
    c.pen({Colour::mid_grey, 0.8, Dash::dotted});
    std::vector<double> one{1, 1};
    c.line(one, vy);
    const Pen sens{Colour::black, 2.6, Dash::solid};
    c.pen(sens);
    c.line(k.row_sum, k.z, 0, last);
    axes(c, nice_step(s1 - s0, 3), 0);
    label_bottom(c, "sensitivity (row sum)");

    c.frame(pixels(h, 100, 1170, 40, 42), 0, 1, 0, 1);
    label_top(c,
              "Averaging kernels (table78): DOFS = trace = " + num(k.dofs(), 2) + " over " +
                  std::to_string(n) + " layers",
              0.5);
    entries.push_back({"all other rows", {Colour::light_grey, 0.8, Dash::solid}});
    legend(c, pixels(h, 100, 1170, 60, 125), entries, 4);
    c.finish();
}

// ---------------------------------------------------------------------------
// weighting functions

void draw_weighting(const WeightingPicture& p, Format f, const std::filesystem::path& file) {
    const int h = 800;
    Canvas c(f, file, kWidth, h);
    const Weighting& w = p.wf;
    const std::size_t n = w.z.size();
    // The blocks with the largest weighting functions, in wavenumber order,
    // and the mean over the interval.
    std::vector<std::pair<double, std::size_t>> peak;
    for (std::size_t m = 0; m < 20; ++m) {
        double big = 0;
        for (std::size_t l = 0; l < n; ++l) big = std::max(big, std::abs(w.blocks[l][m]));
        peak.push_back({big, m});
    }
    std::stable_sort(peak.begin(), peak.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::size_t> shown;
    for (std::size_t i = 0; i < 5 && peak[i].first > 0; ++i) shown.push_back(peak[i].second);
    std::sort(shown.begin(), shown.end());

    std::vector<std::vector<double>> curves;
    for (std::size_t m : shown) {
        std::vector<double> v(n);
        for (std::size_t l = 0; l < n; ++l) v[l] = w.blocks[l][m];
        curves.push_back(std::move(v));
    }
    std::vector<double> mean(n);
    for (std::size_t l = 0; l < n; ++l) mean[l] = w.sum[l] / 20.0;
    curves.push_back(mean);
    const double ztop = profile_top(w.z, curves);
    std::size_t top_index = 0;
    while (top_index + 1 < n && w.z[top_index + 1] <= ztop) ++top_index;
    const std::size_t last = std::min(n - 1, top_index + 1);
    double lo = 0, hi = 0;
    for (const auto& v : curves) minmax(v, 0, top_index, lo, hi);
    if (!(hi > lo)) hi = lo + 1;
    const double pad = 0.05 * (hi - lo);
    c.frame(pixels(h, 110, 1160, 140, 710), lo - pad, hi + pad, std::min(0.0, w.z.front()), ztop);
    std::vector<LegendEntry> entries;
    const bool known = p.nu_hi > p.nu_lo;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const Pen pen = family_pen(i);
        c.pen(pen);
        c.line(curves[i], w.z, 0, last);
        const std::size_t m = shown[i];
        std::string label = "block " + std::to_string(m + 1);
        if (known) {
            const double step = (p.nu_hi - p.nu_lo) / 20.0;
            label = num(p.nu_lo + step * static_cast<double>(m), 2) + "-" +
                    num(p.nu_lo + step * static_cast<double>(m + 1), 2);
        }
        entries.push_back({label, pen});
    }
    const Pen mean_pen{Colour::black, 2.8, Dash::solid};
    c.pen(mean_pen);
    c.line(mean, w.z, 0, last);
    entries.push_back({"mean of the interval", mean_pen});
    axes(c, 0, 0);
    label_bottom(c, "weighting function (decrease of the all-gases spectrum per unit vmr)");
    label_left(c, "altitude (km)", 3.6);
    std::string title = "Weighting functions (table77): the strongest of 20 blocks";
    if (known) title += " of " + num(p.nu_lo, 2) + "-" + num(p.nu_hi, 2) + " cm#u-1#d";
    c.frame(pixels(h, 110, 1170, 40, 42), 0, 1, 0, 1);
    label_top(c, title, 0.5);
    legend(c, pixels(h, 110, 1170, 60, 120), entries, 3);
    c.finish();
}

// ---------------------------------------------------------------------------
// interferers

void draw_interferers(const InterferersPicture& p, Format f, const std::filesystem::path& file) {
    constexpr std::size_t kMaxCharts = 12;
    const std::size_t n = std::min(p.reports.size(), kMaxCharts);
    const std::size_t cols = n > 1 ? 2 : 1;
    const std::size_t rows = (n + cols - 1) / cols;
    const int h = 90 + static_cast<int>(rows) * 280;
    Canvas c(f, file, kWidth, h);
    // One colour per gas across all charts; the sun in grey.
    std::map<std::string, Colour> colour_of;
    static const Colour cycle[] = {Colour::blue,   Colour::vermillion, Colour::green,
                                   Colour::orange, Colour::purple,     Colour::sky_blue,
                                   Colour::yellow};
    const bool abs = p.rank_key == 'a';
    const double colw = 1110.0 / static_cast<double>(cols);
    for (std::size_t r = 0; r < n; ++r) {
        const WindowReport& rep = p.reports[r];
        const double x = 80 + static_cast<double>(r % cols) * colw;
        const double top = 90 + static_cast<double>(r / cols) * 280;
        const std::size_t bars = std::max<std::size_t>(rep.interferers.size(), 1);
        double big = 0;
        for (const GasRating& g : rep.interferers) {
            const double v = abs ? g.abs : g.rel;
            if (std::isfinite(v)) big = std::max(big, v);
        }
        // Room right of the longest bar for its figure.
        const double xmax = std::max(10.0, std::ceil(big * 1.3 / 10.0) * 10.0);
        const Box box = pixels(h, x, x + colw - 110, top + 45, top + 225);
        c.frame(box, 0, xmax, 0, static_cast<double>(bars));
        c.text_size(0.85);
        for (std::size_t i = 0; i < rep.interferers.size(); ++i) {
            const GasRating& g = rep.interferers[i];
            const double yc = static_cast<double>(bars - i) - 0.5;
            Colour col = Colour::light_grey;
            if (g.name != "solar") {
                auto it = colour_of.find(g.name);
                if (it == colour_of.end())
                    it = colour_of.emplace(g.name, cycle[colour_of.size() % 7]).first;
                col = it->second;
            }
            const double v = abs ? g.abs : g.rel;
            if (std::isfinite(v)) {
                c.fill_rect(0, v, yc - 0.32, yc + 0.32, col);
                text(c, v + xmax * 0.01, yc, 0, num(v, 1) + " %");
            } else {
                text(c, xmax * 0.01, yc, 0, "overflow");
            }
            c.colour(Colour::black);
            c.pls().mtex("lv", 0.6, yc / static_cast<double>(bars), 1.0, g.name.c_str());
        }
        if (rep.interferers.empty()) text(c, xmax * 0.02, 0.5, 0, "no interferer listed");
        axes(c, nice_step(xmax, 5), 0, "bcnst", "bc");
        label_bottom(c, abs ? "abs-trans (%)" : "rel-trans (%)", 2.6);
        const int wi = r < p.window_of_report.size() ? p.window_of_report[r] : -1;
        std::string head = std::to_string(wi >= 0 ? wi + 1 : static_cast<int>(r) + 1) + "  ";
        if (wi >= 0) {
            const Window& w = p.windows[static_cast<std::size_t>(wi)];
            head += w.label + "  " + num(w.lo(), 2) + "-" + num(w.hi(), 2) + " cm#u-1#d";
        } else {
            head += rep.target.name + " peak at " + num(rep.target.nu, 3) + " cm#u-1#d";
        }
        head += ",  target " + num(rep.contrib, 1) + " %";
        label_top(c, head, 0.9, 0.0, 0.0);
        c.text_size(1.0);
    }
    std::string title = "Interfering gases of each window (output.dat)";
    if (p.reports.size() > n)
        title += ", first " + std::to_string(n) + " of " + std::to_string(p.reports.size());
    const std::string what = abs ? "abs-trans: deepest absorption of a gas in the window"
                                 : "rel-trans: change of a gas's transmission across the window";
    c.frame(pixels(h, 80, 1170, 60, 62), 0, 1, 0, 1);
    label_top(c, title, 2.2);
    c.text_size(0.85);
    label_top(c, what + ";  target: its share of the absorption at its peak", 0.6);
    c.finish();
}

// ---------------------------------------------------------------------------
// selection

void draw_selection(const Selection& s, Format f, const std::filesystem::path& file) {
    const int h = 800;
    Canvas c(f, file, kWidth, h);
    const std::size_t n = s.windows.size();
    std::vector<double> x(n), set_dofs(n), dofs(n), set_total(n), total(n);
    for (std::size_t i = 0; i < n; ++i) {
        const SelectionRow& r = s.windows[i];
        x[i] = r.rank;
        set_dofs[i] = r.set_dofs;
        dofs[i] = r.dofs;
        set_total[i] = r.set_total;
        total[i] = r.total;
    }
    const double x0 = 0.5, x1 = static_cast<double>(n) + 0.5;
    const Pen set_pen{Colour::black, 2.6, Dash::solid};
    const Pen one_pen{Colour::vermillion, 1.6, Dash::dashed};
    auto series = [&](const std::vector<double>& v, const Pen& pen, int symbol) {
        c.pen(pen);
        c.line(x, v);
        c.pen({pen.colour, 1.5, Dash::solid});
        c.pls().ssym(0, symbol == 17 ? 2.2 : 1.0);
        c.pls().poin(static_cast<PLINT>(n), x.data(), v.data(), symbol);
    };

    double lo = 0, hi = 0;
    minmax(set_dofs, 0, n - 1, lo, hi);
    minmax(dofs, 0, n - 1, lo, hi);
    double y0, y1;
    value_range(lo, hi, 0.2, y0, y1);
    c.frame(pixels(h, 110, 1160, 130, 400), x0, x1, y0, y1);
    series(dofs, one_pen, 4);
    series(set_dofs, set_pen, 17);
    c.text_size(0.8);
    for (std::size_t i = 0; i < n; ++i)
        text(c, x[i], std::max(set_dofs[i], dofs[i]) + 0.08 * (y1 - y0), 0.5,
             num(s.windows[i].centre, 2) + " cm#u-1#d");
    c.text_size(1.0);
    axes(c, 1, 0, "bcst", "bcnstv");
    label_left(c, "DOFS", 3.4);

    lo = 0, hi = 0;
    minmax(set_total, 0, n - 1, lo, hi);
    minmax(total, 0, n - 1, lo, hi);
    value_range(lo, hi, 0.2, y0, y1);
    c.frame(pixels(h, 110, 1160, 420, 700), x0, x1, y0, y1);
    series(total, one_pen, 4);
    series(set_total, set_pen, 17);
    // The two strongest interferers of each window under its figures.
    c.text_size(0.8);
    for (std::size_t i = 0; i < n; ++i) {
        const SelectionRow& r = s.windows[i];
        std::string t = r.gas1.empty() ? std::string("no interferer")
                                       : r.gas1 + (r.gas2.empty() ? "" : ", " + r.gas2);
        text(c, x[i], y1 - 0.06 * (y1 - y0), 0.5, t, Colour::mid_grey);
    }
    c.text_size(1.0);
    axes(c, 1, 0, "bcnst", "bcnstv");
    label_left(c, "total-column error (%)", 3.4);
    label_bottom(c, "number of windows, best first");

    c.frame(pixels(h, 110, 1170, 40, 42), 0, 1, 0, 1);
    std::string title = "Window selection (table79)";
    if (s.has_set)
        title += ": " + std::to_string(n) + " windows together, DOFS " + num(s.set.set_dofs, 2) +
                 ", total-column error " + num(s.set.set_total, 2) + " %";
    label_top(c, title, 0.5);
    if (s.has_set) {
        c.text_size(0.85);
        label_top(c,
                  "error of the set: noise " + num(s.set.noise, 2) + ", smoothing " +
                      num(s.set.smoothing, 2) + ", interferers " + num(s.set.interferers, 2) +
                      ", temperature " + num(s.set.temperature, 2) + " %",
                  -0.9);
        c.text_size(1.0);
    }
    legend(c, pixels(h, 110, 1190, 80, 110),
           {{"windows 1..n together", set_pen},
            {"window n alone", one_pen},
            {"grey: largest interferers", {}, true, Colour::white}},
           3);
    c.finish();
}

// ---------------------------------------------------------------------------
// interferogram

void draw_interferogram(const InterferogramPicture& p, Format f,
                        const std::filesystem::path& file) {
    const int h = 800;
    Canvas c(f, file, kWidth, h);
    const Interferogram& g = p.g;
    const std::size_t n = g.index.size();
    // Position i holds the cosine coefficient i - 1, at the optical path
    // difference (i - 1) / (2 N dnu).
    std::vector<double> x(n);
    const bool opd = p.dnu > 0;
    for (std::size_t i = 0; i < n; ++i)
        x[i] = opd ? (g.index[i] - 1) / (2.0 * static_cast<double>(n) * p.dnu) : g.index[i];

    // The zero-path value dwarfs the rest: each panel is scaled to the
    // others and gives it in words.  Lines of a spectrum leave their mark at
    // small path differences only; the picture ends where both series stay
    // below 1 % of their largest value.
    auto largest = [&](const std::vector<double>& v) {
        double big = 0;
        for (std::size_t i = 1; i < n; ++i) big = std::max(big, std::abs(v[i]));
        return big > 0 ? big : std::abs(v[0]) > 0 ? std::abs(v[0]) : 1.0;
    };
    const double big_a = largest(g.inter), big_d = largest(g.diff);
    std::size_t end = 1;
    for (std::size_t i = 1; i < n; ++i)
        if (std::abs(g.inter[i]) > 0.01 * big_a || std::abs(g.diff[i]) > 0.01 * big_d) end = i;
    end =
        std::min(n - 1, std::max<std::size_t>(end + end / 4 + 1, std::min<std::size_t>(n - 1, 16)));
    const double xmax = x[end];

    auto panel = [&](const std::vector<double>& v, double big, const Box& box,
                     const std::string& what, const Pen& pen) {
        c.frame(box, x.front(), xmax, -1.1 * big, 1.1 * big);
        c.pen({Colour::mid_grey, 0.8, Dash::dotted});
        std::vector<double> zx{x.front(), xmax}, zy{0, 0};
        c.line(zx, zy);
        c.pen(pen);
        c.line(x, v, 0, end);
        axes(c, 0, 0);
        label_left(c, what, 4.6);
        if (std::abs(v[0]) > 1.1 * big) {
            c.text_size(0.85);
            label_top(c, "zero path difference: " + num(v[0], 1) + " (off scale)", -1.5, 0.98, 1.0);
            c.text_size(1.0);
        }
    };
    panel(g.inter, big_a, pixels(h, 120, 1160, 90, 370), "all-gases spectrum",
          {Colour::black, 1.0, Dash::solid});
    panel(g.diff, big_d, pixels(h, 120, 1160, 430, 710), "change by the target",
          {Colour::blue, 1.0, Dash::solid});
    label_bottom(c, opd ? "optical path difference (cm)"
                        : "position in table90 (grid step of the spectra unknown)");
    std::string title = "Interferogram (table90): cosine transform of the spectra";
    if (end + 1 < n)
        title += ", up to " + num(xmax, opd ? 1 : 0) + (opd ? " cm" : "") + " of " +
                 num(x.back(), opd ? 1 : 0) + (opd ? " cm" : "");
    c.frame(pixels(h, 120, 1170, 40, 42), 0, 1, 0, 1);
    label_top(c, title, 0.5);
    if (end + 1 < n) {
        c.text_size(0.85);
        label_top(c, "beyond, both stay below 1 % of their largest value", -0.9);
    }
    c.finish();
}

} // namespace ftsplan::plot
