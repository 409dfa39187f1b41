#pragma once
// A line on a terminal that shows that a long download is still going. The
// library's download is one call that blocks until the last block is
// acknowledged and reports nothing before, so the line gives the time taken
// so far; a thread of its own writes it while the call runs.

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class DownloadProgress {
public:
    // With `show` false nothing is written. The line appears after a second,
    // so a quick download leaves no trace.
    DownloadProgress(bool show, std::string what);
    // Stops the thread and clears the line.
    ~DownloadProgress();
    DownloadProgress(const DownloadProgress&) = delete;
    DownloadProgress& operator=(const DownloadProgress&) = delete;

private:
    void run();

    std::string what_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};
