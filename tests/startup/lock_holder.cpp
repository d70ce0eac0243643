// Takes the single-instance lock like the program and prints the result. The holder of the
// lock then waits (at most the number of seconds given, 30 by default) until it is killed.
#include "SingleInstanceLock.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char* argv[]) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    switch (AcquireInstanceLock("Kestrovane Video Capture")) {
    case TInstanceLockResult::HeldByAnother:
        std::puts("held");
        return 0;
    case TInstanceLockResult::Unavailable:
        std::puts("unavailable");
        return 0;
    case TInstanceLockResult::Acquired:
        std::puts("acquired");
        break;
    }
    std::fflush(stdout);
    for (int i = 0; i < seconds * 10; ++i) {
        usleep(100000);
    }
    return 0;
}
