// The device: contexts (window or surfaceless EGL), the offscreen target, the states, transforms, materials,
// textures and meshes, and the shader that stands for the fixed-function pipeline.
#include "gl_device.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

// ---------------------------------------------------------------------------------------------------------------
// The context registry. Objects remember the serial of the context they were made in; an entry lives as long as
// its context. EGL contexts are ours and die with their device; a window's context belongs to the UI layer and
// outlives the devices made on it, so its entry stays.

struct ContextEntry {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    GfxWindowContext* window = nullptr;
    std::uintptr_t windowKey = 0;
};

std::map<std::uint64_t, ContextEntry>& Registry() {
    static std::map<std::uint64_t, ContextEntry> registry;
    return registry;
}
std::uint64_t gNextSerial = 1;

// EGL displays are one per process and platform; each device holds one initialisation of it.
int gDisplayUsers = 0;
// Set by SetHardwareDeviceDisabled (tests of the fallback), read by CreateDevice.
bool gHardwareDisabled = false;

const char* EglErrorName(EGLint e) {
    switch (e) {
    case EGL_NOT_INITIALIZED: return "EGL_NOT_INITIALIZED";
    case EGL_BAD_ACCESS: return "EGL_BAD_ACCESS";
    case EGL_BAD_ALLOC: return "EGL_BAD_ALLOC";
    case EGL_BAD_ATTRIBUTE: return "EGL_BAD_ATTRIBUTE";
    case EGL_BAD_CONFIG: return "EGL_BAD_CONFIG";
    case EGL_BAD_CONTEXT: return "EGL_BAD_CONTEXT";
    case EGL_BAD_DISPLAY: return "EGL_BAD_DISPLAY";
    case EGL_BAD_MATCH: return "EGL_BAD_MATCH";
    case EGL_BAD_PARAMETER: return "EGL_BAD_PARAMETER";
    default: return "EGL error";
    }
}

bool HasExtension(const char* list, const char* name) {
    if (!list) return false;
    const std::size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    }
    return false;
}

// A GL 3.3 core context without any surface. With `software` set, Mesa is asked for its software rasterizer.
bool CreateEglContext(bool software, ContextEntry& entry, std::string& why) {
    const char* old = std::getenv("LIBGL_ALWAYS_SOFTWARE");
    const std::string oldValue = old ? old : "";
    if (software) setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    auto restoreEnv = [&] {
        if (!software) return;
        if (old) setenv("LIBGL_ALWAYS_SOFTWARE", oldValue.c_str(), 1);
        else unsetenv("LIBGL_ALWAYS_SOFTWARE");
    };

    const char* clientExt = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    EGLDisplay display = EGL_NO_DISPLAY;
    if (HasExtension(clientExt, "EGL_MESA_platform_surfaceless"))
        display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY) display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display == EGL_NO_DISPLAY) {
        restoreEnv();
        why = "no EGL display";
        return false;
    }
    if (software && gDisplayUsers > 0) {
        // The display is in use by another device; its driver cannot be chosen anew.
        restoreEnv();
        why = "the EGL display is in use";
        return false;
    }
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor)) {
        restoreEnv();
        why = std::string("eglInitialize failed: ") + EglErrorName(eglGetError());
        return false;
    }
    restoreEnv();
    ++gDisplayUsers;
    auto fail = [&](std::string reason) {
        why = std::move(reason);
        if (--gDisplayUsers == 0) eglTerminate(display);
        return false;
    };
    const char* ext = eglQueryString(display, EGL_EXTENSIONS);
    if (!HasExtension(ext, "EGL_KHR_surfaceless_context")) return fail("EGL without surfaceless contexts");
    if (!eglBindAPI(EGL_OPENGL_API)) return fail("EGL without desktop OpenGL");

    EGLConfig config = EGL_NO_CONFIG_KHR;
    if (!HasExtension(ext, "EGL_KHR_no_config_context") && !HasExtension(ext, "EGL_MESA_configless_context")) {
        const EGLint want[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, 0, EGL_NONE};
        EGLint count = 0;
        if (!eglChooseConfig(display, want, &config, 1, &count) || count < 1) return fail("no EGL config for OpenGL");
    }
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT)
        return fail(std::string("no OpenGL 3.3 core context: ") + EglErrorName(eglGetError()));
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        eglDestroyContext(display, context);
        return fail(std::string("eglMakeCurrent failed: ") + EglErrorName(eglGetError()));
    }
    entry.display = display;
    entry.context = context;
    return true;
}

void DestroyEglContext(ContextEntry& entry) {
    eglMakeCurrent(entry.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(entry.display, entry.context);
    if (--gDisplayUsers == 0) eglTerminate(entry.display);
}

std::uint64_t RegisterContext(const ContextEntry& entry) {
    if (entry.window) {
        for (auto& [serial, e] : Registry()) {
            if (e.window && e.windowKey == entry.windowKey) {
                e.window = entry.window; // the UI layer may hand in a new record for the same context
                return serial;
            }
        }
    }
    const std::uint64_t serial = gNextSerial++;
    Registry()[serial] = entry;
    return serial;
}

// ---------------------------------------------------------------------------------------------------------------
// The fixed-function shader: ambient-only lighting (emissive + material ambient x global ambient, alpha from the
// diffuse colour), stage 0 modulating the texture's colour and taking its alpha, and the alpha test.

const char* kSceneVertex = R"(#version 330 core
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec2 aUv;
// The world x view x projection product for row vectors, given row by row: as a GLSL matrix it is the transpose,
// so M * v computes v * WVP.
uniform mat4 uWvp;
out vec2 vUv;
void main() {
    vec4 p = uWvp * vec4(aPosition, 1.0);
    p.z = 2.0 * p.z - p.w; // depth [0, 1] of the original platform -> [-1, 1]
    gl_Position = p;
    vUv = aUv;
}
)";

// Stage 0 with a texture: the texel's colour modulated by the lit colour, the texel's alpha, the alpha test.
const char* kSceneFragment = R"(#version 330 core
in vec2 vUv;
uniform vec4 uColor;      // the lit colour
uniform sampler2D uTex;
uniform vec2 uAlphaPass;  // the alpha test: 8-bit alpha values from x to y pass ...
uniform int uAlphaInvert; // ... or, when set, all others
out vec4 fragColor;
void main() {
    vec4 t = texture(uTex, vUv);
    vec4 c = vec4(uColor.rgb * t.rgb, t.a);
    float a = floor(c.a * 255.0 + 0.5);
    if ((a >= uAlphaPass.x && a <= uAlphaPass.y) == (uAlphaInvert != 0)) discard;
    fragColor = c;
}
)";

// Stage 0 without a texture: the lit colour with the diffuse alpha, the same for every fragment, so the alpha
// test is decided once per draw on the CPU.
const char* kFlatVertex = R"(#version 330 core
layout(location = 0) in vec3 aPosition;
uniform mat4 uWvp;
void main() {
    vec4 p = uWvp * vec4(aPosition, 1.0);
    p.z = 2.0 * p.z - p.w;
    gl_Position = p;
}
)";
const char* kFlatFragment = R"(#version 330 core
uniform vec4 uColor;
out vec4 fragColor;
void main() { fragColor = uColor; }
)";

bool CreateSceneProgram(GfxSceneProgram& p, const char* vertex, const char* fragment, std::string& why) {
    p.program = CompileProgram(vertex, fragment, why);
    if (!p.program) return false;
    p.wvp = glGetUniformLocation(p.program, "uWvp");
    p.color = glGetUniformLocation(p.program, "uColor");
    p.tex = glGetUniformLocation(p.program, "uTex");
    p.alphaPass = glGetUniformLocation(p.program, "uAlphaPass");
    p.alphaInvert = glGetUniformLocation(p.program, "uAlphaInvert");
    return true;
}

bool CreateOffscreenTarget(GfxDevice* d, std::string& why) {
    glGenFramebuffers(1, &d->fbo);
    glGenRenderbuffers(1, &d->colorRb);
    glGenRenderbuffers(1, &d->depthRb);
    glBindRenderbuffer(GL_RENDERBUFFER, d->colorRb);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, d->width, d->height);
    glBindRenderbuffer(GL_RENDERBUFFER, d->depthRb);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, d->width, d->height);
    glBindFramebuffer(GL_FRAMEBUFFER, d->fbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, d->colorRb);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, d->depthRb);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        why = "the offscreen framebuffer is incomplete";
        return false;
    }
    return true;
}

void DeleteDeviceObjects(GfxDevice* d) {
    if (d->scene.program) glDeleteProgram(d->scene.program);
    if (d->flat.program) glDeleteProgram(d->flat.program);
    if (d->text.program) glDeleteProgram(d->text.program);
    if (d->text.vao) glDeleteVertexArrays(1, &d->text.vao);
    if (d->text.vbo) glDeleteBuffers(1, &d->text.vbo);
    if (d->fbo) glDeleteFramebuffers(1, &d->fbo);
    if (d->colorRb) glDeleteRenderbuffers(1, &d->colorRb);
    if (d->depthRb) glDeleteRenderbuffers(1, &d->depthRb);
}

GLenum BlendFactor(std::uint32_t b) {
    switch (b) {
    case kBlendZero: return GL_ZERO;
    case kBlendOne: return GL_ONE;
    case kBlendSrcColor: return GL_SRC_COLOR;
    case kBlendInvSrcColor: return GL_ONE_MINUS_SRC_COLOR;
    case kBlendSrcAlpha: return GL_SRC_ALPHA;
    case kBlendInvSrcAlpha: return GL_ONE_MINUS_SRC_ALPHA;
    case kBlendDestAlpha: return GL_DST_ALPHA;
    case kBlendInvDestAlpha: return GL_ONE_MINUS_DST_ALPHA;
    case kBlendDestColor: return GL_DST_COLOR;
    case kBlendInvDestColor: return GL_ONE_MINUS_DST_COLOR;
    default: return GL_ONE;
    }
}

// The alpha test as a range of passing 8-bit alpha values (or everything outside it, for not-equal).
void AlphaPassRange(std::uint32_t func, std::uint32_t ref, float& lo, float& hi, int& invert) {
    const auto r = static_cast<float>(ref);
    lo = 0;
    hi = 255;
    invert = 0;
    switch (func) {
    case kCmpNever: lo = 1; hi = 0; break;
    case kCmpLess: hi = r - 1; break;
    case kCmpEqual: lo = hi = r; break;
    case kCmpLessEqual: hi = r; break;
    case kCmpGreater: lo = r + 1; break;
    case kCmpNotEqual: lo = hi = r; invert = 1; break;
    case kCmpGreaterEqual: lo = r; break;
    default: break; // always
    }
}

float Channel(std::uint32_t argb, int shift) { return static_cast<float>((argb >> shift) & 0xFFu) / 255.0f; }
float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

// The pipeline states that live in GL, from the device's record (set again before every draw: a window's
// context is shared with the UI toolkit, which may change them between frames).
void ApplyGlStates(const GfxDevice* d) {
    const GfxStates& s = d->states;
    if (s.zEnable) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glDepthMask(GL_TRUE);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    // Screen orientation is the same as on the original platform (y up in normalised coordinates), so its
    // clockwise is GL's clockwise.
    if (s.cullMode == 2 || s.cullMode == 3) {
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        glFrontFace(s.cullMode == 3 ? GL_CW : GL_CCW);
    } else {
        glDisable(GL_CULL_FACE);
    }
    if (s.alphaBlendEnable) {
        glEnable(GL_BLEND);
        glBlendFunc(BlendFactor(s.srcBlend), BlendFactor(s.destBlend));
    } else {
        glDisable(GL_BLEND);
    }
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_STENCIL_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

} // namespace

// -------------------------------------------------------------------------------------------------------------------

bool MakeContextCurrent(std::uint64_t serial) {
    auto it = Registry().find(serial);
    if (it == Registry().end()) return false;
    const ContextEntry& e = it->second;
    if (e.window) return !e.window->makeCurrent || e.window->makeCurrent();
    if (eglGetCurrentContext() == e.context) return true;
    return eglMakeCurrent(e.display, EGL_NO_SURFACE, EGL_NO_SURFACE, e.context) == EGL_TRUE;
}

namespace {

GLboolean Enabled(GLenum cap) { return glIsEnabled(cap); }
void SetEnabled(GLenum cap, GLboolean on) {
    if (on) glEnable(cap);
    else glDisable(cap);
}

// A window's context is shared with the UI toolkit: what the device changes in it is put back after the frame.
void SaveGlState(GfxSavedGlState& s) {
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &s.framebuffer);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &s.readFramebuffer);
    glGetIntegerv(GL_CURRENT_PROGRAM, &s.program);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &s.vertexArray);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &s.arrayBuffer);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &s.activeTexture);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.texture2d);
    glGetIntegerv(GL_VIEWPORT, s.viewport);
    glGetIntegerv(GL_BLEND_SRC_RGB, &s.blendSrcRgb);
    glGetIntegerv(GL_BLEND_DST_RGB, &s.blendDstRgb);
    glGetIntegerv(GL_BLEND_SRC_ALPHA, &s.blendSrcAlpha);
    glGetIntegerv(GL_BLEND_DST_ALPHA, &s.blendDstAlpha);
    glGetIntegerv(GL_DEPTH_FUNC, &s.depthFunc);
    glGetIntegerv(GL_FRONT_FACE, &s.frontFace);
    glGetIntegerv(GL_CULL_FACE_MODE, &s.cullFace);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &s.unpackAlignment);
    glGetIntegerv(GL_PACK_ALIGNMENT, &s.packAlignment);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &s.depthMask);
    glGetBooleanv(GL_COLOR_WRITEMASK, s.colorMask);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, s.clearColor);
    s.blend = Enabled(GL_BLEND);
    s.depthTest = Enabled(GL_DEPTH_TEST);
    s.cull = Enabled(GL_CULL_FACE);
    s.scissor = Enabled(GL_SCISSOR_TEST);
    s.stencil = Enabled(GL_STENCIL_TEST);
    s.saved = true;
}

void RestoreGlState(GfxSavedGlState& s) {
    if (!s.saved) return;
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(s.framebuffer));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(s.readFramebuffer));
    glUseProgram(static_cast<GLuint>(s.program));
    glBindVertexArray(static_cast<GLuint>(s.vertexArray));
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(s.arrayBuffer));
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(s.texture2d));
    glActiveTexture(static_cast<GLenum>(s.activeTexture));
    glViewport(s.viewport[0], s.viewport[1], s.viewport[2], s.viewport[3]);
    glBlendFuncSeparate(static_cast<GLenum>(s.blendSrcRgb), static_cast<GLenum>(s.blendDstRgb),
                        static_cast<GLenum>(s.blendSrcAlpha), static_cast<GLenum>(s.blendDstAlpha));
    glDepthFunc(static_cast<GLenum>(s.depthFunc));
    glFrontFace(static_cast<GLenum>(s.frontFace));
    glCullFace(static_cast<GLenum>(s.cullFace));
    glPixelStorei(GL_UNPACK_ALIGNMENT, s.unpackAlignment);
    glPixelStorei(GL_PACK_ALIGNMENT, s.packAlignment);
    glDepthMask(s.depthMask);
    glColorMask(s.colorMask[0], s.colorMask[1], s.colorMask[2], s.colorMask[3]);
    glClearColor(s.clearColor[0], s.clearColor[1], s.clearColor[2], s.clearColor[3]);
    SetEnabled(GL_BLEND, s.blend);
    SetEnabled(GL_DEPTH_TEST, s.depthTest);
    SetEnabled(GL_CULL_FACE, s.cull);
    SetEnabled(GL_SCISSOR_TEST, s.scissor);
    SetEnabled(GL_STENCIL_TEST, s.stencil);
    s.saved = false;
}

} // namespace

bool BindTarget(GfxDevice* d) {
    if (!d || !MakeContextCurrent(d->contextSerial)) return false;
    if (d->window && !d->savedState.saved) SaveGlState(d->savedState);
    glBindFramebuffer(GL_FRAMEBUFFER, d->fbo);
    glViewport(0, 0, d->width, d->height);
    return true;
}

GLuint CompileProgram(const char* vertexSource, const char* fragmentSource, std::string& log) {
    auto compile = [&](GLenum type, const char* src) -> GLuint {
        GLuint s = glCreateShader(type);
        glShaderSource(s, 1, &src, nullptr);
        glCompileShader(s);
        GLint ok = 0;
        glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            char buf[2048] = {};
            glGetShaderInfoLog(s, sizeof buf, nullptr, buf);
            log = std::string("shader does not compile: ") + buf;
            glDeleteShader(s);
            return 0;
        }
        return s;
    };
    GLuint vs = compile(GL_VERTEX_SHADER, vertexSource);
    if (!vs) return 0;
    GLuint fs = compile(GL_FRAGMENT_SHADER, fragmentSource);
    if (!fs) {
        glDeleteShader(vs);
        return 0;
    }
    GLuint p = glCreateProgram();
    glAttachShader(p, vs);
    glAttachShader(p, fs);
    glLinkProgram(p);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        char buf[2048] = {};
        glGetProgramInfoLog(p, sizeof buf, nullptr, buf);
        log = std::string("program does not link: ") + buf;
        glDeleteProgram(p);
        return 0;
    }
    return p;
}

GfxDevice* CreateDevice(const GfxWindow& window, std::string* why) {
    std::string reason;
    auto fail = [&](const std::string& r) -> GfxDevice* {
        if (why) *why = r;
        return nullptr;
    };
    if (window.clientWidth <= 0 || window.clientHeight <= 0) return fail("the window has no client area");

    auto* d = new GfxDevice;
    d->width = window.clientWidth;
    d->height = window.clientHeight;
    ContextEntry entry;
    if (window.context) {
        if (window.context->makeCurrent && !window.context->makeCurrent()) {
            delete d;
            return fail("the window's context cannot be made current");
        }
        entry.window = window.context;
        entry.windowKey = window.context->contextKey;
        d->kind = GfxDeviceKind::Window;
        d->window = window.context;
    } else {
        std::string hardwareWhy;
        if (gHardwareDisabled) hardwareWhy = "the system's driver is not asked";
        if (!gHardwareDisabled && CreateEglContext(false, entry, hardwareWhy)) {
            d->kind = GfxDeviceKind::Hardware;
        } else if (CreateEglContext(true, entry, reason)) {
            d->kind = GfxDeviceKind::Software;
        } else {
            delete d;
            return fail(hardwareWhy + "; software: " + reason);
        }
    }
    d->contextSerial = RegisterContext(entry);

    bool ok = CreateSceneProgram(d->scene, kSceneVertex, kSceneFragment, reason) &&
              CreateSceneProgram(d->flat, kFlatVertex, kFlatFragment, reason);
    if (ok) ok = CreateOffscreenTarget(d, reason);
    if (!ok) {
        DeleteDeviceObjects(d);
        if (!d->window) {
            DestroyEglContext(Registry()[d->contextSerial]);
            Registry().erase(d->contextSerial);
        }
        delete d;
        return fail(reason);
    }
    return d;
}

void SetHardwareDeviceDisabled(bool disabled) { gHardwareDisabled = disabled; }

void ReleaseDevice(GfxDevice* d) {
    if (!d) return;
    if (MakeContextCurrent(d->contextSerial)) DeleteDeviceObjects(d);
    if (!d->window) {
        auto it = Registry().find(d->contextSerial);
        if (it != Registry().end()) {
            DestroyEglContext(it->second);
            Registry().erase(it);
        }
    }
    delete d;
}

GfxDeviceKind GetDeviceKind(const GfxDevice* d) { return d ? d->kind : GfxDeviceKind::Hardware; }

std::string GetDeviceRenderer(const GfxDevice* d) {
    if (!d || !MakeContextCurrent(d->contextSerial)) return {};
    const auto* s = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return s ? s : "";
}

int GetTargetWidth(const GfxDevice* d) { return d ? d->width : 0; }
int GetTargetHeight(const GfxDevice* d) { return d ? d->height : 0; }

void ClearTarget(GfxDevice* d, std::uint32_t argb, float depth) {
    if (!BindTarget(d)) return;
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClearColor(Channel(argb, 16), Channel(argb, 8), Channel(argb, 0), Channel(argb, 24));
    glClearDepth(static_cast<double>(depth));
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void BeginScene(GfxDevice* d) { BindTarget(d); }

void EndScene(GfxDevice* d) {
    if (!d || !MakeContextCurrent(d->contextSerial)) return;
    if (d->window) {
        RestoreGlState(d->savedState);
        return;
    }
    glBindVertexArray(0);
    glUseProgram(0);
    glFlush();
}

void Present(GfxDevice* d) {
    if (!d || !MakeContextCurrent(d->contextSerial)) return;
    if (!d->window) {
        glFinish();
        return;
    }
    // The back buffer keeps the size of the device's creation; the window may have another size by now.
    int width = d->width, height = d->height;
    if (d->window->size) d->window->size(width, height);
    const GLuint target = d->window->framebuffer ? d->window->framebuffer() : 0;
    if (!d->savedState.saved) SaveGlState(d->savedState);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, d->fbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
    glDisable(GL_SCISSOR_TEST);
    glBlitFramebuffer(0, 0, d->width, d->height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    RestoreGlState(d->savedState);
    if (d->window->present) d->window->present();
}

void SetRenderState(GfxDevice* d, GfxState state, std::uint32_t value) {
    if (!d) return;
    GfxStates& s = d->states;
    switch (state) {
    case GfxState::ZEnable: s.zEnable = value; break;
    case GfxState::SrcBlend: s.srcBlend = value; break;
    case GfxState::DestBlend: s.destBlend = value; break;
    case GfxState::CullMode: s.cullMode = value; break;
    case GfxState::AlphaRef: s.alphaRef = value & 0xFFu; break;
    case GfxState::AlphaFunc: s.alphaFunc = value; break;
    case GfxState::AlphaTestEnable: s.alphaTestEnable = value; break;
    case GfxState::AlphaBlendEnable: s.alphaBlendEnable = value; break;
    case GfxState::Lighting: s.lighting = value; break;
    case GfxState::Ambient: s.ambient = value; break;
    }
}

std::uint32_t GetRenderState(const GfxDevice* d, GfxState state) {
    if (!d) return 0;
    const GfxStates& s = d->states;
    switch (state) {
    case GfxState::ZEnable: return s.zEnable;
    case GfxState::SrcBlend: return s.srcBlend;
    case GfxState::DestBlend: return s.destBlend;
    case GfxState::CullMode: return s.cullMode;
    case GfxState::AlphaRef: return s.alphaRef;
    case GfxState::AlphaFunc: return s.alphaFunc;
    case GfxState::AlphaTestEnable: return s.alphaTestEnable;
    case GfxState::AlphaBlendEnable: return s.alphaBlendEnable;
    case GfxState::Lighting: return s.lighting;
    case GfxState::Ambient: return s.ambient;
    }
    return 0;
}

void SetWorldTransform(GfxDevice* d, const GfxMatrix& m) {
    if (d) d->world = m;
}
void SetViewTransform(GfxDevice* d, const GfxMatrix& m) {
    if (d) d->view = m;
}
void SetProjectionTransform(GfxDevice* d, const GfxMatrix& m) {
    if (d) d->projection = m;
}
void SetMaterial(GfxDevice* d, const GfxMaterial& material) {
    if (d) d->material = material;
}
void SetTexture(GfxDevice* d, const GfxTexture* texture) {
    if (d) d->texture = texture;
}

std::vector<std::uint8_t> ReadTargetPixels(GfxDevice* d) {
    std::vector<std::uint8_t> rgba;
    if (!BindTarget(d)) return rgba;
    const std::size_t row = static_cast<std::size_t>(d->width) * 4;
    rgba.resize(row * static_cast<std::size_t>(d->height));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, d->width, d->height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    // GL's rows run bottom to top.
    std::vector<std::uint8_t> tmp(row);
    for (int y = 0; y < d->height / 2; ++y) {
        std::uint8_t* a = rgba.data() + row * static_cast<std::size_t>(y);
        std::uint8_t* b = rgba.data() + row * static_cast<std::size_t>(d->height - 1 - y);
        std::memcpy(tmp.data(), a, row);
        std::memcpy(a, b, row);
        std::memcpy(b, tmp.data(), row);
    }
    return rgba;
}

// -------------------------------------------------------------------------------------------------------------------
// Meshes

GfxMesh* CreateMesh(GfxDevice* d, const XMesh& mesh) {
    if (!d || !MakeContextCurrent(d->contextSerial)) return nullptr;
    // The GPU reads what the indices and subsets name: check them against the arrays first.
    const std::uint64_t vertexCount = mesh.vertices.size(), indexCount = mesh.indices.size();
    if (indexCount % 3 != 0 || vertexCount > 0xFFFFFFFFu || indexCount > 0xFFFFFFFFu) return nullptr;
    for (std::uint32_t i : mesh.indices)
        if (i >= vertexCount) return nullptr;
    for (const XSubset& sub : mesh.subsets)
        if (std::uint64_t{sub.firstIndex} + 3 * std::uint64_t{sub.faceCount} > indexCount) return nullptr;
    while (glGetError() != GL_NO_ERROR) {
    }
    auto* m = new GfxMesh;
    m->contextSerial = d->contextSerial;
    m->faceCount = mesh.faceCount();
    m->vertexCount = mesh.vertexCount();
    m->subsets = mesh.subsets;

    std::vector<float> interleaved;
    interleaved.reserve(mesh.vertices.size() * 5);
    for (const XVertex& v : mesh.vertices) {
        interleaved.insert(interleaved.end(), {v.position[0], v.position[1], v.position[2], v.uv[0], v.uv[1]});
    }
    glGenVertexArrays(1, &m->vao);
    glBindVertexArray(m->vao);
    glGenBuffers(1, &m->vbo);
    glBindBuffer(GL_ARRAY_BUFFER, m->vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(interleaved.size() * sizeof(float)), interleaved.data(),
                 GL_STATIC_DRAW);
    glGenBuffers(1, &m->ibo);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m->ibo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(mesh.indices.size() * sizeof(std::uint32_t)),
                 mesh.indices.data(), GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 5 * sizeof(float), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 5 * sizeof(float),
                          reinterpret_cast<const void*>(3 * sizeof(float)));
    glBindVertexArray(0);
    if (glGetError() == GL_OUT_OF_MEMORY) {
        ReleaseMesh(m);
        return nullptr;
    }
    return m;
}

void DrawSubsetBare(const GfxMesh* mesh, std::uint32_t subset) {
    if (!mesh || subset >= mesh->subsets.size()) return;
    const XSubset& s = mesh->subsets[subset];
    if (s.faceCount == 0) return;
    glBindVertexArray(mesh->vao);
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(s.faceCount * 3), GL_UNSIGNED_INT,
                   reinterpret_cast<const void*>(static_cast<std::uintptr_t>(s.firstIndex) * sizeof(std::uint32_t)));
}

void DrawSubset(GfxDevice* d, const GfxMesh* mesh, std::uint32_t subset) {
    if (!mesh || mesh->contextSerial != (d ? d->contextSerial : 0) || subset >= mesh->subsets.size()) return;
    if (!BindTarget(d)) return;
    const GfxStates& s = d->states;
    const GfxMaterial& mt = d->material;
    float color[4] = {1, 1, 1, 1}; // lighting off: the vertices' colour, white for meshes without colours
    if (s.lighting) {
        color[0] = Clamp01(mt.emissive.r + mt.ambient.r * Channel(s.ambient, 16));
        color[1] = Clamp01(mt.emissive.g + mt.ambient.g * Channel(s.ambient, 8));
        color[2] = Clamp01(mt.emissive.b + mt.ambient.b * Channel(s.ambient, 0));
        color[3] = Clamp01(mt.diffuse.a);
    }
    float lo = 0, hi = 255;
    int invert = 0;
    if (s.alphaTestEnable) AlphaPassRange(s.alphaFunc, s.alphaRef, lo, hi, invert);
    const GfxTexture* t = d->texture;
    const bool textured = t && t->contextSerial == d->contextSerial && t->name != 0;

    ApplyGlStates(d);
    const GfxSceneProgram& p = textured ? d->scene : d->flat;
    if (!textured) {
        // One alpha for the whole subset: the alpha test passes all of it or none of it.
        const float a = std::floor(color[3] * 255.0f + 0.5f);
        if ((a >= lo && a <= hi) == (invert != 0)) return;
        // Opaque source-alpha blending leaves the source as it is: skip the read of the target.
        if (a == 255.0f && s.srcBlend == kBlendSrcAlpha && s.destBlend == kBlendInvSrcAlpha) glDisable(GL_BLEND);
    }
    glUseProgram(p.program);
    const GfxMatrix wvp = MatrixMultiply(MatrixMultiply(d->world, d->view), d->projection);
    glUniformMatrix4fv(p.wvp, 1, GL_FALSE, wvp.m);
    glUniform4fv(p.color, 1, color);
    if (textured) {
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, t->name);
        glUniform1i(p.tex, 0);
        glUniform2f(p.alphaPass, lo, hi);
        glUniform1i(p.alphaInvert, invert);
    }
    DrawSubsetBare(mesh, subset);
}

std::uint32_t GetMeshFaceCount(const GfxMesh* m) { return m ? m->faceCount : 0; }
std::uint32_t GetMeshVertexCount(const GfxMesh* m) { return m ? m->vertexCount : 0; }
std::uint32_t GetMeshSubsetCount(const GfxMesh* m) { return m ? static_cast<std::uint32_t>(m->subsets.size()) : 0; }

void ReleaseMesh(GfxMesh* m) {
    if (!m) return;
    if (MakeContextCurrent(m->contextSerial)) {
        glDeleteVertexArrays(1, &m->vao);
        glDeleteBuffers(1, &m->vbo);
        glDeleteBuffers(1, &m->ibo);
    }
    delete m;
}

// -------------------------------------------------------------------------------------------------------------------
// Textures

GfxTexture* CreateTexture(GfxDevice* d, std::uint32_t width, std::uint32_t height, const std::uint8_t* rgba) {
    if (!d || width == 0 || height == 0 || !rgba || !MakeContextCurrent(d->contextSerial)) return nullptr;
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (width > static_cast<std::uint32_t>(maxSize) || height > static_cast<std::uint32_t>(maxSize)) return nullptr;
    while (glGetError() != GL_NO_ERROR) {
    }
    auto* t = new GfxTexture;
    t->contextSerial = d->contextSerial;
    t->width = width;
    t->height = height;
    glGenTextures(1, &t->name);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, t->name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    // The first row uploaded is GL's t = 0, which is where texture coordinate v = 0 samples: the image's top row.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, rgba);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (glGetError() == GL_OUT_OF_MEMORY) {
        ReleaseTexture(t);
        return nullptr;
    }
    return t;
}

void ReleaseTexture(GfxTexture* t) {
    if (!t) return;
    if (MakeContextCurrent(t->contextSerial)) glDeleteTextures(1, &t->name);
    delete t;
}
