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
    std::vector<example::File> files;
    example::detail::atmosphere_files(files);
    for (const example::File& f : files)
        if (base_name(f.path) == file_name) return f.text;
    return {};
}

const std::string& builtin_solar_text() {
    static const std::string text = example::detail::solar_spectrum();
    return text;
}

} // namespace ftsplan
