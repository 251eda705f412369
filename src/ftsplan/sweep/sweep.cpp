#include "ftsplan/sweep/sweep.hpp"

#include "ftsplan/case/case.hpp"
#include "ftsplan/case/keys.hpp"
#include "ftsplan/case/toml_reader.hpp"
#include "ftsplan/report/csv.hpp"
#include "ftsplan/report/summary.hpp"
#include "ftsplan/run/layout.hpp"
#include "ftsplan/run/process.hpp"
#include "ftsplan/run/run_case.hpp"
#include "ftsplan/user_error.hpp"
#include "ftsplan/util/files.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>

namespace ftsplan {

namespace fs = std::filesystem;

namespace {

bool is_sweep_list(const Entry& e) {
    if (!e.value.is_list()) return false;
    const KeySpec* k = find_key(e.key);
    if (k && k->type == KeyType::columns)
        return !e.value.items.empty() && e.value.items[0].is_list();
    return true;
}

std::string sanitize(const std::string& s) {
    std::string out;
    for (char c : s) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-';
        out += ok ? c : '_';
    }
    return out.empty() ? "_" : out;
}

std::string name_value(const Value& v) {
    if (v.kind == Value::Kind::text && v.s.find('/') != std::string::npos)
        return fs::path(v.s).filename().stem().string();
    return v.plain();
}

std::string key_column(const std::string& key) {
    const KeySpec* k = find_key(key);
    if (k && *k->unit) return key + " (" + k->unit + ")";
    return key;
}

std::string fixed(double v, int d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", d, v);
    return buf;
}

std::string duration(double s) {
    const long t = static_cast<long>(s + 0.5);
    char buf[64];
    if (t >= 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", t / 3600, (t / 60) % 60, t % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld", t / 60, t % 60);
    return buf;
}

std::string last_ftsplan_line(const fs::path& log) {
    std::string text;
    if (!read_text(log, text)) return {};
    std::string found;
    for (const std::string& l : split_lines(text))
        if (l.rfind("ftsplan: ", 0) == 0) found = l.substr(9);
    return found;
}

// A case of the sweep, checked and laid out.
struct Prepared {
    SweepCase sc;
    fs::path dir;
    std::string case_text;
    bool complete = false;
};

void write_cases_csv(const fs::path& out_dir, const SweepPlan& plan) {
    std::vector<std::string> head = {"case"};
    for (const std::string& k : plan.varied_keys) head.push_back(key_column(k));
    std::string text = csv_row(head);
    for (const SweepCase& c : plan.cases) {
        std::vector<std::string> row = {c.name};
        for (const Value& v : c.varied) row.push_back(v.plain());
        text += csv_row(row);
    }
    write_text_atomic(out_dir / "cases.csv", text);
}

struct CollectResult {
    int total = 0, ok = 0, failed = 0, missing = 0;
    std::vector<std::string> failures;
};

CollectResult build_sweep_csv(const fs::path& out_dir) {
    std::string text;
    if (!read_text(out_dir / "cases.csv", text))
        throw UserError(out_dir.string() + ": holds no cases.csv; is it the folder of a sweep?");
    std::vector<std::vector<std::string>> cases = parse_csv(text);
    if (cases.empty()) throw UserError((out_dir / "cases.csv").string() + ": empty");
    std::vector<std::string> head = cases[0];
    head.push_back("status");
    std::vector<std::vector<std::string>> summary_head = parse_csv(summary_csv_header());
    for (const std::string& h : summary_head[0]) head.push_back(h);
    std::string csv = csv_row(head);
    const std::size_t ncol = summary_head[0].size();
    CollectResult r;
    for (std::size_t i = 1; i < cases.size(); ++i) {
        const std::vector<std::string>& c = cases[i];
        if (c.empty() || c[0].empty()) continue;
        ++r.total;
        const fs::path dir = out_dir / c[0];
        std::string summary;
        std::vector<std::vector<std::string>> rows;
        std::string status;
        if (read_text(dir / "summary.csv", summary)) {
            rows = parse_csv(summary);
            if (!rows.empty()) rows.erase(rows.begin());
            status = "ok";
            ++r.ok;
        } else if (fs::exists(dir / "ftsplan.log")) {
            std::string why = last_ftsplan_line(dir / "ftsplan.log");
            status = why.empty() ? "incomplete" : "failed: " + why;
            ++r.failed;
            r.failures.push_back(c[0] + ": " + (why.empty() ? "incomplete" : why));
        } else {
            status = "not run";
            ++r.missing;
        }
        if (rows.empty()) rows.push_back(std::vector<std::string>(ncol, ""));
        for (std::vector<std::string>& row : rows) {
            row.resize(ncol);
            std::vector<std::string> full = c;
            full.push_back(status);
            full.insert(full.end(), row.begin(), row.end());
            csv += csv_row(full);
        }
    }
    write_text_atomic(out_dir / "sweep.csv", csv);
    return r;
}

fs::path default_out(const fs::path& file) {
    return file.parent_path() / file.stem();
}

int submit_slurm(const SweepRequest& req, const fs::path& out_dir,
                 const std::vector<Prepared>& todo, std::ostream& out) {
    if (todo.empty()) {
        out << "Every case is complete; nothing to submit.\n";
        build_sweep_csv(out_dir);
        out << "Wrote " << (out_dir / "sweep.csv").string() << "\n";
        return 0;
    }
    const fs::path self = self_path();
    const fs::path abs_out = fs::absolute(out_dir).lexically_normal();
    fs::create_directories(abs_out / "slurm");
    std::string s = "#!/bin/bash\n";
    s += "#SBATCH --job-name=ftsplan-" + sanitize(req.sweep_file.stem().string()) + "\n";
    s += "#SBATCH --array=0-" + std::to_string(todo.size() - 1) + "%" + std::to_string(req.jobs) +
         "\n";
    s += "#SBATCH --ntasks=1\n#SBATCH --cpus-per-task=1\n";
    s += "#SBATCH --output=" + (abs_out / "slurm" / "task-%a.out").string() + "\n";
    for (const std::string& o : req.sbatch_options) s += "#SBATCH " + o + "\n";
    s += "#\n# Written by ftsplan sweep --slurm: one array task per case, each running\n"
         "# `ftsplan run` on its case directory (console output in its ftsplan.log).\n"
         "# When the job has finished: ftsplan collect " +
         abs_out.string() + "\n\ncases=(\n";
    for (const Prepared& p : todo)
        s += "  \"" + fs::absolute(p.dir).lexically_normal().string() + "\"\n";
    s += ")\nexport TRAQ_THREADS=1\ndir=\"${cases[$SLURM_ARRAY_TASK_ID]}\"\n";
    s += "exec \"" + self.string() + "\" run" + (req.plots ? "" : " --no-plots") +
         " \"$dir\" > \"$dir/ftsplan.log\" 2>&1\n";
    const fs::path script = abs_out / "sweep.sbatch";
    write_text_atomic(script, s);
    fs::permissions(script, fs::perms::owner_exec | fs::perms::group_exec, fs::perm_options::add);

    const fs::path sbatch = program_path("sbatch");
    if (sbatch.empty()) {
        out << "Wrote the job array " << script.string() << " (" << todo.size()
            << " cases). sbatch is not found here: submit it on the cluster with\n  sbatch "
            << script.string() << "\nand, when it has finished, run\n  ftsplan collect "
            << abs_out.string() << "\n";
        return 0;
    }
    const fs::path log = abs_out / "slurm" / "sbatch.log";
    const pid_t pid =
        start_child({{sbatch.string(), "--parsable", script.string()}, abs_out, log, {}});
    if (pid == 0) return 128 + interruption();
    ChildEnd end;
    wait_child(pid, end);
    std::string reply;
    read_text(log, reply);
    std::vector<std::string> lines = split_lines(reply);
    if (!end.exited || end.status != 0 || lines.empty())
        throw std::runtime_error("sbatch refused " + script.string() + ": " +
                                 (lines.empty() ? std::string("no reply") : lines.back()));
    std::string id = lines.back();
    if (std::size_t semi = id.find(';'); semi != std::string::npos) id = id.substr(0, semi);
    write_text_atomic(abs_out / "slurm" / "job-id", id + "\n");
    out << "Submitted job array " << id << ": " << todo.size() << " cases, at most " << req.jobs
        << " at a time (" << script.string() << ").\nWhen it has finished (squeue -j " << id
        << " shows nothing), run\n  ftsplan collect " << abs_out.string() << "\n";
    return 0;
}

int run_local(const SweepRequest& req, const fs::path& out_dir, std::vector<Prepared>& all,
              std::ostream& out, std::ostream& err) {
    const fs::path self = self_path();
    const int total = static_cast<int>(all.size());
    int done = 0, failed = 0, skipped = 0;
    for (const Prepared& p : all)
        if (p.complete) ++done, ++skipped;
    std::vector<std::size_t> queue;
    for (std::size_t i = 0; i < all.size(); ++i)
        if (!all[i].complete) queue.push_back(i);
    if (skipped)
        out << skipped << " of " << total << " cases already complete; running the other "
            << queue.size() << "\n";

    using clock = std::chrono::steady_clock;
    struct Running {
        std::size_t index;
        clock::time_point start;
    };
    std::map<pid_t, Running> running;
    std::size_t next = 0;
    double busy_seconds = 0.0;
    int timed = 0, interrupted = 0;
    const auto t0 = clock::now();
    std::vector<std::string> failures;
    while (next < queue.size() || !running.empty()) {
        while (interruption() == 0 && next < queue.size() &&
               static_cast<int>(running.size()) < req.jobs) {
            Prepared& p = all[queue[next++]];
            std::vector<std::string> argv = {self.string(), "run"};
            if (!req.plots) argv.push_back("--no-plots");
            argv.push_back(fs::absolute(p.dir).string());
            const pid_t pid =
                start_child({argv, p.dir, p.dir / "ftsplan.log", {{"TRAQ_THREADS", "1"}}});
            if (pid == 0) break;
            running[pid] = {static_cast<std::size_t>(&p - all.data()), clock::now()};
        }
        if (running.empty()) break;
        ChildEnd end;
        const pid_t pid = wait_child(-1, end);
        auto it = running.find(pid);
        if (it == running.end()) continue;
        const Prepared& p = all[it->second.index];
        const double secs = std::chrono::duration<double>(clock::now() - it->second.start).count();
        running.erase(it);
        std::string what;
        if (end.exited && end.status == 0) {
            ++done;
            busy_seconds += secs;
            ++timed;
            what = "done";
        } else if (interruption() != 0) {
            ++interrupted;
            what = "interrupted";
        } else {
            ++failed;
            std::string why = last_ftsplan_line(p.dir / "ftsplan.log");
            failures.push_back(p.sc.name + ": " + why);
            what = "failed: " + why;
        }
        const int remaining = total - done - failed;
        std::string eta;
        if (timed > 0 && remaining > 0 && interruption() == 0) {
            const double per = busy_seconds / timed;
            const int lanes = std::max(1, std::min(req.jobs, remaining));
            eta = ", about " + duration(per * remaining / lanes) + " left";
        }
        out << "[" << done << "/" << total << " done, " << failed << " failed" << eta << "] "
            << p.sc.name << ": " << what << " (" << fixed(secs, 1) << " s)" << std::endl;
    }
    CollectResult r = build_sweep_csv(out_dir);
    const double wall = std::chrono::duration<double>(clock::now() - t0).count();
    if (interruption() != 0) {
        err << "ftsplan: sweep interrupted: " << r.ok << " of " << total
            << " cases complete; run the same command again to go on\n";
        return 128 + interruption();
    }
    out << "Sweep finished in " << duration(wall) << ": " << r.ok << " of " << total
        << " cases complete, " << failed << " failed. Results: " << (out_dir / "sweep.csv").string()
        << "\n";
    for (const std::string& f : failures) err << "ftsplan: failed case " << f << "\n";
    return failed > 0 ? 1 : 0;
}

} // namespace

SweepPlan expand_sweep(const Document& doc) {
    std::vector<const Entry*> lists;
    std::vector<Entry> base;
    for (const Entry& e : doc.entries) {
        if (is_sweep_list(e)) {
            if (e.value.items.empty())
                throw UserError(e.where + ": " + e.key + " = []: an empty list gives no case");
            lists.push_back(&e);
        } else {
            base.push_back(e);
        }
    }
    SweepPlan plan;
    std::set<std::string> listed;
    for (const Entry* e : lists) {
        plan.varied_keys.push_back(e->key);
        listed.insert(e->key);
    }
    std::vector<std::vector<Entry>> rows = doc.rows;
    if (rows.empty()) rows.push_back({});
    std::vector<std::string> row_keys;
    for (const std::vector<Entry>& row : doc.rows)
        for (const Entry& e : row) {
            if (is_sweep_list(e))
                throw UserError(e.where + ": sweep.rows: " + e.key +
                                " holds a list; a row gives one value per key");
            if (listed.count(e.key))
                throw UserError(e.where + ": sweep.rows: " + e.key +
                                " is also given as a list; give it in one place only");
            if (std::find(row_keys.begin(), row_keys.end(), e.key) == row_keys.end())
                row_keys.push_back(e.key);
        }
    plan.varied_keys.insert(plan.varied_keys.begin(), row_keys.begin(), row_keys.end());

    // Short names of the varied keys in directory names: the last part of
    // the key, the whole key where two share it.
    std::map<std::string, int> tails;
    auto tail = [](const std::string& k) { return k.substr(k.rfind('.') + 1); };
    for (const std::string& k : plan.varied_keys) ++tails[tail(k)];

    std::map<std::string, int> used;
    for (const std::vector<Entry>& row : rows) {
        std::size_t combos = 1;
        for (const Entry* e : lists) combos *= e->value.items.size();
        for (std::size_t n = 0; n < combos; ++n) {
            SweepCase sc;
            std::map<std::string, Value> chosen;
            std::size_t rest = n;
            std::vector<Value> picks(lists.size());
            for (std::size_t li = lists.size(); li-- > 0;) {
                const std::size_t m = lists[li]->value.items.size();
                picks[li] = lists[li]->value.items[rest % m];
                rest /= m;
            }
            for (const Entry& e : base) {
                bool overridden = false;
                for (const Entry& r : row) overridden = overridden || r.key == e.key;
                if (!overridden) sc.entries.push_back(e);
            }
            for (const Entry& r : row) {
                sc.entries.push_back(r);
                chosen[r.key] = r.value;
            }
            for (std::size_t li = 0; li < lists.size(); ++li) {
                sc.entries.push_back(
                    {lists[li]->key, picks[li], lists[li]->where, lists[li]->line});
                chosen[lists[li]->key] = picks[li];
            }
            std::string name;
            for (const std::string& k : plan.varied_keys) {
                auto it = chosen.find(k);
                Value v = it != chosen.end() ? it->second : Value::text("default");
                sc.varied.push_back(v);
                std::string label = tails[tail(k)] > 1 ? k : tail(k);
                std::replace(label.begin(), label.end(), '.', '-');
                name += (name.empty() ? "" : "_") + sanitize(label) + "-" + sanitize(name_value(v));
            }
            if (name.empty()) name = "case";
            if (name.size() > 180) name = name.substr(0, 180);
            const int k = ++used[name];
            if (k > 1) name += "-" + std::to_string(k);
            sc.name = name;
            plan.cases.push_back(std::move(sc));
        }
    }
    return plan;
}

int sweep_command(const SweepRequest& req, std::ostream& out, std::ostream& err) {
    Document doc = read_case_file(req.sweep_file);
    SweepPlan plan = expand_sweep(doc);
    const fs::path out_dir = req.out_dir.empty() ? default_out(req.sweep_file) : req.out_dir;
    std::error_code ec;
    if (fs::exists(out_dir, ec) && !fs::is_directory(out_dir, ec))
        throw UserError(out_dir.string() + ": exists and is not a directory; give another -o");

    // Every case is checked before anything is written.
    std::vector<Prepared> all;
    std::vector<std::string> problems;
    for (const SweepCase& sc : plan.cases) {
        try {
            Case c =
                resolve_case(sc.entries, req.sweep_file.parent_path(), req.sweep_file.string());
            plan_case(c);
            Prepared p;
            p.sc = sc;
            p.dir = out_dir / sc.name;
            p.case_text = case_toml(c);
            all.push_back(std::move(p));
        } catch (const UserError& e) {
            const std::string msg = e.what();
            for (const std::string& l : split_lines(msg)) {
                const std::string line = "case " + sc.name + ": " + l;
                if (std::find(problems.begin(), problems.end(), line) == problems.end())
                    problems.push_back(line);
            }
        }
    }
    if (!problems.empty()) {
        std::string all_text;
        const std::size_t shown = std::min<std::size_t>(problems.size(), 30);
        for (std::size_t i = 0; i < shown; ++i) all_text += (i ? "\n" : "") + problems[i];
        if (problems.size() > shown)
            all_text += "\n... and " + std::to_string(problems.size() - shown) + " more";
        throw UserError(all_text);
    }

    fs::create_directories(out_dir, ec);
    write_cases_csv(out_dir, plan);
    std::vector<Prepared> todo;
    for (Prepared& p : all) {
        p.complete = case_complete(p.dir, p.case_text);
        if (p.complete) continue;
        fs::create_directories(p.dir, ec);
        fs::remove(p.dir / "summary.csv", ec);
        std::string old;
        if (!read_text(p.dir / "case.toml", old) || old != p.case_text)
            write_text_atomic(p.dir / "case.toml", p.case_text);
        todo.push_back(p);
    }
    out << "Sweep " << req.sweep_file.string() << ": " << all.size() << " cases in "
        << out_dir.string() << "\n";
    if (req.slurm) return submit_slurm(req, out_dir, todo, out);
    return run_local(req, out_dir, all, out, err);
}

int collect_command(const fs::path& dir, std::ostream& out, std::ostream& err) {
    CollectResult r = build_sweep_csv(dir);
    out << "Wrote " << (dir / "sweep.csv").string() << ": " << r.ok << " of " << r.total
        << " cases complete";
    if (r.failed) out << ", " << r.failed << " failed";
    if (r.missing) out << ", " << r.missing << " not run (yet)";
    out << "\n";
    for (const std::string& f : r.failures) err << "ftsplan: failed case " << f << "\n";
    return r.ok == r.total ? 0 : 1;
}

} // namespace ftsplan
