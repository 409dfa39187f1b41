// The real Win32 main window with its real sockets while a flood of datagrams arrives:
// a 10 ms thread timer, served by the window's own message loop, records how long that
// loop was held between its turns; half-way a scan is started as F5 starts it, and a
// scan after the flood must list the devices. Run under Wine by wine_flood_bench.sh
// inside its "pc" network namespace.
// usage: corvane_win32_flood_bench DEVICES MEASURE-SECONDS

#include "device_list_dlg.h"
#include "resource_ids.h"
#include "win32_headers.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Bench {
    int devices = 0;
    ULONGLONG measureMs = 0;
    ULONGLONG start = 0;
    ULONGLONG last = 0;
    std::vector<double> gapsMs;
    bool midScanStarted = false;
    int midFloodCount = -1;
    int phase = 0;   // 0: first scan, 1: measuring, 2: scan after the flood
    ULONGLONG phaseStart = 0;
    SIZE_T memoryAtStart = 0;
    bool passed = false;
};

Bench bench;
LARGE_INTEGER frequency;

double NowMs()
{
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

SIZE_T WorkingSet()
{
    PROCESS_MEMORY_COUNTERS counters{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize;
}

HWND MainWindow()
{
    return ::FindWindowW(nullptr, L"Corvane");
}

int ShownCount(HWND window)
{
    return int(::GetDlgItemInt(window, IDC_DEVICE_COUNT, nullptr, TRUE));
}

bool ScanOpen(HWND window)
{
    // The first line is selected when the scan window closes with devices listed.
    return ::SendDlgItemMessageW(window, IDC_DEVICE_LIST, LB_GETCURSEL, 0, 0) == LB_ERR;
}

double lastTickMs = 0;

void PrintGaps(const char* what)
{
    std::vector<double> gaps = bench.gapsMs;
    std::sort(gaps.begin(), gaps.end());
    const auto at = [&](double share) { return gaps.empty() ? 0.0 : gaps[std::size_t(share * double(gaps.size() - 1))]; };
    const auto over = std::count_if(gaps.begin(), gaps.end(), [](double gap) { return gap > 100.0; });
    std::printf("%s: %zu timer turns, gap median %.2f ms, 99.9 %% %.2f ms, worst %.2f ms, %ld over 100 ms\n", what,
                gaps.size(), at(0.5), at(0.999), gaps.empty() ? 0.0 : gaps.back(), long(over));
    std::fflush(stdout);
}

void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD)
{
    const double now = NowMs();
    HWND window = MainWindow();
    if (window == nullptr)
        return;
    const ULONGLONG tick = ::GetTickCount64();
    switch (bench.phase) {
    case 0:
        if (ShownCount(window) == bench.devices && !ScanOpen(window)) {
            std::printf("ready: %d devices listed\n", bench.devices);
            std::fflush(stdout);
            bench.memoryAtStart = WorkingSet();
            bench.phase = 1;
            bench.phaseStart = tick;
            lastTickMs = now;
        } else if (tick - bench.start > 20000) {
            std::printf("FAILED: the first scan listed %d devices, not %d\n", ShownCount(window), bench.devices);
            ::PostMessageW(window, WM_CLOSE, 0, 0);
        }
        return;
    case 1:
        bench.gapsMs.push_back(now - lastTickMs);
        lastTickMs = now;
        if (!bench.midScanStarted && tick - bench.phaseStart >= bench.measureMs / 2) {
            bench.midScanStarted = true;
            ::PostMessageW(window, WM_KEYDOWN, VK_F5, 0);
        } else if (bench.midScanStarted && bench.midFloodCount < 0 && tick - bench.phaseStart >= bench.measureMs / 2 + 1000) {
            bench.midFloodCount = ShownCount(window);
        }
        if (tick - bench.phaseStart >= bench.measureMs) {
            PrintGaps("during the flood");
            std::printf("a scan during the flood listed %d of the %d devices\n", bench.midFloodCount, bench.devices);
            bench.gapsMs.clear();
            bench.phase = 2;
            bench.phaseStart = tick;
            ::PostMessageW(window, WM_KEYDOWN, VK_F5, 0);
        }
        return;
    case 2:
        bench.gapsMs.push_back(now - lastTickMs);
        lastTickMs = now;
        if (tick - bench.phaseStart >= 1000 && (ShownCount(window) == bench.devices || tick - bench.phaseStart > 10000)) {
            PrintGaps("scan after the flood");
            bench.passed = ShownCount(window) == bench.devices && !ScanOpen(window);
            const SIZE_T memory = WorkingSet();
            std::printf("working set: %.1f MB when the flood began, %.1f MB after it\n",
                        double(bench.memoryAtStart) / 1048576.0, double(memory) / 1048576.0);
            std::printf("%s: the scan after the flood listed %d devices, expected %d\n",
                        bench.passed ? "PASSED" : "FAILED", ShownCount(window), bench.devices);
            std::fflush(stdout);
            bench.phase = 3;
            ::PostMessageW(window, WM_CLOSE, 0, 0);
        }
        return;
    default:
        return;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: corvane_win32_flood_bench DEVICES MEASURE-SECONDS\n");
        return 2;
    }
    ::QueryPerformanceFrequency(&frequency);
    bench.devices = std::atoi(argv[1]);
    bench.measureMs = ULONGLONG(std::atoi(argv[2])) * 1000;
    bench.start = ::GetTickCount64();
    WSADATA sockets{};
    if (::WSAStartup(MAKEWORD(1, 1), &sockets) != 0)
        return 2;
    // A thread timer: the window's loop dispatches it like the window's own timers.
    ::SetTimer(nullptr, 0, USER_TIMER_MINIMUM, OnTick);
    CDeviceListDlg dialog;
    dialog.DoModal();
    ::WSACleanup();
    return bench.passed ? 0 : 1;
}
