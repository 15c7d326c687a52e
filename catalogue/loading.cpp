// Loading every XLI file of a game directory into one catalogue.
#include "catalogue.h"

#include "sys.h"

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

void ReportCountFailure(const std::string& xliFile, const ReadResult& file) {
    if (file.failure == ReadFailure::FileNotFound) ShowMessage(xliFile, "not found", MsgIcon::Stop);
    else ShowMessage(xliFile, "problem reading file", MsgIcon::Exclamation);
}

// Both counting passes over one reading of the file. A file that cannot be read is reported once per pass.
void CountBoth(const std::string& xliFile, const std::string& Directory, std::int32_t& vehicles,
               std::int32_t& objects, int passes) {
    vehicles = objects = 0;
    SetCurrentDir(Directory);
    const ReadResult file = ReadWholeFile(xliFile);
    if (file.failure != ReadFailure::None) {
        for (int i = 0; i < passes; ++i) ReportCountFailure(xliFile, file);
        return;
    }
    CountVekTypesInMemory(file.bytes.data(), file.bytes.size(), vehicles, objects);
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
    vehicles = objects = 0;
    const std::string upper = UpperForTypeWords(DecodeXliText(data, size));
    std::size_t pos = 0;
    while (pos < upper.size()) {
        std::size_t end = upper.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = upper.size();
        const std::string_view line(upper.data() + pos, end - pos);
        if (ContainsVekWord(line, true)) ++vehicles;
        if (ContainsVekWord(line, false)) ++objects;
        // A line ends at CR, LF or CR LF.
        if (end < upper.size() && upper[end] == '\r' && end + 1 < upper.size() && upper[end + 1] == '\n') ++end;
        pos = end + 1;
    }
}

std::int32_t CountVekTypes(const std::string& xliFile, const std::string& Directory, bool isVehicle) {
    std::int32_t vehicles = 0, objects = 0;
    CountBoth(xliFile, Directory, vehicles, objects, 1);
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
        std::int32_t v = 0, o = 0;
        CountBoth(names[i], Directory, v, o, 2);
        record.NumModels = v + o;
        record.Models.assign(static_cast<std::size_t>(v + o), xlimodel());
        record.NumXLI = n;
        total += v + o;
        NumObjectsOut = total;
        const std::int32_t read = IniXLIModelsFromFile(names[i], record, Directory);
        if (stored) stored->push_back(read);
    }
    return catalogue;
}
