#include "platform/UpDown.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace platform {

UpDown::UpDown(QWidget* parent) : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* b : {m_up, m_down}) {
        b->setArrowType(b == m_up ? Qt::UpArrow : Qt::DownArrow);
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        layout->addWidget(b);
    }
    connect(m_up, &QToolButton::clicked, this, [this] { step(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { step(-1); });
}

void UpDown::setRange(int min, int max)
{
    m_min = min;
    m_max = std::max(min, max);
}

void UpDown::step(int delta)
{
    if (!m_edit)
        return;
    bool ok = false;
    int value = m_edit->text().toInt(&ok);
    if (!ok)
        value = m_min;
    const int next = std::clamp(value + delta, m_min, m_max);
    if (!ok || next != value)
        m_edit->setText(QString::number(next));
}

}  // namespace platform
