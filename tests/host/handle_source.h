// Where the tests of the host store get their handles. In process by default; when the test
// program runs with NYR_TEST_REMOTE=1, every handle is a remote one, connected to a listener that
// serves the test's store on a socket of its own, so that each test going through handles checks
// the remote handles against the very same expectations.
#ifndef TESTS_HOST_HANDLE_SOURCE_H
#define TESTS_HOST_HANDLE_SOURCE_H

#include <nyr_host.h>

namespace storetest {

// True when the handles are remote (NYR_TEST_REMOTE=1).
bool remote_handles();

// A handle on `store`: qel_host_handle_open, or a connection to the store's listener, started
// with the first one.
qel_handle_t open_handle(qel_store_t* store);

// Stops the store's listener, if any, and closes the store.
void close_store(qel_store_t* store);

}  // namespace storetest

#endif  // TESTS_HOST_HANDLE_SOURCE_H
