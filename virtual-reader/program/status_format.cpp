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
    if (!s.plugged) {
        return "unplugged";
    }
    return s.restarting ? "restarting" : s.away ? "away" : "plugged";
}

// A JSON string of any bytes: quotes, backslashes and control characters
// escaped, and each byte outside ASCII taken as the character of that
// number, so that the output is always valid JSON whatever a reader sends.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    char esc[8];
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c >= 0x7F) {
            std::snprintf(esc, sizeof esc, "\\u%04X", c);
            out += esc;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string fault_text(const served::StatusFault& f) {
    std::string out = printable(f.name);
    if (f.value >= 0) {
        out += " " + std::to_string(f.value);
        const vr::FaultInfo* info = vr::find_fault(f.name);
        if (info != nullptr && info->value == vr::FaultValue::Duration) {
            out += " ms";
        }
    }
    return out + (f.once ? " (once)" : "");
}

// What became of a feature report: accepted or refused, answered or failed.
const char* outcome(const served::StatusReport& r) {
    if (r.unanswered) {
        return "unanswered";
    }
    if (r.get) {
        return r.accepted ? "answered" : "failed";
    }
    return r.accepted ? "accepted" : "refused";
}

// The report's bytes, and how many more it had when it was longer.
std::string report_hex(const served::StatusReport& r) {
    std::string out = hex_bytes(r.bytes);
    if (r.length > r.bytes.size()) {
        out += " (+" + std::to_string(r.length - r.bytes.size()) + " bytes)";
    }
    return out;
}

}  // namespace

// Text for a terminal: every byte outside printable ASCII, and the
// backslash, as \xNN, so that nothing a reader sends reaches the terminal
// raw or cuts the line.
std::string printable(const std::string& text) {
    std::string out;
    char esc[8];
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x7F || c == '\\') {
            std::snprintf(esc, sizeof esc, "\\x%02X", c);
            out += esc;
        } else {
            out += ch;
        }
    }
    return out;
}

std::string format_status(const std::string& name, const served::Status& s) {
    std::string out;
    char line[160];
    auto mode = static_cast<vr::Mode>(s.mode);
    out += "reader: " + printable(name) + "\n";
    std::snprintf(line, sizeof line, "mode: %u %s\nproduct id: 0x%04X\n", s.mode,
                  vr::mode_name(mode), s.product_id);
    out += line;
    out += std::string("bus: ") + bus_word(s) + "\n";
    if (s.pending_mode != s.mode && s.pending_mode != 0) {
        std::snprintf(line, sizeof line, "mode after reset: %u %s\n", s.pending_mode,
                      vr::mode_name(static_cast<vr::Mode>(s.pending_mode)));
        out += line;
    }
    out += "configuration: " + hex_bytes(s.state.data(), s.state.size()) + "\n";
    std::snprintf(line, sizeof line, "counts: %u flushes, %u resets, %u mode changes\n", s.flushes,
                  s.resets, s.mode_changes);
    out += line;
    std::snprintf(line, sizeof line, "cards: %u swiped, %u delivered\n", s.cards_swiped,
                  s.cards_delivered);
    out += line;
    out += "faults:";
    for (size_t i = 0; i < s.faults.size(); ++i) {
        out += (i == 0 ? " " : ", ") + fault_text(s.faults[i]);
    }
    out += s.faults.empty() ? " none\n" : "\n";
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
    out += "feature reports: " + std::to_string(s.history.size()) +
           (s.history.empty() ? "\n" : " (oldest first; ms since the reader started)\n");
    for (const served::StatusReport& r : s.history) {
        std::snprintf(line, sizeof line, "  %8u %s ", r.time_ms, r.get ? "get" : "set");
        out += line + printable(r.command) + " " + outcome(r) + ": " + report_hex(r) + "\n";
    }
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
    out += "],\n  \"pending_mode\": " + std::to_string(s.pending_mode) + ",\n";
    out += "  \"counts\": {\"flushes\": " + std::to_string(s.flushes) +
           ", \"resets\": " + std::to_string(s.resets) +
           ", \"mode_changes\": " + std::to_string(s.mode_changes) +
           ", \"cards_swiped\": " + std::to_string(s.cards_swiped) +
           ", \"cards_delivered\": " + std::to_string(s.cards_delivered) + "},\n";
    out += "  \"faults\": [";
    for (size_t i = 0; i < s.faults.size(); ++i) {
        const served::StatusFault& f = s.faults[i];
        out += std::string(i == 0 ? "\n" : ",\n") + "    {\"name\": " + quoted(f.name) +
               ", \"once\": " + (f.once ? "true" : "false") +
               ", \"value\": " + (f.value >= 0 ? std::to_string(f.value) : "null") + "}";
    }
    out += s.faults.empty() ? "],\n" : "\n  ],\n";
    out += "  \"feature_reports\": [";
    for (size_t i = 0; i < s.history.size(); ++i) {
        const served::StatusReport& r = s.history[i];
        out += std::string(i == 0 ? "\n" : ",\n") +
               "    {\"time_ms\": " + std::to_string(r.time_ms) +
               ", \"kind\": " + (r.get ? "\"get\"" : "\"set\"") +
               ", \"command\": " + quoted(r.command) + ", \"outcome\": " + quoted(outcome(r)) +
               ", \"length\": " + std::to_string(r.length) +
               ", \"hex\": " + quoted(hex_bytes(r.bytes)) + "}";
    }
    out += s.history.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

}  // namespace vrp
