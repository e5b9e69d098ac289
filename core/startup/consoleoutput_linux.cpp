#include "core/startup/consoleoutput.h"

void useParentConsole()
{
}
