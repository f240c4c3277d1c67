// fenwyd-bare-poll DEVICE SECONDS: the least a program can do to read the
// probe: "RD\r", 300 ms, read what came, 66 ms, again. No interpretation, no
// records. The benchmark holds the logger's CPU time against this.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fenwyd-bare-poll DEVICE SECONDS\n");
        return 2;
    }
    const int fd = open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        std::perror(argv[1]);
        return 3;
    }
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B9600);
    tcsetattr(fd, TCSANOW, &t);
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::seconds(std::atoi(argv[2]));
    long replies = 0;
    char buf[1024];
    while (Clock::now() < end) {
        if (write(fd, "RD\r", 3) != 3) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        bool got = false;
        while (read(fd, buf, sizeof buf) > 0) got = true;
        replies += got ? 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(66));
    }
    close(fd);
    std::printf("%ld\n", replies);
    return 0;
}
