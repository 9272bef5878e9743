// The served reader (kestro-virtual-reader) seen through the library, with
// the real clock:
// - SwipeToPendingRead: from the moment a swipe is sent to the program's
//   control socket to a pending ReadData returning the report (goal: median
//   under 1 ms).
// - ReadDataNoCardServedVsInProcess: ReadData without a card on a served
//   reader and on the in-process reader, and their ratio (goal: under 2),
//   with a 0 ms timeout (a bare poll) and the utility's 2 ms. A served poll
//   costs one poll() system call that the in-process reader does not make.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "kestro.h"
#include "kp/backend.h"
#include "kp/clock.h"
#include "kp/platform.h"
#include "kp/served.h"
#include "served/paths.h"
#include "served/protocol.h"
#include "reader_harness.h"
#include "vr/inprocess.h"

namespace {

using Clock = std::chrono::steady_clock;

void send_frame(int fd, served::Type type, const served::Bytes& body) {
    auto f = served::encode(type, body);
    (void)!send(fd, f.data(), f.size(), MSG_NOSIGNAL);
}

// Reads one whole message (the program answers at once).
void read_message(int fd) {
    served::Decoder d;
    served::Message m;
    uint8_t buf[2048];
    while (d.next(&m) != served::Decoder::Result::Ready) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            return;
        }
        d.feed(buf, static_cast<size_t>(n));
    }
}

// One served reader in a private runtime directory, with an open library
// session on it and a control connection of our own (the swipe is sent
// straight to the socket: the command process would be timed too).
class ServedReader {
  public:
    ServedReader() : reader_(runtime_.path(), "bench", "idtech") {
        const std::string dir = reader_.program().sockets_dir();
        if (reader_.started()) {
            control_ = vr::harness::Connect(served::control_socket(dir, "bench"));
        }
        if (control_ >= 0) {
            send_frame(control_, served::Type::Hello, served::encode_hello(served::Hello{}));
            read_message(control_);
        }
        kp::reset_platform();
        kp::register_backend(kp::make_served_backend(dir));
        SetID(MR_PID_IDTECH);
        ok_ = control_ >= 0 && OpenUSB() == 0;
        served::Swipe card;
        card[0].text = vr::harness::kCardA.track1;
        card[1].text = vr::harness::kCardA.track2;
        swipe_ = served::encode_swipe(card);
    }
    ~ServedReader() {
        CloseUSB();
        kp::reset_platform();
        if (control_ >= 0) {
            close(control_);
        }
    }

    bool ok() const { return ok_; }
    // Sends the swipe; its answer is read later, off the clock.
    void swipe() { send_frame(control_, served::Type::Swipe, swipe_); }
    void take_answer() { read_message(control_); }

  private:
    vr::harness::RuntimeDir runtime_;
    vr::harness::VirtualReader reader_;  // stopped before the directory goes
    int control_ = -1;
    bool ok_ = false;
    served::Bytes swipe_;
};

void BM_SwipeToPendingRead(benchmark::State& state) {
    ServedReader reader;
    if (!reader.ok()) {
        state.SkipWithError("the served reader did not start");
        return;
    }
    unsigned char buf[MR_READ_BUF_LEN];
    std::vector<double> latencies;
    for (auto _ : state) {
        Clock::time_point sent;
        // Runs inside ReadData's wait, once the read is pending.
        kp::clock_schedule_in(0, [&] {
            sent = Clock::now();
            reader.swipe();
        });
        int32_t rc = ReadData(buf, 1000, 0);
        auto done = Clock::now();
        if (rc != 0) {
            state.SkipWithError("ReadData did not get the card");
            break;
        }
        double s = std::chrono::duration<double>(done - sent).count();
        state.SetIterationTime(s);
        latencies.push_back(s * 1e6);
        reader.take_answer();
    }
    if (!latencies.empty()) {
        std::sort(latencies.begin(), latencies.end());
        state.counters["median_us"] = latencies[latencies.size() / 2];
        state.counters["p99_us"] = latencies[latencies.size() * 99 / 100];
    }
}
BENCHMARK(BM_SwipeToPendingRead)->UseManualTime()->Unit(benchmark::kMicrosecond);

struct Cost {
    double wall_ns = 0;
    double cpu_ns = 0;
};

double cpu_now_ns() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// Mean wall and CPU time of ReadData without a card over `calls` calls.
Cost poll_cost(int calls, int32_t timeout) {
    unsigned char buf[MR_READ_BUF_LEN];
    ReadData(buf, timeout, 0);  // warm up
    auto start = Clock::now();
    double cpu = cpu_now_ns();
    for (int i = 0; i < calls; ++i) {
        benchmark::DoNotOptimize(ReadData(buf, timeout, 0));
    }
    Cost c;
    c.wall_ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / calls;
    c.cpu_ns = (cpu_now_ns() - cpu) / calls;
    return c;
}

// Arg: ReadData's timeout in ms (0 polls; the utility polls with 2).
void BM_ReadDataNoCardServedVsInProcess(benchmark::State& state) {
    const auto timeout = static_cast<int32_t>(state.range(0));
    const int calls = timeout == 0 ? 2000 : 20;
    Cost served;
    Cost inprocess;
    {
        ServedReader reader;
        if (!reader.ok()) {
            state.SkipWithError("the served reader did not start");
            return;
        }
        for (auto _ : state) {
            Cost c = poll_cost(calls, timeout);
            served.wall_ns += c.wall_ns;
            served.cpu_ns += c.cpu_ns;
        }
    }
    kp::reset_platform();
    auto reader = vr::InProcessReader::plug_new(vr::Mode::Idtech);
    SetID(MR_PID_IDTECH);
    if (OpenUSB() != 0) {
        state.SkipWithError("OpenUSB failed");
        return;
    }
    for (int i = 0; i < static_cast<int>(state.iterations()); ++i) {
        Cost c = poll_cost(calls, timeout);
        inprocess.wall_ns += c.wall_ns;
        inprocess.cpu_ns += c.cpu_ns;
    }
    CloseUSB();
    kp::reset_platform();
    auto n = static_cast<double>(state.iterations());
    state.counters["served_us"] = served.wall_ns / n / 1000;
    state.counters["inproc_us"] = inprocess.wall_ns / n / 1000;
    state.counters["ratio"] = served.wall_ns / inprocess.wall_ns;
    state.counters["cpu_ratio"] = served.cpu_ns / inprocess.cpu_ns;
}
BENCHMARK(BM_ReadDataNoCardServedVsInProcess)
    ->Arg(0)
    ->Arg(2)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
