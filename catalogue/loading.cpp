// Loading every XLI file of a game directory into one catalogue.
#include "catalogue_internal.h"

// The catalogue of the game directory and its entry count (see catalogue.h for who writes and reads them).
Catalogue gAllXLI;
std::int32_t NumObjects = 0;

namespace {

// The game recognises a file only by the exact lower-case extension ".xli" (from the last '.').
bool HasXliExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot != std::string::npos && name.compare(dot, std::string::npos, ".xli") == 0;
}

// Upper-cases with the simple case mapping as far as it can produce the letters of the type words: ASCII a-z,
// and U+0131 (dotless i) -> I, U+017F (long s) -> S. Other characters cannot become part of a type word.
std::string UpperForTypeWords(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= 'a' && c <= 'z') {
            out += static_cast<char>(c - 32);
        } else if (c == '\xC4' && i + 1 < text.size() && text[i + 1] == '\xB1') {
            out += 'I';
            ++i;
        } else if (c == '\xC5' && i + 1 < text.size() && text[i + 1] == '\xBF') {
            out += 'S';
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

// Whether the line holds "_TYPE" in any mix of cases (none of its letters has another character mapping to it).
bool HasTypeSuffixAnyCase(std::string_view line) {
    for (std::size_t i = line.find('_'); i != std::string_view::npos && i + 5 <= line.size(); i = line.find('_', i + 1)) {
        if ((line[i + 1] | 0x20) == 't' && (line[i + 2] | 0x20) == 'y' && (line[i + 3] | 0x20) == 'p' &&
            (line[i + 4] | 0x20) == 'e')
            return true;
    }
    return false;
}

// One counting pass's box for a file it cannot read.
void ReportCountFailure(const std::string& xliFile, ReadFailure failure) {
    if (failure == ReadFailure::FileNotFound) ShowMessage(xliFile, "not found", MsgIcon::Stop);
    else ShowMessage(xliFile, "problem reading file", MsgIcon::Exclamation);
}

} // namespace

bool ReadXLIFileNames(std::vector<std::string>& FoundFiles, const std::string& Directory) {
    std::vector<std::string> listed;
    FoundFiles.clear();
    if (!ListFiles(Directory, ".xli", listed)) return false;
    for (std::string& name : listed) {
        if (HasXliExtension(name)) FoundFiles.push_back(std::move(name));
    }
    return !FoundFiles.empty();
}

std::int32_t CountXLIFiles(const std::string& Directory) {
    std::vector<std::string> names;
    ReadXLIFileNames(names, Directory);
    return static_cast<std::int32_t>(names.size());
}

void CountVekTypesInMemory(const std::uint8_t* data, std::size_t size, std::int32_t& vehicles, std::int32_t& objects) {
    CountVekTypesInText(DecodeXliText(data, size), vehicles, objects);
}

void CountVekTypesInText(std::string_view text, std::int32_t& vehicles, std::int32_t& objects) {
    vehicles = objects = 0;
    // Every type word ends in "_TYPE", and no other character upper-cases to one of its letters: only the lines
    // that hold "_type" in some case can count. Find those through the underscores, then test each line once.
    const auto isLineEnd = [](char c) { return c == '\r' || c == '\n'; };
    std::size_t pos = 0;
    while ((pos = text.find('_', pos)) != std::string_view::npos) {
        if (!HasTypeSuffixAnyCase(text.substr(pos, 5))) {
            ++pos;
            continue;
        }
        std::size_t start = pos;
        while (start > 0 && !isLineEnd(text[start - 1])) --start;
        std::size_t end = pos;
        while (end < text.size() && !isLineEnd(text[end])) ++end;
        const std::string upper = UpperForTypeWords(text.substr(start, end - start));
        if (ContainsVekWord(upper, true)) ++vehicles;
        if (ContainsVekWord(upper, false)) ++objects;
        pos = end; // the rest of this line is counted already
    }
}

std::int32_t CountVekTypes(const std::string& xliFile, const std::string& Directory, bool isVehicle) {
    SetCurrentDir(Directory);
    const ReadResult file = ReadWholeFile(xliFile);
    if (file.failure != ReadFailure::None) {
        ReportCountFailure(xliFile, file.failure);
        return 0;
    }
    std::int32_t vehicles = 0, objects = 0;
    CountVekTypesInMemory(file.bytes.data(), file.bytes.size(), vehicles, objects);
    return isVehicle ? vehicles : objects;
}

Catalogue IniXLIModelsStruct(const std::string& Directory, std::int32_t& NumObjectsOut,
                             std::vector<std::int32_t>* stored) {
    // The directory is listed once; the number of names is the number of records.
    std::vector<std::string> names;
    if (stored) stored->clear();
    if (!ReadXLIFileNames(names, Directory)) return Catalogue();
    return IniXLIModelsFromNames(names, Directory, NumObjectsOut, stored);
}

Catalogue IniXLIModelsFromNames(const std::vector<std::string>& names, const std::string& Directory,
                                std::int32_t& NumObjectsOut, std::vector<std::int32_t>* stored) {
    Catalogue catalogue(names.size());
    if (stored) stored->clear();
    const auto n = static_cast<std::int32_t>(names.size());
    std::int32_t total = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        xlimodels& record = catalogue[i];
        record.xliFile = names[i];
        record.NumXLI = n;
        // One reading serves both counting passes and the reader; every box of the three still shows.
        SetCurrentDir(Directory);
        const ReadResult file = ReadWholeFile(names[i]);
        std::int32_t read = 0;
        if (file.failure == ReadFailure::None) {
            const std::string text = DecodeXliText(file.bytes.data(), file.bytes.size());
            std::int32_t v = 0, o = 0;
            CountVekTypesInText(text, v, o);
            record.NumModels = v + o;
            record.Models.assign(static_cast<std::size_t>(v + o), xlimodel());
            total += v + o;
            NumObjectsOut = total;
            read = IniXLIModelsFromText(text, record);
        } else {
            ReportCountFailure(names[i], file.failure);
            ReportCountFailure(names[i], file.failure);
            NumObjectsOut = total;
            ReportXliReadFailure(names[i], file.failure);
        }
        if (stored) stored->push_back(read);
    }
    return catalogue;
}
