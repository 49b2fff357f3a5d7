// An application built outside the source tree against the installed library.
#include <nyr_host.h>
#include <toolkit/element.h>
#include <toolkit/nyr.h>

#include <cstdio>

int main() {
    qel_store_t* store = qel_host_store_open(nullptr);
    if (store == nullptr) return 1;
    qel_handle_t handle = qel_host_handle_open(store);
    toolkit::CNyr client(handle);
    api_status_t status = 0;
    int result = client.set_leaf("/installed/check", toolkit::CElement("ok"), status, 0, "");
    toolkit::CElement value;
    element_property_t property = 0;
    if (result == 0) result = client.get_leaf("/installed/check", status, value, property);
    std::string text;
    value.to_string(text);
    std::printf("installed library: result %d, status %d, value \"%s\"\n", result, status,
                text.c_str());
    qel_host_handle_close(handle);
    qel_host_store_close(store);
    return result == 0 && status == 1 && text == "ok" ? 0 : 1;
}
