// The output files of one run, replaced whole.
//
// Every output file is written under a temporary name beside its final name
// (".table71.traq-4711.tmp" for "table71" of traq process 4711) and renamed
// into place by commit() when the run ends normally, all files together.  A
// run that ends in any other way (a stop, an error of the file layer,
// SIGINT, SIGTERM, SIGHUP) removes its temporaries, so every directory keeps
// the complete outputs of the previous run: never a mix of two runs, never a
// truncated or emptied file.
//
// Each directory that receives outputs is locked for the life of the set
// (flock on ".traq.lock" or ".pelmox.lock", released by the system when the
// process dies), so a second run of the same program in that directory is
// refused.  Holding the lock, the set removes the temporaries that a killed
// run (SIGKILL) of the same program left behind.
#pragma once

#include <string>
#include <vector>

namespace fts {

class OutputSet {
  public:
    explicit OutputSet(std::string program);
    ~OutputSet();
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    // Registers an output file and returns the temporary path to write
    // instead.  Locks the file's directory on its first output.  A missing
    // or unwritable directory, a directory in place of the file and a
    // directory locked by another run are errors of the file layer naming
    // the final path.  Registering a file twice returns the same path.
    std::string add(const std::string& final_path);
    // Renames every temporary this run has written onto its final name.  A
    // signal that arrives meanwhile takes effect when all are renamed.
    void commit();
    // Removes the temporaries written so far (the destructor does it when
    // commit() was not called).
    void discard();
    bool committed() const { return committed_; }

    // The temporary name of a final path (for the tests).
    static std::string temporary_name(const std::string& final_path, const std::string& program,
                                      long pid);

  private:
    struct Entry {
        std::string final_path, temp_path;
        int slot = -1;
    };
    struct Lock {
        std::string dir; // canonical
        int fd = -1;
    };
    void lock_directory(const std::string& dir, const std::string& final_path);
    void release();
    std::string program_;
    std::vector<Entry> entries_;
    std::vector<Lock> locks_;
    bool committed_ = false;
};

// The name under which the user knows a file: the final name of a
// registered temporary, otherwise the path itself.  Error reports use it.
std::string user_path(const std::string& path);

// Installs the handlers of SIGINT, SIGTERM and SIGHUP: they remove the
// registered temporaries of the process and then let it die of the signal.
void install_interrupt_handlers();

} // namespace fts
