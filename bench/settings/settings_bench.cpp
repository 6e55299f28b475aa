// Prints one figure per line: how long the settings store takes for a large
// patch list, and its ratio to the plain file work it cannot avoid.
#include "settings/AppSetting.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

template <typename F> double Best(int runs, F&& f) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        best = std::min(best, f());
    }
    return best;
}

std::string Descrip(int n) {
    char text[96];
    std::snprintf(text, sizeof text,
                  "patch item %d: skip the licence check in the start-up routine", n);
    return text;
}

// Byte texts of a patch: a short instruction run before and after.
std::string OldHex(int n) {
    char text[32];
    std::snprintf(text, sizeof text, "7405E8%02X8B45FC", n & 0xFF);
    return text;
}

std::string NewHex(int n) {
    char text[32];
    std::snprintf(text, sizeof text, "EB05E8%02X8B45FC", n & 0xFF);
    return text;
}

// The file the program saves for a list of n items, in key order, CR LF.
std::string MakeSettingsText(int items) {
    std::string text = "FileName = D:\\\\work\\\\game\\\\data.bin\r\n";
    char line[512];
    for (int n = 0; n < items; ++n) {
        std::snprintf(line, sizeof line,
                      "PathList\\%04d\\Descrip = %s\r\n"
                      "PathList\\%04d\\NewHex = %s\r\n"
                      "PathList\\%04d\\Offset = 0x%08X\r\n"
                      "PathList\\%04d\\OldHex = %s\r\n"
                      "PathList\\%04d\\Path = %d\r\n",
                      n, Descrip(n).c_str(), n, NewHex(n).c_str(), n, 0x1000u + 16u * n, n,
                      OldHex(n).c_str(), n, n & 1);
        text += line;
    }
    std::snprintf(line, sizeof line, "PathList\\Count = %d\r\n", items);
    text += line;
    return text;
}

bool WriteAll(const std::string& path, const std::string& bytes, bool sync) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
                    (!sync || ::fsync(fd) == 0);
    return ::close(fd) == 0 && ok;
}

std::string ReadAll(const std::string& path) {
    std::string bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    ::fstat(fd, &st);
    bytes.resize(static_cast<std::size_t>(st.st_size));
    const ssize_t got = ::read(fd, bytes.data(), bytes.size());
    ::close(fd);
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

// One read of the whole file and a memchr walk over its lines; each line
// (its bytes up to the LF) goes to line(begin, end), which may change it.
template <typename F> double ReadAndSplit(const std::string& path, std::size_t* lines, F&& line) {
    const auto start = Clock::now();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    ::fstat(fd, &st);
    char* data = static_cast<char*>(std::malloc(static_cast<std::size_t>(st.st_size) + 2));
    const ssize_t got = ::read(fd, data, static_cast<std::size_t>(st.st_size));
    ::close(fd);
    std::size_t count = 0;
    char* at = data;
    char* end = data + (got > 0 ? got : 0);
    while (at < end) {
        char* nl = static_cast<char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
        ++count;
        line(at, nl ? nl : end);
        at = nl ? nl + 1 : end;
    }
    std::free(data);
    *lines = count;
    return Ms(Clock::now() - start);
}

double ReadAndSplit(const std::string& path, std::size_t* lines) {
    return ReadAndSplit(path, lines, [](char*, char*) {});
}

// Read and split as above, and every line cut at its " = " with its value's
// escapes decoded in place, as the store's parser does: what a load costs
// before any entry is made. The rest of a load is the table of entries.
double ReadSplitAndParse(const std::string& path, std::size_t* values) {
    std::size_t lines = 0;
    *values = 0;
    return ReadAndSplit(path, &lines, [values](char* at, char* lineEnd) {
        if (lineEnd > at && lineEnd[-1] == '\r')
            --lineEnd;
        *lineEnd = '\0';
        char* equals =
            static_cast<char*>(std::memchr(at, '=', static_cast<std::size_t>(lineEnd - at)));
        if (equals && equals > at && equals[-1] == ' ' && equals + 1 < lineEnd &&
            equals[1] == ' ') {
            equals[-1] = '\0';
            char* value = equals + 2;
            value[UnescapeInPlace(value, static_cast<std::size_t>(lineEnd - value))] = '\0';
            ++*values;
        }
    });
}

// The least a table of this kind costs above the parse: the parsed lines
// (read, split, cut at " = " and unescaped as above) each put into an entry
// of the store's size, appended to a key-ordered array of entries after one
// key comparison with the last and to the write order, as the store does for
// a file saved in key order.
double BareFlatTable(const std::string& path, std::size_t* keys) {
    struct Bare {
        std::string_view key;
        std::int32_t line;
        bool hasValue;
        std::string_view value;
        std::uint32_t place;
        std::uint32_t flags;
    };
    std::vector<Bare> entries;
    std::vector<Bare*> sorted;
    std::vector<Bare*> order;
    std::size_t lines = 0;
    const auto start = Clock::now();
    entries.reserve(600000);
    sorted.reserve(600000);
    order.reserve(600000);
    ReadAndSplit(path, &lines, [&](char* at, char* lineEnd) {
        if (lineEnd > at && lineEnd[-1] == '\r')
            --lineEnd;
        *lineEnd = '\0';
        char* equals =
            static_cast<char*>(std::memchr(at, '=', static_cast<std::size_t>(lineEnd - at)));
        if (!equals || equals == at || equals[-1] != ' ' || equals + 1 >= lineEnd ||
            equals[1] != ' ')
            return;
        const std::string_view key(at, static_cast<std::size_t>(equals - 1 - at));
        char* value = equals + 2;
        const std::size_t length =
            UnescapeInPlace(value, static_cast<std::size_t>(lineEnd - value));
        if (!sorted.empty() && CompareKeys(sorted.back()->key, key) >= 0)
            return;
        Bare& entry = entries.emplace_back(Bare{key, static_cast<std::int32_t>(sorted.size()), true,
                                                std::string_view(value, length),
                                                static_cast<std::uint32_t>(order.size()), 0});
        sorted.push_back(&entry);
        order.push_back(&entry);
    });
    *keys = sorted.size();
    return Ms(Clock::now() - start);
}

// Processor time (user and system) of this process so far, in milliseconds.
double CpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The best wall and processor times of runs calls of f (which returns its
// own wall time), and the page faults of the first call.
struct Timing {
    double wall = 1e300;
    double cpu = 1e300;
    long faults = 0;
};

template <typename F> Timing Measure(int runs, F&& f) {
    Timing t;
    for (int i = 0; i < runs; ++i) {
        rusage before{};
        ::getrusage(RUSAGE_SELF, &before);
        const double cpu = CpuMs();
        t.wall = std::min(t.wall, f());
        t.cpu = std::min(t.cpu, CpuMs() - cpu);
        rusage after{};
        ::getrusage(RUSAGE_SELF, &after);
        if (i == 0)
            t.faults = after.ru_minflt - before.ru_minflt;
    }
    return t;
}

// The patch list's save: drop the list, write it again, save the file.
double SaveListCycle(CAppSetting& store, int items) {
    const auto start = Clock::now();
    store.DeleteSection("PathList");
    store.SetString("FileName", "D:\\work\\game\\data.bin");
    store.SetInt("PathList\\Count", items);
    char key[64];
    for (int n = 0; n < items; ++n) {
        const int len = std::snprintf(key, sizeof key, "PathList\\%04d\\", n);
        char* name = key + len;
        std::strcpy(name, "Offset");
        store.SetHex(key, 0x1000u + 16u * static_cast<unsigned>(n));
        std::strcpy(name, "Descrip");
        store.SetString(key, Descrip(n).c_str());
        std::strcpy(name, "OldHex");
        store.SetString(key, OldHex(n).c_str());
        std::strcpy(name, "NewHex");
        store.SetString(key, NewHex(n).c_str());
        std::strcpy(name, "Path");
        store.SetInt(key, n & 1);
    }
    const int lines = store.Save();
    const double ms = Ms(Clock::now() - start);
    if (lines != items * 5 + 2) {
        std::printf("save cycle wrote %d lines, expected %d\n", lines, items * 5 + 2);
        std::exit(1);
    }
    return ms;
}

} // namespace

int main() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "bm-settings-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = pattern;
    const std::string input = dir + "/in.ini";
    const std::string plain = dir + "/plain.ini";
    const std::string saved = dir + "/saved.ini";

    // The file as the program saves it: every key once, in key order.
    WriteAll(input, MakeSettingsText(100000), false);
    {
        CAppSetting sorter;
        sorter.Load(input.c_str(), 1);
        sorter.keepOrder = 0;
        sorter.Save(input.c_str());
    }
    const std::string text = ReadAll(input);
    std::size_t lines = 0;
    ReadAndSplit(input, &lines); // warm the page cache
    std::printf("settings file: %zu lines, %.1f MB\n", lines, text.size() / 1e6);

    // Wall times are the best of five; on a busy machine the processor
    // times are the steadier figures, so the ratio is given for both.
    std::size_t values = 0;
    const Timing read = Measure(5, [&] { return ReadAndSplit(input, &lines); });
    const Timing parse = Measure(5, [&] { return ReadSplitAndParse(input, &values); });
    auto load = [&](const std::string& path) {
        return Measure(5, [&] {
            CAppSetting store;
            const auto start = Clock::now();
            store.Load(path.c_str(), 1);
            return Ms(Clock::now() - start);
        });
    };
    const Timing loadTime = load(input);
    const double loadMs = loadTime.wall;
    const double readMs = read.wall;
    std::printf("read + memchr line split: %.1f ms (processor %.1f ms, %ld page faults)\n",
                read.wall, read.cpu, read.faults);
    std::printf("read + split + cut at \" = \" and unescape, %zu values: %.1f ms (processor %.1f "
                "ms); ratio %.2f\n",
                values, parse.wall, parse.cpu, parse.cpu / read.cpu);
    std::printf("Load 100000 items: %.1f ms (processor %.1f ms, %ld page faults); ratio %.2f, "
                "processor %.2f (goal <= 3)\n",
                loadMs, loadTime.cpu, loadTime.faults, loadMs / readMs, loadTime.cpu / read.cpu);
    // The table of entries: one entry per line, a key comparison to place
    // it, and the write order; the share of the load above parsing.
    std::printf("Load: the table of entries takes %.1f ms of processor time, %.0f%% of the load\n",
                loadTime.cpu - parse.cpu, 100.0 * (loadTime.cpu - parse.cpu) / loadTime.cpu);
    std::size_t keys = 0;
    const Timing flat = Measure(5, [&] { return BareFlatTable(input, &keys); });
    std::printf("read + parse into a bare key-ordered array of %zu entries with a write order: "
                "processor %.1f ms, ratio %.2f: the floor of a table of this kind; the store "
                "is %.2fx of it\n",
                keys, flat.cpu, flat.cpu / read.cpu, loadTime.cpu / flat.cpu);
    {
        const std::string small = dir + "/small.ini";
        WriteAll(small, MakeSettingsText(10000), false);
        const Timing few = load(small);
        std::printf("Load growth 10000 -> 100000 items: wall %.2fx, processor %.2fx (items 10x)\n",
                    loadMs / few.wall, loadTime.cpu / few.cpu);
    }

    CAppSetting store;
    store.Load(input.c_str(), 1); // read with keepOrder set, as the program does
    store.keepOrder = 0;
    const double writeMs = Best(3, [&] {
        const auto start = Clock::now();
        WriteAll(plain, text, true);
        return Ms(Clock::now() - start);
    });
    const double saveMs = Best(3, [&] {
        const auto start = Clock::now();
        store.Save(saved.c_str());
        return Ms(Clock::now() - start);
    });
    std::printf("write + fsync of the same bytes: %.1f ms\n", writeMs);
    std::printf("Save in key order 100000 items: %.1f ms; ratio %.2f (goal <= 3)\n", saveMs,
                saveMs / writeMs);

    double cycle[2] = {};
    const int sizes[2] = {10000, 100000};
    for (int i = 0; i < 2; ++i) {
        const std::string path = dir + "/cycle.ini";
        WriteAll(path, MakeSettingsText(sizes[i]), false);
        CAppSetting list;
        list.Load(path.c_str(), 1);
        list.keepOrder = 0;
        cycle[i] = Best(3, [&] { return SaveListCycle(list, sizes[i]); });
        std::printf("DeleteSection + set %d items + Save: %.1f ms%s\n", sizes[i], cycle[i],
                    sizes[i] == 100000 ? " (goal < 1000 ms)" : "");
    }
    const double nlogn = 10.0 * std::log(100000.0) / std::log(10000.0);
    std::printf("save cycle growth 10000 -> 100000 items: %.2fx (n log n: %.2fx)\n",
                cycle[1] / cycle[0], nlogn);

    std::filesystem::remove_all(dir);
    return 0;
}
