#include "pelmox/settings.hpp"

#include "common/free_form.hpp"
#include "common/stop.hpp"
#include "common/text_io.hpp"

namespace pelmox {

namespace {

// Text records hold up to 200 characters; the name ends at the first blank.
std::string text_record(fts::LineInput& in, int record) {
    std::string line = in.require("control record " + std::to_string(record));
    if (line.size() > 200) line.resize(200);
    return fts::text_before_blank(line);
}

void free_record(fts::LineInput& in, int record, std::initializer_list<fts::FreeTarget> targets) {
    if (fts::read_free(in, targets) == fts::ReadResult::end_of_file)
        fts::file_error(in.name(), "unexpected end of file (expected control record " +
                                       std::to_string(record) + ")");
}

} // namespace

Settings read_settings(const std::string& path) {
    fts::LineInput in(path);
    Settings s;
    s.db_path = text_record(in, 1);
    s.input_prefix = text_record(in, 2);
    s.output_prefix = text_record(in, 3);
    free_record(in, 4, {&s.db_kind, &s.db_reclen});
    free_record(in, 5, {&s.db_nrec});
    if (s.db_nrec < 0) fts::stop_run(" Number of database records must not be negative");
    free_record(in, 6, {&s.model_kind});
    free_record(in, 7, {&s.z_obs});
    free_record(in, 8, {&s.solar_choice});
    if (s.solar_choice != 'y' && s.solar_choice != 'n') fts::stop_run("wrong input for solar");
    free_record(in, 9, {&s.list_stop});
    free_record(in, 10, {&s.contrib_min});
    free_record(in, 11, {&s.gas_min});
    free_record(in, 12, {&s.rank_key});
    if (s.rank_key != 'd' && s.rank_key != 'a') fts::stop_run("wrong input for pelmo");
    free_record(in, 13, {&s.pause_choice});
    free_record(in, 14, {&s.plot_choice});
    in.close();
    return s;
}

std::string input_file(const Settings& s, const std::string& name) {
    return s.input_prefix + name;
}

std::string output_file(const Settings& s, const std::string& name) {
    return s.output_prefix + name;
}

std::string profile_file(const Settings& s) {
    switch (s.model_kind) {
    case 'p':
        return input_file(s, "arctic.vmr");
    case 'm':
        return input_file(s, "midlat.vmr");
    case 't':
        return input_file(s, "tropic.vmr");
    default:
        return s.input_prefix;
    }
}

} // namespace pelmox
