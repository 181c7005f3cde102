// arc4random and arc4random_buf for the portable Linux program only (linked in by the CMake option
// TARNWOOD_LINUX_PORTABLE): the libraries linked in statically ask for them (expat for its hash
// salt, the C++ run time for std::random_device), and glibc has them only from 2.36 on. Defined
// here over getrandom (glibc 2.25), the program also starts on systems with an older glibc.
// Relies on: getrandom, /dev/urandom when the kernel has no getrandom.
#include <fcntl.h>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

extern "C" void arc4random_buf(void* buffer, size_t size) {
    auto* out = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        ssize_t n = getrandom(out, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
            n = fd >= 0 ? read(fd, out, size) : -1;
            if (fd >= 0) close(fd);
        }
        if (n <= 0) {
            // No source of randomness at all: the clock, which still varies between runs.
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            uint64_t mix = uint64_t(now.tv_nsec) * 0x9E3779B97F4A7C15ull ^ uint64_t(now.tv_sec) ^ uint64_t(getpid());
            for (size_t i = 0; i < size; ++i, mix = mix * 6364136223846793005ull + 1442695040888963407ull)
                out[i] = static_cast<unsigned char>(mix >> 56);
            n = static_cast<ssize_t>(size);
        }
        out += n;
        size -= static_cast<size_t>(n);
    }
}

extern "C" uint32_t arc4random() {
    uint32_t value = 0;
    arc4random_buf(&value, sizeof value);
    return value;
}
