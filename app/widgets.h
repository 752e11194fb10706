#pragma once
// Two small controls the toolkit lacks: a radio group with an item index, and an image view
// that shows a Canvas and keeps its pixels.

#include "results/canvas.h"

#include <QGroupBox>
#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QComboBox;

/// The selected item of a box as the classic combo box reports it: the index of the item its
/// text matches, -1 when the text matches no item.
int ItemIndex(const QComboBox *box);
/// Selects item `index`, or no item when `index` lies outside the list.
void SetItemIndex(QComboBox *box, int index);

/// A captioned group of radio buttons laid out in columns. `clicked` is emitted whenever the
/// selected item changes, by the operator or by the program, like the classic radio group's
/// OnClick; selecting the item that is already selected emits nothing.
class RadioGroup : public QGroupBox
{
    Q_OBJECT
public:
    RadioGroup(const QString &caption, const QStringList &items, int columns, QWidget *parent);
    int ItemIndex() const { return m_index; }
    void setItemIndex(int index);
    int count() const;
    /// The radio button of item `index` (for tests that click as an operator does).
    QWidget *button(int index) const;

signals:
    void clicked();

private:
    QButtonGroup *m_group;
    int m_index = -1;
};

/// Shows a Canvas at its natural size; a mouse press emits `mouseDown`.
class ImageView : public QWidget
{
    Q_OBJECT
public:
    ImageView(int width, int height, QWidget *parent);
    Canvas &canvas() { return m_canvas; }
    const Canvas &canvas() const { return m_canvas; }

signals:
    void mouseDown();

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *) override;

private:
    Canvas m_canvas;
};
