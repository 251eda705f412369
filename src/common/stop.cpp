#include "common/stop.hpp"

#include <cstdio>
#include <iostream>

namespace fts {

FileError::FileError(std::string f, std::string p)
    : file(std::move(f)), problem(std::move(p)), text(file + ": " + problem) {}

void stop_run(const std::string& message) {
    throw StopRun(message);
}

void file_error(const std::string& file, const std::string& problem) {
    throw FileError(file, problem);
}

int run_program(const char* program, const std::function<void()>& body) {
    try {
        body();
        return 0;
    } catch (const StopRun& s) {
        std::cout << s.message << '\n';
        std::cout.flush();
        return 0;
    } catch (const FileError& e) {
        std::cout.flush();
        std::cerr << program << ": error: file '" << e.file << "': " << e.problem << '\n';
        return 1;
    } catch (const std::bad_alloc&) {
        std::cout.flush();
        std::cerr << program << ": error: out of memory\n";
        return 1;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << program << ": error: " << e.what() << '\n';
        return 1;
    }
}

} // namespace fts
