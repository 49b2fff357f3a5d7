// Error reports: formatted once, then handed to the installed sink or written to stderr.
#include <cstdarg>
#include <cstdio>

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
    // A report longer than this is cut: it is for a person, and needs no memory to be made.
    char text[4096] = "";
    if (format) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
    }
    ErrSink& target = err_sink();
    nyrhost::MutexLock lock(target.mutex);
    if (target.sink)
        target.sink(target.context, code, text);
    else
        std::fprintf(stderr, "nyr error %d: %s\n", code, text);
}

}  // extern "C"
