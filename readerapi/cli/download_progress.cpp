#include "download_progress.h"

#include <chrono>
#include <cstdio>

DownloadProgress::DownloadProgress(bool show, std::string what) : what_(std::move(what))
{
    if (show)
        thread_ = std::thread(&DownloadProgress::run, this);
}

DownloadProgress::~DownloadProgress()
{
    if (!thread_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void DownloadProgress::run()
{
    using namespace std::chrono;
    const auto start = steady_clock::now();
    std::size_t shown = 0;
    std::unique_lock lock(mutex_);
    for (auto next = start + seconds(1); !wake_.wait_until(lock, next, [this] { return done_; });
         next += seconds(1)) {
        const auto elapsed = duration_cast<seconds>(steady_clock::now() - start).count();
        const std::string line = "qarn-reader: " + what_ + ": " + std::to_string(elapsed) + " s";
        std::fprintf(stderr, "\r%s", line.c_str());
        std::fflush(stderr);
        shown = line.size();
    }
    if (shown > 0) {
        // Spaces rather than an escape sequence: every console clears so.
        std::fprintf(stderr, "\r%*s\r", int(shown), "");
        std::fflush(stderr);
    }
}
