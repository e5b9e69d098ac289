#include "core/startup/consoleoutput.h"

void setUpStandardStreams()
{
}
