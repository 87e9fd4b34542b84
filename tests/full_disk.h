#pragma once

#include <csignal>
#include <sys/resource.h>
#include <sys/types.h>

// A full disk, for as long as it lives, as a limit on the size of the files
// this process writes: a write past room bytes fails with EFBIG.
class FullDisk {
public:
    explicit FullDisk(off_t room = 4) {
        std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &before_);
        rlimit small = before_;
        small.rlim_cur = static_cast<rlim_t>(room);
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FullDisk() { ::setrlimit(RLIMIT_FSIZE, &before_); }

private:
    rlimit before_{};
};
