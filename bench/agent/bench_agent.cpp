// One mode change (the QueuePause exchange) against the lab manager on
// loopback, with the delay before the read at 50 and 100 ms. The time is the
// delay plus the exchange's own cost; "overhead_us" is that cost on average,
// "overhead_max_us" the largest seen. A loaded machine adds its scheduling
// delay to every sleep; BM_DelayAlone measures that part by itself.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "app/settings.h"
#include "labpbx/manager/manager_interface.h"

namespace {

labpbx::ManagerConfig benchConfig() {
    labpbx::ManagerConfig config;
    config.port = 0;
    config.users = {{"queueopr", "bramwick"}};
    config.agents = {"1001"};
    return config;
}

void BM_ChangeAgentMode(benchmark::State& state) {
    const int delayMs = static_cast<int>(state.range(0));
    labpbx::ManagerServer server(benchConfig());
    if (!server.start()) {
        state.SkipWithError("manager server did not start");
        return;
    }
    g_settings = defaultSettings();
    copyText(g_settings.host, "127.0.0.1");
    copyText(g_settings.user, "2001");
    copyText(g_settings.agid, "1001");
    copyText(g_settings.acmUser, "queueopr");
    copyText(g_settings.acmPass, "bramwick");
    g_settings.acmPort = server.port();
    g_settings.acmReadTimer = 3;
    g_settings.acmDelayB4Read = delayMs;
    g_settings.debug = 0;
    g_acmSocket = 0;
    char address[kInUseAddressSize];
    if (init_iaxAgiSocket(0, address) != 0) {
        state.SkipWithError("agent login failed");
        return;
    }

    double overheadSum = 0;
    double overheadMax = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int result = changeAgentMode("Ready", "false");
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(elapsed.count());
        if (result != MODE_CHANGED) {
            state.SkipWithError("mode change failed");
            break;
        }
        const double overheadUs = elapsed.count() * 1e6 - delayMs * 1000.0;
        overheadSum += overheadUs;
        overheadMax = std::max(overheadMax, overheadUs);
    }
    if (state.iterations() > 0) {
        state.counters["overhead_us"] = overheadSum / static_cast<double>(state.iterations());
        state.counters["overhead_max_us"] = overheadMax;
    }
    agi_Logout("1001");
    server.stop();
}

// The same wait alone: what the machine's scheduler adds to any sleep of
// that length, to be told apart from the exchange's own cost.
void BM_DelayAlone(benchmark::State& state) {
    const int delayMs = static_cast<int>(state.range(0));
    double overheadSum = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(elapsed.count());
        overheadSum += elapsed.count() * 1e6 - delayMs * 1000.0;
    }
    state.counters["overhead_us"] = overheadSum / static_cast<double>(state.iterations());
}

// Delay 0 is outside the option's range; it shows the exchange's bare cost.
BENCHMARK(BM_ChangeAgentMode)
    ->Arg(0)
    ->Arg(50)
    ->Arg(100)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40);
BENCHMARK(BM_DelayAlone)->Arg(50)->Arg(100)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

}  // namespace

BENCHMARK_MAIN();
