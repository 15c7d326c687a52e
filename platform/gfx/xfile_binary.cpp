// The binary form of .x files: 2-byte little-endian tokens, some followed by their data.
#include "xfile_internal.h"

#include <cfloat>
#include <cmath>
#include <limits>

namespace xfile_detail {
namespace {

enum : std::uint16_t {
    kName = 1,
    kString = 2,
    kInteger = 3,
    kGuid = 5,
    kIntegerList = 6,
    kFloatList = 7,
    kOpenBrace = 10,
    kCloseBrace = 11,
    kComma = 19,
    kSemicolon = 20,
    kTemplate = 31,
};

std::string TokenName(std::uint16_t t) {
    switch (t) {
    case kName: return "a name";
    case kString: return "a string";
    case kInteger: return "an integer";
    case kGuid: return "a GUID";
    case kIntegerList: return "an integer list";
    case kFloatList: return "a float list";
    case kOpenBrace: return "'{'";
    case kCloseBrace: return "'}'";
    default: return "token " + std::to_string(t);
    }
}

bool IsPlainToken(std::uint16_t t) { return (t >= 10 && t <= 20) || t == kTemplate || (t >= 40 && t <= 52); }

float ToFloat(double d) {
    if (d > static_cast<double>(FLT_MAX))
        return std::numeric_limits<float>::infinity();
    if (d < -static_cast<double>(FLT_MAX))
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(d); // NaN stays NaN
}

} // namespace

std::uint16_t BinaryReader::readToken() {
    tokenStart_ = offset();
    if (end_ - p_ < 2)
        failHere(p_ == end_ ? "unexpected end of file" : "the file ends inside a token");
    const std::uint16_t t = static_cast<std::uint16_t>(p_[0] | (p_[1] << 8));
    p_ += 2;
    return t;
}

std::uint32_t BinaryReader::readU32() {
    if (end_ - p_ < 4)
        failHere("the file ends inside a token");
    std::uint32_t v;
    std::memcpy(&v, p_, 4);
    p_ += 4;
    return v;
}

std::string_view BinaryReader::readBytes(std::uint32_t length) {
    if (static_cast<std::uint64_t>(end_ - p_) < length)
        failHere("the name or string of " + std::to_string(length) + " bytes runs past the end of the file");
    std::string_view s(reinterpret_cast<const char*>(p_), length);
    p_ += length;
    return s;
}

void BinaryReader::startList(std::uint16_t token) {
    const std::uint32_t n = readU32();
    const std::uint64_t width = token == kFloatList && doubles_ ? 8 : 4;
    if (static_cast<std::uint64_t>(end_ - p_) / width < n)
        failHere("the list of " + std::to_string(n) + " values runs past the end of the file");
    list_ = token == kFloatList ? List::Floats : List::Ints;
    listLeft_ = n;
}

std::uint32_t BinaryReader::readUIntSlow() {
    for (;;) {
        if (listLeft_ > 0) {
            if (list_ != List::Ints)
                failHere("expected an integer, found a float list");
            tokenStart_ = offset();
            --listLeft_;
            return readU32();
        }
        const std::uint16_t t = readToken();
        if (t == kIntegerList) {
            startList(t);
        } else if (t == kInteger) {
            return readU32();
        } else if (t != kComma && t != kSemicolon) {
            failHere("expected an integer, found " + TokenName(t));
        }
    }
}

float BinaryReader::readFloat() {
    for (;;) {
        if (listLeft_ > 0) {
            --listLeft_;
            if (list_ == List::Ints)
                return static_cast<float>(readU32());
            if (doubles_) {
                double d;
                std::memcpy(&d, p_, 8);
                p_ += 8;
                return ToFloat(d);
            }
            float f;
            std::memcpy(&f, p_, 4);
            p_ += 4;
            return f;
        }
        const std::uint16_t t = readToken();
        if (t == kFloatList || t == kIntegerList) {
            startList(t);
        } else if (t == kInteger) {
            return static_cast<float>(readU32());
        } else if (t != kComma && t != kSemicolon) {
            failHere("expected a number, found " + TokenName(t));
        }
    }
}

void BinaryReader::readFloats(float* out, std::size_t count) {
    std::size_t i = 0;
    while (i < count) {
        if (listLeft_ > 0 && list_ == List::Floats && !doubles_) {
            const std::size_t n = std::min<std::size_t>(count - i, listLeft_);
            std::memcpy(out + i, p_, n * 4);
            p_ += n * 4;
            listLeft_ -= static_cast<std::uint32_t>(n);
            i += n;
        } else {
            out[i++] = readFloat();
        }
    }
}

std::string_view BinaryReader::readString() {
    if (listLeft_ > 0)
        failHere("expected a string, found a list of values");
    std::uint16_t t;
    do
        t = readToken();
    while (t == kComma || t == kSemicolon);
    if (t != kString)
        failHere("expected a string, found " + TokenName(t));
    const std::string_view s = readBytes(readU32());
    // The string's terminator (';' or ',') follows as a token of its own.
    if (end_ - p_ >= 2 && (p_[0] == kSemicolon || p_[0] == kComma) && p_[1] == 0)
        p_ += 2;
    return s;
}

void BinaryReader::skipPayload(std::uint16_t token) {
    switch (token) {
    case kName:
    case kString:
        readBytes(readU32());
        break;
    case kInteger:
        readU32();
        break;
    case kGuid:
        readBytes(16);
        break;
    case kIntegerList:
    case kFloatList: {
        startList(token);
        const std::uint64_t width = token == kFloatList && doubles_ ? 8 : 4;
        p_ += width * listLeft_;
        listLeft_ = 0;
        break;
    }
    default:
        if (!IsPlainToken(token))
            failHere("unknown binary token " + std::to_string(token));
    }
}

std::uint16_t BinaryReader::readNameAndGuid(ItemHeader& header) {
    std::uint16_t u = readToken();
    if (u == kName) {
        header.name = readBytes(readU32());
        u = readToken();
    }
    if (u == kGuid) {
        std::memcpy(header.guid.data(), readBytes(16).data(), 16);
        header.hasGuid = true;
        u = readToken();
    }
    return u;
}

Item BinaryReader::nextItem(ItemHeader& header) {
    if (listLeft_ > 0)
        Fail(offset(), "the object holds " + std::to_string(listLeft_) + " more values than its members take");
    for (;;) {
        header = ItemHeader{};
        if (p_ == end_) {
            tokenStart_ = offset();
            header.offset = tokenStart_;
            return Item::End;
        }
        const std::uint16_t t = readToken();
        header.offset = tokenStart_;
        switch (t) {
        case kComma:
        case kSemicolon:
            continue;
        case kCloseBrace:
            return Item::Close;
        case kOpenBrace: {
            if (readNameAndGuid(header) != kCloseBrace)
                failHere("expected '}' to close the reference");
            return Item::Reference;
        }
        case kTemplate: {
            if (readToken() != kName)
                failHere("expected the template's name");
            readBytes(readU32());
            if (readToken() != kOpenBrace)
                failHere("expected '{' after the template name");
            skipBody();
            continue;
        }
        case kName: {
            header.type = readBytes(readU32());
            if (readNameAndGuid(header) != kOpenBrace)
                failHere("expected '{' to open the " + std::string(header.type) + " object");
            return Item::Object;
        }
        case kIntegerList:
        case kFloatList:
        case kInteger:
            failHere("unexpected values where an object or '}' was expected");
        default:
            failHere(IsPlainToken(t) || t == kString || t == kGuid ? "unexpected " + TokenName(t)
                                                                   : "unknown binary token " + std::to_string(t));
        }
    }
}

void BinaryReader::skipBody() {
    list_ = List::None;
    listLeft_ = 0;
    std::size_t depth = 1;
    while (depth > 0) {
        if (p_ == end_) {
            tokenStart_ = offset();
            failHere("unexpected end of file inside an object");
        }
        const std::uint16_t t = readToken();
        if (t == kOpenBrace)
            ++depth;
        else if (t == kCloseBrace)
            --depth;
        else
            skipPayload(t);
    }
}

} // namespace xfile_detail
