// The real main window with its real socket while a flood of datagrams arrives: a 1 ms
// timer records how long the event loop was held between its turns, and a scan after
// the flood must list the real devices. Run by flood_bench.sh inside its "pc" network
// namespace; it broadcasts, so it refuses to run anywhere else.
// usage: corvane_flood_bench DEVICES MEASURE-SECONDS

#include "device_list_dlg.h"
#include "resource_ids.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QNetworkInterface>
#include <QEventLoop>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

double ThreadCpuMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Gaps between the turns of a 1 ms timer, in milliseconds: on the wall clock (what the
// operator sees), and in the window thread's own processor time (the part of a gap the
// program itself spent, without the time other processes had the processor).
class StallRecorder {
public:
    StallRecorder()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            const double cpu = ThreadCpuMs();
            m_gapsMs.push_back(double(now - m_last) / 1e6);
            if (cpu - m_lastCpu > m_worstCpuGapMs) {
                m_worstCpuGapMs = cpu - m_lastCpu;
                m_worstCpuGapAtS = double(now) / 1e9;
            }
            m_last = now;
            m_lastCpu = cpu;
        });
    }
    void Start()
    {
        m_gapsMs.clear();
        m_clock.start();
        m_last = 0;
        m_lastCpu = ThreadCpuMs();
        m_worstCpuGapMs = 0;
        m_worstCpuGapAtS = 0;
        m_timer.start();
    }
    void Stop() { m_timer.stop(); }
    void Print(const char* what)
    {
        std::vector<double> gaps = m_gapsMs;
        std::sort(gaps.begin(), gaps.end());
        const auto at = [&](double share) { return gaps.empty() ? 0.0 : gaps[std::size_t(share * double(gaps.size() - 1))]; };
        const auto over = std::count_if(gaps.begin(), gaps.end(), [](double gap) { return gap > 50.0; });
        std::printf("%s: %zu timer turns in %.1f s, gap median %.2f ms, 99.9 %% %.2f ms, worst %.2f ms, %ld over 50 ms; "
                    "worst gap in the window's own processor time %.2f ms (at %.1f s)\n",
                    what, gaps.size(), double(m_clock.nsecsElapsed()) / 1e9, at(0.5), at(0.999), gaps.empty() ? 0.0 : gaps.back(),
                    long(over), m_worstCpuGapMs, m_worstCpuGapAtS);
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    double m_lastCpu = 0;
    double m_worstCpuGapMs = 0;
    double m_worstCpuGapAtS = 0;
    std::vector<double> m_gapsMs;
};

// Runs the event loop as the program does (QTest's waits sleep between turns) until
// `done` holds or the time is up.
bool RunUntil(const std::function<bool()>& done, int timeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(timeoutMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

bool ScanEndsWith(const CDeviceListDlg& dialog, int devices, int timeoutMs)
{
    return RunUntil([&] { return !dialog.Scan().m_bScanning && dialog.Scan().m_nCount == devices; }, timeoutMs);
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: corvane_flood_bench DEVICES MEASURE-SECONDS\n");
        return 2;
    }
    const int devices = std::atoi(argv[1]);
    const int measureMs = std::atoi(argv[2]) * 1000;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces())
        if (interface.name() != "lo" && interface.name() != "pc") {
            std::fprintf(stderr, "corvane_flood_bench: not in the benchmark's namespace (%s)\n",
                         qPrintable(interface.name()));
            return 1;
        }

    CDeviceListDlg dialog;
    dialog.SetWebPageOpener([](const QUrl&) {});
    dialog.show();
    if (!ScanEndsWith(dialog, devices, 10000)) {
        std::printf("FAILED: the first scan listed %d devices, not %d\n", dialog.Scan().m_nCount, devices);
        return 1;
    }
    std::printf("ready: %d devices listed\n", devices);

    // Half-way through, a scan as F5 starts it: its discard of waiting datagrams and
    // its replies meet the flood too.
    int midFloodCount = -1;
    QTimer::singleShot(measureMs / 2, Qt::PreciseTimer, &dialog, [&] {
        dialog.OnCommand(ID_VIEW_REFRESH);
        QTimer::singleShot(1000, &dialog, [&] { midFloodCount = dialog.Scan().m_nCount; });
    });
    StallRecorder stalls;
    stalls.Start();
    RunUntil([] { return false; }, measureMs);
    stalls.Stop();
    stalls.Print("during the flood");
    std::printf("a scan during the flood listed %d of the %d devices\n", midFloodCount, devices);

    stalls.Start();
    dialog.OnCommand(ID_VIEW_REFRESH);
    const bool listed = ScanEndsWith(dialog, devices, 10000);
    stalls.Stop();
    stalls.Print("scan after the flood");
    auto* list = dialog.findChild<QListWidget*>("deviceList");
    std::printf("%s: the scan after the flood listed %d devices (%d lines), expected %d\n",
                listed ? "PASSED" : "FAILED", dialog.Scan().m_nCount, list->count(), devices);
    return listed ? 0 : 1;
}
