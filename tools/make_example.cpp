// make_example: writes the example inputs of traq and pelmox.
//
//   make_example [DIR]
//
// writes DIR/data/... (DIR defaults to "examples"): the control files, the
// line database, the solar spectrum and the three model atmospheres, all
// computed by the library example_data (tools/example_data.cpp). The output is the same byte for
// byte on every run; the files committed under examples/data are its output.
#include "example_data.hpp"

#include <filesystem>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    if (argc > 2) {
        std::cerr << "usage: make_example [DIR]\n";
        return 2;
    }
    const std::filesystem::path dir = argc == 2 ? argv[1] : "examples";
    for (const example::File& f : example::example_files()) {
        const std::filesystem::path p = dir / f.path;
        std::error_code ec;
        std::filesystem::create_directories(p.parent_path(), ec);
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out << f.text;
        out.close();
        if (!out) {
            std::cerr << "make_example: cannot write " << p.string() << "\n";
            return 1;
        }
        std::cout << p.string() << " (" << f.text.size() << " bytes)\n";
    }
    return 0;
}
