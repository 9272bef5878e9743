#include "status_format.h"

#include <cstdio>

#include "vr/model.h"

namespace vrp {

namespace {

std::string hex_bytes(const uint8_t* data, size_t n) {
    std::string out;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, i == 0 ? "%02X" : " %02X", data[i]);
        out += b;
    }
    return out;
}

std::string hex_bytes(const std::vector<uint8_t>& data) {
    return hex_bytes(data.data(), data.size());
}

const char* bus_word(const served::Status& s) {
    return s.restarting ? "restarting" : s.plugged ? "plugged" : "unplugged";
}

// A JSON string of text that needs no escapes but quotes and backslashes
// (reader names, mode and command names, hex).
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string format_status(const std::string& name, const served::Status& s) {
    std::string out;
    char line[160];
    auto mode = static_cast<vr::Mode>(s.mode);
    std::snprintf(line, sizeof line, "reader: %s\nmode: %u %s\nproduct id: 0x%04X\n", name.c_str(),
                  s.mode, vr::mode_name(mode), s.product_id);
    out += line;
    out += std::string("bus: ") + bus_word(s) + "\n";
    out += "configuration: " + hex_bytes(s.state.data(), s.state.size()) + "\n";
    for (size_t i = 0; i < s.records.size(); ++i) {
        const auto& r = s.records[i];
        if (r.empty()) {
            continue;
        }
        std::snprintf(line, sizeof line, "statistics %zu: ", i + 1);
        out += line + hex_bytes(r) + "\n";
    }
    out += "hosts: " + std::to_string(s.host_pids.size());
    for (size_t i = 0; i < s.host_pids.size(); ++i) {
        out += (i == 0 ? " (pid " : ", pid ") + std::to_string(s.host_pids[i]);
    }
    out += s.host_pids.empty() ? "\n" : ")\n";
    return out;
}

std::string format_status_json(const std::string& name, const served::Status& s) {
    char pid[8];
    std::snprintf(pid, sizeof pid, "0x%04X", s.product_id);
    std::string out = "{\n";
    out += "  \"reader\": " + quoted(name) + ",\n";
    out += "  \"mode\": " + std::to_string(s.mode) + ",\n";
    out += "  \"mode_name\": " + quoted(vr::mode_name(static_cast<vr::Mode>(s.mode))) + ",\n";
    out += "  \"product_id\": " + quoted(pid) + ",\n";
    out += "  \"bus\": " + quoted(bus_word(s)) + ",\n";
    out += "  \"configuration\": " + quoted(hex_bytes(s.state.data(), s.state.size())) + ",\n";
    out += "  \"statistics\": [";
    for (size_t i = 0; i < s.records.size(); ++i) {
        out += (i == 0 ? "" : ", ") + quoted(hex_bytes(s.records[i]));
    }
    out += "],\n  \"hosts\": [";
    for (size_t i = 0; i < s.host_pids.size(); ++i) {
        out += (i == 0 ? "" : ", ") + std::to_string(s.host_pids[i]);
    }
    out += "]\n}\n";
    return out;
}

}  // namespace vrp
