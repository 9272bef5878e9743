// Writes the utility's own pictures, as the Qt window draws them, in the
// forms a Windows resource script takes: the 300 x 130 banner of Image1 as a
// 24-bit BMP, and the program icon as an ICO of 16, 32 and 48 pixels with
// 32-bit colour and an AND mask.
//   make_artwork BANNER.bmp PROGRAM.ico
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "../../qt/artwork.h"

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// BITMAPINFOHEADER: 40 bytes, no compression.
void PutInfoHeader(std::vector<uint8_t>& out, int width, int height, int bits,
                   uint32_t image_size) {
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height));
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(bits));
    Put32(out, 0);  // BI_RGB
    Put32(out, image_size);
    Put32(out, 3780);  // 96 dots per inch, in dots per metre
    Put32(out, 3780);
    Put32(out, 0);
    Put32(out, 0);
}

// A 24-bit BMP, rows bottom-up, each padded to four bytes.
std::vector<uint8_t> Bmp24(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB888);
    const int stride = (image.width() * 3 + 3) / 4 * 4;
    const uint32_t pixels = static_cast<uint32_t>(stride * image.height());
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, 14 + 40 + pixels);
    Put32(out, 0);
    Put32(out, 14 + 40);
    PutInfoHeader(out, image.width(), image.height(), 24, pixels);
    for (int y = image.height() - 1; y >= 0; --y) {
        const uchar* row = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            out.push_back(row[3 * x + 2]);  // blue, green, red
            out.push_back(row[3 * x + 1]);
            out.push_back(row[3 * x]);
        }
        out.resize(out.size() + static_cast<std::size_t>(stride - image.width() * 3), 0);
    }
    return out;
}

// One icon image: 32-bit BGRA rows bottom-up, then the AND mask (1 where
// the pixel is fully transparent), rows padded to four bytes.
std::vector<uint8_t> IconImage(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const int size = image.width();
    const int mask_stride = ((size + 31) / 32) * 4;
    std::vector<uint8_t> out;
    PutInfoHeader(out, size, 2 * size, 32,
                  static_cast<uint32_t>(size * size * 4 + mask_stride * size));
    for (int y = size - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < size; ++x) {
            out.push_back(static_cast<uint8_t>(qBlue(row[x])));
            out.push_back(static_cast<uint8_t>(qGreen(row[x])));
            out.push_back(static_cast<uint8_t>(qRed(row[x])));
            out.push_back(static_cast<uint8_t>(qAlpha(row[x])));
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        std::vector<uint8_t> bits(static_cast<std::size_t>(mask_stride), 0);
        for (int x = 0; x < size; ++x) {
            if (qAlpha(row[x]) == 0) {
                bits[static_cast<std::size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
        }
        out.insert(out.end(), bits.begin(), bits.end());
    }
    return out;
}

std::vector<uint8_t> Ico(const QIcon& icon, const std::vector<int>& sizes) {
    std::vector<std::vector<uint8_t>> images;
    for (const int size : sizes) {
        images.push_back(IconImage(icon.pixmap(size, size).toImage().scaled(size, size)));
    }
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);  // icon
    Put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<uint8_t>(sizes[i]));
        out.push_back(static_cast<uint8_t>(sizes[i]));
        out.push_back(0);  // no palette
        out.push_back(0);
        Put16(out, 1);   // planes
        Put16(out, 32);  // bits per pixel
        Put32(out, static_cast<uint32_t>(images[i].size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const auto& image : images) {
        out.insert(out.end(), image.begin(), image.end());
    }
    return out;
}

bool Write(const char* path, const std::vector<uint8_t>& bytes) {
    QFile file(QString::fromLocal8Bit(path));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
}

}  // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_artwork BANNER.bmp PROGRAM.ico\n");
        return 2;
    }
    const QImage banner = kestro::BannerPicture();
    if (banner.width() != 300 || banner.height() != 130) {
        std::fprintf(stderr, "make_artwork: the banner is not 300 x 130 pixels\n");
        return 1;
    }
    if (!Write(argv[1], Bmp24(banner)) ||
        !Write(argv[2], Ico(kestro::ProgramIcon(), {16, 32, 48}))) {
        std::fprintf(stderr, "make_artwork: cannot write the pictures\n");
        return 1;
    }
    return 0;
}
