// Times the rebuild of the menu's application list at 100, 1,000 and 10,000 applications.
// Baseline 1: the same rebuild at 100 applications; the cost per application at the larger
// sizes divided by the baseline's shows whether the rebuild grows linearly (ratios near 1).
// Baseline 2: a naive rebuild that re-reads the policy map for every application and searches
// the list linearly for grouping, to show what the hash and the single read save.

#include <QHash>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "fakes/FakeRunningApplication.h"
#include "model/AppException.h"
#include "model/AppListState.h"
#include "platform/MemoryUserDefaults.h"

using namespace klosia;
using Clock = std::chrono::steady_clock;

namespace {

struct Fixture {
    std::vector<RunningApplicationPtr> running;
    MemoryUserDefaults defaults;
    int policies = 0;
};

// ~70% regular applications, ~15% background helpers of a listed application, ~15% tray or
// background programs of their own (some with several processes); ~8% of identifiers carry a
// policy; a few nameless processes and two exceptions.
void populate(Fixture& fixture, int count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> percent(0, 99);
    std::vector<QString> regularIds;
    AppPolicies policies;
    const auto name = [&](int i) {
        static const char* const kWords[] = {"mail",   "Mail", "Files", "calendar", "Zoom",
                                             "Editor", "chat", "Music", "Terminal", "office"};
        return QString::fromLatin1(kWords[random() % 10]) + QStringLiteral(" ") +
               QString::number(i);
    };
    for (int i = 0; i < count; ++i) {
        const int roll = percent(random);
        ActivationPolicy kind = ActivationPolicy::regular;
        QString id;
        QString appName = name(i);
        if (roll < 70 || regularIds.empty()) {
            id = QStringLiteral("org.bench.app%1").arg(i);
            regularIds.push_back(id);
        } else if (roll < 85) {
            kind = ActivationPolicy::prohibited;
            id = regularIds[random() % regularIds.size()];
        } else {
            kind =
                percent(random) < 50 ? ActivationPolicy::accessory : ActivationPolicy::prohibited;
            id = QStringLiteral("org.bench.tray%1").arg(i % std::max(1, count / 20));
        }
        if (percent(random) < 8) {
            policies.insert(id, static_cast<MenuAppPolicy>(random() % 3));
        }
        if (i % 97 == 0) {
            appName.clear();
        }
        fixture.running.push_back(test::FakeRunningApplication::make(appName, id, kind, i + 100));
    }
    fixture.running.push_back(test::FakeRunningApplication::make(
        QStringLiteral("Klosia"), QString(rawValue(AppException::klosia))));
    fixture.running.push_back(test::FakeRunningApplication::make(
        QStringLiteral("Finder"), QString(rawValue(AppException::finder))));
    std::shuffle(fixture.running.begin(), fixture.running.end(), random);
    saveAppPolicies(policies, fixture.defaults);
    fixture.policies = static_cast<int>(policies.size());
}

// The rebuild as a first version would write it: the policy map read for every application
// and the list searched from the start for the entry to group into.
std::vector<MenuAppPtr> naiveRebuild(const std::vector<RunningApplicationPtr>& running,
                                     bool& firstLaunch, DeselectedApps& deselected,
                                     const AppListSettings& settings, UserDefaults& defaults) {
    std::vector<MenuAppPtr> list;
    for (const auto& app : running) {
        const ActivationPolicy kind = app->activationPolicy();
        const bool background = kind != ActivationPolicy::regular;
        if (background && !settings.showBackgroundApps) {
            continue;
        }
        const QString name = app->localizedName();
        const QString id = app->bundleIdentifier();
        if (name.isEmpty() || id.isEmpty() || isAppException(id)) {
            continue;
        }
        const AppPolicies policies = loadAppPolicies(defaults);
        const bool hasPolicy = policies.contains(id);
        const MenuAppPolicy policy = policies.value(id);
        bool checked = firstLaunch ? !settings.deselectApps : !deselected.contains(id);
        if (hasPolicy) {
            checked = policy == MenuAppPolicy::always  ? true
                      : policy == MenuAppPolicy::never ? false
                                                       : !deselected.contains(id);
        }
        if (background) {
            const auto found = std::find_if(list.begin(), list.end(), [&](const MenuAppPtr& e) {
                return e->bundleIdentifier == id;
            });
            if (found != list.end() && settings.groupBackgroundApps) {
                (*found)->apps.push_back(app);
                continue;
            }
        }
        auto entry = std::make_shared<MenuApp>(checked, name, id, std::vector{app},
                                               hasPolicy ? policy : MenuAppPolicy::standard);
        if (!background && !hasPolicy) {
            if (checked) {
                deselected.remove(id);
            } else {
                deselected.insert(id, entry);
            }
        }
        list.push_back(entry);
    }
    firstLaunch = false;
    std::stable_sort(list.begin(), list.end(), [](const MenuAppPtr& a, const MenuAppPtr& b) {
        return a->name.compare(b->name, Qt::CaseSensitive) < 0;
    });
    return list;
}

struct Timing {
    double wall;  // microseconds per call, steady_clock
    double cpu;   // microseconds per call, this thread's processor time
};

double threadCpuMicros() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// How many calls make one sample last about `target`.
int repeatsFor(const std::function<void()>& call, Clock::duration target) {
    call();  // warm up caches and allocators
    int repeat = 1;
    for (;;) {
        const auto start = Clock::now();
        for (int i = 0; i < repeat; ++i) {
            call();
        }
        const auto spent = Clock::now() - start;
        if (spent >= target / 4 || repeat >= 1 << 20) {
            const double once = std::chrono::duration<double>(spent).count() / repeat;
            return std::max(1, static_cast<int>(std::chrono::duration<double>(target).count() /
                                                std::max(once, 1e-9)));
        }
        repeat *= 2;
    }
}

Timing sample(const std::function<void()>& call, int repeat) {
    const double cpuStart = threadCpuMicros();
    const auto start = Clock::now();
    for (int i = 0; i < repeat; ++i) {
        call();
    }
    const double wall = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    return Timing{wall / repeat, (threadCpuMicros() - cpuStart) / repeat};
}

double median(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

Timing medianOf(const std::vector<Timing>& samples) {
    std::vector<double> wall;
    std::vector<double> cpu;
    for (const Timing& t : samples) {
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
    return Timing{median(wall), median(cpu)};
}

bool sameList(const std::vector<MenuAppPtr>& a, const std::vector<MenuAppPtr>& b) {
    return std::equal(
        a.begin(), a.end(), b.begin(), b.end(), [](const MenuAppPtr& x, const MenuAppPtr& y) {
            return x->name == y->name && x->bundleIdentifier == y->bundleIdentifier &&
                   x->selected == y->selected && x->policy == y->policy && x->apps == y->apps;
        });
}

}  // namespace

int main() {
    constexpr int kSizes = 3;
    const int sizes[kSizes] = {100, 1'000, 10'000};
    AppListSettings settings;
    settings.showBackgroundApps = true;
    settings.groupBackgroundApps = true;

    std::vector<std::unique_ptr<Fixture>> fixtures;
    std::vector<std::unique_ptr<AppListState>> states;
    std::vector<std::vector<MenuAppPtr>> lists(kSizes);
    std::vector<std::function<void()>> calls;
    for (int k = 0; k < kSizes; ++k) {
        fixtures.push_back(std::make_unique<Fixture>());
        populate(*fixtures[k], sizes[k], 20240501U + static_cast<std::uint32_t>(sizes[k]));
        states.push_back(std::make_unique<AppListState>(&fixtures[k]->defaults));
        calls.emplace_back(
            [&, k] { lists[k] = states[k]->rebuild(fixtures[k]->running, settings); });
    }

    // The machine may be shared: samples of the three sizes take turns, so a busy moment
    // slows all of them alike, and each size reports its median.
    constexpr int kSamples = 15;
    const auto target = std::chrono::milliseconds(40);
    std::vector<int> repeats;
    repeats.reserve(kSizes);
    for (int k = 0; k < kSizes; ++k) {
        repeats.push_back(repeatsFor(calls[k], target));
    }
    std::vector<std::vector<Timing>> samples(kSizes);
    for (int s = 0; s < kSamples; ++s) {
        for (int k = 0; k < kSizes; ++k) {
            samples[k].push_back(sample(calls[k], repeats[k]));
        }
    }

    struct Row {
        int apps;
        int entries;
        int policies;
        Timing ours;
        Timing naive;
        bool same;
    };
    std::vector<Row> rows;
    for (int k = 0; k < kSizes; ++k) {
        Fixture& fixture = *fixtures[k];
        bool naiveFirst = true;
        DeselectedApps naiveDeselected;
        std::vector<MenuAppPtr> naiveList;
        const std::function<void()> naive = [&] {
            naiveList = naiveRebuild(fixture.running, naiveFirst, naiveDeselected, settings,
                                     fixture.defaults);
        };
        const int naiveRepeat = repeatsFor(naive, target);
        // The naive rebuild takes seconds at the largest size: fewer samples there.
        const int naiveCount = sizes[k] >= 10'000 ? 3 : 7;
        std::vector<Timing> naiveSamples;
        naiveSamples.reserve(naiveCount);
        for (int s = 0; s < naiveCount; ++s) {
            naiveSamples.push_back(sample(naive, naiveRepeat));
        }
        rows.push_back(Row{static_cast<int>(fixture.running.size()),
                           static_cast<int>(lists[k].size()), fixture.policies,
                           medianOf(samples[k]), medianOf(naiveSamples),
                           sameList(lists[k], naiveList)});
    }

    const auto perApp = [](double micros, int apps) { return micros * 1000.0 / apps; };
    const Row& base = rows[0];
    std::printf("Rebuild of the application list: median per call, %d interleaved samples\n",
                kSamples);
    std::printf("baseline 1 (linearity): our rebuild at %d applications, %.1f ns cpu per app\n",
                base.apps, perApp(base.ours.cpu, base.apps));
    std::printf(
        "baseline 2 (naive): policy map re-read per app, linear grouping search, "
        "%.1f ns cpu per app at %d\n\n",
        perApp(base.naive.cpu, base.apps), base.apps);
    std::printf("%6s %7s %5s | %9s %9s %7s %7s %7s | %11s %9s %7s | %8s %4s\n", "apps", "entries",
                "pol.", "wall us", "cpu us", "ns/app", "xbase1", "(wall)", "naive cpu us", "ns/app",
                "xbase2", "naive/us", "same");
    double worst = 0;
    bool allSame = true;
    for (const Row& row : rows) {
        const double ratio = perApp(row.ours.cpu, row.apps) / perApp(base.ours.cpu, base.apps);
        const double wallRatio =
            perApp(row.ours.wall, row.apps) / perApp(base.ours.wall, base.apps);
        worst = std::max(worst, ratio);
        allSame = allSame && row.same;
        std::printf(
            "%6d %7d %5d | %9.1f %9.1f %7.1f %7.2f %7.2f | %11.1f %9.1f %7.2f | %8.1f %4s\n",
            row.apps, row.entries, row.policies, row.ours.wall, row.ours.cpu,
            perApp(row.ours.cpu, row.apps), ratio, wallRatio, row.naive.cpu,
            perApp(row.naive.cpu, row.apps),
            perApp(row.naive.cpu, row.apps) / perApp(base.naive.cpu, base.apps),
            row.naive.cpu / row.ours.cpu, row.same ? "yes" : "NO");
    }
    std::printf(
        "\nxbase1/xbase2: cost per application divided by the same at %d applications "
        "(processor time; (wall) uses steady_clock). Worst xbase1: %.2f (%s).\n",
        base.apps, worst, worst < 2.0 ? "linear, < 2" : "above 2");
    std::printf("same: the naive rebuild produced the identical list.\n");
    return allSame ? 0 : 1;
}
