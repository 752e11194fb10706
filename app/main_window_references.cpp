// Reference traces on the graph: "Options > References ...", the line l_References of the step
// display, and what the history hands over as a reference.
#include "app/main_window.h"

#include "app/core/dialogs.h"
#include "app/layout_helpers.h"
#include "app/references_dialog.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

using namespace layout;

void TForm1::buildReferences()
{
    // The second row under the pages, right of the uncertainty.
    l_References = named(label(centralWidget(), QString(), 494, 513, 294, 18), "l_References");
    QFont small = font();
    small.setPointSizeF(7);
    l_References->setFont(small);
    l_References->setWordWrap(false);

    Referenzen1 = named(Optionen1->addAction(QStringLiteral("References ...")), "Referenzen1");
    connect(Referenzen1, &QAction::triggered, this, [this] {
        if (MainWindowEnabled())
            guarded([this] { Referenzen1Click(); });
    });
}

void TForm1::Referenzen1Click()
{
    if (!ReferencesDialog) {
        ReferencesDialogActions actions;
        actions.list = [this] { return Graphic->references().traces(); };
        actions.add = [this](ReferenceTrace trace, QString *error) { return Graphic->addReference(std::move(trace), error); };
        actions.remove = [this](int index) { Graphic->removeReference(index); };
        ReferencesDialog = new TReferencesDialog(actions, this);
        connect(Graphic.get(), &GraphicPage::referencesChanged, ReferencesDialog, &TReferencesDialog::refresh);
    } else {
        ReferencesDialog->refresh();
    }
    ReferencesDialog->show();
    ReferencesDialog->raise();
    ReferencesDialog->activateWindow();
}

bool TForm1::showAsReference(const ReferenceTrace &trace)
{
    QString error;
    if (!Graphic->addReference(trace, &error)) {
        ShowMessage(MsgType::Error, MsgButtons::Ok, error);
        return false;
    }
    setStatusText(QStringLiteral("Reference shown: ") + trace.name);
    return true;
}
