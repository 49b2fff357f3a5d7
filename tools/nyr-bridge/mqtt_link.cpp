// The libmosquitto connection: options, callbacks into a queue, reconnection with back-off.
#include "mqtt_link.h"

#include <mosquitto.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "tool_error.h"

namespace nyr_bridge {

namespace {

// libmosquitto keeps a process-wide state; it is set up once and never torn down, since the
// process ends soon after its last connection does.
void initialise_library() {
    static const bool done = [] {
        mosquitto_lib_init();
        return true;
    }();
    (void)done;
}

std::string read_password(const std::string& file) {
    std::ifstream in(file);
    std::string password;
    if (!in || !std::getline(in, password))
        throw nyr_tool::refused(file + ": the password file cannot be read");
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
}

void check(int rc, const std::string& what) {
    if (rc != MOSQ_ERR_SUCCESS) throw nyr_tool::refused(what + ": " + mosquitto_strerror(rc));
}

}  // namespace

BrokerAddress parse_broker_url(const std::string& url) {
    BrokerAddress address;
    std::string rest;
    if (url.rfind("mqtt://", 0) == 0) {
        rest = url.substr(7);
    } else if (url.rfind("mqtts://", 0) == 0) {
        rest = url.substr(8);
        address.tls = true;
        address.port = 8883;
    } else {
        throw nyr_tool::usage_error("--broker \"" + url +
                                    "\": give mqtt://HOST:PORT or mqtts://HOST:PORT");
    }
    const std::size_t colon = rest.rfind(':');
    address.host = rest.substr(0, colon);
    if (colon != std::string::npos) {
        const std::string port = rest.substr(colon + 1);
        char* end = nullptr;
        const long number = std::strtol(port.c_str(), &end, 10);
        if (port.empty() || *end != '\0' || number < 1 || number > 65535)
            throw nyr_tool::usage_error("--broker \"" + url + "\": the port is 1 to 65535");
        address.port = static_cast<int>(number);
    }
    if (address.host.empty()) throw nyr_tool::usage_error("--broker \"" + url + "\": no host");
    return address;
}

MqttLink::MqttLink(const BrokerOptions& options, const std::string& will_topic,
                   const std::string& will_payload) {
    initialise_library();
    const BrokerAddress address = parse_broker_url(options.url);
    _broker = address.host + ":" + std::to_string(address.port);
    _client = mosquitto_new(options.client_id.c_str(), true, this);
    if (_client == nullptr) throw nyr_tool::refused("the MQTT client cannot be made");
    check(mosquitto_int_option(_client, MOSQ_OPT_PROTOCOL_VERSION,
                               options.protocol == 5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311),
          "protocol version");
    // The bridge keeps its own window of unacknowledged messages; libmosquitto may send all of
    // them at once.
    mosquitto_max_inflight_messages_set(_client, 1024);
    mosquitto_reconnect_delay_set(_client, 1, 30, true);  // 1 s, doubling, at most 30 s
    if (address.tls) {
        if (options.cafile.empty()) throw nyr_tool::usage_error("mqtts needs --cafile");
        check(mosquitto_tls_set(_client, options.cafile.c_str(), nullptr,
                                options.cert.empty() ? nullptr : options.cert.c_str(),
                                options.key.empty() ? nullptr : options.key.c_str(), nullptr),
              "TLS");
    } else if (!options.cafile.empty() || !options.cert.empty() || !options.key.empty()) {
        throw nyr_tool::usage_error("--cafile, --cert and --key need an mqtts:// broker");
    }
    if (!options.username.empty()) {
        const std::string password =
            options.password_file.empty() ? std::string() : read_password(options.password_file);
        check(mosquitto_username_pw_set(_client, options.username.c_str(),
                                        options.password_file.empty() ? nullptr : password.c_str()),
              "credentials");
    } else if (!options.password_file.empty()) {
        throw nyr_tool::usage_error("--password-file needs --username");
    }
    if (!will_topic.empty())
        check(mosquitto_will_set(_client, will_topic.c_str(), static_cast<int>(will_payload.size()),
                                 will_payload.data(), 1, true),
              "last will");
    mosquitto_connect_callback_set(_client, on_connect);
    mosquitto_disconnect_callback_set(_client, on_disconnect);
    mosquitto_publish_callback_set(_client, on_publish);
    mosquitto_message_callback_set(_client, on_message);
    _host = address.host;
    _port = address.port;
    start();
}

void MqttLink::start() {
    // A broker that cannot be reached yet is no failure: it is tried again with back-off. Once a
    // connection was set up, libmosquitto's network thread reconnects by itself.
    const int rc = mosquitto_connect_async(_client, _host.c_str(), _port, 30);
    if (rc == MOSQ_ERR_INVAL)
        throw nyr_tool::usage_error("--broker: " + std::string(mosquitto_strerror(rc)));
    if (rc != MOSQ_ERR_SUCCESS) {
        if (_retry_delay == std::chrono::milliseconds(0))
            std::fprintf(stderr, "nyr-bridge: broker %s not reachable yet (%s); retrying\n",
                         _broker.c_str(), mosquitto_strerror(rc));
        _retry_delay = std::min(std::max(_retry_delay * 2, std::chrono::milliseconds(250)),
                                std::chrono::milliseconds(30000));
        _retry_at = std::chrono::steady_clock::now() + _retry_delay;
        return;
    }
    check(mosquitto_loop_start(_client), "network thread");
    _running = true;
}

MqttLink::~MqttLink() {
    disconnect();
    mosquitto_destroy(_client);
}

void MqttLink::disconnect() {
    if (_stopped) return;
    _stopped = true;
    if (!_running) return;
    mosquitto_disconnect(_client);
    mosquitto_loop_stop(_client, false);  // the thread ends once DISCONNECT is sent
}

bool MqttLink::publish(const std::string& topic, const std::string& payload, int qos, bool retain,
                       int* mid) {
    return mosquitto_publish(_client, mid, topic.c_str(), static_cast<int>(payload.size()),
                             payload.data(), qos, retain) == MOSQ_ERR_SUCCESS;
}

bool MqttLink::subscribe(const std::string& pattern, int qos) {
    return mosquitto_subscribe(_client, nullptr, pattern.c_str(), qos) == MOSQ_ERR_SUCCESS;
}

LinkNews MqttLink::take(std::chrono::milliseconds wait) {
    if (!_running && !_stopped && std::chrono::steady_clock::now() >= _retry_at) start();
    std::unique_lock<std::mutex> lock(_mutex);
    auto pending = [this] {
        return _news.connections != 0 || _news.disconnected || !_news.acked.empty() ||
               !_news.messages.empty();
    };
    if (wait.count() > 0) _changed.wait_for(lock, wait, pending);
    LinkNews news = std::move(_news);
    _news = LinkNews();
    return news;
}

void MqttLink::notify() {
    _changed.notify_one();
}

void MqttLink::on_connect(mosquitto*, void* self, int rc) {
    auto* link = static_cast<MqttLink*>(self);
    if (rc != 0) {
        std::fprintf(stderr, "nyr-bridge: broker %s refused the connection: %s\n",
                     link->_broker.c_str(), mosquitto_connack_string(rc));
        return;
    }
    {
        std::lock_guard<std::mutex> lock(link->_mutex);
        link->_connected = true;
        ++link->_news.connections;
    }
    link->notify();
}

void MqttLink::on_disconnect(mosquitto*, void* self, int) {
    auto* link = static_cast<MqttLink*>(self);
    {
        std::lock_guard<std::mutex> lock(link->_mutex);
        link->_connected = false;
        link->_news.disconnected = true;
    }
    link->notify();
}

void MqttLink::on_publish(mosquitto*, void* self, int mid) {
    auto* link = static_cast<MqttLink*>(self);
    {
        std::lock_guard<std::mutex> lock(link->_mutex);
        link->_news.acked.push_back(mid);
    }
    link->notify();
}

void MqttLink::on_message(mosquitto*, void* self, const mosquitto_message* message) {
    auto* link = static_cast<MqttLink*>(self);
    {
        std::lock_guard<std::mutex> lock(link->_mutex);
        Received received{message->topic, std::string(), message->retain};
        if (message->payloadlen > 0)
            received.payload.assign(static_cast<const char*>(message->payload),
                                    static_cast<std::size_t>(message->payloadlen));
        link->_news.messages.push_back(std::move(received));
    }
    link->notify();
}

}  // namespace nyr_bridge
