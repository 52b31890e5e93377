#include "media/motion/ParallaxScene.h"

#include "media/motion/MotionError.h"
#include "media/motion/ParallaxError.h"
#include "media/motion/ParallaxShaderSources.h"
#include "model/Log.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES3/gl3.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace vl {

namespace {

// The shaders (shaders/parallax.vert, .frag) are carried as source and compiled for
// every clip. The reach map lets the fragment shader stride over march steps that
// cannot stop (the shader says how); its cells and chunk are set here, where the map is built.
constexpr int reachCell = 4;  // depth-map texels per reach-map cell, each way
constexpr int reachChunk = 12; // march steps one reach-map look-up vouches for

std::string fragmentText()
{
    std::string text = shaders::parallaxFragment;
    const auto put = [&text](const std::string& name, int value) {
        // Spliced rather than replace()d in place: GCC 12's -Wrestrict warns, wrongly,
        // about replace() here in an optimised build.
        const std::size_t at = text.find(name);
        text = text.substr(0, at) + std::to_string(value) + text.substr(at + name.size());
    };
    put("REACH_CELL", reachCell);
    put("REACH_CHUNK", reachChunk);
    return text;
}

constexpr const char* brokenSource = "#version 300 es\nthis is not a shader\n";

// One EGL display for the process, initialised on first use and never
// terminated: terminating it would pull the rug from a clip rendering on
// another thread. Contexts are still made per clip.
EGLDisplay sharedDisplay()
{
    static std::once_flag once;
    static EGLDisplay display = EGL_NO_DISPLAY;
    std::call_once(once, [] {
        const char* extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
        if (!extensions || !std::strstr(extensions, "EGL_MESA_platform_surfaceless")) {
            logLine("Motion", "EGL has no surfaceless platform");
            return;
        }
        EGLDisplay candidate = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        EGLint major = 0, minor = 0;
        if (candidate == EGL_NO_DISPLAY || !eglInitialize(candidate, &major, &minor)) {
            logLine("Motion", "EGL display could not be initialised");
            return;
        }
        display = candidate;
    });
    return display;
}

std::string glErrorText(const char* what, GLenum error)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", error);
    return std::string(what) + " (GL error " + code + ")";
}

void checkGl(const char* what)
{
    const GLenum error = glGetError();
    if (error != GL_NO_ERROR)
        throw std::runtime_error(glErrorText(what, error));
}

GLuint compile(GLenum type, const char* source)
{
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        glDeleteShader(shader);
        throw std::runtime_error(std::string("shader compile failed: ") + log);
    }
    return shader;
}

} // namespace

struct ParallaxScene::State {
    int width = 0;
    int height = 0;
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    // What was current on this thread before us, put back at the end.
    EGLDisplay previousDisplay = EGL_NO_DISPLAY;
    EGLContext previousContext = EGL_NO_CONTEXT;
    EGLSurface previousDraw = EGL_NO_SURFACE;
    EGLSurface previousRead = EGL_NO_SURFACE;
    bool current = false;
    bool software = false;

    GLuint program = 0;
    GLuint textures[3] = {}; // frame image, depth map, reach map
    cv::Mat mask;              // the depth map as uploaded, 8-bit, 255 nearest
    cv::Size reach{-1, -1};    // texels the reach map is widened by, each way
    GLuint sampler = 0;
    GLuint uniformBuffer = 0;
    GLsizeiptr uniformSize = sizeof(PUniforms);
    GLuint framebuffer = 0;
    GLuint renderbuffer = 0;
    GLuint vertexArray = 0;
    std::vector<std::uint8_t> pixels;

    ~State()
    {
        if (current) {
            glDeleteVertexArrays(1, &vertexArray);
            glDeleteFramebuffers(1, &framebuffer);
            glDeleteRenderbuffers(1, &renderbuffer);
            glDeleteBuffers(1, &uniformBuffer);
            glDeleteSamplers(1, &sampler);
            glDeleteTextures(3, textures);
            glDeleteProgram(program);
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        }
        if (context != EGL_NO_CONTEXT)
            eglDestroyContext(display, context);
        if (previousContext != EGL_NO_CONTEXT)
            eglMakeCurrent(previousDisplay, previousDraw, previousRead, previousContext);
    }

    void makeContext(ParallaxFailure forced)
    {
        display = forced == ParallaxFailure::display ? EGL_NO_DISPLAY : sharedDisplay();
        if (display == EGL_NO_DISPLAY)
            throw ParallaxError(ParallaxError::Code::unavailable);
        if (forced == ParallaxFailure::context || !eglBindAPI(EGL_OPENGL_ES_API))
            throw ParallaxError(ParallaxError::Code::unavailable);
        const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 0, EGL_NONE};
        EGLConfig config = EGL_NO_CONFIG_KHR;
        const char* extensions = eglQueryString(display, EGL_EXTENSIONS);
        if (!extensions || !std::strstr(extensions, "EGL_KHR_no_config_context")) {
            const EGLint wanted[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES3_BIT, EGL_NONE};
            EGLint count = 0;
            if (!eglChooseConfig(display, wanted, &config, 1, &count) || count < 1)
                throw ParallaxError(ParallaxError::Code::unavailable);
        }
        previousDisplay = eglGetCurrentDisplay();
        previousContext = eglGetCurrentContext();
        previousDraw = eglGetCurrentSurface(EGL_DRAW);
        previousRead = eglGetCurrentSurface(EGL_READ);
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
        if (context == EGL_NO_CONTEXT)
            throw ParallaxError(ParallaxError::Code::unavailable);
        if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context))
            throw ParallaxError(ParallaxError::Code::unavailable);
        current = true;
        const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        software = renderer && isSoftwareRenderer(renderer);
    }

    void buildProgram(ParallaxFailure forced)
    {
        const GLuint vertex = compile(GL_VERTEX_SHADER, shaders::parallaxVertex);
        GLuint fragment = 0;
        try {
            const std::string text = forced == ParallaxFailure::shaderCompile ? brokenSource : fragmentText();
            fragment = compile(GL_FRAGMENT_SHADER, text.c_str());
        } catch (...) {
            glDeleteShader(vertex);
            throw;
        }
        program = glCreateProgram();
        glAttachShader(program, vertex);
        glAttachShader(program, fragment);
        glLinkProgram(program);
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        GLint ok = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (!ok) {
            char log[1024] = {};
            glGetProgramInfoLog(program, sizeof log, nullptr, log);
            throw std::runtime_error(std::string("shader link failed: ") + log);
        }

        // The block must sit exactly where PUniforms puts its fields.
        const GLuint block = glGetUniformBlockIndex(program, "PUniforms");
        const GLint frameImage = glGetUniformLocation(program, "frameImage");
        const GLint depthMap = glGetUniformLocation(program, "depthMap");
        const GLint reachMap = glGetUniformLocation(program, "reachMap");
        if (block == GL_INVALID_INDEX || frameImage < 0 || depthMap < 0 || reachMap < 0)
            throw ParallaxError(ParallaxError::Code::encodeFailed);
        const char* names[] = {"offset", "height", "steady", "zoom", "center", "steps"};
        const GLint expected[] = {0, 8, 12, 16, 24, 32};
        GLuint indices[6];
        GLint offsets[6];
        glGetUniformIndices(program, 6, names, indices);
        for (GLuint index : indices)
            if (index == GL_INVALID_INDEX)
                throw ParallaxError(ParallaxError::Code::encodeFailed);
        glGetActiveUniformsiv(program, 6, indices, GL_UNIFORM_OFFSET, offsets);
        if (!std::equal(offsets, offsets + 6, expected))
            throw ParallaxError(ParallaxError::Code::encodeFailed);
        GLint blockSize = 0;
        glGetActiveUniformBlockiv(program, block, GL_UNIFORM_BLOCK_DATA_SIZE, &blockSize);
        uniformSize = std::max<GLsizeiptr>(blockSize, sizeof(PUniforms)); // std140 may round up to 48

        glUseProgram(program);
        glUniformBlockBinding(program, block, 0);
        glUniform1i(frameImage, 0);
        glUniform1i(depthMap, 1);
        glUniform1i(reachMap, 2);
        checkGl("cannot set up the shader");
    }

    void uploadImage(const cv::Mat& image)
    {
        const cv::Mat bgra = image.isContinuous() ? image : image.clone();
        glGenTextures(3, textures);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        // Rows go up top row first: texture coordinate v = 0 is the image's top.
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, textures[0]);
        // The bytes go up as they are, blue first; the texture hands red and blue
        // back swapped, which spares converting the whole picture here.
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, bgra.cols, bgra.rows, 0, GL_RGBA, GL_UNSIGNED_BYTE, bgra.data);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_R, GL_BLUE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_B, GL_RED);
        checkGl("cannot upload the frame image");

        // One sampler for both: linear both ways, clamped to the edge, no mipmaps.
        glGenSamplers(1, &sampler);
        glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glBindSampler(0, sampler);
        glBindSampler(1, sampler);
        checkGl("cannot set up the sampler");

        // The reach map is read texel by texel; it only has to be complete.
        glActiveTexture(GL_TEXTURE2);
        glBindTexture(GL_TEXTURE_2D, textures[2]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        checkGl("cannot set up the reach map");
    }

    void uploadDepth(const cv::Mat& depth)
    {
        mask = depth.isContinuous() ? depth : depth.clone();
        reach = {-1, -1};
        // Half floats: filtered like the bytes they hold (to well within a byte), and
        // the software rasteriser filters them faster than 8-bit texels.
        cv::Mat depthValues;
        mask.convertTo(depthValues, CV_32F, 1.0 / 255.0);
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, textures[1]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_R16F, depthValues.cols, depthValues.rows, 0, GL_RED, GL_FLOAT, depthValues.data);
        checkGl("cannot upload the depth map");
    }

    // Makes sure the reach map covers one chunk of steps of this frame's march: every
    // depth texel a sample within that many steps of a cell may filter from.
    void prepareReach(const PUniforms& u)
    {
        const int layers = std::max(u.steps, 8);
        const double span = static_cast<double>(std::min(reachChunk, layers) - 1) / layers;
        const auto texels = [&](double shift, int side) {
            const double length = std::abs(static_cast<double>(shift) * u.height) * span * side;
            // Past the map's side the whole map is in reach; not finite means the same.
            if (!(length < side))
                return side;
            return std::min(side, static_cast<int>(std::ceil(length)) + 3); // +3: the filter's texels, rounding
        };
        const cv::Size needed(texels(u.offset[0], mask.cols), texels(u.offset[1], mask.rows));
        if (needed.width <= reach.width && needed.height <= reach.height)
            return;
        reach = {std::max(needed.width, reach.width), std::max(needed.height, reach.height)};

        // Each cell's maximum over itself widened by the reach: one dilation whose
        // window starts `reach` before the cell's first texel and ends `reach` after its last.
        cv::Mat widened;
        const cv::Mat window(2 * reach.height + reachCell, 2 * reach.width + reachCell, CV_8UC1, cv::Scalar(1));
        cv::dilate(mask, widened, window, cv::Point(reach.width, reach.height), 1, cv::BORDER_REPLICATE);
        cv::Mat cells((mask.rows + reachCell - 1) / reachCell, (mask.cols + reachCell - 1) / reachCell, CV_8UC1);
        for (int y = 0; y < cells.rows; ++y)
            for (int x = 0; x < cells.cols; ++x)
                cells.at<std::uint8_t>(y, x) = widened.at<std::uint8_t>(y * reachCell, x * reachCell);
        glActiveTexture(GL_TEXTURE2);
        glBindTexture(GL_TEXTURE_2D, textures[2]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, cells.cols, cells.rows, 0, GL_RED, GL_UNSIGNED_BYTE, cells.data);
        checkGl("cannot upload the reach map");
    }

    void makeTarget()
    {
        glGenRenderbuffers(1, &renderbuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffer);
        if (glGetError() != GL_NO_ERROR || glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
            throw MotionError::writerSetupFailed();
        glViewport(0, 0, width, height);

        glGenBuffers(1, &uniformBuffer);
        glBindBuffer(GL_UNIFORM_BUFFER, uniformBuffer);
        glBufferData(GL_UNIFORM_BUFFER, uniformSize, nullptr, GL_DYNAMIC_DRAW);
        glBindBufferBase(GL_UNIFORM_BUFFER, 0, uniformBuffer);

        glGenVertexArrays(1, &vertexArray); // no attributes: the vertex shader makes the triangle
        glBindVertexArray(vertexArray);

        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
        if (glGetError() != GL_NO_ERROR)
            throw MotionError::pixelBufferFailed();
    }
};

ParallaxScene::ParallaxScene(const cv::Mat& image, int width, int height, ParallaxFailure forced)
    : state_(std::make_unique<State>())
{
    CV_Assert(image.type() == CV_8UC4);
    state_->width = width;
    state_->height = height;
    state_->makeContext(forced);
    state_->buildProgram(forced);
    state_->uploadImage(image);
    state_->makeTarget();
}

ParallaxScene::ParallaxScene(const cv::Mat& image, const cv::Mat& depth, int width, int height,
                             ParallaxFailure forced)
    : ParallaxScene(image, width, height, forced)
{
    setDepth(depth);
}

void ParallaxScene::setDepth(const cv::Mat& depth)
{
    CV_Assert(depth.type() == CV_8UC1 && !depth.empty());
    state_->uploadDepth(depth);
}

ParallaxScene::~ParallaxScene() = default;

bool isSoftwareRenderer(std::string_view renderer)
{
    // "llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Software Rasterizer"; a
    // graphics card's name can mention LLVM too, as its shader compiler.
    for (std::string_view name : {"llvmpipe", "softpipe", "Software Rasterizer"})
        if (renderer.starts_with(name))
            return true;
    return false;
}

bool ParallaxScene::drawsOnProcessor() const { return state_->software; }
int ParallaxScene::width() const { return state_->width; }
int ParallaxScene::height() const { return state_->height; }

void ParallaxScene::draw(const PUniforms& uniforms)
{
    State& s = *state_;
    if (s.mask.empty())
        throw std::logic_error("a frame drawn before its depth map");
    s.prepareReach(uniforms);
    glBindBuffer(GL_UNIFORM_BUFFER, s.uniformBuffer);
    glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof uniforms, &uniforms);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glFlush(); // start drawing now; readBack() waits for it
    checkGl("cannot draw the frame");
}

void ParallaxScene::finish()
{
    glFinish();
    checkGl("cannot finish the frame");
}

const std::uint8_t* ParallaxScene::readBack()
{
    State& s = *state_;
    glReadPixels(0, 0, s.width, s.height, GL_RGBA, GL_UNSIGNED_BYTE, s.pixels.data());
    checkGl("cannot read the frame back");
    return s.pixels.data();
}

} // namespace vl
