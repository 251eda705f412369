#include "ftsplan/plot/canvas.hpp"

#include <plplot.h>
#include <plstream.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <system_error>

namespace ftsplan::plot {

namespace fs = std::filesystem;

Rgb rgb(Colour c) {
    switch (c) {
    case Colour::white:
        return {255, 255, 255};
    case Colour::black:
        return {0, 0, 0};
    case Colour::orange:
        return {230, 159, 0};
    case Colour::sky_blue:
        return {86, 180, 233};
    case Colour::green:
        return {0, 158, 115};
    case Colour::yellow:
        return {240, 228, 66};
    case Colour::blue:
        return {0, 114, 178};
    case Colour::vermillion:
        return {213, 94, 0};
    case Colour::purple:
        return {204, 121, 167};
    case Colour::band:
        return {252, 226, 174};
    case Colour::light_grey:
        return {205, 205, 205};
    case Colour::mid_grey:
        return {120, 120, 120};
    case Colour::count:
        break;
    }
    return {0, 0, 0};
}

namespace {

const char* device(Format f) {
    switch (f) {
    case Format::png:
        return "pngcairo";
    case Format::svg:
        return "svgcairo";
    case Format::pdf:
        return "pdfcairo";
    }
    return "pngcairo";
}

} // namespace

const char* extension(Format f) {
    switch (f) {
    case Format::png:
        return "png";
    case Format::svg:
        return "svg";
    case Format::pdf:
        return "pdf";
    }
    return "png";
}

bool device_available(Format format) {
    // plgFileDevs fills caller-provided arrays of at most ndev entries.
    constexpr int capacity = 128;
    const char* menu[capacity];
    const char* names[capacity];
    const char** menu_p = menu;
    const char** names_p = names;
    int n = capacity;
    plstream probe; // never initialised: no page, no file
    probe.gFileDevs(&menu_p, &names_p, &n);
    for (int i = 0; i < n; ++i)
        if (names_p[i] && std::strcmp(names_p[i], device(format)) == 0) return true;
    return false;
}

Canvas::Canvas(Format format, const fs::path& file, int width, int height)
    : file_(file), width_(width), height_(height) {
    partial_ = file.parent_path() / ("." + file.filename().string() + ".partial");
    {
        // PLplot retries and then ends the process when it cannot open its
        // file; make sure it can before handing the name over.
        std::ofstream probe(partial_, std::ios::binary | std::ios::trunc);
        if (!probe) throw PlotFailure("cannot write " + partial_.parent_path().string());
    }
    pls_ = std::make_unique<plstream>();
    plstream& p = *pls_;
    p.sdev(device(format));
    p.sfnam(partial_.c_str());
    p.spage(0, 0, width, height, 0, 0);
    const int ncol = static_cast<int>(Colour::count);
    p.scmap0n(ncol);
    for (int i = 0; i < ncol; ++i) {
        const Rgb c = rgb(static_cast<Colour>(i));
        p.scol0(i, c.r, c.g, c.b);
    }
    p.init();
    // PLplot sizes characters and ticks by the mean of the page's width and
    // height; keep them as on a 1200 x 700 page, whatever the height.
    base_ = 1900.0 / (width + height);
    p.schr(0, base_);
    p.smaj(0, base_);
    p.smin(0, base_);
    p.adv(0);
    p.col0(static_cast<int>(Colour::black));
}

Canvas::~Canvas() {
    if (!finished_) {
        pls_.reset(); // ends the stream
        std::error_code ec;
        fs::remove(partial_, ec);
    }
}

void Canvas::frame(const Box& v, double x0, double x1, double y0, double y1) {
    if (!std::isfinite(x0) || !std::isfinite(x1) || !std::isfinite(y0) || !std::isfinite(y1) ||
        !(x1 > x0) || !(y1 > y0))
        throw PlotFailure("no range to draw");
    viewport_ = v;
    pls_->vpor(v.x0, v.x1, v.y0, v.y1);
    pls_->wind(x0, x1, y0, y1);
}

void Canvas::colour(Colour c) {
    pls_->col0(static_cast<int>(c));
}

void Canvas::pen(const Pen& p) {
    colour(p.colour);
    pls_->width(p.width);
    // Dash patterns in micrometres of the page.
    static const PLINT dash_mark[] = {4000}, dash_space[] = {2500};
    static const PLINT dot_mark[] = {800}, dot_space[] = {1800};
    static const PLINT dd_mark[] = {4500, 800}, dd_space[] = {1800, 1800};
    static const PLINT long_mark[] = {8000}, long_space[] = {3000};
    switch (p.dash) {
    case Dash::solid:
        pls_->styl(0, nullptr, nullptr);
        break;
    case Dash::dashed:
        pls_->styl(1, dash_mark, dash_space);
        break;
    case Dash::dotted:
        pls_->styl(1, dot_mark, dot_space);
        break;
    case Dash::dash_dot:
        pls_->styl(2, dd_mark, dd_space);
        break;
    case Dash::long_dash:
        pls_->styl(1, long_mark, long_space);
        break;
    }
}

void Canvas::text_size(double scale) {
    pls_->schr(0, scale * base_);
}

void Canvas::line(const std::vector<double>& x, const std::vector<double>& y) {
    if (!x.empty()) line(x, y, 0, x.size() - 1);
}

void Canvas::line(const std::vector<double>& x, const std::vector<double>& y, std::size_t first,
                  std::size_t last) {
    if (x.empty() || first > last || last >= x.size() || last >= y.size()) return;
    const std::size_t n = last - first + 1;
    if (n < 2) return;
    PLFLT wx0, wx1, wy0, wy1;
    pls_->gvpw(wx0, wx1, wy0, wy1);
    const std::size_t columns =
        static_cast<std::size_t>(std::max(1.0, std::round((viewport_.x1 - viewport_.x0) * width_)));
    if (n <= 4 * columns) {
        pls_->line(static_cast<PLINT>(n), x.data() + first, y.data() + first);
        return;
    }
    // Lowest and highest point of each pixel column, in their own order.
    std::vector<PLFLT> px, py;
    px.reserve(2 * columns + 4);
    py.reserve(2 * columns + 4);
    const double scale = static_cast<double>(columns) / (wx1 - wx0);
    std::size_t i = first;
    while (i <= last) {
        const double c = std::floor((x[i] - wx0) * scale);
        std::size_t lo = i, hi = i, j = i + 1;
        while (j <= last && std::floor((x[j] - wx0) * scale) == c) {
            if (y[j] < y[lo]) lo = j;
            if (y[j] > y[hi]) hi = j;
            ++j;
        }
        const std::size_t a = std::min(lo, hi), b = std::max(lo, hi);
        px.push_back(x[a]);
        py.push_back(y[a]);
        if (b != a) {
            px.push_back(x[b]);
            py.push_back(y[b]);
        }
        i = j;
    }
    pls_->line(static_cast<PLINT>(px.size()), px.data(), py.data());
}

void Canvas::fill_rect(double x0, double x1, double y0, double y1, Colour c) {
    PLFLT xs[4] = {x0, x1, x1, x0}, ys[4] = {y0, y0, y1, y1};
    colour(c);
    pls_->fill(4, xs, ys);
}

void Canvas::finish() {
    pls_.reset(); // ends the stream: the driver writes and closes the file
    finished_ = true;
    std::error_code ec;
    if (fs::file_size(partial_, ec) == 0 || ec) {
        fs::remove(partial_, ec);
        throw PlotFailure("the plotting library wrote nothing");
    }
    fs::rename(partial_, file_, ec);
    if (ec) {
        fs::remove(partial_, ec);
        throw PlotFailure("cannot put " + file_.string() + " in place");
    }
}

double nice_step(double range, int count) {
    if (!(range > 0) || count < 1) return 1;
    const double raw = range / count;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / mag;
    const double nice = f < 1.5 ? 1 : f < 3 ? 2 : f < 7 ? 5 : 10;
    return nice * mag;
}

} // namespace ftsplan::plot
