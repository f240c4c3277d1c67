// The unattended logger as a service runs it: the real fenwyd8200
// --headless process against probe-sim processes, its CPU time from the
// system's accounting of the finished child (wait4), its resident memory
// from /proc, beside a bare polling loop in C++ and in Python on the same
// protocol; and the time from a reading to its arrival at an MQTT
// subscriber through a real mosquitto broker.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "bench.h"

namespace fenwyd::bench {

namespace {
constexpr int kShortRunS = 6;  // start-up, the first battery reading and the exit
constexpr int kLatencyRunS = 30;

struct Child {
    pid_t pid = -1;
    double cpuSeconds = 0;  // user + system, all threads, once reaped
    bool ok = false;
};

// Waits for the child to end by itself (up to timeoutS), then SIGTERM.
Child Reap(pid_t pid, double timeoutS) {
    Child c;
    c.pid = pid;
    const double end = Now() + timeoutS;
    int status = 0;
    rusage ru{};
    for (;;) {
        const pid_t r = wait4(pid, &status, WNOHANG, &ru);
        if (r == pid) break;
        if (Now() > end) {
            kill(pid, SIGTERM);
            wait4(pid, &status, 0, &ru);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    auto seconds = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
    c.cpuSeconds = seconds(ru.ru_utime) + seconds(ru.ru_stime);
    c.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return c;
}

// A probe-sim process; its device, or empty.
struct Sim {
    pid_t pid = -1;
    std::string device;
    bool start() {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return false;
        pid = Spawn(FENWYD_BENCH_PROBE_SIM, {"--model", "E"}, EnvironmentWith({}), out[1], -1);
        close(out[1]);
        const bool ok = pid > 0 && ReadLine(out[0], device, 5000) && !device.empty();
        close(out[0]);
        return ok;
    }
    ~Sim() { Stop(pid, 2000); }
};

MemoryStatus MemoryOf(pid_t pid) {
    MemoryStatus m;
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0) m.hwmKb = std::stol(line.substr(6));
        if (line.rfind("VmRSS:", 0) == 0) m.rssKb = std::stol(line.substr(6));
    }
    return m;
}

int CountReadings(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) n += line.rfind("reading,", 0) == 0 ? 1 : 0;
    return n;
}

// One program polling its own simulator for `seconds`: CPU time, and the
// memory near the end.
struct Run {
    Child child;
    MemoryStatus memory;
    int readings = 0;
};

enum class Program { Logger, BareCpp, BarePython };

// Starts the program for `seconds` on its own simulator; finish() waits.
struct Poller {
    Program program;
    int seconds;
    Sim sim;
    std::string output;
    pid_t pid = -1;
    double started = 0;
    int devNull = -1;

    bool start(const std::string& folder, const std::string& name) {
        if (!sim.start()) return false;
        output = folder + "/" + name + ".csv";
        devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
        const std::vector<std::string> env = EnvironmentWith({});
        const std::string secs = std::to_string(seconds);
        switch (program) {
            case Program::Logger:
                pid = Spawn(
                    FENWYD_BENCH_PROGRAM,
                    {"--headless", "--port", sim.device, "--output", output, "--duration", secs},
                    env, devNull, devNull);
                break;
            case Program::BareCpp:
                pid = Spawn(FENWYD_BENCH_BARE_POLL, {sim.device, secs}, env, devNull, devNull);
                break;
            case Program::BarePython: {
                // The system's Python itself, not a version manager's shim.
                std::string python = "/usr/bin/python3";
                if (access(python.c_str(), X_OK) != 0) {
                    python = QStandardPaths::findExecutable("python3").toStdString();
                }
                pid = Spawn(python, {FENWYD_BENCH_BARE_POLL_PY, sim.device, secs}, env, devNull,
                            devNull);
                break;
            }
        }
        started = Now();
        return pid > 0;
    }
    // Memory two seconds before the end, while it still reads.
    void waitNearEnd() const {
        while (Now() < started + seconds - 2) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    Run finish(const MemoryStatus& memory) {
        Run r;
        r.memory = memory;
        r.child = Reap(pid, seconds + 20.0);
        if (program == Program::Logger) r.readings = CountReadings(output);
        if (devNull >= 0) close(devNull);
        return r;
    }
};

std::string Mb(long kb) { return Num(kb / 1024.0, 1) + " MB"; }

// --------------------------------------------------------------- the broker

int FreeLocalPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    close(fd);
    return port;
}

bool Accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

std::string Exe(const char* name) {
    QString p = QStandardPaths::findExecutable(QString::fromLatin1(name));
    if (p.isEmpty()) {
        p = QStandardPaths::findExecutable(QString::fromLatin1(name), {"/usr/sbin", "/sbin"});
    }
    return p.toStdString();
}

double Percentile(std::vector<double> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

Figure LatencyFigure(const std::string& folder) {
    Figure f{"Publish latency, reading -> subscriber", "n/a", "report", ""};
    const std::string mosquitto = Exe("mosquitto"), sub = Exe("mosquitto_sub"),
                      pub = Exe("mosquitto_pub");
    if (mosquitto.empty() || sub.empty() || pub.empty()) {
        f.raw = "mosquitto or mosquitto-clients not installed";
        return f;
    }
    const int port = FreeLocalPort();
    const passwd* pw = getpwuid(getuid());
    {
        std::ofstream conf(folder + "/mosquitto.conf");
        conf << "listener " << port << " 127.0.0.1\nallow_anonymous true\nuser "
             << (pw ? pw->pw_name : "root") << "\n";
    }
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const std::vector<std::string> env = EnvironmentWith({});
    const pid_t broker =
        Spawn(mosquitto, {"-c", folder + "/mosquitto.conf"}, env, devNull, devNull);
    const double until = Now() + 10;
    while (!Accepts(port) && Now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string portText = std::to_string(port);
    const std::string received = folder + "/received.txt";
    const int receivedFd = open(received.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t subscriber =
        Spawn(sub, {"-h", "127.0.0.1", "-p", portText, "-q", "1", "-t", "bench/#", "-F", "%U %p"},
              env, receivedFd, devNull);
    // Subscribed once a message of our own comes back.
    for (int i = 0; i < 50; ++i) {
        const pid_t p =
            Spawn(pub, {"-h", "127.0.0.1", "-p", portText, "-t", "bench/hello", "-m", "hi"}, env,
                  devNull, devNull);
        int status = 0;
        waitpid(p, &status, 0);
        std::ifstream in(received);
        std::stringstream s;
        s << in.rdbuf();
        if (s.str().find("hi") != std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    Sim sim;
    if (!sim.start()) {
        f.raw = "probe-sim did not start";
    } else {
        const pid_t logger = Spawn(FENWYD_BENCH_PROGRAM,
                                   {"--headless", "--port", sim.device, "--output", "/dev/null",
                                    "--mqtt", "127.0.0.1:" + portText, "--topic", "bench",
                                    "--duration", std::to_string(kLatencyRunS)},
                                   env, devNull, devNull);
        const Child c = Reap(logger, kLatencyRunS + 20.0);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        std::vector<double> latencies;
        std::ifstream in(received);
        std::string line;
        while (std::getline(in, line)) {
            const auto space = line.find(' ');
            if (space == std::string::npos) continue;
            const QJsonObject r =
                QJsonDocument::fromJson(QByteArray::fromStdString(line.substr(space + 1))).object();
            if (r.value("kind").toString() != QLatin1String("reading")) continue;
            const double recvMs = std::stod(line.substr(0, space)) * 1000.0;
            const double madeMs = static_cast<double>(
                QDateTime::fromString(r.value("utc").toString(), Qt::ISODateWithMs)
                    .toMSecsSinceEpoch());
            latencies.push_back(recvMs - madeMs);
        }
        if (!c.ok || latencies.empty()) {
            f.raw = "the run did not complete";
        } else {
            f.value = Num(Median(latencies), 1) + " ms";
            f.raw = std::to_string(latencies.size()) + " readings over " +
                    std::to_string(kLatencyRunS) +
                    " s through mosquitto on 127.0.0.1 (QoS 1): " + "median " +
                    Num(Median(latencies), 2) + " ms, 95th percentile " +
                    Num(Percentile(latencies, 0.95), 2) + " ms, max " +
                    Num(*std::max_element(latencies.begin(), latencies.end()), 2) +
                    " ms; from the record's time (taken as the reply is interpreted, ms "
                    "resolution) to mosquitto_sub's receipt (%U); the reply itself waits the "
                    "probe's fixed 300 ms in the receive buffer before that; logger CPU " +
                    Num(c.cpuSeconds, 3) + " s for the whole " + std::to_string(kLatencyRunS) +
                    " s run with MQTT";
        }
    }
    Stop(subscriber, 2000);
    Stop(broker, 5000);
    close(receivedFd);
    close(devNull);
    return f;
}
}  // namespace

std::vector<Figure> BenchHeadless(int seconds) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    std::vector<Figure> failed = {
        {"Headless CPU per minute", "n/a", "<= bare script", "the run did not complete"},
        {"Headless resident memory", "n/a", "< 20 MB", "the run did not complete"}};

    // Each program runs twice, long and short, each on its own simulator;
    // the difference of the CPU times is the steady reading without
    // start-up and exit. The three programs run side by side.
    const Program programs[] = {Program::Logger, Program::BareCpp, Program::BarePython};
    const char* names[] = {"logger", "bare-cpp", "bare-python"};
    Run runs[3][2];
    for (int length = 0; length < 2; ++length) {
        const int s = length == 0 ? seconds + kShortRunS : kShortRunS;
        std::vector<std::unique_ptr<Poller>> pollers;
        for (int i = 0; i < 3; ++i) {
            pollers.push_back(std::make_unique<Poller>());
            pollers.back()->program = programs[i];
            pollers.back()->seconds = s;
            if (!pollers.back()->start(folder, names[i] + std::to_string(length))) return failed;
        }
        MemoryStatus memory[3];
        for (int i = 0; i < 3; ++i) {
            pollers[i]->waitNearEnd();
            memory[i] = MemoryOf(pollers[i]->pid);
        }
        for (int i = 0; i < 3; ++i) runs[i][length] = pollers[i]->finish(memory[i]);
    }
    for (int i = 0; i < 3; ++i) {
        if (!runs[i][0].child.ok) failed[0].raw = std::string(names[i]) + " did not end normally";
    }
    if (!runs[0][0].child.ok || !runs[1][0].child.ok) return failed;

    auto perMinute = [&](int i) {
        return (runs[i][0].child.cpuSeconds - runs[i][1].child.cpuSeconds) / seconds * 60.0;
    };
    const double logger = perMinute(0), cpp = perMinute(1), python = perMinute(2);
    const int readings = runs[0][0].readings - runs[0][1].readings;
    Figure cpu{
        "Headless CPU per minute", Num(logger, 3) + " s/min",
        "<= bare script (" + Num(python, 3) + ")",
        "fenwyd8200 --headless --format csv --output FILE: wait4() user+sys " +
            Num(runs[0][0].child.cpuSeconds, 3) + " s for " + std::to_string(seconds + kShortRunS) +
            " s less " + Num(runs[0][1].child.cpuSeconds, 3) + " s for " +
            std::to_string(kShortRunS) + " s (start-up, first battery reading, exit) = " +
            Num(logger, 3) + " s/min, " + std::to_string(readings) + " readings (" +
            Num(readings > 0 ? logger * seconds / 60.0 / readings * 1000.0 : 0, 3) +
            " ms each); the same for a bare RD/300 ms/read/66 ms loop: Python " + Num(python, 3) +
            " s/min, C++ " + Num(cpp, 3) + " s/min; each against its own probe-sim process"};
    const MemoryStatus& m = runs[0][0].memory;
    Figure memory{"Headless resident memory", Mb(m.rssKb), "< 20 MB",
                  "fenwyd8200 --headless VmRSS " + std::to_string(m.rssKb) + " kB, VmHWM " +
                      std::to_string(m.hwmKb) + " kB, 2 s before the end of the " +
                      std::to_string(seconds + kShortRunS) + " s run; bare loops: Python VmRSS " +
                      std::to_string(runs[2][0].memory.rssKb) + " kB, C++ " +
                      std::to_string(runs[1][0].memory.rssKb) + " kB"};
    return {cpu, memory, LatencyFigure(folder)};
}

}  // namespace fenwyd::bench
