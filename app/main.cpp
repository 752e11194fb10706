#include "app/application.h"
#include "app/cli.h"
#include "app/main_window.h"
#include "app/widget_dialogs.h"
#include "app/input_mask_form.h"
#include "app/progress_form.h"

int main(int argc, char **argv)
{
    // A command or an option runs the command line: no window, no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (IsCommandLine(arguments))
        return RunCommandLine(argc, argv);

    TessaryApplication app(argc, argv);
    WidgetDialogs seam;
    setDialogs(&seam);

    TForm1 form;
    TForm2 progress(&form);
    TInputMaskeFrm report(&form);
    form.attachSecondaryWindows(&progress, &report);
    form.show();
    return app.exec();
}
