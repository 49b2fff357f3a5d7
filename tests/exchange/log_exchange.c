/*
 * An event log file written on one machine and read on another: the device and the PC may hand
 * each other a log file, whatever their byte orders. Built for both, the same program writes a
 * file with a fixed set of events on one side and checks it on the other.
 *
 *   log_exchange write FILE   replaces FILE with a log holding the events below
 *   log_exchange read FILE    exits 0 when FILE's log holds exactly those events, in order
 *
 * It uses the store's C interface only. Events are compared through serialize_event(), whose
 * encoding covers every field that an event's kind carries, so any field that came back changed
 * shows up as different bytes.
 */
#include <nyr_host.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define EVENT_COUNT 6

static _byte_array_t text(const char* s) {
    _byte_array_t b = {(char*)s, (uint32_t)strlen(s)};
    return b;
}

/* The events: one of each layout (severity, alarm with lists, final, plain generic), carrying
 * between them every value type, with fields whose bytes differ so that a swapped or shifted
 * field cannot pass unnoticed. */
static void build_events(_event_t events[EVENT_COUNT]) {
    static char blob[] = {'\x00', '\x01', '\xfe', '\xff', '\x00', '\x7f'};
    static _byte_array_t urls[2], keys[2], values[2];
    urls[0] = text("file:///wave/1");
    urls[1] = text("");
    keys[0] = text("unit");
    values[0] = text("bar");
    keys[1] = text("limit|max\\");
    values[1] = text("12.5");

    memset(events, 0, sizeof(_event_t) * EVENT_COUNT);
    for (int i = 0; i < EVENT_COUNT; ++i) {
        _event_t* e = &events[i];
        e->path = text(i % 2 ? "/plant/pump/pressure" : "/plant/valve");
        e->cmd = 0x01020300 + i;
        e->source = text("device|logger|\xc3\xa4");
        e->event_time.tv_sec = 1700000000 + i;
        e->event_time.tv_usec = 123456 + i;
        e->cause = -0x10203 - i;
        e->value.timestamp.tv_sec = 1600000000 + i;
        e->value.timestamp.tv_usec = 654321;
        e->type = 0x04; /* generic */
        e->quality = (uint16_t)(0xbe00 + i);
        e->description = text("pressure high");
        e->event_id = 0x0123456789abcdefULL + (uint64_t)i;
        e->sequence_id = 0xfedcba98u - (uint32_t)i;
    }
    events[0].type = QEL_EVENT_SEVERITY_KIND;
    events[0].severity = -0x01020304;
    events[0].value.type = DATATYPE_FLOAT;
    events[0].value.value.float_value = -1.0625e300;

    events[1].type = 0x10; /* an alarm that is acknowledged */
    events[1].was_logged = 1;
    events[1].value.type = DATATYPE_INT64;
    events[1].value.value.int64_value = -0x0123456789abcdefLL;
    events[1].waveform_urls = urls;
    events[1].waveform_url_count = 2;
    events[1].detail_keys = keys;
    events[1].detail_values = values;
    events[1].detail_count = 2;
    events[1].ack_status = -2;
    events[1].base_priority = 0x80000001u;
    events[1].condition_raised = 1;
    events[1].note = text("seen by the operator");
    events[1].auto_close = 1;
    events[1].variation_level = -0x0a0b0c0d;

    events[2].type = QEL_EVENT_FINAL_KIND;
    events[2].final = 1;
    events[2].value.type = DATATYPE_STRING;
    events[2].value.value.string_value = text("\xc3\xa4 | \\ end");

    events[3].value.type = DATATYPE_BLOB;
    events[3].value.value.blob_value.data = blob;
    events[3].value.value.blob_value.length = sizeof blob;

    events[4].value.type = DATATYPE_COMPLEX;
    events[4].value.value.complex_value.real = 1.5;
    events[4].value.value.complex_value.imag = -2.75e-300;

    events[5].value.type = DATATYPE_UINT64;
    events[5].value.value.uint64_value = 0xfedcba9876543210ULL;
}

/* The event's encoding in buf; its length, or 0 when it cannot be encoded. */
static uint32_t encode(const _event_t* e, char* buf, uint32_t size) {
    _byte_array_t out = {buf, size};
    return serialize_event(&out, *e) == 0 ? out.length : 0;
}

static int write_log(const char* file, const _event_t* events) {
    char side_file[4096];
    unlink(file);
    snprintf(side_file, sizeof side_file, "%s-wal", file);
    unlink(side_file);
    snprintf(side_file, sizeof side_file, "%s-shm", file);
    unlink(side_file);
    qel_store_t* store = qel_host_store_open(file);
    if (store == NULL) return fprintf(stderr, "cannot create the log %s\n", file), 1;
    qel_handle_t handle = qel_host_handle_open(store);
    const int result = qel_log_store(handle, events, EVENT_COUNT, false);
    qel_host_store_close(store);
    if (result != 0) return fprintf(stderr, "storing the events failed: %d\n", result), 1;
    printf("%d events written to %s\n", EVENT_COUNT, file);
    return 0;
}

static int read_log(const char* file, const _event_t* expected) {
    qel_store_t* store = qel_host_store_open(file);
    if (store == NULL) return fprintf(stderr, "cannot open the log %s\n", file), 1;
    qel_handle_t handle = qel_host_handle_open(store);
    _event_t* records = NULL;
    uint32_t count = 0;
    int failures = 0;
    const int result = qel_log_retrieve(handle, &records, &count, NULL, NULL, NULL, 0, false, 0);
    if (result != 0 || count != EVENT_COUNT) {
        fprintf(stderr, "retrieving gave result %d and %u events, not %d\n", result, count,
                EVENT_COUNT);
        failures = 1;
    }
    for (uint32_t i = 0; i < count && i < EVENT_COUNT; ++i) {
        static char want[4096], got[4096];
        const uint32_t want_length = encode(&expected[i], want, sizeof want);
        const uint32_t got_length = encode(&records[i], got, sizeof got);
        if (want_length == 0 || want_length != got_length || memcmp(want, got, got_length) != 0) {
            fprintf(stderr, "event %u differs from the one written\n", i);
            failures = 1;
        }
    }
    for (uint32_t i = 0; i < count; ++i) destruct_event(&records[i]);
    free(records);
    qel_host_store_close(store);
    if (failures == 0) printf("%d events read back from %s as written\n", EVENT_COUNT, file);
    return failures;
}

int main(int argc, char** argv) {
    _event_t events[EVENT_COUNT];
    build_events(events);
    if (argc == 3 && strcmp(argv[1], "write") == 0) return write_log(argv[2], events);
    if (argc == 3 && strcmp(argv[1], "read") == 0) return read_log(argv[2], events);
    fprintf(stderr, "usage: %s write|read FILE\n", argv[0]);
    return 2;
}
