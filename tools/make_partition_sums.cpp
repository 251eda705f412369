// Writes data/partition_sums.txt, the partition sums and molar masses that
// traq builds into itself for its accurate physics (control line 44 = a),
// from the HITRAN data folder (tips2021_70-400K.txt and isotopologues.txt):
//   make_partition_sums <folder of the HITRAN data> <output file>
// Only isotopologues of molecules that traq can use are kept, and only those
// with both a partition sum and a mass.  Numbers are written in their
// shortest form that reads back as the same double, so the table holds
// exactly the published values.
#include "common/line_db.hpp"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string shortest(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// Molecule numbers that a line database of kind h can bring into traq.
bool usable(int mol) {
    for (int iso = 1; iso <= 12; ++iso) {
        int i = iso;
        if (fts::translate_molecule('h', mol, i) != 0) return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_partition_sums <HITRAN data folder> <output file>\n";
        return 2;
    }
    const std::string dir = argv[1];
    std::map<std::pair<int, int>, std::string> mass;
    {
        std::ifstream in(dir + "/isotopologues.txt");
        if (!in) {
            std::cerr << dir << "/isotopologues.txt: cannot open\n";
            return 1;
        }
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream s(line);
            int mol = 0, iso = 0;
            std::string formula, abundance, m;
            if (!(s >> mol >> iso >> formula >> abundance >> m)) {
                std::cerr << "isotopologues.txt: bad record: " << line << '\n';
                return 1;
            }
            mass[{mol, iso}] = shortest(std::stod(m));
        }
    }
    std::ifstream in(dir + "/tips2021_70-400K.txt");
    if (!in) {
        std::cerr << dir << "/tips2021_70-400K.txt: cannot open\n";
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << "# Total internal partition sums Q(T) and molar masses of the HITRAN isotopologues "
           "that\n"
           "# traq uses for its accurate physics (control line 44 = a).\n"
           "# Q(T): TIPS-2021, Gamache R.R. et al., \"Total internal partition sums for the "
           "HITRAN2020\n"
           "# database\", JQSRT 271 (2021) 107713, at T = 70, 71, ..., 400 K, as HITRAN publishes\n"
           "# them (release 1.3.0.0 of its tables). Molar masses: the HITRAN isotopologue table of\n"
           "# the same release. Cite also Gordon I.E. et al., \"The HITRAN2020 molecular\n"
           "# spectroscopic database\", JQSRT 277 (2022) 107949.\n"
           "# Written by tools/make_partition_sums from tips2021_70-400K.txt and "
           "isotopologues.txt;\n"
           "# kept: the molecules a HITRAN line database can bring into traq, the isotopologues\n"
           "# with both Q and a mass. Values as published, each in its shortest exact form.\n"
           "# One record per isotopologue: HITRAN molecule number, isotopologue number (HITRAN "
           "order;\n"
           "# 10, 11, 12 for the codes 0, A, B), molar mass in g/mol, then Q at 70, 71, ..., 400 "
           "K\n"
           "# (331 values; Q(296 K) is the value at 296 K).\n";
    std::string line;
    int kept = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream s(line);
        int mol = 0, iso = 0;
        std::string q296;
        s >> mol >> iso >> q296;
        std::vector<std::string> q;
        for (std::string v; s >> v;) q.push_back(shortest(std::stod(v)));
        if (q.size() != 331) {
            std::cerr << "tips2021_70-400K.txt: " << q.size() << " values for " << mol << ' ' << iso
                      << '\n';
            return 1;
        }
        auto m = mass.find({mol, iso});
        if (!usable(mol) || m == mass.end()) continue;
        out << mol << ' ' << iso << ' ' << m->second;
        for (const std::string& v : q) out << ' ' << v;
        out << '\n';
        ++kept;
    }
    out.close();
    if (!out) {
        std::cerr << argv[2] << ": cannot write\n";
        return 1;
    }
    std::cout << kept << " isotopologues written to " << argv[2] << '\n';
    return 0;
}
