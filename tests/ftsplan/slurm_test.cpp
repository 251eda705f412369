// A sweep on a real Slurm: a single-node cluster (munge, slurmctld, slurmd,
// 2 CPUs) started on this machine with a configuration of its own in a
// scratch folder, a 4-case sweep submitted with --slurm, collected, and
// compared with the same sweep run locally. Skipped, saying why, where
// Slurm cannot start (not root, packages missing, daemons refusing).
#include "ftsplan_support.hpp"

#include "support/test_support.hpp"

#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace ftsplan_test;

namespace {

bool executable(const char* p) {
    return ::access(p, X_OK) == 0;
}

std::string short_host() {
    char buf[256] = {};
    ::gethostname(buf, sizeof buf - 1);
    std::string h = buf;
    return h.substr(0, h.find('.'));
}

// The daemons of the cluster, stopped by their process ids at the end.
class LocalSlurm {
  public:
    explicit LocalSlurm(const fs::path& root) : root_(root) {}
    ~LocalSlurm() { stop(); }

    // Starts munge, slurmctld and slurmd; empty when the partition is idle,
    // else the reason it could not start.
    std::string start() {
        const fs::path munge = root_ / "munge";
        fs::create_directories(munge);
        fs::create_directories(root_ / "state");
        fs::create_directories(root_ / "spool");
        fs::create_directories(root_ / "log");
        // munged checks the permissions of its folders and key.
        fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
        fs::permissions(munge, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
        std::string key;
        {
            std::ifstream rnd("/dev/urandom", std::ios::binary);
            key.resize(1024);
            rnd.read(key.data(), static_cast<std::streamsize>(key.size()));
        }
        write(munge / "munge.key", key);
        fs::permissions(munge / "munge.key", fs::perms::owner_read);
        socket_ = (munge / "munge.sock").string();
        munged_ = start("/usr/sbin/munged",
                        {"-F", "--key-file=" + (munge / "munge.key").string(),
                         "--socket=" + socket_, "--pid-file=" + (munge / "munged.pid").string(),
                         "--log-file=" + (munge / "munged.log").string(),
                         "--seed-file=" + (munge / "seed").string()},
                        root_ / "log" / "munged.out");
        if (!wait_until([&] { return fs::exists(socket_); }, 10))
            return "munged did not start: " + read(root_ / "log" / "munged.out");

        const std::string host = short_host();
        // Ports of its own, so that a Slurm of the machine is left alone.
        const int port = 17000 + static_cast<int>(::getpid() % 1000) * 2;
        std::string conf =
            "ClusterName=ftsplantest\nSlurmctldHost=" + host +
            "\nSlurmUser=root\nSlurmdUser=root\n"
            "SlurmctldPort=" +
            std::to_string(port) + "\nSlurmdPort=" + std::to_string(port + 1) +
            "\nAuthType=auth/munge\nAuthInfo=socket=" + socket_ +
            "\nCredType=cred/munge\n"
            "StateSaveLocation=" +
            (root_ / "state").string() + "\nSlurmdSpoolDir=" + (root_ / "spool").string() +
            "\nSlurmctldPidFile=" + (root_ / "slurmctld.pid").string() +
            "\nSlurmdPidFile=" + (root_ / "slurmd.pid").string() +
            "\nProctrackType=proctrack/linuxproc\nTaskPlugin=task/none\n"
            "MpiDefault=none\nSchedulerType=sched/backfill\n"
            "SelectType=select/cons_tres\nSelectTypeParameters=CR_Core\n"
            "ReturnToService=2\nSlurmctldLogFile=" +
            (root_ / "log" / "slurmctld.log").string() +
            "\nSlurmdLogFile=" + (root_ / "log" / "slurmd.log").string() + "\nNodeName=" + host +
            " CPUs=2 State=UNKNOWN\nPartitionName=debug Nodes=" + host +
            " Default=YES MaxTime=INFINITE State=UP\n";
        conf_ = (root_ / "slurm.conf").string();
        write(conf_, conf);
        ::setenv("SLURM_CONF", conf_.c_str(), 1);
        ctld_ = start("/usr/sbin/slurmctld", {"-D", "-f", conf_}, root_ / "log" / "slurmctld.out");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        slurmd_ = start("/usr/sbin/slurmd", {"-D", "-f", conf_}, root_ / "log" / "slurmd.out");
        const bool idle = wait_until(
            [&] {
                Proc p = run("/usr/bin/sinfo", {"-h", "-o", "%t"}, root_);
                return p.status == 0 && p.out.find("idle") != std::string::npos;
            },
            30);
        if (!idle)
            return "the partition did not become idle; slurmctld: " +
                   read(root_ / "log" / "slurmctld.out") +
                   " slurmd: " + read(root_ / "log" / "slurmd.out");
        return {};
    }

    void stop() {
        for (pid_t* p : {&slurmd_, &ctld_, &munged_}) {
            if (*p <= 0) continue;
            ::kill(*p, SIGTERM);
            const auto t0 = std::chrono::steady_clock::now();
            int st = 0;
            while (::waitpid(*p, &st, WNOHANG) == 0) {
                if (std::chrono::steady_clock::now() - t0 > std::chrono::seconds(10)) {
                    ::kill(*p, SIGKILL);
                    ::waitpid(*p, &st, 0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            *p = 0;
        }
        ::unsetenv("SLURM_CONF");
    }

  private:
    template <class F> static bool wait_until(F ok, int seconds) {
        const auto t0 = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - t0 < std::chrono::seconds(seconds)) {
            if (ok()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }

    pid_t start(const std::string& exe, const std::vector<std::string>& args, const fs::path& log) {
        return ftsplan_test::start(exe, args, root_, log);
    }

    fs::path root_;
    std::string socket_, conf_;
    pid_t munged_ = 0, ctld_ = 0, slurmd_ = 0;
};

} // namespace

TEST(SlurmSweep, FourCasesOnASingleNodeClusterEqualTheLocalSweep) {
    if (::geteuid() != 0) GTEST_SKIP() << "Slurm test skipped: starting munge and Slurm needs root";
    for (const char* p : {"/usr/sbin/munged", "/usr/sbin/slurmctld", "/usr/sbin/slurmd",
                          "/usr/bin/sbatch", "/usr/bin/squeue", "/usr/bin/sinfo"})
        if (!executable(p))
            GTEST_SKIP() << "Slurm test skipped: " << p
                         << " missing (tools/install-deps --slurm installs slurm-wlm and munge)";

    testsupport::TempDir dir;
    ASSERT_EQ(run_ftsplan({"init", "data"}, dir.path()).status, 0);
    auto kv = small_case(dir.path() / "data", {{"range.start", "2150.0"},
                                               {"range.end", "2166.0"},
                                               {"geometry.zenith_angle", "[40.0, 60.0]"},
                                               {"atmosphere.model", "[\"tropic\", \"arctic\"]"}});
    write(dir.path() / "four.toml", case_text(kv));

    LocalSlurm slurm(dir.path() / "slurm");
    const std::string why = slurm.start();
    if (!why.empty()) {
        slurm.stop();
        GTEST_SKIP() << "Slurm test skipped: Slurm could not start here: " << why;
    }

    Proc sub = run_ftsplan(
        {"sweep", "four.toml", "--slurm", "-j", "2", "--no-plots", "-o", "on-slurm"}, dir.path());
    ASSERT_EQ(sub.status, 0) << sub.out << sub.err;
    EXPECT_NE(sub.out.find("Submitted job array"), std::string::npos) << sub.out;
    const std::string script = read(dir.path() / "on-slurm" / "sweep.sbatch");
    EXPECT_NE(script.find("#SBATCH --array=0-3%2"), std::string::npos) << script;
    std::string id = read(dir.path() / "on-slurm" / "slurm" / "job-id");
    id = id.substr(0, id.find('\n'));
    ASSERT_FALSE(id.empty());

    // Wait for the array to leave the queue.
    const auto t0 = std::chrono::steady_clock::now();
    bool finished = false;
    while (std::chrono::steady_clock::now() - t0 < std::chrono::seconds(300)) {
        Proc q = run("/usr/bin/squeue", {"-h", "-j", id}, dir.path());
        if (q.out.find_first_not_of(" \n") == std::string::npos) {
            finished = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    ASSERT_TRUE(finished) << "the job array did not finish in 5 minutes";

    Proc col = run_ftsplan({"collect", "on-slurm"}, dir.path());
    EXPECT_EQ(col.status, 0) << col.out << col.err;
    EXPECT_NE(col.out.find("4 of 4 cases complete"), std::string::npos) << col.out;
    slurm.stop();

    Proc local =
        run_ftsplan({"sweep", "four.toml", "-j", "2", "--no-plots", "-o", "local"}, dir.path());
    ASSERT_EQ(local.status, 0) << local.out << local.err;
    const std::string a = read(dir.path() / "on-slurm" / "sweep.csv");
    EXPECT_EQ(a, read(dir.path() / "local" / "sweep.csv"));
    EXPECT_GT(lines(a).size(), 8u); // 4 cases, several windows each
}
