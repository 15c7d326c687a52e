// The overlay font: a face matched by fontconfig, rasterised by FreeType into a glyph atlas for the 8-bit code
// page's characters, drawn as textured quads in screen pixels.
#include "gl_device.h"

#include "sys.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include <algorithm>
#include <array>

struct GfxFontGlyph {
    int x = 0, y = 0, w = 0, h = 0; // place in the atlas
    int left = 0, top = 0;          // bitmap offset from the pen position on the baseline (top is upwards)
    int advance = 0;
};

// Invariants: one glyph per byte of the 8-bit text; the atlas (one red channel of coverage) lives in the context
// of `contextSerial`.
struct GfxFont {
    std::uint64_t contextSerial = 0;
    GLuint atlas = 0;
    int atlasWidth = 0, atlasHeight = 0;
    int ascent = 0; // pixels from the top of a line to its baseline
    std::array<GfxFontGlyph, 256> glyphs{};
    std::string file;
};

namespace {

const char* kTextVertex = R"(#version 330 core
layout(location = 0) in vec2 aPixel;
layout(location = 1) in vec2 aUv;
uniform vec2 uTarget; // target size in pixels
out vec2 vUv;
void main() {
    gl_Position = vec4(2.0 * aPixel.x / uTarget.x - 1.0, 1.0 - 2.0 * aPixel.y / uTarget.y, 0.0, 1.0);
    vUv = aUv;
}
)";

const char* kTextFragment = R"(#version 330 core
in vec2 vUv;
uniform sampler2D uAtlas;
uniform vec4 uColor;
out vec4 fragColor;
void main() {
    float coverage = texture(uAtlas, vUv).r;
    if (coverage <= 0.0) discard;
    fragColor = vec4(uColor.rgb, uColor.a * coverage);
}
)";

bool EnsureTextProgram(GfxDevice* d) {
    GfxTextProgram& t = d->text;
    if (t.program) return true;
    std::string log;
    t.program = CompileProgram(kTextVertex, kTextFragment, log);
    if (!t.program) return false;
    t.target = glGetUniformLocation(t.program, "uTarget");
    t.color = glGetUniformLocation(t.program, "uColor");
    t.atlas = glGetUniformLocation(t.program, "uAtlas");
    glGenVertexArrays(1, &t.vao);
    glBindVertexArray(t.vao);
    glGenBuffers(1, &t.vbo);
    glBindBuffer(GL_ARRAY_BUFFER, t.vbo);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float),
                          reinterpret_cast<const void*>(2 * sizeof(float)));
    glBindVertexArray(0);
    return true;
}

// The font file that fontconfig offers for the family and weight (it substitutes metric-compatible faces).
bool MatchFontFile(std::string_view faceName, int weight, std::string& file, int& index) {
    if (!FcInit()) return false;
    FcPattern* pattern = FcPatternCreate();
    const std::string family(faceName);
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    FcChar8* path = nullptr;
    bool ok = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path;
    if (ok) file = reinterpret_cast<const char*>(path);
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
    FcPatternDestroy(match);
    return ok;
}

// The Unicode character of each byte of the 8-bit code page (0 where a byte stands for none).
char32_t CodePointOfByte(unsigned b) {
    const char c = static_cast<char>(b);
    const std::string u = AnsiToUtf8(std::string_view(&c, 1));
    const auto* p = reinterpret_cast<const unsigned char*>(u.data());
    if (u.size() == 1) return p[0];
    if (u.size() == 2) return static_cast<char32_t>(((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu));
    if (u.size() == 3) return static_cast<char32_t>(((p[0] & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu));
    return 0;
}

} // namespace

GfxFont* CreateFont(GfxDevice* device, int height, int weight, std::string_view faceName) {
    if (!device || height <= 0 || !MakeContextCurrent(device->contextSerial)) return nullptr;
    if (!EnsureTextProgram(device)) return nullptr;
    std::string file;
    int index = 0;
    if (!MatchFontFile(faceName, weight, file, index)) return nullptr;

    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library)) return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Face(library, file.c_str(), index, &face)) {
        FT_Done_FreeType(library);
        return nullptr;
    }
    // The height is the character cell: ascent plus descent, as the original platform's font height.
    FT_Size_RequestRec request{};
    request.type = FT_SIZE_REQUEST_TYPE_CELL;
    request.height = static_cast<FT_Long>(height) * 64;
    FT_Request_Size(face, &request);
    // A regular face asked for semi-bold or more is emboldened, as the original platform's font mapper does.
    const bool embolden = weight >= 600 && !(face->style_flags & FT_STYLE_FLAG_BOLD);

    auto* font = new GfxFont;
    font->contextSerial = device->contextSerial;
    font->file = file;
    font->ascent = static_cast<int>((face->size->metrics.ascender + 32) >> 6);

    struct Bitmap {
        std::vector<std::uint8_t> pixels;
    };
    std::array<Bitmap, 256> bitmaps;
    const int atlasWidth = 512;
    int x = 1, y = 1, rowHeight = 0;
    for (unsigned b = 0x20; b < 256; ++b) {
        const char32_t cp = CodePointOfByte(b);
        if (cp == 0 || cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) continue;
        if (FT_Load_Char(face, cp, FT_LOAD_DEFAULT)) continue;
        if (embolden) FT_GlyphSlot_Embolden(face->glyph);
        if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL)) continue;
        const FT_Bitmap& bm = face->glyph->bitmap;
        GfxFontGlyph& g = font->glyphs[b];
        g.advance = static_cast<int>((face->glyph->advance.x + 32) >> 6);
        g.left = face->glyph->bitmap_left;
        g.top = face->glyph->bitmap_top;
        g.w = static_cast<int>(bm.width);
        g.h = static_cast<int>(bm.rows);
        if (g.w == 0 || g.h == 0 || g.w > atlasWidth - 2) {
            g.w = g.h = 0;
            continue;
        }
        if (x + g.w + 1 > atlasWidth) {
            x = 1;
            y += rowHeight + 1;
            rowHeight = 0;
        }
        g.x = x;
        g.y = y;
        x += g.w + 1;
        rowHeight = std::max(rowHeight, g.h);
        bitmaps[b].pixels.resize(static_cast<std::size_t>(g.w) * static_cast<std::size_t>(g.h));
        for (int r = 0; r < g.h; ++r) {
            const unsigned char* src = bm.buffer + static_cast<std::ptrdiff_t>(r) * bm.pitch;
            std::copy(src, src + g.w, bitmaps[b].pixels.begin() + static_cast<std::ptrdiff_t>(r) * g.w);
        }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);

    font->atlasWidth = atlasWidth;
    font->atlasHeight = y + rowHeight + 1;
    std::vector<std::uint8_t> atlas(static_cast<std::size_t>(font->atlasWidth) *
                                    static_cast<std::size_t>(font->atlasHeight));
    for (unsigned b = 0; b < 256; ++b) {
        const GfxFontGlyph& g = font->glyphs[b];
        for (int r = 0; r < g.h; ++r) {
            std::copy_n(bitmaps[b].pixels.begin() + static_cast<std::ptrdiff_t>(r) * g.w, g.w,
                        atlas.begin() + static_cast<std::ptrdiff_t>(g.y + r) * font->atlasWidth + g.x);
        }
    }
    glGenTextures(1, &font->atlas);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, font->atlas);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, font->atlasWidth, font->atlasHeight, 0, GL_RED, GL_UNSIGNED_BYTE,
                 atlas.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    return font;
}

int GetTextWidth(const GfxFont* font, std::string_view ansiText) {
    if (!font) return 0;
    int w = 0;
    for (char c : ansiText) w += font->glyphs[static_cast<unsigned char>(c)].advance;
    return w;
}

void DrawText(GfxDevice* device, GfxFont* font, std::string_view ansiText, const GfxRect& rect,
              std::uint32_t argb) {
    if (!font || !device || font->contextSerial != device->contextSerial || !device->text.program) return;
    if (!BindTarget(device)) return;

    std::vector<float> quads;
    quads.reserve(ansiText.size() * 24);
    const float iw = 1.0f / static_cast<float>(font->atlasWidth);
    const float ih = 1.0f / static_cast<float>(font->atlasHeight);
    int pen = rect.left;
    const int baseline = rect.top + font->ascent;
    for (char c : ansiText) {
        const GfxFontGlyph& g = font->glyphs[static_cast<unsigned char>(c)];
        if (g.w > 0) {
            const auto x0 = static_cast<float>(pen + g.left), y0 = static_cast<float>(baseline - g.top);
            const float x1 = x0 + static_cast<float>(g.w), y1 = y0 + static_cast<float>(g.h);
            const float u0 = static_cast<float>(g.x) * iw, v0 = static_cast<float>(g.y) * ih;
            const float u1 = static_cast<float>(g.x + g.w) * iw, v1 = static_cast<float>(g.y + g.h) * ih;
            quads.insert(quads.end(), {x0, y0, u0, v0, x1, y0, u1, v0, x1, y1, u1, v1,
                                       x0, y0, u0, v0, x1, y1, u1, v1, x0, y1, u0, v1});
        }
        pen += g.advance;
    }
    if (quads.empty()) return;

    const GfxTextProgram& t = device->text;
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glUseProgram(t.program);
    glUniform2f(t.target, static_cast<float>(device->width), static_cast<float>(device->height));
    const float color[4] = {static_cast<float>((argb >> 16) & 0xFFu) / 255.0f,
                            static_cast<float>((argb >> 8) & 0xFFu) / 255.0f,
                            static_cast<float>(argb & 0xFFu) / 255.0f,
                            static_cast<float>((argb >> 24) & 0xFFu) / 255.0f};
    glUniform4fv(t.color, 1, color);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, font->atlas);
    glUniform1i(t.atlas, 0);
    glBindVertexArray(t.vao);
    glBindBuffer(GL_ARRAY_BUFFER, t.vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(quads.size() * sizeof(float)), quads.data(),
                 GL_STREAM_DRAW);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(quads.size() / 4));
    glBindVertexArray(0);
    // The scene's GL states are set again from the device's record before the next subset is drawn.
}

std::string GetFontFile(const GfxFont* font) { return font ? font->file : std::string(); }

void ReleaseFont(GfxFont* font) {
    if (!font) return;
    if (MakeContextCurrent(font->contextSerial)) glDeleteTextures(1, &font->atlas);
    delete font;
}
