// Where the media player's pictures appear: an OpenGL window driven by mpv's OpenGL render
// API, or a plain widget showing frames mpv's software renderer paints into an image.
#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

namespace vidrake {

class MediaEngine;

class VideoOutput {
public:
    virtual ~VideoOutput() = default;

    // The widget to lay out; deleting it deletes the output.
    virtual QWidget* widget() = 0;
    // True once frames can be drawn; a file loaded earlier would lose its video.
    virtual bool isReady() const = 0;
    // The picture as last drawn, for checks and snapshots.
    virtual QImage frame() = 0;
    // Black while stopped or failed, even if mpv still offers its last frame.
    virtual void setBlank(bool blank) = 0;
    // Gives up the render context; must happen before the engine's handle is destroyed.
    virtual void release() = 0;
};

// OpenGL only where the windowing platform has it and a context can be made current; never
// under the offscreen platform.
bool openGLUsable();

// The OpenGL output calls onReady when its render context comes to exist, when its window
// first shows; the software one is ready, or never, once made. The widget belongs to parent.
// The engine must be valid.
VideoOutput* makeVideoOutput(bool openGL, MediaEngine& engine, std::function<void()> onReady,
                             QWidget* parent);

}  // namespace vidrake
