// Encode benchmark: packs every file of a corpus directory into one archive with LZH_Add and
// with jlha (the only -lh5- encoder among the peers), then unpacks this library's archive
// with this library, lhasa, 7z and bsdtar. Prints throughput, size ratio and peak memory of
// each from the same run, and the ratios against the peers. The library's encoding is
// measured twice: as it runs (two threads for larger files when there are two processors)
// and held to one processor, where it runs in one thread; both archives must be the same.
//
//   encode_bench CORPUS_DIR [WORK_DIR] [--runs N]
#include <sched.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "kompak32.h"

namespace fs = std::filesystem;

namespace {

struct Measure {
    double seconds = 0;   // best wall time of the runs
    double cpuSeconds = 0; // user + system time of the run with the best wall time
    long peakKiB = 0;     // largest resident set of the runs
    bool ok = true;
};

// Runs work in a child process (so its peak memory is its own) and times it.
Measure RunChild(const std::function<int()> &work, int runs) {
    Measure m;
    m.seconds = 1e30;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        pid_t pid = fork();
        if (pid == 0)
            _exit(work());
        int status = 0;
        struct rusage usage = {};
        wait4(pid, &status, 0, &usage);
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (s < m.seconds) {
            m.seconds = s;
            m.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                           usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
        }
        m.peakKiB = std::max(m.peakKiB, usage.ru_maxrss);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            m.ok = false;
    }
    return m;
}

// execvp in directory dir with standard output and error sent to /dev/null.
int Exec(const std::string &dir, const std::vector<std::string> &args) {
    if (chdir(dir.c_str()) != 0)
        return 127;
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    return 127;
}

bool HaveTool(const char *tool) {
    std::string command = std::string("command -v ") + tool + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

void FreshDir(const std::string &dir) {
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
}

std::vector<char> ReadAll(const std::string &path) {
    std::vector<char> bytes;
    if (std::FILE *f = std::fopen(path.c_str(), "rb")) {
        char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return bytes;
}

uint64_t TreeBytes(const std::string &dir) {
    uint64_t total = 0;
    for (const auto &e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            total += e.file_size();
    return total;
}

// The child's side of the library measurements.
int EncodeWithLibrary(const std::string &archive, const std::vector<std::string> &files) {
    std::string path = archive;
    ArchiveHandle *handle = LZH_Create(&path[0]);
    if (!handle)
        return 1;
    int failures = 0;
    for (const std::string &file : files) {
        std::string copy = file;
        if (LZH_Add(handle, &copy[0]) != 1)
            ++failures;
    }
    LZH_Close(handle);
    return failures == 0 ? 0 : 1;
}

// Holds the calling process to the one processor it runs on now.
void UseOneProcessor() {
    cpu_set_t set;
    CPU_ZERO(&set);
    int cpu = sched_getcpu();
    CPU_SET(cpu >= 0 ? cpu : 0, &set);
    sched_setaffinity(0, sizeof set, &set);
}

std::string extractDir;
unsigned extractCount;

int LZH_CALL ExtractMember(MemberInfo *info, int32_t) {
    std::snprintf(info->name, sizeof info->name, "%s/%u", extractDir.c_str(), extractCount++);
    info->action = ACTION_EXTRACT;
    return 1;
}

int DecodeWithLibrary(const std::string &archive, const std::string &outDir) {
    std::string path = archive;
    ArchiveHandle *handle = LZH_Open(&path[0]);
    if (!handle)
        return 1;
    extractDir = outDir;
    extractCount = 0;
    int result = LZH_Enum(handle, ExtractMember, 0);
    LZH_Close(handle);
    return result == 1 ? 0 : 1;
}

void Row(const char *what, const char *who, const Measure &m, uint64_t bytes, const char *extra) {
    double mbps = bytes / 1e6 / m.seconds;
    std::printf("%-7s %-9s %8.2f MB/s %8.3f s (cpu %7.3f s)  peak %7.1f MB  %s%s\n", what, who,
                mbps, m.seconds, m.cpuSeconds, m.peakKiB / 1024.0, extra, m.ok ? "" : "  (FAILED)");
}

} // namespace

int main(int argc, char **argv) {
    std::vector<std::string> positional;
    int runs = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            positional.push_back(argv[i]);
    }
    if (positional.empty()) {
        std::fprintf(stderr, "usage: encode_bench CORPUS_DIR [WORK_DIR] [--runs N]\n");
        return 2;
    }
    const std::string corpus = fs::absolute(positional[0]).string();
    const std::string work =
        fs::absolute(positional.size() > 1 ? positional[1] : "/tmp/kompak-encode-bench").string();
    FreshDir(work);

    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(corpus))
        if (e.is_regular_file())
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::vector<std::string> files;
    uint64_t corpusBytes = 0;
    for (const std::string &n : names) {
        files.push_back(corpus + "/" + n);
        corpusBytes += fs::file_size(files.back());
    }
    std::printf("corpus: %zu files, %.1f MB (%s); best of %d run(s)\n", files.size(),
                corpusBytes / 1e6, corpus.c_str(), runs);

    // Encode.
    const std::string ours = work + "/kompak32.lzh";
    Measure encOurs = RunChild([&] { return EncodeWithLibrary(ours, files); }, runs);
    uint64_t oursSize = fs::file_size(ours);
    char extra[96];
    std::snprintf(extra, sizeof extra, "archive %5.1f%% of input", 100.0 * oursSize / corpusBytes);
    Row("encode", "kompak32", encOurs, corpusBytes, extra);
    const std::string oursOne = work + "/kompak32-one.lzh";
    Measure encOne = RunChild(
        [&] {
            UseOneProcessor();
            return EncodeWithLibrary(oursOne, files);
        },
        runs);
    bool sameArchive = ReadAll(oursOne) == ReadAll(ours);
    Row("encode", "kompak32", encOne, corpusBytes,
        sameArchive ? "one processor, same archive" : "one processor, ARCHIVE DIFFERS");

    Measure encJlha, encJlhaOne;
    bool haveJlha = HaveTool("jlha");
    if (haveJlha) {
        const std::string theirs = work + "/jlha.lzh";
        std::vector<std::string> args = {"jlha", "a", theirs};
        args.insert(args.end(), names.begin(), names.end());
        encJlha = RunChild(
            [&] {
                std::remove(theirs.c_str());
                return Exec(corpus, args);
            },
            runs);
        uint64_t theirSize = fs::exists(theirs) ? fs::file_size(theirs) : 0;
        std::snprintf(extra, sizeof extra, "archive %5.1f%% of input", 100.0 * theirSize / corpusBytes);
        Row("encode", "jlha", encJlha, corpusBytes, extra);
        // The same run held to the processor it starts on: its compiler and collector threads
        // then share that processor with the compression, as this library's one-processor run
        // does with nothing else.
        encJlhaOne = RunChild(
            [&] {
                std::remove(theirs.c_str());
                UseOneProcessor();
                return Exec(corpus, args);
            },
            runs);
        Row("encode", "jlha", encJlhaOne, corpusBytes, "one processor");
    } else {
        std::printf("encode  jlha      not installed\n");
    }

    // Decode of this library's archive.
    const std::string out = work + "/out";
    Measure decOurs = RunChild(
        [&] {
            FreshDir(out);
            return DecodeWithLibrary(ours, out);
        },
        runs);
    bool complete = TreeBytes(out) == corpusBytes;
    Row("decode", "kompak32", decOurs, corpusBytes, complete ? "" : "output incomplete");

    struct Peer {
        const char *name;
        std::vector<std::string> args;
    };
    std::vector<Peer> peers = {{"lhasa", {"lhasa", "xq", ours}},
                               {"7z", {"7z", "x", "-y", "-o" + out, ours}},
                               {"bsdtar", {"bsdtar", "-xf", ours, "-C", out}}};
    double fastestPeer = 1e30;
    const char *fastestName = "none";
    for (const Peer &p : peers) {
        if (!HaveTool(p.name)) {
            std::printf("decode  %-9s not installed\n", p.name);
            continue;
        }
        Measure m = RunChild(
            [&] {
                FreshDir(out);
                return Exec(out, p.args);
            },
            runs);
        bool same = TreeBytes(out) == corpusBytes;
        Row("decode", p.name, m, corpusBytes, same ? "" : "output incomplete");
        if (m.ok && m.seconds < fastestPeer) {
            fastestPeer = m.seconds;
            fastestName = p.name;
        }
    }

    std::printf("\n");
    if (haveJlha && encJlha.ok)
    {
        std::printf("encode throughput kompak32 / jlha:          %5.2fx (target >= 3.5)\n",
                    encJlha.seconds / encOurs.seconds);
        std::printf("  held to one processor:                    %5.2fx (target >= 2)\n",
                    encJlha.seconds / encOne.seconds);
        if (encJlhaOne.ok)
            std::printf("  both held to one processor:               %5.2fx\n",
                        encJlhaOne.seconds / encOne.seconds);
    }
    if (fastestPeer < 1e30)
        std::printf("decode throughput kompak32 / fastest peer:  %5.2fx (%s; target >= 2.5)\n",
                    fastestPeer / decOurs.seconds, fastestName);
    fs::remove_all(work);
    return encOurs.ok && encOne.ok && sameArchive && decOurs.ok && complete ? 0 : 1;
}
