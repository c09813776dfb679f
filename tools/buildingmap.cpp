// Turns a building map written as text (resources/buildings/*.map) into the
// TIFF image that the game embeds: uncompressed, little-endian, 8 bits per
// sample, red, green, blue and alpha, one strip. The alpha is marked as an
// unspecified extra sample: the toolkit's TIFF reader then takes the colours
// as written, where a sample marked unassociated would come back premultiplied
// and lose its colour wherever alpha is below 255.
//
//   carrowmere-buildingmap input.map output.tif

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Pixel = std::array<std::uint8_t, 4>;

struct Map {
    std::size_t width = 0;
    std::vector<Pixel> pixels;
    std::size_t height() const { return width ? pixels.size() / width : 0; }
};

bool fail(const std::string& file, int line, const std::string& message)
{
    std::cerr << file << ":" << line << ": " << message << "\n";
    return false;
}

// Lines: "; comment", "<character> = red green blue alpha", blank, or a row
// of the grid. Every row has the same width and only characters of the legend.
bool parse(const std::string& file, Map& map)
{
    std::ifstream in(file);
    if (!in)
        return fail(file, 0, "cannot be read");
    std::map<char, Pixel> legend;
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
        ++line;
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (text.empty() || text[0] == ';')
            continue;
        if (text.size() > 2 && text.compare(1, 3, " = ") == 0) {
            std::istringstream values(text.substr(4));
            int channel[4];
            if (!(values >> channel[0] >> channel[1] >> channel[2] >> channel[3]))
                return fail(file, line, "a legend entry needs red, green, blue and alpha");
            Pixel pixel;
            for (int i = 0; i < 4; ++i) {
                if (channel[i] < 0 || channel[i] > 255)
                    return fail(file, line, "colour channels lie in 0..255");
                pixel[std::size_t(i)] = std::uint8_t(channel[i]);
            }
            legend[text[0]] = pixel;
            continue;
        }
        if (map.width == 0)
            map.width = text.size();
        if (text.size() != map.width)
            return fail(file, line, "every row of the grid has the width of the first");
        for (char c : text) {
            const auto found = legend.find(c);
            if (found == legend.end())
                return fail(file, line, std::string("character '") + c + "' is not in the legend");
            map.pixels.push_back(found->second);
        }
    }
    if (map.pixels.empty())
        return fail(file, line, "holds no grid");
    return true;
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    out.push_back(std::uint8_t(value));
    out.push_back(std::uint8_t(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    put16(out, value & 0xffff);
    put16(out, value >> 16);
}

std::vector<std::uint8_t> tiff(const Map& map)
{
    enum Type : std::uint16_t { Short = 3, Long = 4 };
    struct Entry {
        std::uint16_t tag;
        Type type;
        std::uint32_t count;
        std::uint32_t value;
    };

    const std::uint32_t width = std::uint32_t(map.width);
    const std::uint32_t height = std::uint32_t(map.height());
    const std::uint32_t stripBytes = width * height * 4;

    // Layout: header, the four bits-per-sample values, the pixels, the directory.
    const std::uint32_t bitsOffset = 8;
    const std::uint32_t pixelsOffset = bitsOffset + 8;
    const std::uint32_t directoryOffset = pixelsOffset + stripBytes + (stripBytes % 2);

    const std::vector<Entry> entries = {
        {256, Long, 1, width},           // ImageWidth
        {257, Long, 1, height},          // ImageLength
        {258, Short, 4, bitsOffset},     // BitsPerSample, 8 each
        {259, Short, 1, 1},              // Compression: none
        {262, Short, 1, 2},              // PhotometricInterpretation: RGB
        {273, Long, 1, pixelsOffset},    // StripOffsets
        {277, Short, 1, 4},              // SamplesPerPixel
        {278, Long, 1, height},          // RowsPerStrip: one strip
        {279, Long, 1, stripBytes},      // StripByteCounts
        {284, Short, 1, 1},              // PlanarConfiguration: chunky
        {338, Short, 1, 0},              // ExtraSamples: unspecified, taken as straight alpha
    };

    std::vector<std::uint8_t> out = {'I', 'I', 42, 0};
    put32(out, directoryOffset);
    for (int i = 0; i < 4; ++i)
        put16(out, 8);
    for (const Pixel& pixel : map.pixels)
        out.insert(out.end(), pixel.begin(), pixel.end());
    if (stripBytes % 2)
        out.push_back(0); // the directory starts on a word boundary

    put16(out, std::uint16_t(entries.size()));
    for (const Entry& entry : entries) {
        put16(out, entry.tag);
        put16(out, entry.type);
        put32(out, entry.count);
        if (entry.type == Short && entry.count == 1) {
            put16(out, entry.value);
            put16(out, 0);
        } else {
            put32(out, entry.value);
        }
    }
    put32(out, 0); // no further directory
    return out;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::cerr << "usage: carrowmere-buildingmap input.map output.tif\n";
        return 2;
    }
    Map map;
    if (!parse(argv[1], map))
        return 1;
    const std::vector<std::uint8_t> bytes = tiff(map);
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
        std::cerr << argv[2] << ": cannot be written\n";
        return 1;
    }
    return 0;
}
