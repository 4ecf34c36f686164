// The picture: the player process draws each frame into one of two pictures in shared memory
// (a sealed memfd that both map), and this widget shows the one drawn last, keeping it until
// the next one comes, so the player draws into the other one meanwhile and nothing is copied.
// The window sizes the pictures, so nothing the player says can make it read past them.
#pragma once

#include <QImage>
#include <QWidget>

namespace vidrake {

class VideoPicture final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VideoPicture)

public:
    explicit VideoPicture(QWidget* parent = nullptr);
    ~VideoPicture() override;

    // New pictures at the widget's size now; the memfd to hand to the player (the caller
    // closes it), or -1 when there is no room for them.
    int makeBuffers(int* width, int* height);
    qint64 generation() const { return m_generation; }
    // The player drew picture `slot` of `generation`: it shows from now on. Returns the
    // picture given back to the player, -1 for none.
    int show(int slot, qint64 generation);
    void release();  // no pictures, until makeBuffers()

    // The picture as last shown, a copy.
    QImage frame() const;
    // Black while stopped or failed, whatever the player last drew.
    void setBlank(bool blank);

signals:
    // The widget changed size: new pictures are wanted.
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage picture(int slot) const;

    unsigned char* m_map = nullptr;
    std::size_t m_mapped = 0;
    int m_width = 0;
    int m_height = 0;
    qint64 m_generation = 0;
    int m_shown = -1;  // the picture on show, -1 none
    bool m_blank = true;
};

}  // namespace vidrake
