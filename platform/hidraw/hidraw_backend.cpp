// The hidraw backend: the nodes of /sys/class/hidraw as registry devices,
// brought up to date at each enumeration.
#include "kp/hidraw.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "hidraw_device.h"

namespace kp {
namespace {

constexpr const char* kSysfsDefault = "/sys/class/hidraw";
constexpr const char* kDevDefault = "/dev";
constexpr size_t kMaxDescriptor = 4096;  // HID_MAX_DESCRIPTOR_SIZE
constexpr int kVersionSearchDepth = 8;   // levels above the HID device where a USB device may lie

struct Roots {
    std::string sysfs = kSysfsDefault;
    std::string dev = kDevDefault;
};

Roots& roots() {
    static Roots r;
    return r;
}

bool read_file(const std::string& path, std::string* content, size_t limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (content->size() > limit) {
        content->resize(limit);
    }
    return true;
}

std::string real_path(const std::string& path) {
    char* r = ::realpath(path.c_str(), nullptr);
    if (r == nullptr) {
        return std::string();
    }
    std::string s(r);
    ::free(r);
    return s;
}

// "hidraw12" -> 12; -1 for any other name.
long node_number(const char* name) {
    if (std::strncmp(name, "hidraw", 6) != 0 || name[6] == '\0') {
        return -1;
    }
    long n = 0;
    for (const char* p = name + 6; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || n > 1000000) {
            return -1;
        }
        n = n * 10 + (*p - '0');
    }
    return n;
}

// The version comes from the USB device the HID device belongs to
// (bcdDevice); other buses do not tell it, and it stays 0.
uint16_t version_of(const std::string& hid_device_dir) {
    std::string dir = real_path(hid_device_dir);
    for (int i = 0; i < kVersionSearchDepth && dir.size() > 1; ++i) {
        std::string text;
        if (read_file(dir + "/bcdDevice", &text, 16)) {
            return static_cast<uint16_t>(std::strtoul(text.c_str(), nullptr, 16));
        }
        dir = dir.substr(0, dir.rfind('/'));
    }
    return 0;
}

// Asks the node itself for what sysfs did not tell, if it may be opened.
bool ask_node(const std::string& node, HidIdentity* id, bool want_ids, std::string* descriptor) {
    int fd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    bool ok = true;
    if (want_ids) {
        hidraw_devinfo info{};
        if (::ioctl(fd, HIDIOCGRAWINFO, &info) == 0) {
            // The kernel's fields are signed 16-bit: take them as unsigned.
            id->vendor_id = static_cast<uint16_t>(info.vendor);
            id->product_id = static_cast<uint16_t>(info.product);
        } else {
            ok = false;
        }
    }
    if (descriptor != nullptr) {
        int size = 0;
        hidraw_report_descriptor rd{};
        if (::ioctl(fd, HIDIOCGRDESCSIZE, &size) == 0 && size > 0 &&
            static_cast<size_t>(size) <= kMaxDescriptor) {
            rd.size = static_cast<uint32_t>(size);
            if (::ioctl(fd, HIDIOCGRDESC, &rd) == 0) {
                descriptor->assign(reinterpret_cast<const char*>(rd.value), rd.size);
            }
        }
    }
    ::close(fd);
    return ok;
}

bool exclusive_usage(uint16_t page, uint16_t usage) {
    // Generic desktop mouse, keyboard, keypad.
    return page == 0x01 && (usage == 0x02 || usage == 0x06 || usage == 0x07);
}

struct Found {
    std::string name;
    std::string node;
    std::string key;  // tells a new device behind a reused node name
    HidrawNodeInfo info;
};

bool describe(const Roots& r, const std::string& name, Found* f) {
    const std::string sys = r.sysfs + "/" + name;
    const std::string hid = sys + "/device";
    f->name = name;
    f->node = r.dev + "/" + name;
    HidIdentity& id = f->info.identity;

    std::string uevent;
    bool have_ids = read_file(hid + "/uevent", &uevent, 4096) && parse_uevent_ids(uevent, &id);
    std::string descriptor;
    bool have_descriptor =
        read_file(hid + "/report_descriptor", &descriptor, kMaxDescriptor) && !descriptor.empty();
    if (!have_ids || !have_descriptor) {
        if (!ask_node(f->node, &id, !have_ids, have_descriptor ? nullptr : &descriptor) &&
            !have_ids) {
            return false;  // not even the ids: not a device we can offer
        }
    }
    id.version = version_of(hid);

    ReportDescriptorCaps caps = parse_report_descriptor(
        reinterpret_cast<const uint8_t*>(descriptor.data()), descriptor.size());
    f->info.caps_known = caps.valid;
    if (caps.valid) {
        id.usage_page = caps.usage_page;
        id.usage = caps.usage;
        id.input_report_length = caps.input_report_length;
        id.output_report_length = caps.output_report_length;
        id.feature_report_length = caps.feature_report_length;
        f->info.numbered = caps.numbered;
        f->info.exclusive = exclusive_usage(caps.usage_page, caps.usage);
    }
    // The HID device's directory carries the kernel's running instance
    // number (0003:3E7A:05A0.0007), so a device that came back under the
    // same node name has another key.
    f->key = f->node + "\n" + real_path(hid) + "\n" + uevent + "\n" + descriptor;
    return true;
}

class HidrawBackend : public Backend {
  public:
    void scan() override {
        const Roots r = roots();
        std::vector<std::pair<long, std::string>> names;
        if (DIR* d = ::opendir(r.sysfs.c_str())) {
            while (dirent* e = ::readdir(d)) {
                long n = node_number(e->d_name);
                if (n >= 0) {
                    names.emplace_back(n, e->d_name);
                }
            }
            ::closedir(d);
        }
        std::sort(names.begin(), names.end());

        std::map<std::string, Known> seen;
        for (const auto& [number, name] : names) {
            (void)number;
            Found f;
            if (!describe(r, name, &f)) {
                continue;
            }
            auto it = known_.find(f.name);
            if (it != known_.end() && it->second.key == f.key &&
                device_attached(it->second.device.get())) {
                seen.emplace(f.name, std::move(it->second));
                known_.erase(it);
                continue;
            }
            auto device = std::make_shared<HidrawDevice>(f.node, f.info);
            if (attach_device_replacing(it, device, f.node)) {
                seen.emplace(f.name, Known{f.key, device});
            }
        }
        // Nodes that are gone, or whose device changed: they leave.
        for (auto& [name, known] : known_) {
            (void)name;
            detach_device(known.device.get());
        }
        known_ = std::move(seen);
    }

  private:
    struct Known {
        std::string key;
        std::shared_ptr<HidrawDevice> device;
    };

    // Detaches what was known under that name (if anything), then attaches
    // `device` under its node path.
    bool attach_device_replacing(std::map<std::string, Known>::iterator it,
                                 const std::shared_ptr<HidrawDevice>& device,
                                 const std::string& node) {
        if (it != known_.end()) {
            detach_device(it->second.device.get());
            known_.erase(it);
        }
        return !attach_device(device, node).empty();
    }

    std::map<std::string, Known> known_;
};

}  // namespace

void set_hidraw_root(const std::string& sysfs_dir, const std::string& dev_dir) {
    roots().sysfs = sysfs_dir.empty() ? kSysfsDefault : sysfs_dir;
    roots().dev = dev_dir.empty() ? kDevDefault : dev_dir;
}

std::shared_ptr<Backend> make_hidraw_backend() {
    return std::make_shared<HidrawBackend>();
}

}  // namespace kp
