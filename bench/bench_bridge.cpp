// nyr-bridge against a bare libmosquitto publisher, both through one mosquitto broker to one
// subscriber in this process: events per second, latency (median, 99th percentile), and a birth of
// 100,000 leaves with the bytes it puts on the broker.
#ifdef TOOLKIT_BENCH_BRIDGE

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "bench_support.h"
#include "payloads.h"

using Clock = std::chrono::steady_clock;

namespace {

pid_t spawn_quiet(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&quiet);
    return pid;
}

void end(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

int free_port() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
}

// An MQTT client of this process: counts what arrives on its subscriptions, and publishes.
struct Client {
    explicit Client(int port, const char* id) : mosq(mosquitto_new(id, true, this)) {
        mosquitto_max_inflight_messages_set(mosq, 1024);
        mosquitto_message_callback_set(
            mosq, [](mosquitto*, void* self, const mosquitto_message* m) {
                auto* client = static_cast<Client*>(self);
                client->bytes += static_cast<std::size_t>(m->payloadlen) + std::strlen(m->topic);
                client->received.fetch_add(1);
            });
        mosquitto_connect_callback_set(mosq, [](mosquitto*, void* self, int) {
            static_cast<Client*>(self)->connected = true;
        });
        mosquitto_subscribe_callback_set(mosq, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<Client*>(self)->subscribed.fetch_add(1);
        });
        for (int i = 0; i < 200 && mosquitto_connect(mosq, "127.0.0.1", port, 30) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        mosquitto_loop_start(mosq);
        wait([this] { return connected.load(); });
    }
    ~Client() {
        mosquitto_disconnect(mosq);
        mosquitto_loop_stop(mosq, false);
        mosquitto_destroy(mosq);
    }
    void subscribe(const std::string& filter) {
        const int before = subscribed.load();
        mosquitto_subscribe(mosq, nullptr, filter.c_str(), 1);
        wait([&] { return subscribed.load() > before; });
    }
    template <typename Ready>
    static bool wait(Ready ready, double seconds = 30) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(int(seconds * 1000));
        while (!ready()) {
            if (Clock::now() > deadline) return false;
            std::this_thread::yield();
        }
        return true;
    }
    mosquitto* mosq;
    std::atomic<bool> connected{false};
    std::atomic<int> subscribed{0};
    std::atomic<long> received{0};
    std::atomic<std::size_t> bytes{0};
};

// A broker, a nyrd, and nyr-bridge publishing /bench of that nyrd, for the whole program.
struct Setup {
    Setup() : port(free_port()) {
        mosquitto_lib_init();
        std::ofstream(daemon.dir + "/mosquitto.conf")
            << "listener " << port << " 127.0.0.1\nallow_anonymous true\n"
            << "max_queued_messages 0\nmax_inflight_messages 0\n"
            << (getuid() == 0 ? "user root\n" : "");
        broker = spawn_quiet({TOOLKIT_BENCH_MOSQUITTO, "-c", daemon.dir + "/mosquitto.conf"});
        bridge = spawn_quiet({TOOLKIT_BENCH_BRIDGE, "--socket", daemon.socket, "publish",
                              "--broker", "mqtt://127.0.0.1:" + std::to_string(port), "--device",
                              "bench", "/bench"});
        subscriber = std::make_unique<Client>(port, "bench-subscriber");
        subscriber->subscribe("nyr/v1/bench/events/#");
        subscriber->subscribe("bare/#");
        // The bridge is ready once an event sent comes through.
        Client::wait([&] {
            send(1);
            return subscriber->received.load() > 0;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    ~Setup() {
        subscriber.reset();
        end(bridge);
        end(broker);
        std::remove((daemon.dir + "/mosquitto.conf").c_str());
    }
    static toolkit::CEvent alarm(int i) {
        toolkit::CEvent event(0x8);
        event.path = "/bench/boiler";
        event.note = "pressure high";
        event.sequence_id = static_cast<uint32_t>(i);
        return event;
    }
    void send(int n) {
        std::vector<toolkit::CEvent> batch;
        for (int i = 0; i < n; ++i) batch.push_back(alarm(i));
        std::vector<api_status_t> statuses;
        sender.events_send(batch, statuses);
    }
    benchsupport::Daemon daemon;
    int port;
    pid_t broker = -1;
    pid_t bridge = -1;
    qel_handle_t handle = qel_host_connect(daemon.socket.c_str());
    toolkit::CNyr sender{handle};
    std::unique_ptr<Client> subscriber;
};

Setup& setup() {
    static Setup instance;
    return instance;
}

constexpr int kStream = 5000;
// Events under way at most, for both publishers: the store's queue for the bridge holds 4096
// events, and past it drops the oldest (which the bridge answers with a new birth).
constexpr long kUnderWay = 1000;

// Waits until fewer than kUnderWay of the events published so far are still on their way.
void pace(Client& subscriber, long first, long published) {
    Client::wait([&] { return published - (subscriber.received.load() - first) < kUnderWay; });
}

void BM_Bridge_EventsThroughBroker(benchmark::State& state) {
    Setup& s = setup();
    for (auto _ : state) {
        const long first = s.subscriber->received.load();
        const long target = first + kStream;
        for (int i = 0; i < kStream; i += 100) {
            pace(*s.subscriber, first, i);
            s.send(100);
        }
        if (!Client::wait([&] { return s.subscriber->received.load() >= target; }))
            state.SkipWithError("events did not arrive");
    }
    state.SetItemsProcessed(state.iterations() * kStream);
}
BENCHMARK(BM_Bridge_EventsThroughBroker)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baseline: the same payloads published by libmosquitto itself at QoS 1.
void BM_BarePublisher_EventsThroughBroker(benchmark::State& state) {
    Setup& s = setup();
    Client publisher(s.port, "bench-bare");
    std::vector<std::string> payloads;
    for (int i = 0; i < kStream; ++i)
        payloads.push_back(nyr_bridge::event_payload(Setup::alarm(i)));
    for (auto _ : state) {
        const long first = s.subscriber->received.load();
        const long target = first + kStream;
        for (int i = 0; i < kStream; ++i) {
            if (i % 100 == 0) pace(*s.subscriber, first, i);
            mosquitto_publish(publisher.mosq, nullptr, "bare/events/bench/boiler",
                              static_cast<int>(payloads[i].size()), payloads[i].data(), 1, false);
        }
        if (!Client::wait([&] { return s.subscriber->received.load() >= target; }))
            state.SkipWithError("events did not arrive");
    }
    state.SetItemsProcessed(state.iterations() * kStream);
}
BENCHMARK(BM_BarePublisher_EventsThroughBroker)->Unit(benchmark::kMillisecond)->UseRealTime();

// One event at a time, from the call to its arrival; median and 99th percentile as counters.
template <typename Publish>
void latency(benchmark::State& state, Publish publish) {
    Setup& s = setup();
    std::vector<double> micros;
    for (auto _ : state) {
        const long target = s.subscriber->received.load() + 1;
        const auto start = Clock::now();
        publish();
        Client::wait([&] { return s.subscriber->received.load() >= target; });
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
}

void BM_Bridge_Latency(benchmark::State& state) {
    latency(state, [] { setup().send(1); });
}
BENCHMARK(BM_Bridge_Latency)->Iterations(500)->UseRealTime();

void BM_BarePublisher_Latency(benchmark::State& state) {
    Client publisher(setup().port, "bench-bare");
    const std::string payload = nyr_bridge::event_payload(Setup::alarm(1));
    latency(state, [&] {
        mosquitto_publish(publisher.mosq, nullptr, "bare/events/bench/boiler",
                          static_cast<int>(payload.size()), payload.data(), 1, false);
    });
}
BENCHMARK(BM_BarePublisher_Latency)->Iterations(500)->UseRealTime();

// What the bridge's path adds before the broker: an event from events_send to events_get of
// another client of the same nyrd.
void BM_StoreHop_Latency(benchmark::State& state) {
    Setup& s = setup();
    const qel_handle_t handle = qel_host_connect(s.daemon.socket.c_str());
    toolkit::CNyr watcher(handle);
    api_status_t status = 0;
    watcher.event_register("/hop", 0x8, true, status);
    std::vector<toolkit::CEvent> batch{Setup::alarm(1)};
    batch[0].path = "/hop/boiler";
    std::vector<api_status_t> statuses;
    std::vector<toolkit::CEvent> got;
    std::vector<double> micros;
    for (auto _ : state) {
        const auto start = Clock::now();
        s.sender.events_send(batch, statuses);
        while (watcher.events_get(got) <= 0) {
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    qel_host_disconnect(handle);
}
BENCHMARK(BM_StoreHop_Latency)->Iterations(500)->UseRealTime();

// The 100,000 leaves of the birth benchmarks, written once.
const std::vector<std::string>& birth_leaves() {
    static const std::vector<std::string> paths = [] {
        Setup& s = setup();
        const std::vector<std::string> all = benchsupport::batch_paths(100000);
        std::vector<api_status_t> statuses;
        for (std::size_t first = 0; first < all.size(); first += 8192) {
            const std::size_t end = std::min(all.size(), first + 8192);
            std::vector<std::string> part(all.begin() + first, all.begin() + end);
            std::vector<toolkit::CElement> values;
            for (std::size_t i = first; i < end; ++i) values.emplace_back(double(i) / 7);
            s.sender.set_leaves(part, values, std::vector<qel_tribool_t>(part.size(), 0), statuses,
                                "bench");
        }
        return all;
    }();
    return paths;
}

// Runs `publish` and times it until the watcher on `filter` has `count` messages; the bytes
// are the topics and payloads as the subscriber receives them.
template <typename Publish>
void birth(benchmark::State& state, const std::string& filter, long count, Publish publish) {
    Setup& s = setup();
    birth_leaves();
    Client watcher(s.port, "bench-birth");
    watcher.subscribe(filter);
    for (auto _ : state) {
        watcher.received = 0;
        watcher.bytes = 0;
        const auto start = Clock::now();
        publish();
        if (!Client::wait([&] { return watcher.received.load() >= count; }, 60))
            state.SkipWithError("the birth did not arrive");
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        state.counters["broker_bytes"] = static_cast<double>(watcher.bytes.load());
    }
}

// A bridge started on 100,000 leaves, until its status says online.
void BM_Bridge_Birth100k(benchmark::State& state) {
    Setup& s = setup();
    pid_t bridge = -1;
    birth(state, "nyr/v1/big/#", 100001, [&] {
        bridge = spawn_quiet({TOOLKIT_BENCH_BRIDGE, "--socket", s.daemon.socket, "publish",
                              "--broker", "mqtt://127.0.0.1:" + std::to_string(s.port), "--device",
                              "big", "/bench"});
    });
    end(bridge);
}
BENCHMARK(BM_Bridge_Birth100k)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The baseline: the same 100,001 retained messages from a bare publisher that has them ready.
void BM_BarePublisher_Birth100k(benchmark::State& state) {
    Setup& s = setup();
    std::vector<std::pair<std::string, std::string>> messages;
    const std::vector<std::string>& paths = birth_leaves();
    for (std::size_t i = 0; i < paths.size(); ++i)
        messages.emplace_back("bare-birth/state" + paths[i],
                              nyr_bridge::leaf_payload(toolkit::CElement(double(i) / 7), 0));
    messages.emplace_back("bare-birth/status", nyr_bridge::online_payload(timeval{1, 0}));
    Client publisher(s.port, "bench-bare-birth");
    birth(state, "bare-birth/#", 100001, [&] {
        for (const auto& [topic, payload] : messages)
            mosquitto_publish(publisher.mosq, nullptr, topic.c_str(),
                              static_cast<int>(payload.size()), payload.data(), 1, true);
    });
}
BENCHMARK(BM_BarePublisher_Birth100k)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

#endif  // TOOLKIT_BENCH_BRIDGE
