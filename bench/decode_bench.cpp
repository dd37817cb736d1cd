// Decode benchmark: extracts one archive with kompak (this library) and with the peers
// lhasa, 7z and bsdtar, each as its own process into a fresh directory, best of several
// runs, and prints throughput (by wall and by CPU time) and peak memory beside each other,
// with ratios to the fastest peer. Usage: decode_bench <kompak> <archive> <scratch dir> [runs]
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Tool {
    std::string name;
    std::vector<std::string> argv; // "{out}" is replaced by the output directory
};

struct Measure {
    double seconds = 1e30; // best wall time
    double cpuSeconds = 1e30; // best user + system time
    long peakKiB = 0;      // largest resident set of the best run
    uintmax_t bytes = 0;   // bytes extracted
    bool ok = false;
};

uintmax_t TreeBytes(const fs::path &dir)
{
    uintmax_t total = 0;
    for (const auto &e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            total += e.file_size();
    return total;
}

bool RunOnce(const Tool &tool, const std::string &out, double *seconds, double *cpuSeconds,
             long *peakKiB)
{
    std::vector<std::string> args;
    for (std::string a : tool.argv) {
        std::size_t at = a.find("{out}");
        if (at != std::string::npos)
            a.replace(at, 5, out);
        args.push_back(a);
    }
    std::vector<char *> cargs;
    for (std::string &a : args)
        cargs.push_back(a.data());
    cargs.push_back(nullptr);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(out.c_str()) != 0)
            _exit(126);
        if (!std::freopen("/dev/null", "w", stdout))
            _exit(126);
        execvp(cargs[0], cargs.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    auto end = std::chrono::steady_clock::now();
    *seconds = std::chrono::duration<double>(end - start).count();
    *peakKiB = usage.ru_maxrss;
    *cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                  usage.ru_stime.tv_usec / 1e6;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <kompak> <archive> <scratch dir> [runs]\n", argv[0]);
        return 2;
    }
    std::string kompak = fs::absolute(argv[1]).string();
    std::string archive = fs::absolute(argv[2]).string();
    fs::path scratch = argv[3];
    int runs = argc > 4 ? std::atoi(argv[4]) : 3;

    std::vector<Tool> tools = {
        {"kompak32", {kompak, "x", archive, "-d", "{out}"}},
        {"lhasa", {"lha", "xq", archive}},
        {"7z", {"7z", "x", "-y", "-o{out}", archive}},
        {"bsdtar", {"bsdtar", "-xf", archive, "-C", "{out}"}},
    };
    std::vector<Measure> results(tools.size());
    // Interleave the tools so that a change in the machine's load hits all of them alike.
    for (int r = 0; r < runs; ++r) {
        for (std::size_t t = 0; t < tools.size(); ++t) {
            fs::path out = scratch / (tools[t].name + "-out");
            fs::remove_all(out);
            fs::create_directories(out);
            double s, cpu;
            long kib;
            bool ok = RunOnce(tools[t], out.string(), &s, &cpu, &kib);
            Measure &m = results[t];
            m.ok = (r == 0 || m.ok) && ok;
            m.seconds = std::min(m.seconds, s);
            m.cpuSeconds = std::min(m.cpuSeconds, cpu);
            m.peakKiB = std::max(m.peakKiB, kib);
            m.bytes = TreeBytes(out);
            fs::remove_all(out);
        }
    }

    // Throughput from wall time and from CPU time (user + system); on a shared machine the
    // CPU figure is the steadier one. Ratios are against the fastest peer by the same measure.
    double fastestWall = 0, fastestCpu = 0;
    for (std::size_t t = 1; t < tools.size(); ++t)
        if (results[t].ok) {
            fastestWall = std::max(fastestWall, results[t].bytes / results[t].seconds);
            fastestCpu = std::max(fastestCpu, results[t].bytes / results[t].cpuSeconds);
        }
    std::printf("archive %s (%.1f MB), best of %d runs\n", archive.c_str(),
                fs::file_size(archive) / 1e6, runs);
    std::printf("%-9s %10s %8s %9s %6s %8s %9s %6s %10s\n", "tool", "extracted", "wall s",
                "MB/s", "ratio", "cpu s", "MB/s", "ratio", "peak RSS");
    for (std::size_t t = 0; t < tools.size(); ++t) {
        const Measure &m = results[t];
        double wall = m.bytes / m.seconds, cpu = m.bytes / m.cpuSeconds;
        std::printf("%-9s %7.1f MB %8.3f %9.1f %5.2fx %8.3f %9.1f %5.2fx %7.1f MB%s\n",
                    tools[t].name.c_str(), m.bytes / 1e6, m.seconds, wall / 1e6,
                    fastestWall > 0 ? wall / fastestWall : 0.0, m.cpuSeconds, cpu / 1e6,
                    fastestCpu > 0 ? cpu / fastestCpu : 0.0, m.peakKiB / 1024.0,
                    m.ok ? "" : "  (failed)");
    }
    if (results[0].bytes != results[1].bytes || results[0].bytes != results[3].bytes)
        std::printf("note: the tools extracted different amounts\n");
    if (fastestWall > 0)
        std::printf("decode kompak32 / fastest peer: %.2fx wall, %.2fx cpu (target >= 2.5)\n",
                    results[0].bytes / results[0].seconds / fastestWall,
                    results[0].bytes / results[0].cpuSeconds / fastestCpu);
    return results[0].ok ? 0 : 1;
}
