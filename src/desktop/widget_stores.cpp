#include "desktop/widget_stores.h"

#include <algorithm>
#include <cmath>

namespace vidrake {

bool ListWidgetStore::append(const QString& item) {
    if (m_list.count() >= kMaxListEntries) {
        return false;
    }
    m_list.addItem(item);
    return true;
}

QString ListWidgetStore::item(int index) const {
    const QListWidgetItem* it = m_list.item(index);
    return it ? it->text() : QString();
}

ProgressBarStore::ProgressBarStore(QProgressBar& bar) : m_bar(bar) {
    show();
}

void ProgressBarStore::setMaximum(float maximum) {
    m_maximum = maximum;
    show();
}

void ProgressBarStore::setValue(float value) {
    m_value = value;
    show();
}

void ProgressBarStore::show() {
    const int maximum = static_cast<int>(std::lround(m_maximum));
    const int value = static_cast<int>(std::lround(m_value));
    if (maximum <= 0) {
        m_bar.setRange(0, 1);
        m_bar.setValue(0);
        return;
    }
    m_bar.setRange(0, maximum);
    m_bar.setValue(std::clamp(value, 0, maximum));
}

}  // namespace vidrake
