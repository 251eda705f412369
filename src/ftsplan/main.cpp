// ftsplan: plans microwindows by name: case files, sweeps, pictures, CSV.
#include <iostream>

int main(int, char**) {
    std::cout << "usage: ftsplan <command> [options]\n";
    return 0;
}
