// The XLI reader: one file into one catalogue record, token by token.
#include "catalogue_internal.h"

namespace {

// The message buffer of one read holds at most 259 characters.
constexpr std::size_t kMessageBufferChars = 259;

void SetWarning(std::string& buffer, std::string text) {
    if (text.size() > kMessageBufferChars) text.resize(kMessageBufferChars);
    buffer = std::move(text);
}

// Leaves only the fields of the entry's new class set when a token changes the class inside an entry.
void ClearOtherClassFields(xlimodel& m) {
    if (m.isObject) {
        m.RefModel.clear();
        m.NotUsed = 0.0f;
        m.MaxSpeed = 0;
        m.MaxWagons = 0;
    } else {
        m.TexturePath1.clear();
        m.TexturePath2.clear();
        m.RGBValue1.clear();
        m.RGBValue2.clear();
    }
}

} // namespace

std::int32_t IniXLIModelsFromMemory(const std::uint8_t* data, std::size_t size, xlimodels& xliFileStruct) {
    return IniXLIModelsFromText(DecodeXliText(data, size), xliFileStruct);
}

std::int32_t IniXLIModelsFromText(std::string_view text, xlimodels& xliFileStruct) {
    if (text.empty()) return 0;

    const std::size_t room = xliFileStruct.Models.size();
    xlimodel surplus; // entries beyond the room are read here and dropped
    std::int64_t tokenCounter = 0;
    int state = 0;
    std::int32_t entryIndex = 0;
    bool insideEntry = false;
    std::string messageBuffer;
    bool failed = false;
    const std::string& fileName = xliFileStruct.xliFile;

    ForEachXliToken(text, [&](std::string_view token) {
        if (tokenCounter == 0 || tokenCounter == 1) {
            const int h = static_cast<int>(tokenCounter);
            if (!ParseXliInteger(token, xliFileStruct.Header[h])) {
                failed = true;
                return false;
            }
            xliFileStruct.HeaderSet[h] = true;
        }
        xlimodel& m = static_cast<std::size_t>(entryIndex) < room ? xliFileStruct.Models[entryIndex] : surplus;
        const VekClass cls = GetVekClass(token);
        if (cls != VekClass::None) {
            const bool isObject = cls == VekClass::Object;
            if (state != 0 && m.isObject != isObject) {
                m.isObject = isObject;
                ClearOtherClassFields(m);
            }
            m.isObject = isObject;
            insideEntry = true;
        } else if (!insideEntry) {
            ++tokenCounter;
            return true;
        }

        bool ok = true;
        switch (state) {
        case 0:
            m.VekType = SysStringToLPCSTR(token);
            m.xliFile = fileName;
            if (m.VekType.size() < 9) SetWarning(messageBuffer, "No VekType in: " + fileName);
            break;
        case 1:
            ok = ParseXliInteger(token, m.ID);
            if (ok && m.ID == 0) SetWarning(messageBuffer, "No ID in: " + fileName);
            break;
        case 2:
            m.XFile = SysStringToLPCSTR(token);
            if (m.XFile.size() < 2) SetWarning(messageBuffer, "No XFile in: " + fileName);
            break;
        case 3:
            ok = ParseXliDecimal(token, m.Scale);
            if (ok && m.Scale == 0.0f) SetWarning(messageBuffer, "No Scale in: " + fileName);
            break;
        case 4:
            m.DispName = SysStringToLPCSTR(token);
            if (m.DispName.size() < 2) {
                m.DispName = m.XFile;
                SetWarning(messageBuffer,
                           "No DispName in: " + fileName + "\nUsing the X-filename " + m.XFile + "  instead.");
            }
            break;
        case 5:
            (m.isObject ? m.TexturePath1 : m.RefModel) = SysStringToLPCSTR(token);
            break;
        case 6:
            if (m.isObject) m.TexturePath2 = SysStringToLPCSTR(token);
            else ok = ParseXliDecimal(token, m.NotUsed);
            break;
        case 7:
            if (m.isObject) m.RGBValue1 = SysStringToLPCSTR(token);
            else ok = ParseXliInteger(token, m.MaxSpeed);
            break;
        case 8:
            if (m.isObject) m.RGBValue2 = SysStringToLPCSTR(token);
            else ok = ParseXliInteger(token, m.MaxWagons);
            break;
        case 9:
            ok = ParseXliInteger(token, m.Checksum);
            break;
        }
        if (!ok) {
            failed = true;
            return false;
        }
        if (state == 9) {
            state = 0;
            insideEntry = false;
            if (static_cast<std::size_t>(entryIndex) < room) ++entryIndex;
            else surplus = xlimodel();
        } else {
            ++state;
        }
        ++tokenCounter;
        return true;
    });

    if (failed) ShowMessage(messageBuffer, "Problem reading file!", MsgIcon::Exclamation);
    return entryIndex;
}

void ReportXliReadFailure(const std::string& xliFile, ReadFailure failure) {
    switch (failure) {
    case ReadFailure::None:
        break;
    case ReadFailure::FileNotFound:
        ShowMessage("Could not locate: " + xliFile + "!", "Not found", MsgIcon::Stop);
        break;
    case ReadFailure::DirectoryNotFound:
        ShowMessage("DirectoryNotFoundException", "Not found", MsgIcon::Stop);
        break;
    case ReadFailure::IoError:
        ShowMessage("IOException", "Not found", MsgIcon::Stop);
        break;
    case ReadFailure::AccessDenied:
    case ReadFailure::IsDirectory:
        // Nothing was read, so the message buffer is still empty.
        ShowMessage("", "Problem reading file!", MsgIcon::Exclamation);
        break;
    }
}

std::int32_t IniXLIModelsFromFile(const std::string& xliFile, xlimodels& xliFileStruct, const std::string& Directory) {
    SetCurrentDir(Directory); // a failure shows in the open below
    const ReadResult file = ReadWholeFile(xliFile);
    if (file.failure == ReadFailure::None) return IniXLIModelsFromMemory(file.bytes.data(), file.bytes.size(), xliFileStruct);
    ReportXliReadFailure(xliFile, file.failure);
    return 0;
}
