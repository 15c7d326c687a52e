// catalogue/: the model record and the catalogue, the XLI format with its reader and writer, the loading of all
// XLI files of a game directory, and the checksums of new XLI files. No Qt.
//
// Strings are 8-bit ANSI strings (the bytes of Windows-1252), each owned by its record; copies are deep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One model entry of an XLI file.
// Invariants: only the class group that `isObject` names is ever set; the other group stays empty/zero and is
// read by nobody. Texts read from a file hold no space, tab, CR or LF. Unset entries and fields are empty
// strings, zero numbers and `isObject` false.
struct xlimodel {
    std::string xliFile; // the XLI file the entry was read from (no directory)
    std::string VekType; // the whole token that held the type word
    bool isObject = false;
    std::int32_t ID = 0;
    std::string XFile;
    float Scale = 0.0f;
    std::string DispName;
    // objects only
    std::string TexturePath1;
    std::string TexturePath2;
    std::string RGBValue1;
    std::string RGBValue2;
    // vehicles only
    std::string RefModel;
    float NotUsed = 0.0f;
    std::int32_t MaxSpeed = 0;
    std::int32_t MaxWagons = 0;
    std::int32_t Checksum = 0;
};

// One catalogue record: one XLI file of gAllXLI, one ID group of gDubXLI, the new file of gNewXLI.
// Invariants: Models.size() == NumModels; every record of one catalogue holds the same NumXLI, the number of
// records. `HeaderSet` tells which header numbers the reader stored (a failed or empty read leaves them unset).
struct xlimodels {
    std::int32_t NumXLI = 0;
    std::string xliFile;
    std::int32_t Header[2] = {0, 0};
    bool HeaderSet[2] = {false, false};
    std::int32_t NumModels = 0;
    std::vector<xlimodel> Models;
};

// A catalogue: its records in order. An empty vector is a catalogue without records (NumXLI 0 for every user).
using Catalogue = std::vector<xlimodels>;

// The number of records of a catalogue, taken from the first record's NumXLI (0 without records).
inline std::int32_t GetNumXLI(const Catalogue& c) { return c.empty() ? 0 : c.front().NumXLI; }

// ---------------------------------------------------------------------------------------------------------------
// vektypes.cpp: the type-word table and the lookup by ID

enum class VekClass { None, Vehicle, Object };

struct VekTypeWord {
    const char* word;
    VekClass cls;
};
extern const VekTypeWord VekTypes[14];

// The class of the first word of VekTypes (in table order) that occurs in `text` as a substring, case-sensitive.
VekClass GetVekClass(std::string_view text);
// Whether `text` holds a vehicle word (isVehicle) or an object word (!isVehicle).
bool ContainsVekWord(std::string_view text, bool isVehicle);

// The first entry (records in order, entries in order) whose ID equals `ID`, or nullptr. The pointer stays valid
// as long as the catalogue is not changed.
const xlimodel* GetModelByID(const Catalogue& xliFileStruct, std::int32_t ID);

// ---------------------------------------------------------------------------------------------------------------
// text.cpp: decoding, tokens and numbers of the XLI format

// Decodes a file's bytes to valid UTF-8: the byte-order mark selects UTF-8/16/32 (LE, BE), otherwise UTF-8.
// Invalid sequences decode to U+FFFD; the mark is not part of the text.
std::string DecodeXliText(const std::uint8_t* data, std::size_t size);

// Splits decoded text into tokens at tab, LF, CR and space; pieces that are only white space are dropped.
// Calls `onToken(std::string_view)` for each token in order; stops early when it returns false.
template <class F> void ForEachXliToken(std::string_view text, F&& onToken);

// A text (valid UTF-8) as a new 8-bit string: characters U+0000..U+00FF become the byte of the same value; a text
// with any character above U+00FF becomes the empty string. The string ends at the first U+0000, as the
// zero-terminated strings of the file format do.
std::string SysStringToLPCSTR(std::string_view ToConvert);

// The integer form of XLI files: optional sign, decimal digits, within signed 32 bits.
bool ParseXliInteger(std::string_view token, std::int32_t& value);
// The decimal form as read: optional sign, digits with at most one separator ('.' or ','), optional exponent;
// at least one digit before the exponent; within the 32-bit float range (values too small round to the nearest
// float). "5." and ".5" are valid; ".", "1e", inf, nan and hex are not.
bool ParseXliDecimal(std::string_view token, float& value);
// The decimal form as written: 7 significant digits, shortest form, plain for exponents -4..6, else d.dddE+XX.
std::string FormatXliDecimal(float value);

// ---------------------------------------------------------------------------------------------------------------
// reader.cpp

// Parses one XLI file held in memory into `xliFileStruct` (prepared: xliFile set, room for NumModels entries).
// Returns the number of complete entries stored. On a malformed number reports "Problem reading file!" with the
// latest warning through the message sink, as the file reader does.
std::int32_t IniXLIModelsFromMemory(const std::uint8_t* data, std::size_t size, xlimodels& xliFileStruct);
// The same for text already decoded (valid UTF-8).
std::int32_t IniXLIModelsFromText(std::string_view text, xlimodels& xliFileStruct);
// Makes `Directory` current, reads `xliFile` relative to it and parses it; reports a file that cannot be read.
std::int32_t IniXLIModelsFromFile(const std::string& xliFile, xlimodels& xliFileStruct, const std::string& Directory);

// ---------------------------------------------------------------------------------------------------------------
// loading.cpp

// The number of XLI files directly in `Directory` (extension exactly ".xli").
std::int32_t CountXLIFiles(const std::string& Directory);
// The names of the XLI files of `Directory`, sorted by name without regard to case. True when at least one.
bool ReadXLIFileNames(std::vector<std::string>& FoundFiles, const std::string& Directory);
// Counts the lines of one file in memory that hold a vehicle word and those that hold an object word, after
// upper-casing each line; a line ends at CR, LF or CR LF. (Both counting passes in one reading.)
void CountVekTypesInMemory(const std::uint8_t* data, std::size_t size, std::int32_t& vehicles, std::int32_t& objects);
void CountVekTypesInText(std::string_view text, std::int32_t& vehicles, std::int32_t& objects);
// The number of lines of `xliFile` holding a vehicle word (isVehicle) or an object word; reports unreadable files.
std::int32_t CountVekTypes(const std::string& xliFile, const std::string& Directory, bool isVehicle);
// Builds the catalogue of every XLI file of `Directory`; writes the total of all NumModels into NumObjects
// (left unchanged when the directory holds no XLI file). With `stored`, also gives the reader's result per record.
Catalogue IniXLIModelsStruct(const std::string& Directory, std::int32_t& NumObjects,
                             std::vector<std::int32_t>* stored = nullptr);
// The building step of IniXLIModelsStruct for names already listed: one record per name, counted and read.
Catalogue IniXLIModelsFromNames(const std::vector<std::string>& names, const std::string& Directory,
                                std::int32_t& NumObjects, std::vector<std::int32_t>* stored = nullptr);

// The catalogue of all XLI files of the game directory, and the number of entries counted in them.
// Written by start-up and by the choice of a game directory; read by the dialogs, the duplicate check and the
// ID export.
extern Catalogue gAllXLI;
extern std::int32_t NumObjects;

// ---------------------------------------------------------------------------------------------------------------
// checksums.cpp: pure functions, signed 32-bit arithmetic that wraps.

std::int32_t CalcAsciiSum(std::string_view asciiStr);
std::int32_t CalcModelChecksum(std::int32_t sumASCII);
std::int32_t CalcXLIChecksum(std::int32_t sumASCII);
std::int32_t CalcXLIChecksumFromPath(std::string_view szPath);
double GetLastDigits(std::int32_t nValue, std::int32_t nDigits);

// ---------------------------------------------------------------------------------------------------------------
// writer.cpp

// The bytes of an XLI file for one record: two header lines, six lines per entry, CR LF line ends, UTF-8.
std::string FormatXliFile(const xlimodels& record);
// Writes the first record of `xliNewFileStruct` to szVekDir + its xliFile; refuses an existing file with
// message 40024 and reports a file that cannot be written ("Problem writing file!"). Leaves no partial file.
void WriteNewXliFile(const Catalogue& xliNewFileStruct, const std::string& szVekDir);

// ---------------------------------------------------------------------------------------------------------------

bool IsXliBlankPiece(std::string_view piece); // only white space in the sense of the token rule (text.cpp)

template <class F> void ForEachXliToken(std::string_view text, F&& onToken) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
        const std::size_t start = i;
        while (i < n && text[i] != ' ' && text[i] != '\t' && text[i] != '\n' && text[i] != '\r') ++i;
        if (i == start) break;
        const std::string_view piece = text.substr(start, i - start);
        if (IsXliBlankPiece(piece)) continue;
        if (!onToken(piece)) return;
    }
}
