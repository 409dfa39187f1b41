// Preloaded into qarn-reader by a test: the computer's clock reads a time in
// 2100, which no clock on this machine can be set to for a test.
#include <ctime>

extern "C" std::time_t time(std::time_t* result)
{
    const std::time_t in2100 = 4102531200;   // 2100-01-02 00:00:00 UTC
    if (result != nullptr)
        *result = in2100;
    return in2100;
}
