#include "ftsplan/case/control_files.hpp"

#include <algorithm>

namespace ftsplan {

namespace {

// A control line: the value, then its comment from column 17 on (after
// column 15, so that the number of the geometry line, read from columns 2
// to 15 only, stands alone there).
std::string ctl(const std::string& value, const std::string& comment) {
    std::string s = value;
    s.resize(std::max<std::size_t>(s.size() + 1, 16), ' ');
    return s + comment + "\n";
}

std::string letter(char c) {
    return std::string(1, c);
}

std::string num(double v) {
    return float_text(v);
}

} // namespace

double apriori_line31(const Case& c, double mean_vmr, int n_layers) {
    if (c.study != 'a') return c.apriori;
    return c.apriori * mean_vmr * c.profile_factor / n_layers;
}

std::string korav_control(const Case& c, const ControlInputs& in) {
    std::string s;
    s += std::to_string(c.header_lines) + " " + c.title + "\n";
    s += ctl(in.db_path, "line database [lines.file]");
    s += ctl("", "prefix of solar.dat and the model atmospheres: the case directory");
    s += ctl("", "prefix of the output tables: the case directory");
    s += ctl(letter(c.run_mode), "run mode: c complete, s search, d display [run_mode]");
    s += ctl(letter(c.line_kind) + " " + std::to_string(c.line_format.record_length),
             "database kind and record length incl. line end [lines.kind; detected]");
    s +=
        ctl(std::to_string(c.records), "number of database records, 0: count them [lines.records]");
    s += ctl(c.solar ? "y" : "n",
             "solar spectrum: y multiply transmission by solar.dat [spectrum.solar]");
    s += ctl(letter(c.study), "study: s spectra, d microwindows, w weighting, a kernels, i "
                              "interferogram [study]");
    s += ctl(num(c.perturbation), "perturbation factor of the target gas [target.perturbation]");
    s += ctl(letter(c.ranking), "ranking of target lines: t, e, d, i, r or q [windows.ranking]");
    s += ctl(letter(c.rt_kind), "spectrum: a transmission, r radiance [spectrum.kind]");
    s += ctl(c.normalise ? "n" : "f", "weighting functions: n normalise, f do not "
                                      "[weighting.normalise]");
    s += ctl(letter(c.model_letter), "model atmosphere: t tropic, m midlat, p arctic "
                                     "[atmosphere.model]");
    s += ctl(num(c.background_temperature),
             "background temperature (K), radiance only [spectrum.background_temperature]");
    s += ctl(num(c.nu_start), "start of the spectral range (cm-1) [range.start]");
    s += ctl(num(c.nu_end), "end of the spectral range (cm-1) [range.end]");
    s += ctl(c.gas, "target gas [target.gas]");
    s += ctl(std::to_string(c.isotope), "isotope number, 0: all isotopes [target.isotope]");
    s += ctl(num(c.profile_factor), "factor on the mixing-ratio profile of the target "
                                    "[target.profile_factor]");
    s += ctl("0", "not used");
    s += ctl("0", "not used");
    s += ctl(num(c.slab_bottom), "lowest altitude of the perturbed slab (km) [target.slab_bottom]");
    s += ctl(num(c.slab_top), "highest altitude of the perturbed slab (km) [target.slab_top]");
    if (c.geometry == 'g')
        s += ctl("g " + num(c.zenith_angle), "ground-based: solar zenith angle (degrees) "
                                             "[geometry.zenith_angle]");
    else
        s += ctl("s " + num(c.tangent_altitude), "limb: tangent altitude (km) "
                                                 "[geometry.tangent_altitude]");
    s += ctl(num(c.step), "spectral grid step (cm-1) [range.step]");
    s += ctl(num(c.margin), "margin (cm-1) [range.margin]");
    s += ctl(num(c.max_opd), "maximum optical path difference (cm), 0: none [instrument.max_opd]");
    s += ctl(num(c.field_of_view), "field of view (mrad) [instrument.field_of_view]");
    s += ctl(num(c.noise), "noise of the spectrum (spectrum units) [retrieval.noise]");
    s += ctl(num(in.line31), c.study == 'a'
                                 ? "a-priori uncertainty, absolute mixing ratio / 80 layers "
                                   "[retrieval.apriori converted]"
                                 : "a-priori uncertainty, relative [retrieval.apriori]");
    s += ctl("0", "not used");
    s += ctl("0", "not used");
    s += ctl(num(c.max_temperature_sensitivity),
             "largest temperature sensitivity (% per K) [windows.max_temperature_sensitivity]");
    s += ctl(num(c.sensitivity_temperature),
             "temperature of the sensitivity (K) [windows.sensitivity_temperature]");
    s += ctl(num(c.start_width), "starting microwindow width (cm-1) [windows.start_width]");
    s += ctl(num(c.centre_width), "interval around the line centre (cm-1) [windows.centre_width]");
    s += ctl(num(c.max_width), "largest width of a combined window (cm-1) [windows.max_width]");
    s += ctl(std::to_string(c.window_count), "number of best-ranked lines made into windows "
                                             "[windows.count]");
    s += ctl(c.plot ? "y" : "n", "console plot at the end [console_plot.draw]");
    s += ctl(c.plot_table, "table to plot [console_plot.table]");
    s += ctl(std::to_string(c.plot_x) + " " + std::to_string(c.plot_y),
             "columns of the plot: x and y [console_plot.columns]");
    s += "end of the control file\n";
    if (c.accurate) s += ctl("a", "physics: a accurate [physics.accurate]");
    return s;
}

std::string pelmox_control(const Case& c, const ControlInputs& in) {
    std::string s;
    s += ctl(in.db_path, "line database [lines.file]");
    s += ctl(in.pelmox_prefix, in.pelmox_prefix.empty()
                                   ? "prefix of table76, the .vmr files and solar.dat: the case "
                                     "directory"
                                   : "prefix of table76, the .vmr file (altitudes above sea "
                                     "level) and solar.dat");
    s += ctl("", "prefix of output.dat and microwin: the case directory");
    s += ctl(letter(c.line_kind) + " " + std::to_string(c.line_format.record_length),
             "database kind and record length incl. line end [lines.kind; detected]");
    s +=
        ctl(std::to_string(c.records), "number of database records, 0: count them [lines.records]");
    s += ctl(letter(c.model_letter), "profile file: t tropic.vmr, m midlat.vmr, p arctic.vmr "
                                     "[atmosphere.model]");
    s += ctl(num(in.observer_altitude), "altitude of the observer (km) "
                                        "[atmosphere.observer_altitude]");
    s += ctl(c.interferer_sun ? "y" : "n", "include the sun as an interferer [interferers.sun]");
    s += ctl(std::to_string(c.list_length), "the list of interferers stops before this entry "
                                            "[interferers.list_length]");
    s += ctl(double_text(c.min_target_share),
             "least target share (%) of a reported window [interferers.min_target_share]");
    s += ctl(double_text(c.min_measure),
             "least measure (%) of a listed interferer [interferers.min_measure]");
    s += ctl(letter(c.interferer_ranking), "ranking of interferers: d rel-trans, a abs-trans "
                                           "[interferers.ranking]");
    s += ctl("n", "no pause after each window");
    s += ctl(c.pelmox_plot ? "y" : "n", "plot each window's spectrum [interferers.console_plot]");
    return s;
}

} // namespace ftsplan
