#include "unprivileged.h"

#include <unistd.h>

bool handToUnprivileged(const QString &root)
{
    return ::getuid() != 0 || QProcess::execute("chown", {"-hR", "65534:65534", root}) == 0;
}

void startUnprivileged(QProcess &process, const QString &program, const QStringList &arguments)
{
    const QStringList asNobody{"--reuid=65534",
                               "--regid=65534",
                               "--clear-groups",
                               "--inh-caps=+dac_read_search",
                               "--ambient-caps=+dac_read_search",
                               program};
    ::getuid() == 0 ? process.start("setpriv", asNobody + arguments) : process.start(program, arguments);
}
