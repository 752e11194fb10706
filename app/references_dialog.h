#pragma once
// "Options / References ...": the reference traces on the graph, each with its colour and
// name, a button to add one from a file of ours (a complete measurement, a measurement file
// or an exported CSV) and one to remove the selected one. The dialog works through the
// actions the window hands it and shows the list again whenever the references change.

#include "results/reference_trace.h"

#include <QDialog>

#include <functional>

class QListWidget;
class QPushButton;

struct ReferencesDialogActions
{
    /// The references on the graph, in order.
    std::function<QList<ReferenceTrace>()> list;
    /// Adds a reference; false, with the reason in `error`, when the graph cannot take it.
    std::function<bool(ReferenceTrace trace, QString *error)> add;
    /// Removes reference `index`.
    std::function<void(int index)> remove;
};

/// The open dialog's filter: complete measurements first, then measurement files and CSV.
QString ReferenceFileFilter();

class TReferencesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TReferencesDialog(ReferencesDialogActions actions, QWidget *parent = nullptr);

    QListWidget *lb_References = nullptr;
    QPushButton *b_ReferenceAdd = nullptr;
    QPushButton *b_ReferenceRemove = nullptr;

    /// Lists the references again, keeping the selected row where it remains.
    void refresh();

    void b_ReferenceAddClick();
    void b_ReferenceRemoveClick();

private:
    void selectionChanged();
    ReferencesDialogActions m_actions;
};
