// The program the child-process tests run. Each argument is a step, done in
// order:
//   out:TEXT  writes TEXT and a newline to standard output
//   err:TEXT  the same to standard error
//   exit:N    ends with status N
//   wait      waits until asked to end (SIGTERM; on Windows its stop event),
//             then ends with status 0
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#if defined(_WIN32)
#  include "support/ChildProcess.h"

#  include <windows.h>
#endif

namespace
{

volatile std::sig_atomic_t g_asked = 0;

void OnTerminate(int)
{
    g_asked = 1;
}

#if defined(_WIN32)
// Sets the flag when the stop event is set.
void WatchStopEvent()
{
    const HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, testsupport::StopEventName(GetCurrentProcessId()).c_str());
    if (stop == nullptr)
        return;
    std::thread([stop] {
        if (WaitForSingleObject(stop, INFINITE) == WAIT_OBJECT_0)
            g_asked = 1;
    }).detach();
}
#endif

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGTERM, OnTerminate);
#if defined(_WIN32)
    WatchStopEvent();
#endif
    for (int i = 1; i < argc; ++i)
    {
        const char* step = argv[i];
        if (std::strncmp(step, "out:", 4) == 0 || std::strncmp(step, "err:", 4) == 0)
        {
            std::FILE* stream = step[0] == 'o' ? stdout : stderr;
            std::fprintf(stream, "%s\n", step + 4);
            std::fflush(stream);
        }
        else if (std::strncmp(step, "exit:", 5) == 0)
        {
            return std::atoi(step + 5);
        }
        else if (std::strcmp(step, "wait") == 0)
        {
            while (g_asked == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        else
        {
            std::fprintf(stderr, "unknown step %s\n", step);
            return 64;
        }
    }
    return 0;
}
