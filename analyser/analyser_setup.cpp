#include "analyser/analyser_setup.h"

#include "analyser/analyser_dialect.h"
#include "analyser/command_channel.h"

QByteArray CommandText(const QString &text)
{
    return text.toLatin1();
}

bool RunSetup(CommandChannel &channel, const AnalyserDialect &dialect, const SetupSettings &settings,
              bool &stateSaved)
{
    const QList<QByteArray> commands = dialect.SetupCommands(settings);
    for (int i = 0; i < commands.size(); ++i) {
        if (!channel.SendCommand(commands[i], 1))
            return false;
        if (i == dialect.StoreStateIndex())
            stateSaved = true;
    }
    stateSaved = true;
    return true;
}
