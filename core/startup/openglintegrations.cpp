#include "core/startup/openglintegrations.h"

#include <QByteArray>
#include <QtGlobal>

void disableOpenGLIntegrations()
{
    // Set even if empty, it is the user's choice.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", QByteArray("none"));
}
