// process_barrier.cpp: the process-wide barrier over the membarrier system call.
#include "platform/posix/process_barrier.h"

#include <ctime>

#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

long Membarrier(int command) {
    return syscall(SYS_membarrier, command, 0, 0);
}

}  // namespace

bool KvxProcessBarrierAvailable() {
    // The expedited barrier needs the process registered first; a forked child inherits the
    // registration, and a new program image starts this library anew.
    static const bool available = Membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0 &&
                                  Membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) == 0;
    return available;
}

void KvxProcessBarrier() {
    while (Membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED) != 0 &&
           Membarrier(MEMBARRIER_CMD_GLOBAL) != 0) {
        const timespec pause{0, 1000000};
        nanosleep(&pause, nullptr);
    }
}
