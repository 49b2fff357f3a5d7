// One connection to an MQTT broker through libmosquitto, whose network thread connects, keeps the
// connection and reconnects with back-off. Everything it learns (connected, disconnected, a
// publication acknowledged, a message received) is queued for the caller's thread, which takes
// it with take() and so never runs store calls on the network thread.
#ifndef NYR_BRIDGE_MQTT_LINK_H
#define NYR_BRIDGE_MQTT_LINK_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace nyr_bridge {

struct BrokerOptions {
    std::string url;  // mqtt://HOST:PORT or mqtts://HOST:PORT
    std::string cafile, cert, key;
    std::string username;
    std::string password_file;
    int protocol = 4;  // 4: MQTT 3.1.1, 5: MQTT 5
    std::string client_id;
};

// The host, port and TLS choice of a broker URL; throws a usage error for anything else.
struct BrokerAddress {
    std::string host;
    int port = 1883;
    bool tls = false;
};
BrokerAddress parse_broker_url(const std::string& url);

struct Received {
    std::string topic;
    std::string payload;
    bool retained;
};

// What happened on the connection since the last take().
struct LinkNews {
    int connections = 0;  // connections made (each one a new session with the broker)
    bool disconnected = false;
    std::vector<int> acked;  // message ids the broker acknowledged (or, QoS 0, that were sent)
    std::vector<Received> messages;
};

class MqttLink {
public:
    // Sets the connection up (TLS, credentials, the last will when `will_topic` is not empty) and
    // starts connecting. Throws a refusal when libmosquitto refuses an option (a missing CA file,
    // TLS not built in).
    MqttLink(const BrokerOptions& options, const std::string& will_topic,
             const std::string& will_payload);
    ~MqttLink();
    MqttLink(const MqttLink&) = delete;
    MqttLink& operator=(const MqttLink&) = delete;

    // Queues a publication; false when libmosquitto refuses it (not connected, too large). `mid`
    // receives its message id, which take() reports once the broker acknowledged it.
    bool publish(const std::string& topic, const std::string& payload, int qos, bool retain,
                 int* mid = nullptr);
    bool subscribe(const std::string& pattern, int qos);
    // Waits at most `wait` for news and hands back what happened since the last call.
    LinkNews take(std::chrono::milliseconds wait);
    // Disconnects cleanly (the broker then drops the last will) and stops the network thread.
    void disconnect();
    // True while a connection stands (as the network thread last saw it).
    bool connected() const { return _connected.load(); }
    // The broker as HOST:PORT, for source strings and messages.
    const std::string& broker() const { return _broker; }

private:
    static void on_connect(mosquitto*, void* self, int rc);
    static void on_disconnect(mosquitto*, void* self, int rc);
    static void on_publish(mosquitto*, void* self, int mid);
    static void on_message(mosquitto*, void* self, const mosquitto_message* message);
    void notify();
    // Sets the connection up, or schedules the next try when the broker cannot be reached.
    void start();

    mosquitto* _client = nullptr;
    std::string _broker;
    std::string _host;
    int _port = 0;
    bool _running = false;  // the network thread runs
    bool _stopped = false;
    std::chrono::milliseconds _retry_delay{0};
    std::chrono::steady_clock::time_point _retry_at;
    std::atomic<bool> _connected{false};
    std::mutex _mutex;
    std::condition_variable _changed;
    LinkNews _news;  // guarded by _mutex
};

}  // namespace nyr_bridge

#endif  // NYR_BRIDGE_MQTT_LINK_H
