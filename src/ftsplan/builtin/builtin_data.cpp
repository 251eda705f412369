#include "ftsplan/builtin/builtin_data.hpp"

#include "example_data.hpp"

namespace ftsplan {

namespace {

std::string base_name(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::vector<BuiltinFile> example_inputs() {
    std::vector<BuiltinFile> out;
    for (const example::File& f : example::example_files()) {
        const std::string name = base_name(f.path);
        if (name == "input-korav" || name == "input-pelmox") continue;
        out.push_back({name, f.text});
    }
    return out;
}

std::string builtin_atmosphere(const std::string& file_name) {
    for (const BuiltinFile& f : example_inputs())
        if (f.name == file_name) return f.text;
    return {};
}

const std::string& builtin_solar_text() {
    static const std::string text = builtin_atmosphere("solar.dat");
    return text;
}

} // namespace ftsplan
