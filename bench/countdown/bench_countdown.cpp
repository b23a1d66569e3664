// The cost of one tick of the clock area, clock and countdown, beside the same texts made with
// a bare snprintf; and how often an idle ticker wakes up in ten seconds.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench/common/result.h"
#include "countdown/display.h"
#include "countdown/ticker.h"
#include "fake_toolkit.h"

namespace {

// 10,000 ticks in all, timed in batches: a tick costs less than the two reads of the thread CPU
// clock around it (system calls of about 0.3 us each), so single timings measure the clock.
constexpr int kBatches = 100;
constexpr int kPerBatch = 100;
constexpr double kTargetNs = 20000.0;

int64_t thread_cpu_ns() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// CPU time of one `step`: the median over the batches of a batch's time per step. Each step
// follows its own `between` (the untimed preparation); the time of a batch of `between` alone is
// taken off.
template <typename Step, typename Between>
double median_ns(Step step, Between between) {
    std::vector<double> samples;
    samples.reserve(kBatches);
    int i = 0;
    for (int b = 0; b < kBatches; ++b) {
        const int first = i;
        int64_t start = thread_cpu_ns();
        for (int k = 0; k < kPerBatch; ++k, ++i) {
            between(i);
            step(i);
        }
        const int64_t with_steps = thread_cpu_ns() - start;
        start = thread_cpu_ns();
        for (int k = 0; k < kPerBatch; ++k) {
            between(first + k);
        }
        const int64_t preparation = thread_cpu_ns() - start;
        samples.push_back(static_cast<double>(with_steps - preparation) / kPerBatch);
    }
    std::nth_element(samples.begin(), samples.begin() + kBatches / 2, samples.end());
    return std::max(samples[kBatches / 2], 1.0);
}

struct Area {
    velunor::testing::FakeToolkit ui;
    velunor::ItemStore store;
    velunor::ProgramState state;
    velunor::FixedClock clock;
    velunor::Context ctx{ui, store, state, clock, {}};

    Area() {
        clock.set(2024, 5, 3, 9, 5, 7);
        velunor::ItemRecord item;
        item.name = "期末考试";
        item.due = clock.now() + 36561906.0 / 86400.0;  // 1 year 2 months 3 days 04:05:06
        store.pending_items.push_back(item);
    }
    // Next second; the log of written texts is emptied so that it does not grow.
    void next_second() {
        clock.advance(1);
        ui.text_log.clear();
    }
};

// Keeps the compiler from dropping work whose result is unused.
void keep(const void* p) {
    asm volatile("" : : "g"(p) : "memory");
}

// The bare texts: two snprintf calls per tick, as cheap as the texts can be made.
void snprintf_texts(int i, const char* first, const char* second) {
    char a[64];
    char b[64];
    const int s = i % 60;
    const int m = (i / 60) % 60;
    const int h = (i / 3600) % 24;
    (void)std::snprintf(a, sizeof a, "%02d:%02d:%02d", h, m, s);
    (void)std::snprintf(b, sizeof b, first, 2024 + i % 3, 1 + i % 12, 1 + i % 28);
    keep(a);
    keep(b);
    keep(second);
}

struct Row {
    std::string what;
    double ns;
    double baseline_ns;
};

// The ticker thread's voluntary context switches: one per sleep it goes into.
long voluntary_switches(const std::string& tid) {
    std::ifstream status("/proc/self/task/" + tid + "/status");
    std::string line;
    const std::string key = "voluntary_ctxt_switches:";
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::stol(line.substr(key.size()));
        }
    }
    return -1;
}

std::set<std::string> task_ids() {
    std::set<std::string> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        ids.insert(entry.path().filename().string());
    }
    return ids;
}

}  // namespace

int main() {
    std::vector<Row> rows;

    // One untimed round first: the first figure would otherwise pay for cold caches and a core
    // that has not yet sped up.
    (void)median_ns([](int i) { snprintf_texts(i, "%d年%d月%d日", ""); }, [](int) {});

    const double clock_base =
        median_ns([](int i) { snprintf_texts(i, "%d年%d月%d日", ""); }, [](int) {});
    {
        Area area;
        const double ns =
            median_ns([&](int) { velunor::tick(area.ctx); }, [&](int) { area.next_second(); });
        rows.push_back({"tick, clock", ns, clock_base});
    }

    const double countdown_base =
        median_ns([](int i) { snprintf_texts(i, "剩余:%d年%d月%d天", "期末考试"); }, [](int) {});
    {
        Area area;
        area.state.countdown_position = 1;
        const double ns =
            median_ns([&](int) { velunor::tick(area.ctx); }, [&](int) { area.next_second(); });
        rows.push_back({"tick, countdown", ns, countdown_base});
    }

    std::printf("CPU time per tick, median of %d batches of %d ticks\n", kBatches, kPerBatch);
    std::printf("%-18s %12s %14s %8s %10s\n", "", "tick ns", "snprintf ns", "ratio", "< 20 us");
    std::vector<velunor::bench::Figure> figures;
    for (const auto& r : rows) {
        std::printf("%-18s %12.0f %14.0f %7.2fx %10s\n", r.what.c_str(), r.ns, r.baseline_ns,
                    r.ns / r.baseline_ns, r.ns < kTargetNs ? "yes" : "NO");
        figures.push_back({r.what, r.ns, "ns", "the same texts by two snprintf calls",
                           r.baseline_ns, "< 20,000 ns", velunor::bench::verdict(r.ns < kTargetNs),
                           0});
    }

    // An idle ticker: the clock shown, the window thread running the posted ticks.
    Area area;
    area.state.ticker_running.store(1);
    const auto before = task_ids();
    velunor::Ticker ticker(area.ctx);
    ticker.start();
    std::string tid;
    for (const auto& id : task_ids()) {
        if (before.count(id) == 0) {
            tid = id;
        }
    }
    // Begin half a second in, while the first wait runs; ten due times fall in the window.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    area.ui.run_posted_tasks();
    const long first = voluntary_switches(tid);
    int ticks = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        ticks += area.ui.run_posted_tasks();
    }
    const long wakeups = voluntary_switches(tid) - first;
    ticker.stop_and_join();

    std::printf("\nIdle ticker over 10 s\n");
    std::printf("%-18s %12s %14s %8s\n", "", "measured", "expected", "ratio");
    std::printf("%-18s %12ld %14d %7.2fx\n", "wake-ups", wakeups, 10,
                static_cast<double>(wakeups) / 10.0);
    std::printf("%-18s %12d %14d %7.2fx\n", "ticks run", ticks, 10,
                static_cast<double>(ticks) / 10.0);

    // An idle ticker sleeps until its next tick: one wake-up a second, never a poll.
    figures.push_back({"idle ticker wake-ups in 10 s", static_cast<double>(wakeups), "wake-ups",
                       "one a second", 10, "= 10", velunor::bench::verdict(wakeups == 10), 0});
    figures.push_back({"ticks run in 10 s", static_cast<double>(ticks), "ticks", "one a second", 10,
                       "-", velunor::bench::Verdict::none, 0});
    for (const auto& f : figures) {
        print_result(f);
    }
    return 0;
}
