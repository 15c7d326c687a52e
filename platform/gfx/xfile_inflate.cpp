// MSZIP-compressed .x files (tzip, bzip): a u32 with the decompressed size of the whole file, then chunks of raw
// deflate data, each inflated with the previous chunk's output as preset dictionary.
#include "xfile_internal.h"

#include <algorithm>
#include <zlib.h>

namespace xfile_detail {
namespace {

constexpr std::size_t kHeaderSize = 16;
constexpr std::uint32_t kMaxChunk = 32768;

struct InflateStream {
    z_stream z{};
    bool ready = false;
    InflateStream() { ready = inflateInit2(&z, -15) == Z_OK; }
    ~InflateStream() {
        if (ready)
            inflateEnd(&z);
    }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;
};

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

} // namespace

void InflateMsZip(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out) {
    std::size_t pos = kHeaderSize;
    if (size - pos < 4)
        Fail(pos, "the compressed file ends before its size field");
    const std::uint32_t total = static_cast<std::uint32_t>(U16(data + pos) | (U16(data + pos + 2) << 16));
    if (total < kHeaderSize)
        Fail(pos, "the decompressed size " + std::to_string(total) + " is smaller than the header");
    const std::uint64_t payload = total - kHeaderSize;
    if (payload > kMaxInflated)
        Fail(pos, "the decompressed size " + std::to_string(total) + " exceeds the limit of 1 GiB");
    pos += 4;

    // Each chunk of at least 6 bytes yields at most 32 KiB: never reserve more than the input can produce.
    const std::uint64_t producible = static_cast<std::uint64_t>(size - pos) / 6 * kMaxChunk;
    out.clear();
    out.reserve(static_cast<std::size_t>(kHeaderSize + std::min(payload, producible)));
    out.insert(out.end(), data, data + kHeaderSize);

    InflateStream stream;
    if (!stream.ready)
        Fail(pos, "the decompressor could not be started");
    std::size_t previous = 0, previousSize = 0; // the previous chunk's output within `out`
    for (unsigned chunk = 0; out.size() - kHeaderSize < payload; ++chunk) {
        const std::string name = "compressed chunk " + std::to_string(chunk);
        if (size - pos < 6)
            Fail(pos, pos == size ? "the compressed data ends after " + std::to_string(out.size() - kHeaderSize) +
                                        " of " + std::to_string(payload) + " bytes"
                                  : name + " is cut short");
        const std::uint32_t plain = U16(data + pos);
        const std::uint32_t packed = U16(data + pos + 2);
        if (data[pos + 4] != 'C' || data[pos + 5] != 'K')
            Fail(pos + 4, name + " lacks its \"CK\" signature");
        if (plain == 0 || plain > kMaxChunk)
            Fail(pos, name + " declares " + std::to_string(plain) + " bytes (1 to 32768 allowed)");
        if (packed < 2 || packed - 2 > size - pos - 6)
            Fail(pos + 2, name + " declares " + std::to_string(packed) + " compressed bytes, more than the file holds");
        if (plain > payload - (out.size() - kHeaderSize))
            Fail(pos, name + " holds more than the declared decompressed size");
        pos += 6;

        z_stream& z = stream.z;
        if (inflateReset(&z) != Z_OK)
            Fail(pos, name + " could not be decompressed");
        if (previousSize > 0 &&
            inflateSetDictionary(&z, out.data() + previous, static_cast<uInt>(previousSize)) != Z_OK)
            Fail(pos, name + " could not be decompressed");
        const std::size_t start = out.size();
        out.resize(start + plain);
        z.next_in = const_cast<Bytef*>(data + pos);
        z.avail_in = packed - 2;
        z.next_out = out.data() + start;
        z.avail_out = plain;
        const int rc = inflate(&z, Z_FINISH);
        if ((rc != Z_STREAM_END && rc != Z_OK && rc != Z_BUF_ERROR) || z.avail_out != 0)
            Fail(pos, name + " is corrupt");
        previous = start;
        previousSize = plain;
        pos += packed - 2;
    }
}

} // namespace xfile_detail
