#include "platform/page_text.h"

#include "text/code_page.h"

namespace vidrake {

void PageText::setText(const QString& text) {
    m_text = text;
    m_bytes = QByteArray();
}

void PageText::setPage(const QByteArray& bytes) {
    m_text = QString();
    m_bytes = bytes;
}

QString PageText::text() const {
    if (!m_bytes.isEmpty()) {
        m_text = code_page::decode(m_bytes);
        m_bytes = QByteArray();
    }
    return m_text;
}

}  // namespace vidrake
