#include "media/media_video.h"

#include "wire/player_wire.h"

#include <QPainter>
#include <QResizeEvent>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>

namespace vidrake {

VideoPicture::VideoPicture(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

VideoPicture::~VideoPicture() {
    release();
}

void VideoPicture::release() {
    if (m_map) {
        ::munmap(m_map, m_mapped);
        m_map = nullptr;
    }
    m_shown = -1;
    update();
}

int VideoPicture::makeBuffers(int* width, int* height) {
    release();
    const qreal ratio = devicePixelRatioF();
    const int w =
        std::clamp(static_cast<int>(std::lround(this->width() * ratio)), 1, wire::kMaxSide);
    const int h =
        std::clamp(static_cast<int>(std::lround(this->height() * ratio)), 1, wire::kMaxSide);
    const std::size_t bytes = 2 * wire::pictureBytes(w, h);
    const int fd = ::memfd_create("vidrake-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) {
        return -1;
    }
    // Sealed at its size: a player that could shrink it would make our reads fault.
    if (::ftruncate(fd, static_cast<off_t>(bytes)) != 0 ||
        ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
        ::close(fd);
        return -1;
    }
    void* at = ::mmap(nullptr, bytes, PROT_READ, MAP_SHARED, fd, 0);
    if (at == MAP_FAILED) {
        ::close(fd);
        return -1;
    }
    m_map = static_cast<unsigned char*>(at);
    m_mapped = bytes;
    m_width = w;
    m_height = h;
    ++m_generation;
    *width = w;
    *height = h;
    return fd;
}

int VideoPicture::show(int slot, qint64 generation) {
    if (!m_map || generation != m_generation || slot < 0 || slot > 1) {
        return -1;  // drawn into pictures that are gone
    }
    const int previous = m_shown;
    m_shown = slot;
    if (!m_blank) {
        update();
    }
    return previous == slot ? -1 : previous;
}

QImage VideoPicture::picture(int slot) const {
    if (!m_map || slot < 0) {
        return {};
    }
    // RGBX8888 lays bytes out as mpv's "rgb0": red first, then green, blue, padding.
    QImage image(m_map + static_cast<std::size_t>(slot) * wire::pictureBytes(m_width, m_height),
                 m_width, m_height, m_width * 4, QImage::Format_RGBX8888);
    image.setDevicePixelRatio(devicePixelRatioF());
    return image;
}

QImage VideoPicture::frame() const {
    return m_blank ? QImage() : picture(m_shown).copy();
}

void VideoPicture::setBlank(bool blank) {
    if (blank != m_blank) {
        m_blank = blank;
        update();
    }
}

void VideoPicture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage image = m_blank ? QImage() : picture(m_shown);
    if (image.isNull()) {
        painter.fillRect(rect(), Qt::black);
    } else {
        painter.drawImage(rect(), image);
    }
}

void VideoPicture::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_map) {
        emit resized();
    }
}

}  // namespace vidrake
