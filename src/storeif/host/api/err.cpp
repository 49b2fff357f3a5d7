// Error reports: formatted once, then handed to the installed sink or written to stderr.
#include <cstdarg>
#include <cstdio>
#include <string>

#include "core/mutex.h"
#include "nyr_host.h"

namespace {

struct ErrSink {
    nyrhost::Mutex mutex;  // one report at a time, and a consistent sink and context
    qel_host_err_sink_t sink GUARDED_BY(mutex) = nullptr;
    void* context GUARDED_BY(mutex) = nullptr;
};

ErrSink& err_sink() {
    static ErrSink* instance = new ErrSink();  // never destroyed: usable during exit
    return *instance;
}

}  // namespace

extern "C" {

void qel_host_set_err_sink(qel_host_err_sink_t sink, void* context) {
    ErrSink& target = err_sink();
    nyrhost::MutexLock lock(target.mutex);
    target.sink = sink;
    target.context = context;
}

void qel_err(int code, const char* format, ...) {
    std::string text;
    if (format) {
        va_list args;
        va_start(args, format);
        va_list again;
        va_copy(again, args);
        const int needed = std::vsnprintf(nullptr, 0, format, args);
        va_end(args);
        if (needed > 0) {
            text.resize(static_cast<std::size_t>(needed) + 1);
            std::vsnprintf(&text[0], text.size(), format, again);
            text.resize(static_cast<std::size_t>(needed));
        }
        va_end(again);
    }
    ErrSink& target = err_sink();
    nyrhost::MutexLock lock(target.mutex);
    if (target.sink)
        target.sink(target.context, code, text.c_str());
    else
        std::fprintf(stderr, "nyr error %d: %s\n", code, text.c_str());
}

}  // extern "C"
