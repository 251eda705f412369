// One picture file drawn with PLplot through its cairo devices (pngcairo,
// svgcairo, pdfcairo): page set-up, the fixed palette and pens, viewports in
// page fractions, and lines thinned to what the pixels can show.
//
// The file is drawn under a temporary name next to its final one and renamed
// when complete, so a picture is never left half written.
#pragma once

#include "ftsplan/plot/plots.hpp"

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class plstream;

namespace ftsplan::plot {

struct PlotFailure : std::runtime_error {
    explicit PlotFailure(const std::string& reason) : std::runtime_error(reason) {}
};

// The colours of every picture: the Okabe-Ito palette, which colour-blind
// readers tell apart, plus white, greys and light tints for shading.  Each
// curve also differs in width or dash, so greyscale prints stay readable.
enum class Colour {
    white,
    black,
    orange,
    sky_blue,
    green,
    yellow,
    blue,
    vermillion,
    purple,
    band, // light orange tint behind the microwindows
    light_grey,
    mid_grey,
    count
};

struct Rgb {
    int r, g, b;
};
Rgb rgb(Colour c);

enum class Dash { solid, dashed, dotted, dash_dot, long_dash };

struct Pen {
    Colour colour = Colour::black;
    double width = 1.5;
    Dash dash = Dash::solid;
};

// A rectangle in page fractions (0..1 from the left and from the bottom).
struct Box {
    double x0, x1, y0, y1;
};

// Whether PLplot has the device (pngcairo, svgcairo, pdfcairo); asking
// never prompts.
bool device_available(Format format);
const char* extension(Format format);

class Canvas {
  public:
    // Opens the page, width x height pixels (points for svg and pdf).
    Canvas(Format format, const std::filesystem::path& file, int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    plstream& pls() { return *pls_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // Viewport in page fractions and its world coordinates; the ranges must
    // be finite and not empty.
    void frame(const Box& viewport, double x0, double x1, double y0, double y1);
    void pen(const Pen& p);
    void colour(Colour c);
    // Character height as a factor of the default.
    void text_size(double scale);

    // A polyline in world coordinates.  When it holds far more points than
    // the viewport has pixel columns, each column keeps its lowest and
    // highest point, which draws the same picture.
    void line(const std::vector<double>& x, const std::vector<double>& y);
    void line(const std::vector<double>& x, const std::vector<double>& y, std::size_t first,
              std::size_t last);
    void fill_rect(double x0, double x1, double y0, double y1, Colour c);

    // Ends the page and puts the file in place.
    void finish();

  private:
    std::unique_ptr<plstream> pls_;
    std::filesystem::path file_, partial_;
    int width_, height_;
    double base_ = 1; // character scale of the default size
    Box viewport_{0, 1, 0, 1};
    bool finished_ = false;
};

// Tick spacing giving about `count` labelled ticks over a range.
double nice_step(double range, int count);

} // namespace ftsplan::plot
