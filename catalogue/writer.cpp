// The XLI writer: one catalogue record as a new file, never over an existing one.
#include "catalogue.h"

#include "sys.h"

#include <cerrno>
#include <cstring>

namespace {

void AddText(std::string& fs, std::string_view value) { fs += AnsiToUtf8(value); }

} // namespace

std::string FormatXliFile(const xlimodels& record) {
    std::string fs;
    fs += std::to_string(record.Header[0]) + "\r\n";
    fs += std::to_string(record.Header[1]) + "\r\n";
    for (const xlimodel& m : record.Models) {
        AddText(fs, m.VekType);
        fs += '\t' + std::to_string(m.ID) + '\t';
        AddText(fs, m.XFile);
        fs += '\t' + FormatXliDecimal(m.Scale) + '\t';
        AddText(fs, m.DispName);
        fs += "\r\n\t";
        if (m.isObject) {
            AddText(fs, m.TexturePath1);
            fs += "\r\n\t";
            AddText(fs, m.TexturePath2);
            fs += "\r\n\t";
            AddText(fs, m.RGBValue1);
            fs += "\r\n\t";
            AddText(fs, m.RGBValue2);
        } else {
            AddText(fs, m.RefModel);
            fs += "\r\n\t" + FormatXliDecimal(m.NotUsed);
            fs += "\r\n\t" + std::to_string(m.MaxSpeed);
            fs += "\r\n\t" + std::to_string(m.MaxWagons);
        }
        fs += "\r\n\t" + std::to_string(m.Checksum) + "\r\n";
    }
    return fs;
}

void WriteNewXliFile(const Catalogue& xliNewFileStruct, const std::string& szVekDir) {
    if (xliNewFileStruct.empty()) return;
    const xlimodels& record = xliNewFileStruct.front();
    const std::string path = szVekDir + record.xliFile;
    if (FileExists(path)) {
        ShowMessage(LoadStringA(40024), "", MsgIcon::None);
        return;
    }
    const std::string error = WriteFileAtomic(path, FormatXliFile(record), true);
    if (error.empty()) return;
    if (error == std::strerror(EEXIST)) {
        // Someone created the file between the test and the write: the same refusal.
        ShowMessage(LoadStringA(40024), "", MsgIcon::None);
        return;
    }
    std::string reason;
    if (!Utf8ToAnsi(error, reason)) reason = error;
    ShowMessage(path + "\n" + reason, "Problem writing file!", MsgIcon::Stop);
}
