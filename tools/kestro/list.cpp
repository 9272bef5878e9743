// kestro list: every interface with the reader's vendor id, its mode, node
// and access, then which modes answer through the library.
#include <cstdio>
#include <string>

#include "cli.h"
#include "json.h"
#include "kestro.h"
#include "node_access/node_access.h"
#include "nodes.h"
#include "options.h"

namespace kcli {
namespace {

std::string mode_text(int32_t pid) {
    char text[48];
    const Mode* m = mode_by_pid(pid);
    if (pid < 0) {
        return "mode unknown";
    }
    std::snprintf(text, sizeof text, "%s (%04X)", m != nullptr ? m->name : "product",
                  static_cast<unsigned>(pid));
    return text;
}

// One interface as the JSON form lists it.
std::string interface_json(const Interface& i) {
    const Mode* m = mode_by_pid(i.pid);
    return "{\"kind\":" + json_string(i.kind) + ",\"node\":" + json_string(i.node) +
           ",\"product_id\":" + (i.pid < 0 ? "null" : std::to_string(i.pid)) +
           ",\"mode\":" + (m != nullptr ? json_string(m->name) : "null") +
           ",\"can_open\":" + (i.can_open ? "true" : "false") + ",\"why\":" + json_string(i.why) +
           "}";
}

}  // namespace

int run_list(int argc, char** argv) {
    bool json = false;
    std::vector<std::string> operands;
    int done = parse_group(
        argc, argv, {{"format", required_argument, nullptr, 'f'}},
        [&](int, const char* value) { return parse_format(value, &json); }, &operands);
    if (done >= 0) {
        return done;
    }
    if (!operands.empty()) {
        return usage_error("list takes no operands, not '" + operands[0] + "'");
    }
    std::vector<Interface> found = hidraw_interfaces();
    for (const Interface& i : virtual_interfaces()) {
        found.push_back(i);
    }
    std::vector<node_access::Node> denied;
    std::string listing;
    for (const Interface& i : found) {
        if (json) {
            listing += (listing.empty() ? "" : ",") + interface_json(i);
        } else {
            std::printf("%-8s %-40s %-22s %s%s\n", i.kind.c_str(), i.node.c_str(),
                        mode_text(i.pid).c_str(),
                        i.can_open ? "can open" : "cannot open: ", i.why.c_str());
        }
        if (!i.can_open && i.kind == "hidraw") {
            denied.push_back({i.node, i.pid, false, i.why});
        }
    }
    int answering = 0;
    std::string answers;
    for (const Mode& m : modes()) {
        SetID(m.pid);
        if (OpenKestro() == 0) {
            if (json) {
                answers += std::string(answering > 0 ? "," : "") +
                           "{\"product_id\":" + std::to_string(m.pid) +
                           ",\"mode\":" + json_string(m.name) + "}";
            } else {
                std::printf("answers  %s (%04X)\n", m.name, static_cast<unsigned>(m.pid));
            }
            ++answering;
        }
        CloseKestro();
    }
    if (json) {
        std::printf("{\"interfaces\":[%s],\"answering\":[%s]}\n", listing.c_str(), answers.c_str());
    }
    if (!denied.empty()) {
        std::fprintf(stderr, "kestro: %s\n", node_access::denied_line(denied).c_str());
    }
    const std::string note = virtual_readers_note();
    if (!note.empty()) {
        std::fprintf(stderr, "kestro: %s\n", note.c_str());
    }
    if (answering == 0) {
        std::fprintf(stderr, "kestro: no reader answers%s\n",
                     !denied.empty() ? " that this user can open"
                     : found.empty() ? " (none connected)"
                                     : "");
        return kNoReader;
    }
    return kOk;
}

}  // namespace kcli
