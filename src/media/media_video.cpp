#include "media/media_video.h"

#include "media/media_engine.h"
#include "media/mpv_library.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWindow>
#include <QPainter>

#include <mpv/render_gl.h>

#include <cmath>

namespace vidrake {

namespace {

// mpv calls this from its own threads: post the work to the GUI thread, touch nothing else.
template <class Output>
void onRenderUpdate(void* self) {
    auto* output = static_cast<Output*>(self);
    QMetaObject::invokeMethod(
        output, [output] { output->renderUpdate(); }, Qt::QueuedConnection);
}

void freeRenderContext(const MpvLibrary& lib, mpv_render_context*& render) {
    if (render) {
        lib.mpv_render_context_set_update_callback(render, nullptr, nullptr);
        lib.mpv_render_context_free(render);
        render = nullptr;
    }
}

class SoftwareVideo final : public QWidget, public VideoOutput {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SoftwareVideo)

public:
    SoftwareVideo(MediaEngine& engine, QWidget* parent) : QWidget(parent), m_lib(engine.library()) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
            {MPV_RENDER_PARAM_INVALID, nullptr}};
        if (m_lib.mpv_render_context_create(&m_render, engine.handle(), params) < 0) {
            m_render = nullptr;
            return;
        }
        m_lib.mpv_render_context_set_update_callback(m_render, &onRenderUpdate<SoftwareVideo>,
                                                     this);
    }
    ~SoftwareVideo() override { release(); }

    QWidget* widget() override { return this; }
    bool isReady() const override { return m_render != nullptr; }
    QImage frame() override { return m_frame; }
    void setBlank(bool blank) override {
        if (blank == m_blank) {
            return;
        }
        m_blank = blank;
        if (blank) {
            m_frame = QImage();
            update();
        } else if (m_render) {
            draw();  // whatever mpv has now, in case its frame came while blank
        }
    }
    void release() override { freeRenderContext(m_lib, m_render); }

    void renderUpdate() {
        if (m_render && (m_lib.mpv_render_context_update(m_render) & MPV_RENDER_UPDATE_FRAME) &&
            !m_blank) {
            draw();
        }
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (m_frame.isNull()) {
            painter.fillRect(rect(), Qt::black);
        } else {
            painter.drawImage(rect(), m_frame);
        }
    }
    void resizeEvent(QResizeEvent*) override {
        if (!m_frame.isNull()) {
            draw();  // mpv draws its current frame again, scaled to the new size
        }
    }

private:
    void draw() {
        const qreal ratio = devicePixelRatioF();
        int size[2] = {static_cast<int>(std::lround(width() * ratio)),
                       static_cast<int>(std::lround(height() * ratio))};
        if (size[0] <= 0 || size[1] <= 0) {
            return;
        }
        if (m_frame.width() != size[0] || m_frame.height() != size[1]) {
            // RGBX8888 lays bytes out as mpv's "rgb0": red first, then green, blue, padding.
            m_frame = QImage(size[0], size[1], QImage::Format_RGBX8888);
            m_frame.setDevicePixelRatio(ratio);
        }
        size_t stride = static_cast<size_t>(m_frame.bytesPerLine());
        char format[] = "rgb0";
        mpv_render_param params[] = {{MPV_RENDER_PARAM_SW_SIZE, size},
                                     {MPV_RENDER_PARAM_SW_FORMAT, format},
                                     {MPV_RENDER_PARAM_SW_STRIDE, &stride},
                                     {MPV_RENDER_PARAM_SW_POINTER, m_frame.bits()},
                                     {MPV_RENDER_PARAM_INVALID, nullptr}};
        m_lib.mpv_render_context_render(m_render, params);
        update();
    }

    const MpvLibrary& m_lib;
    mpv_render_context* m_render = nullptr;
    QImage m_frame;
    bool m_blank = true;
};

// A window of its own inside the player, not an OpenGL widget: an OpenGL widget turns the
// whole top-level window into an OpenGL surface, and added to a window already on the screen it
// makes Qt destroy and re-create that window. The picture lets every mouse event through to the
// player's black area below it, which holds the context menu and the double click.
class GlVideo final : public QOpenGLWindow, public VideoOutput {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GlVideo)

public:
    GlVideo(MediaEngine& engine, std::function<void()> onReady, QWidget* parent)
        : m_engine(engine), m_lib(engine.library()), m_onReady(std::move(onReady)) {
        setFlags(Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
        m_container = QWidget::createWindowContainer(this, parent);  // it owns this window
        m_container->setAttribute(Qt::WA_DontCreateNativeAncestors);
    }
    ~GlVideo() override { release(); }

    QWidget* widget() override { return m_container; }
    bool isReady() const override { return m_render != nullptr; }
    QImage frame() override { return grabFramebuffer(); }
    void setBlank(bool blank) override {
        m_blank = blank;
        update();
    }
    void release() override {
        if (m_render) {
            makeCurrent();
            freeRenderContext(m_lib, m_render);
            doneCurrent();
        }
    }

    void renderUpdate() {
        if (m_render && (m_lib.mpv_render_context_update(m_render) & MPV_RENDER_UPDATE_FRAME)) {
            update();
        }
    }

protected:
    void initializeGL() override {
        mpv_opengl_init_params init{
            [](void*, const char* name) -> void* {
                QOpenGLContext* ctx = QOpenGLContext::currentContext();
                return ctx ? reinterpret_cast<void*>(ctx->getProcAddress(name)) : nullptr;
            },
            nullptr};
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_OPENGL)},
            {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &init},
            {MPV_RENDER_PARAM_INVALID, nullptr}};
        if (m_lib.mpv_render_context_create(&m_render, m_engine.handle(), params) < 0) {
            m_render = nullptr;
            return;
        }
        m_lib.mpv_render_context_set_update_callback(m_render, &onRenderUpdate<GlVideo>, this);
        if (m_onReady) {
            std::exchange(m_onReady, nullptr)();
        }
    }

    void paintGL() override {
        const qreal ratio = devicePixelRatio();
        const int w = static_cast<int>(std::lround(width() * ratio));
        const int h = static_cast<int>(std::lround(height() * ratio));
        if (!m_render || m_blank) {
            QOpenGLFunctions* gl = context()->functions();
            gl->glClearColor(0, 0, 0, 1);
            gl->glClear(GL_COLOR_BUFFER_BIT);
            return;
        }
        mpv_opengl_fbo fbo{static_cast<int>(defaultFramebufferObject()), w, h, 0};
        int flip = 1;  // the window's framebuffer has its origin at the bottom left
        mpv_render_param params[] = {{MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
                                     {MPV_RENDER_PARAM_FLIP_Y, &flip},
                                     {MPV_RENDER_PARAM_INVALID, nullptr}};
        m_lib.mpv_render_context_render(m_render, params);
    }

private:
    MediaEngine& m_engine;
    const MpvLibrary& m_lib;
    std::function<void()> m_onReady;
    QWidget* m_container = nullptr;
    mpv_render_context* m_render = nullptr;
    bool m_blank = true;
};

}  // namespace

bool openGLUsable() {
    const QString platform = QGuiApplication::platformName();
    const bool windowed = platform == QLatin1String("xcb") ||
                          platform.startsWith(QLatin1String("wayland")) ||
                          platform == QLatin1String("eglfs");
    if (!windowed) {
        return false;
    }
    QOpenGLContext context;
    if (!context.create()) {
        return false;
    }
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface)) {
        return false;
    }
    context.doneCurrent();
    return true;
}

VideoOutput* makeVideoOutput(bool openGL, MediaEngine& engine, std::function<void()> onReady,
                             QWidget* parent) {
    if (openGL) {
        return new GlVideo(engine, std::move(onReady), parent);
    }
    return new SoftwareVideo(engine, parent);  // ready, or never, once made
}

}  // namespace vidrake

#include "media_video.moc"
