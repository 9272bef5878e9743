// The controls of Form1, addressed by name (and index for control arrays),
// so that the window logic needs no toolkit type.
#ifndef KESTRO_UTILITY_LOGIC_CONTROLS_H
#define KESTRO_UTILITY_LOGIC_CONTROLS_H

#include <cstdint>
#include <string_view>

namespace kestro {

struct Control {
    std::string_view name;
    int index = -1;  // -1 for a single control, 0..2 for an element of an array

    bool operator==(const Control& other) const {
        return name == other.name && index == other.index;
    }
    bool operator<(const Control& other) const {
        return name != other.name ? name < other.name : index < other.index;
    }
};

// Position and size within the container, in twips.
struct Twips {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;

    bool operator==(const Twips& o) const {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
};

struct Rgb {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;

    bool operator==(const Rgb& o) const {
        return red == o.red && green == o.green && blue == o.blue;
    }
};

namespace ctl {
inline constexpr Control Image1{"Image1"};
inline constexpr Control Label5{"Label5"};
inline constexpr Control txtMsrType{"txtMsrType"};
inline constexpr Control Label1{"Label1"};
inline constexpr Control comboMsrType2{"comboMsrType2"};
inline constexpr Control cmdEXIT{"cmdEXIT"};
inline constexpr Control cmdHELP{"cmdHELP"};
inline constexpr Control cmdChangeMode{"cmdChangeMode"};
inline constexpr Control Frame1{"Frame1"};
inline constexpr Control lstResults{"lstResults"};
inline constexpr Control cmdClearLog{"cmdClearLog"};
inline constexpr Control cmdClearCard{"cmdClearCard"};
inline constexpr Control lblBrushTimes{"lblBrushTimes"};
inline constexpr Control txtCardData{"txtCardData"};
inline constexpr Control lstCardData{"lstCardData"};

// Arrays: element n belongs to track n + 1.
constexpr Control Label3(int n) {
    return {"Label3", n};
}
constexpr Control chkStatusOK(int n) {
    return {"chkStatusOK", n};
}
constexpr Control Label4(int n) {
    return {"Label4", n};
}
constexpr Control txtTrackLenght(int n) {
    return {"txtTrackLenght", n};
}
}  // namespace ctl

}  // namespace kestro

#endif
