#pragma once
// Small builders for the window's controls at designed positions: each sets the objectName,
// the geometry and the designed defaults in one call.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>

namespace layout {

template <class W>
inline W *named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

inline QLabel *label(QWidget *parent, const QString &text, int x, int y, int w = 80, int h = 17)
{
    auto *l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    return l;
}

inline QComboBox *combo(QWidget *parent, const char *name, const QStringList &items, int selected,
                 int x, int y, int w = 90, bool editable = true)
{
    auto *c = named(new QComboBox(parent), name);
    c->setEditable(editable);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->addItems(items);
    c->setCurrentIndex(selected);
    c->setMaxVisibleItems(15);
    c->setGeometry(x, y, w, 21);
    return c;
}

inline QLineEdit *edit(QWidget *parent, const char *name, const QString &text, int x, int y, int w = 90)
{
    auto *e = named(new QLineEdit(text, parent), name);
    e->setGeometry(x, y, w, 21);
    return e;
}

inline QPushButton *button(QWidget *parent, const char *name, const QString &text, int x, int y,
                    int w = 90, int h = 25)
{
    auto *b = named(new QPushButton(text, parent), name);
    b->setGeometry(x, y, w, h);
    b->setAutoDefault(false);
    return b;
}

inline void setTag(QObject *o, int tag)
{
    o->setProperty("Tag", tag);
}

}  // namespace layout
