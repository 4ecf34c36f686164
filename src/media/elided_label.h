// A one-line label that shows what does not fit with "…" at the end of its width, and keeps its
// whole text for whoever reads it (a screen reader, a tool tip of the owner's).
#pragma once

#include <QLabel>

namespace vidrake {

class ElidedLabel final : public QLabel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ElidedLabel)

public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    // The text as it is drawn at the label's width now.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vidrake
