// vekvoxa-cli list DIR [--json]: loads every XLI file of DIR as the program does and prints the catalogue.
#include "cli.h"

#include "catalogue.h"
#include "sys.h"

#include <cstdio>
#include <optional>

namespace {

const char kHelp[] =
    "usage: vekvoxa-cli list DIR [--json]\n"
    "\n"
    "Loads every XLI file directly in DIR (extension exactly .xli, in name order) as Vek Voxa does and prints\n"
    "the catalogue: per file its header, counted and stored entries, and every model with its values.\n"
    "Messages that loading shows go to stderr as 'caption: text'.\n"
    "\n"
    "  --json   print one JSON object instead: directory, NumObjects, catalogue, messages. 8-bit strings are\n"
    "           written with every byte b as U+00bb; messages appear only in the JSON.\n";

struct ListSettings {
    std::string directory; // as given (UTF-8)
    bool json = false;
};

std::string ModelJson(const xlimodel& m) {
    std::string o = "{\"xliFile\": " + JsonBytes(m.xliFile) + ", \"VekType\": " + JsonBytes(m.VekType) +
                    ", \"isObject\": " + (m.isObject ? "true" : "false") + ", \"ID\": " + std::to_string(m.ID) +
                    ", \"XFile\": " + JsonBytes(m.XFile) + ", \"Scale\": " + JsonFloat(m.Scale) +
                    ", \"DispName\": " + JsonBytes(m.DispName);
    if (m.isObject) {
        o += ", \"TexturePath1\": " + JsonBytes(m.TexturePath1) + ", \"TexturePath2\": " + JsonBytes(m.TexturePath2) +
             ", \"RGBValue1\": " + JsonBytes(m.RGBValue1) + ", \"RGBValue2\": " + JsonBytes(m.RGBValue2);
    } else {
        o += ", \"RefModel\": " + JsonBytes(m.RefModel) + ", \"NotUsed\": " + JsonFloat(m.NotUsed) +
             ", \"MaxSpeed\": " + std::to_string(m.MaxSpeed) + ", \"MaxWagons\": " + std::to_string(m.MaxWagons);
    }
    return o + ", \"Checksum\": " + std::to_string(m.Checksum) + "}";
}

std::string HeaderNumberJson(const xlimodels& r, int i) {
    return r.HeaderSet[i] ? std::to_string(r.Header[i]) : "null";
}

std::string CatalogueJson(const ListSettings& s, std::int32_t numObjects, const Catalogue& catalogue,
                          const std::vector<std::int32_t>& stored, const std::vector<Message>& messages) {
    std::string out = "{\n  \"directory\": " + JsonString(s.directory) + ",\n  \"NumObjects\": " +
                      std::to_string(numObjects) + ",\n  \"catalogue\": [";
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        const xlimodels& r = catalogue[i];
        out += i ? ",\n    {" : "\n    {";
        out += "\"xliFile\": " + JsonBytes(r.xliFile) + ", \"NumXLI\": " + std::to_string(r.NumXLI) +
               ", \"Header\": [" + HeaderNumberJson(r, 0) + ", " + HeaderNumberJson(r, 1) +
               "], \"NumModels\": " + std::to_string(r.NumModels) + ", \"stored\": " + std::to_string(stored[i]) +
               ", \"Models\": [";
        for (std::size_t k = 0; k < r.Models.size(); ++k) out += (k ? ",\n      " : "\n      ") + ModelJson(r.Models[k]);
        out += r.Models.empty() ? "]}" : "\n    ]}";
    }
    out += catalogue.empty() ? "],\n  \"messages\": [" : "\n  ],\n  \"messages\": [";
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const Message& m = messages[i];
        out += (i ? ",\n    " : "\n    ") + std::string("{\"caption\": ") + JsonBytes(m.caption) +
               ", \"text\": " + JsonBytes(m.text) + ", \"icon\": \"" + MsgIconName(m.icon) + "\"}";
    }
    out += messages.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

std::string Field(const std::string& ansi) { return ansi.empty() ? "-" : AnsiToUtf8(ansi); }

void PrintTable(std::int32_t numObjects, const Catalogue& catalogue, const std::vector<std::int32_t>& stored) {
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        const xlimodels& r = catalogue[i];
        std::printf("%s  header %s %s  models %d (stored %d)\n", AnsiToUtf8(r.xliFile).c_str(),
                    HeaderNumberJson(r, 0).c_str(), HeaderNumberJson(r, 1).c_str(), r.NumModels, stored[i]);
        for (const xlimodel& m : r.Models) {
            std::printf("  %-8s %-16s %11d  %-20s %-9s %-24s", m.isObject ? "object" : "vehicle", Field(m.VekType).c_str(),
                        m.ID, Field(m.XFile).c_str(), FormatXliDecimal(m.Scale).c_str(), Field(m.DispName).c_str());
            if (m.isObject) {
                std::printf("  tex %s %s  rgb %s %s", Field(m.TexturePath1).c_str(), Field(m.TexturePath2).c_str(),
                            Field(m.RGBValue1).c_str(), Field(m.RGBValue2).c_str());
            } else {
                std::printf("  ref %s  notused %s  speed %d  wagons %d", Field(m.RefModel).c_str(),
                            FormatXliDecimal(m.NotUsed).c_str(), m.MaxSpeed, m.MaxWagons);
            }
            std::printf("  checksum %d\n", m.Checksum);
        }
    }
    std::printf("%zu XLI file(s), NumObjects %d\n", catalogue.size(), numObjects);
}

// The directory as the program holds VekDir: an absolute ANSI path ending with '/'. A relative DIR is made
// absolute first, since loading makes the game directory current for every file.
bool GameDirectory(const std::string& given, std::string& ansiDir, std::string& error) {
    if (!ArgToAnsi(AbsolutePath(given), ansiDir)) {
        error = "'" + given + "' holds characters outside Windows-1252, which Vek Voxa's paths cannot hold";
        return false;
    }
    if (given.empty() || !DirectoryExists(ansiDir)) {
        error = "'" + given + "' is not a directory";
        return false;
    }
    std::vector<std::string> probe;
    if (!ListFiles(ansiDir, ".xli", probe)) {
        error = "cannot read the directory '" + given + "'";
        return false;
    }
    if (ansiDir.back() != '/') ansiDir += '/';
    return true;
}

int ListCatalogue(const ListSettings& s) {
    std::string dir, error;
    if (!GameDirectory(s.directory, dir, error)) return Failure(error);

    // With --json the messages go into the JSON; otherwise the default sink writes them to stderr.
    std::optional<MessageRecorder> recorder;
    if (s.json) recorder.emplace();
    std::int32_t numObjects = 0;
    std::vector<std::int32_t> stored;
    const Catalogue catalogue = IniXLIModelsStruct(dir, numObjects, &stored);
    if (s.json) {
        const std::string json = CatalogueJson(s, numObjects, catalogue, stored, recorder->messages);
        std::fwrite(json.data(), 1, json.size(), stdout);
    } else {
        PrintTable(numObjects, catalogue, stored);
    }
    return kExitOk;
}

} // namespace

int RunListCommand(const CliArgs& args) {
    ListSettings s;
    bool haveDir = false;
    for (const std::string& a : args) {
        if (IsHelpFlag(a)) {
            std::fputs(kHelp, stdout);
            return kExitOk;
        }
        if (a == "--json") {
            s.json = true;
        } else if (!a.empty() && a[0] == '-') {
            return UsageError("list", "unknown option '" + a + "'");
        } else if (haveDir) {
            return UsageError("list", "more than one DIR given");
        } else {
            s.directory = a;
            haveDir = true;
        }
    }
    if (!haveDir) return UsageError("list", "no DIR given");
    return ListCatalogue(s);
}
