// The type-word table, the classification of texts by it, and the lookup of a model by ID.
#include "catalogue.h"

const VekTypeWord VekTypes[14] = {
    {"ENGINE_TYPE", VekClass::Vehicle}, {"CWAGON_TYPE", VekClass::Vehicle},   {"PWAGON_TYPE", VekClass::Vehicle},
    {"HOUSE_TYPE", VekClass::Object},   {"RAILWAY_TYPE", VekClass::Object},   {"INDUSTRY_TYPE", VekClass::Object},
    {"PLANT_TYPE", VekClass::Object},   {"DUMMY_TYPE", VekClass::Object},     {"LAMP_TYPE", VekClass::Object},
    {"MISC_TYPE", VekClass::Object},    {"TRACK_TYPE", VekClass::Object},     {"SCREENOBJ_TYPE", VekClass::Object},
    {"SIGN_TYPE", VekClass::Object},    {"ENVIR_TYPE", VekClass::Object},
};

VekClass GetVekClass(std::string_view text) {
    // Every word ends in "_TYPE": texts without it (nearly all tokens) are settled by one search.
    if (text.find("_TYPE") == std::string_view::npos) return VekClass::None;
    for (const VekTypeWord& w : VekTypes) {
        if (text.find(w.word) != std::string_view::npos) return w.cls;
    }
    return VekClass::None;
}

bool ContainsVekWord(std::string_view text, bool isVehicle) {
    if (text.find("_TYPE") == std::string_view::npos) return false;
    const VekClass want = isVehicle ? VekClass::Vehicle : VekClass::Object;
    for (const VekTypeWord& w : VekTypes) {
        if (w.cls == want && text.find(w.word) != std::string_view::npos) return true;
    }
    return false;
}

const xlimodel* GetModelByID(const Catalogue& xliFileStruct, std::int32_t ID) {
    const std::int32_t n = GetNumXLI(xliFileStruct);
    for (std::int32_t i = 0; i < n && i < static_cast<std::int32_t>(xliFileStruct.size()); ++i) {
        for (const xlimodel& m : xliFileStruct[i].Models) {
            if (m.ID == ID) return &m;
        }
    }
    return nullptr;
}
