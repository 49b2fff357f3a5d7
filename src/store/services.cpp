// CNyr process services: watchdog, verbosity, system log and UUIDs of the store library, and
// HMAC texts computed with OpenSSL.
#include <toolkit/nyr.h>

#include <climits>

#ifdef TOOLKIT_HAVE_OPENSSL
#include <openssl/evp.h>
#include <openssl/hmac.h>
#endif

namespace toolkit {

namespace {

// The system log takes an empty text as absent.
const char* text_or_null(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
}

constexpr uint32_t kUuidBufferBytes = 37;  // 36 characters and the store's terminating NUL

}  // namespace

int CNyr::watchdog_register(api_status_t& status, const std::string& text, unsigned int number,
                            bool flag) {
    if (_handle == nullptr) return -1;
    return qel_watchdog_register(_handle, &status, text.c_str(), number, flag);
}

int CNyr::watchdog_ping(api_status_t& status) {
    if (_handle == nullptr) return -1;
    return qel_watchdog_ping(_handle, &status);
}

int CNyr::watchdog_clear(api_status_t& status) {
    if (_handle == nullptr) return -1;
    return qel_watchdog_clear(_handle, &status);
}

int CNyr::set_verbosity(nyrverb_thread_t thread, unsigned int level, const std::string& text,
                        api_status_t& status) {
    if (_handle == nullptr) return -1;
    return qel_set_verbosity(_handle, thread, level, text.c_str(), &status);
}

int CNyr::syslog_add(const std::string& first, syslog_severity_t severity,
                     const std::string& second, const std::string& third) {
    if (_handle == nullptr) return -1;
    return qel_syslog_add(_handle, text_or_null(first), severity, text_or_null(second),
                          text_or_null(third));
}

int CNyr::create_hmac(const std::string& key, const std::string& data, std::string& out,
                      unsigned int length) {
#ifdef TOOLKIT_HAVE_OPENSSL
    constexpr unsigned int kDigestBytes = 20;  // SHA-1
    if (length == 0 || length > kDigestBytes) return -1;
    if (key.size() > static_cast<std::size_t>(INT_MAX)) return -1;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digest_length = 0;
    if (HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()),
             reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest,
             &digest_length) == nullptr ||
        digest_length < kDigestBytes) {
        return -1;
    }
    // Two lowercase hex digits per byte; only the first `length` digits are kept, so at most the
    // first `length` / 2 + 1 digest bytes are read.
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(length);
    for (unsigned int i = 0; text.size() < length; ++i) {
        text.push_back(kHex[digest[i] >> 4]);
        if (text.size() < length) text.push_back(kHex[digest[i] & 0x0F]);
    }
    out = text;
    return 0;
#else
    (void)key;
    (void)data;
    (void)out;
    (void)length;
    return -1;
#endif
}

int CNyr::create_uuid(const std::string& text, std::string& out) {
    char buffer[kUuidBufferBytes] = {};
    const int result = qel_create_uuid(text.c_str(), buffer, kUuidBufferBytes);
    if (result != 0) return result;
    out.assign(buffer, kUuidBufferBytes);
    return 0;
}

}  // namespace toolkit
