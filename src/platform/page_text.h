// The text of a page held as the bytes that arrived until someone reads it; the stores that
// keep a page's raw text share it.
#pragma once

#include <QByteArray>
#include <QString>

namespace vidrake {

class PageText final {
public:
    explicit PageText(QString text = {}) : m_text(std::move(text)) {}

    void setText(const QString& text);
    // Shares the bytes; nothing is decoded yet.
    void setPage(const QByteArray& bytes);

    // The first read after setPage decodes the bytes and keeps the text in their place.
    QString text() const;

private:
    mutable QString m_text;
    mutable QByteArray m_bytes;  // not empty: the page, not yet decoded
};

}  // namespace vidrake
