#include "app/widgets.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QPainter>
#include <QRadioButton>

RadioGroup::RadioGroup(const QString &caption, const QStringList &items, int columns, QWidget *parent)
    : QGroupBox(caption, parent), m_group(new QButtonGroup(this))
{
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 4, 8, 4);
    const int rows = (items.size() + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items[i], this);
        m_group->addButton(b, i);
        grid->addWidget(b, i % rows, i / rows);
    }
    connect(m_group, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on && id != m_index) {
            m_index = id;
            emit clicked();
        }
    });
}

void RadioGroup::setItemIndex(int index)
{
    if (index == m_index)
        return;
    if (index < 0 || index >= count()) {
        m_group->setExclusive(false);
        if (auto *b = m_group->checkedButton())
            b->setChecked(false);
        m_group->setExclusive(true);
        m_index = -1;
        emit clicked();
        return;
    }
    m_group->button(index)->setChecked(true);  // emits clicked through idToggled
}

int RadioGroup::count() const
{
    return m_group->buttons().size();
}

QWidget *RadioGroup::button(int index) const
{
    return m_group->button(index);
}

ImageView::ImageView(int width, int height, QWidget *parent) : QWidget(parent), m_canvas(width, height)
{
    setFixedSize(width, height);
}

void ImageView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawImage(0, 0, m_canvas.image());
}

void ImageView::mousePressEvent(QMouseEvent *)
{
    emit mouseDown();
}

int ItemIndex(const QComboBox *box)
{
    const int current = box->currentIndex();
    if (current >= 0 && box->itemText(current) == box->currentText())
        return current;
    return box->findText(box->currentText(), Qt::MatchFixedString);
}

void SetItemIndex(QComboBox *box, int index)
{
    if (index < 0 || index >= box->count()) {
        box->setCurrentIndex(-1);
        if (box->isEditable())
            box->setEditText(QString());
        return;
    }
    box->setCurrentIndex(index);
}
