// The five edits on a long document against sox (and a plain byte copy for Delete), in one
// run: the edit itself is timed (the document is opened beforehand, untimed), each contender
// best of three, and the ratios printed. Undo of Volume and of Delete is timed against the
// edit it undoes, and the edits once more without the undo journal, to show what keeping the
// overwritten or removed bytes costs.
//
// Usage: bench_edits IN.wav [WORK_DIR [PAIRS [EDIT]]]   (a one-hour 44.1 kHz stereo WAV for the
// real figures; bench/edits.sh makes one). With PAIRS, only one edit with its undo step against
// the same edit without the journal, timed in PAIRS pairs that take turns going first, and the
// median ratio. EDIT: volume (50 %, the default) or fade-in, on the whole document; or open: the
// open against cp of IN, in PAIRS pairs.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Progress.h"
#include "session/Session.h"
#include "i18n/Messages.h"

using namespace torvane;

namespace {

double seconds(const std::function<void()>& work) {
    const auto t0 = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The best of three, each after `prepare` (untimed).
double bestOf(const std::function<void()>& prepare, const std::function<void()>& work) {
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        prepare();
        best = std::min(best, seconds(work));
    }
    return best;
}

void shell(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
}

std::string quote(const std::string& s) { return "'" + s + "'"; }

// Bytes the process has read and written through the system so far (page cache or disk).
std::pair<double, double> ioBytes() {
    double read = 0, written = 0;
    if (std::FILE* f = std::fopen("/proc/self/io", "r")) {
        char key[32];
        double value;
        while (std::fscanf(f, "%31s %lf", key, &value) == 2) {
            if (std::string(key) == "rchar:") read = value;
            if (std::string(key) == "wchar:") written = value;
        }
        std::fclose(f);
    }
    return {read, written};
}

// The process's user and system time so far: unlike the clock, not lengthened by other work
// on the machine.
double cpuSeconds() {
    struct rusage r;
    ::getrusage(RUSAGE_SELF, &r);
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_edits IN.wav [WORK_DIR [PAIRS [volume|fade-in|open]]]\n");
        return 2;
    }
    const std::string in = argv[1];
    const std::string dir = argc > 2 ? argv[2] : "/tmp";
    const std::string out = dir + "/bench-out.wav";
    Session session;
    if (!session.createFolder(dir)) return 1;
    NoProgress none;
    std::int32_t zoom = 10000;
    const auto reopen = [&] {
        if (!session.open(in, none).ok()) std::exit(1);
        if (zoom != 10000 && !session.zoomTo(zoom, none).ok()) std::exit(1);
        std::system("sync");
        // The old working file's pages are freed by a thread of their own: not while timing.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    };
    const auto edit = [&](const std::function<Outcome()>& run) {
        const Outcome r = run();
        if (!r.ok()) std::fprintf(stderr, "edit failed: %s\n", messageText(r).c_str());
    };
    const DocumentState& d = session.doc();

    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    };
    if (argc > 4 && std::string(argv[4]) == "open") {
        // The open as the editor runs it (working file and peak table, in this process, timed from
        // the call to its return) against cp of the same file run as a process; each side after
        // the other's output is gone and flushed, so both write into pages the machine has just
        // freed. The pairs take turns going first.
        const int pairs = std::max(1, std::atoi(argv[3]));
        const std::string copy = dir + "/bench-cp.wav";
        const auto clear = [&] {
            session.close();
            std::remove(copy.c_str());
            std::system("sync");
            // The working file's pages are freed by a thread of their own after the close: that
            // must not run into the next side's time.
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        };
        const auto opened = [&] {
            clear();
            const double cpu0 = cpuSeconds();
            const double wall = seconds([&] {
                if (!session.open(in, none).ok()) std::exit(1);
            });
            return std::pair{wall, cpuSeconds() - cpu0};
        };
        const auto copied = [&] {
            clear();
            struct rusage r {};
            const double wall = seconds([&] {
                const pid_t child = ::fork();
                if (child == 0) {
                    ::execlp("cp", "cp", in.c_str(), copy.c_str(), static_cast<char*>(nullptr));
                    ::_exit(127);
                }
                int status = 0;
                if (child < 0 || ::wait4(child, &status, 0, &r) != child || status != 0) std::exit(1);
            });
            return std::pair{wall, double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
                                       double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6};
        };
        std::vector<double> ratios;
        for (int i = 0; i < pairs; ++i) {
            const bool oursFirst = i % 2 == 0;
            const auto first = oursFirst ? opened() : copied();
            const auto second = oursFirst ? copied() : opened();
            const auto& o = oursFirst ? first : second;
            const auto& c = oursFirst ? second : first;
            ratios.push_back(o.first / c.first);
            std::printf("pair %d: open %.3f s (cpu %.3f), cp %.3f s (cpu %.3f), ratio %.3f\n", i + 1, o.first,
                        o.second, c.first, c.second, ratios.back());
        }
        const double hours = d.format.duration / 3600.0;
        clear();
        std::printf("open to cp: ratio %.3f (median of %d pairs, %.2f hours of audio)\n", median(ratios), pairs, hours);
        return 0;
    }

    if (argc > 3) {
        const int pairs = std::max(1, std::atoi(argv[3]));
        const std::string which = argc > 4 ? argv[4] : "volume";
        if (which != "volume" && which != "fade-in") {
            std::fprintf(stderr, "bench_edits: the edit is volume or fade-in, not %s\n", which.c_str());
            return 2;
        }
        const bool fade = which == "fade-in";
        const char* name = fade ? "Fade In" : "Volume 50 %";
        const auto timedEdit = [&] { return fade ? session.fadeIn(none) : session.changeVolume(0.5f, false, none); };
        // `fresh`: before the reopen an untimed edit kept its undo step, which the reopen
        // gives back with the old working file, as after any earlier edit; otherwise the new
        // file data of the edit takes whatever pages the machine hands out after the reopen.
        // (In a virtual machine pages it has not handed out lately can cost more to write than
        // the whole edit.)
        const auto volumeTimed = [&](bool keep, bool fresh) {
            session.keepUndo(true);
            if (fresh) {
                reopen();
                edit(timedEdit);
            }
            reopen();
            session.keepUndo(keep);
            const double cpu0 = cpuSeconds();
            const auto [read0, written0] = ioBytes();
            const double wall = seconds([&] { edit(timedEdit); });
            const auto [read1, written1] = ioBytes();
            if (keep)
                std::printf("  with undo: read %.0f MB, written %.0f MB\n", (read1 - read0) / 1e6,
                            (written1 - written0) / 1e6);
            return std::pair{wall, cpuSeconds() - cpu0};
        };
        for (const bool fresh : {false, true}) {
            std::vector<double> with, without, ratios, cpuRatios;
            for (int i = 0; i < pairs; ++i) {
                const bool undoFirst = i % 2 == 0;
                const auto first = volumeTimed(undoFirst, fresh), second = volumeTimed(!undoFirst, fresh);
                const auto& w = undoFirst ? first : second;
                const auto& wo = undoFirst ? second : first;
                with.push_back(w.first);
                without.push_back(wo.first);
                ratios.push_back(w.first / wo.first);
                cpuRatios.push_back(w.second / wo.second);
                std::printf("pair %d: with undo %.3f s (cpu %.3f), without %.3f s (cpu %.3f), ratio %.3f\n", i + 1,
                            w.first, w.second, wo.first, wo.second, ratios.back());
            }
            const char* pages = fresh ? "after an earlier edit" : "after a reopen alone";
            std::printf("%s with its undo step, %-24s %8.3f s (median)\n", name, pages, median(with));
            std::printf("%s without the journal, %-23s %8.3f s   ratio %.3f (median of %d pairs)\n", name, pages,
                        median(without), median(ratios), pairs);
            const double best = *std::min_element(with.begin(), with.end()) /
                                *std::min_element(without.begin(), without.end());
            std::printf("%-57s ratio %.3f\n", "  best with undo to best without", best);
            std::printf("%-57s ratio %.3f\n", "  processor time, with undo to without (median)", median(cpuRatios));
        }
        std::printf("(%.2f hours of audio)\n", d.format.duration / 3600.0);
        return 0;
    }

    reopen();
    const double hours = d.format.duration / 3600.0;
    const std::uint64_t bytes = d.format.dataSize;
    std::printf("document: %u s, %llu data bytes; best of 3\n", d.format.duration, (unsigned long long)bytes);

    const auto volumeEdit = [&] { edit([&] { return session.changeVolume(0.5f, false, none); }); };
    const auto undo = [&] { edit([&] { return session.undo(none); }); };
    const double volume = bestOf(reopen, volumeEdit);
    const double volumeUndo = bestOf([&] { reopen(); volumeEdit(); std::system("sync"); }, undo);
    // Without the journal, as torvane-cli runs them.
    session.keepUndo(false);
    const double volumeBare = bestOf(reopen, volumeEdit);
    session.keepUndo(true);
    const double soxVolume = bestOf([] {}, [&] { shell("sox " + quote(in) + " " + quote(out) + " vol 0.5"); });
    const double fade = bestOf(reopen, [&] { edit([&] { return session.fadeIn(none); }); });
    const std::string length = std::to_string(d.format.duration);
    const double soxFade = bestOf([] {}, [&] { shell("sox " + quote(in) + " " + quote(out) + " fade t " + length); });

    // Delete of the first minute: at 1 : 1 a minute is exactly 2646 columns.
    zoom = 1000;
    const std::uint32_t minute = std::uint32_t(60 * d.format.sampleRate / 1000);
    const auto deleteMinute = [&] {
        session.select(0, minute);
        edit([&] { return session.deleteSelection(none); });
    };
    const double del = bestOf(reopen, deleteMinute);
    const double delUndo = bestOf([&] { reopen(); deleteMinute(); std::system("sync"); }, undo);
    session.keepUndo(false);
    const double delBare = bestOf(reopen, deleteMinute);
    session.keepUndo(true);
    const std::uint64_t skip = std::uint64_t(d.format.dataOffset) + std::uint64_t(minute) * 1000 * d.format.blockSize;
    const double copy = bestOf([] {}, [&] {
        shell("dd if=" + quote(in) + " of=" + quote(out) + " bs=4M iflag=skip_bytes skip=" + std::to_string(skip));
    });
    std::remove(out.c_str());

    std::printf("%-46s %8.3f s\n", "Volume 50 % in place (whole document)", volume);
    std::printf("%-46s %8.3f s   ratio %.2f\n", "sox in.wav out.wav vol 0.5", soxVolume, volume / soxVolume);
    std::printf("%-46s %8.3f s\n", "Fade In in place (whole document)", fade);
    std::printf("%-46s %8.3f s   ratio %.2f\n", "sox in.wav out.wav fade t LENGTH", soxFade, fade / soxFade);
    std::printf("%-46s %8.3f s\n", "Delete the first minute", del);
    std::printf("%-46s %8.3f s   ratio %.2f\n", "dd of the bytes that move", copy, del / copy);
    std::printf("%-46s %8.3f s   ratio to the edit %.2f\n", "Undo of Volume 50 % (whole document)", volumeUndo,
                volumeUndo / volume);
    std::printf("%-46s %8.3f s   ratio to the edit %.2f\n", "Volume 50 % without the undo journal", volumeBare,
                volumeBare / volume);
    std::printf("%-46s %8.3f s   ratio to the edit %.2f\n", "Undo of Delete the first minute", delUndo, delUndo / del);
    std::printf("%-46s %8.3f s   ratio to the edit %.2f\n", "Delete the first minute without the journal", delBare,
                delBare / del);
    std::printf("(%.2f hours of audio)\n", hours);
    return 0;
}
